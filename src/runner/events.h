#pragma once
// What the device threads report to the main thread: values read, writes made, device
// states. One queue, drained by the main thread, which alone prints. The queue never holds up
// a device thread and never grows past one entry per item and device (plus the writes): an
// update that finds an older one of the same item (or device) still waiting takes its place,
// and counts it as skipped, so a reader that falls behind sees the newest values.

#include <QDateTime>
#include <QHash>
#include <QString>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

namespace runner {

// The device and item names are not carried: the output knows them by id and uid.
struct Update {
    enum Kind : quint8 {
        Read,        // one item of a read pass
        Write,       // one item of a write batch
        DeviceState, // the device's status text after a pass or batch (empty: fine)
        Pass,        // a read pass ended: its size, errors and duration
        Finished,    // the device's thread has ended
    };
    Kind kind = Read;
    bool hasValue = false;
    int deviceId = 0;
    int pass = 0;    // the device's pass number for reads
    int skipped = 0; // older updates of the same item (device) this one replaced unprinted
    QString uid;
    QString value;
    QString status; // empty when the operation succeeded
    QDateTime timestamp;
    // Pass: items read, items that failed, time inside the plugin's readData.
    int items = 0;
    int errors = 0;
    double durationMs = 0;
};

class Events {
public:
    void post(Update u)
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            add(std::move(u));
        }
        cv_.notify_all();
    }

    // A whole pass at once: one lock, one wake-up.
    void post(std::vector<Update> updates)
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (Update &u : updates)
                add(std::move(u));
        }
        cv_.notify_all();
    }

    // Wakes a waiting take() without an update (a signal, the end of stdin).
    void poke()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            poked_ = true;
        }
        cv_.notify_all();
    }

    // At most `most` of the oldest updates; waits at most `limit` for the first. What is left
    // waits where it coalesces, so a backlog holds one update per item and no copy of it.
    std::deque<Update> take(std::chrono::milliseconds limit, size_t most)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait_until(lock, std::chrono::steady_clock::now() + limit, [this] { return !queue_.empty() || poked_; });
        poked_ = false;
        std::deque<Update> out;
        const size_t n = std::min(most, queue_.size());
        for (size_t i = 0; i < n; ++i) {
            if (queue_.front().kind != Update::Write && queue_.front().kind != Update::Finished)
                waiting_.remove(keyOf(queue_.front()));
            out.push_back(std::move(queue_.front()));
            queue_.pop_front();
        }
        head_ += n;
        return out;
    }

private:
    // Reads coalesce by item, device states and pass figures by device; writes never do.
    static QString keyOf(const Update &u)
    {
        return u.kind == Update::Read ? u.uid
                                      : QString::number(int(u.kind)) + QLatin1Char('#') + QString::number(u.deviceId);
    }

    void add(Update u)
    {
        if (u.kind == Update::Write || u.kind == Update::Finished) {
            queue_.push_back(std::move(u));
            return;
        }
        const QString key = keyOf(u);
        const auto it = waiting_.constFind(key);
        if (it == waiting_.constEnd()) {
            waiting_.insert(key, head_ + queue_.size());
            queue_.push_back(std::move(u));
            return;
        }
        Update &older = queue_[it.value() - head_];
        u.skipped = older.skipped + 1;
        older = std::move(u);
    }

    std::mutex mutex_;
    std::condition_variable cv_;
    // A deque: one update per item of every controller waits here while output lags, and a
    // vector's doubling would hold up to twice that, three times while it moves.
    std::deque<Update> queue_;
    QHash<QString, size_t> waiting_; // coalescing key -> its update's place, counted from the first ever
    size_t head_ = 0;                // the place of queue_.front()
    bool poked_ = false;
};

} // namespace runner
