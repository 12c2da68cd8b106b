#pragma once
// One thread per device, as a host runs them: read passes at each item's interval, write
// batches as they arrive, every call into the plugin made from this thread.

#include "events.h"

#include <host/zel_interface.h>
#include <host/zel_records.h>

#include <QList>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace runner {

struct WriteRequest {
    QString uid;
    QString value;
};

struct WorkerOptions {
    // One pass over every item, then the writes and a read-back of what was written, then
    // the end (once the stdin writes, if any, have ended too).
    bool once = false;
    // Waiting for writes from stdin: in once mode the thread stays until input ends.
    bool inputOpen = false;
    // Given on the command line; made after the first read pass, so that the pass before
    // and the read-back after show the change.
    std::vector<WriteRequest> initialWrites;
};

class DeviceWorker {
public:
    // The device's items are `identityItems`, then the configured ones in `device.items`;
    // disabled ones are never read.
    DeviceWorker(ZELInterface *plugin, const DeviceInstancePlugin &device,
                 const QList<ItemInstancePlugin> &identityItems, Events *events, WorkerOptions options);
    ~DeviceWorker();
    DeviceWorker(const DeviceWorker &) = delete;
    DeviceWorker &operator=(const DeviceWorker &) = delete;

    void start();
    void requestStop();
    void enqueueWrite(const WriteRequest &w);
    void closeInput(); // no more writes will come from stdin
    bool finished() const { return finished_.load(); }
    void join();
    int deviceId() const { return device_.id; }
    const QString &ipAddress() const { return device_.ipAddress; }
    // Which plugin call the thread is in: a stopping run pauses reads, never a write batch
    // (the host cannot tell which of a paused batch's writes went out).
    enum class Call { None, Read, Write };
    Call inCall() const { return call_.load(); }

private:
    using Clock = std::chrono::steady_clock;
    // One per record, same index. The records stay in the host's lists, shared rather than
    // copied: 50 controllers of a thousand items would pay for them twice.
    struct Scheduled {
        Clock::time_point nextDue;
        bool readBack = false; // written since its last read
    };

    const ItemInstancePlugin &record(size_t i) const
    {
        const size_t n = size_t(identity_.size());
        return i < n ? identity_.at(int(i)) : device_.items.at(int(i - n));
    }
    void run();
    void readPass(const std::vector<size_t> &due);
    void writeBatch(const std::vector<WriteRequest> &batch);
    bool stopRequested();
    void postDevice(const QString &status);
    void postPass(int items, int errors, Clock::duration took);

    ZELInterface *plugin_;
    DeviceInstancePlugin device_;
    QList<ItemInstancePlugin> identity_;
    std::vector<Scheduled> items_;
    Events *events_;
    WorkerOptions options_;
    int passes_ = 0;

    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<WriteRequest> queue_; // guarded by mutex_
    bool stop_ = false;               // guarded by mutex_
    bool inputOpen_ = false;          // guarded by mutex_
    std::atomic<bool> finished_{false};
    std::atomic<Call> call_{Call::None};
};

} // namespace runner
