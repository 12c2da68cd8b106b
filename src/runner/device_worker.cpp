#include "device_worker.h"

#include <algorithm>

namespace runner {

namespace {

const QString kValue = QStringLiteral("value");

// Bounds one idle wait even when no item is due for days, so a lost wake-up costs a second.
constexpr std::chrono::milliseconds kMaxIdle{1000};

} // namespace

DeviceWorker::DeviceWorker(ZELInterface *plugin, const DeviceInstancePlugin &device,
                           const QList<ItemInstancePlugin> &items, Events *events, WorkerOptions options)
    : plugin_(plugin), device_(device), records_(items), items_(size_t(items.size()), Scheduled{Clock::now(), false}),
      events_(events), options_(std::move(options))
{
    inputOpen_ = options_.inputOpen;
}

DeviceWorker::~DeviceWorker()
{
    requestStop();
    join();
}

void DeviceWorker::start()
{
    thread_ = std::thread([this] { run(); });
}

void DeviceWorker::requestStop()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    cv_.notify_all();
}

void DeviceWorker::enqueueWrite(const WriteRequest &w)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(w);
    }
    cv_.notify_all();
}

void DeviceWorker::closeInput()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        inputOpen_ = false;
    }
    cv_.notify_all();
}

void DeviceWorker::join()
{
    if (thread_.joinable())
        thread_.join();
}

void DeviceWorker::postDevice(const QString &status)
{
    Update u;
    u.kind = Update::DeviceState;
    u.deviceId = device_.id;
    u.device = device_.name;
    u.status = status;
    u.timestamp = QDateTime::currentDateTimeUtc();
    events_->post(u);
}

void DeviceWorker::readPass(const std::vector<size_t> &due)
{
    LogList list;
    list.device = device_;
    for (size_t i : due) {
        DataItem data;
        data.item = records_.at(int(i));
        data.device = device_;
        list.dataItems << data;
    }
    const Clock::time_point start = Clock::now();
    plugin_->readData(&list);
    const Clock::duration took = Clock::now() - start;
    ++passes_;
    int errors = 0;

    // The plugin stamps identity values only; tag values get the time the pass ended.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QString deviceStatus = list.device.statusMessage;
    std::vector<Update> updates;
    updates.reserve(size_t(list.dataItems.size()));
    for (int k = 0; k < list.dataItems.size(); ++k) {
        const DataItem &data = list.dataItems.at(k);
        Update u;
        u.kind = Update::Read;
        u.deviceId = device_.id;
        u.device = device_.name;
        u.uid = data.item.uid;
        u.item = data.item.name;
        u.hasValue = data.values.contains(kValue);
        u.value = data.values.value(kValue);
        u.status = data.item.statusMessage;
        // A device-wide failure ends the pass: the items it did not reach carry its text. Some
        // failures (a tag that never became ready) leave neither a value nor a text.
        if (u.status.isEmpty() && !u.hasValue)
            u.status = deviceStatus.isEmpty() ? QStringLiteral("No value returned") : deviceStatus;
        u.timestamp = data.timestamp.isValid() ? data.timestamp.toUTC() : now;
        u.pass = passes_;
        errors += u.status.isEmpty() ? 0 : 1;
        updates.push_back(std::move(u));
    }
    events_->post(std::move(updates));
    postDevice(deviceStatus);
    postPass(list.dataItems.size(), errors, took);
}

void DeviceWorker::postPass(int items, int errors, Clock::duration took)
{
    Update u;
    u.kind = Update::Pass;
    u.deviceId = device_.id;
    u.device = device_.name;
    u.items = items;
    u.errors = errors;
    u.durationMs = std::chrono::duration<double, std::milli>(took).count();
    u.pass = passes_;
    u.timestamp = QDateTime::currentDateTimeUtc();
    events_->post(u);
}

void DeviceWorker::writeBatch(const std::vector<WriteRequest> &batch)
{
    LogList list;
    list.device = device_;
    for (const WriteRequest &w : batch) {
        const auto it = std::find_if(records_.cbegin(), records_.cend(),
                                     [&](const ItemInstancePlugin &r) { return r.uid == w.uid; });
        if (it == records_.cend())
            continue;
        DataItem data;
        data.item = *it;
        data.device = device_;
        data.values.insert(kValue, w.value);
        list.dataItems << data;
        items_[size_t(it - records_.cbegin())].readBack = true;
    }
    if (list.dataItems.isEmpty())
        return;
    plugin_->writeData(&list);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QString deviceStatus = list.device.statusMessage;
    for (const DataItem &data : qAsConst(list.dataItems)) {
        Update u;
        u.kind = Update::Write;
        u.deviceId = device_.id;
        u.device = device_.name;
        u.uid = data.item.uid;
        u.item = data.item.name;
        u.value = data.values.value(kValue);
        u.hasValue = true;
        u.status = data.item.statusMessage.isEmpty() ? deviceStatus : data.item.statusMessage;
        u.timestamp = now;
        events_->post(u);
    }
    postDevice(deviceStatus);
}

void DeviceWorker::run()
{
    bool firstPass = true;
    for (;;) {
        std::vector<WriteRequest> batch;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stop_)
                break;
            if (!firstPass)
                batch.swap(queue_);
        }
        if (!batch.empty())
            writeBatch(batch);

        const Clock::time_point now = Clock::now();
        std::vector<size_t> due;
        for (size_t i = 0; i < items_.size(); ++i) {
            const Scheduled &s = items_[i];
            if (!records_.at(int(i)).enabled && !s.readBack)
                continue;
            const bool periodic = !options_.once || firstPass;
            if (s.readBack || (periodic && s.nextDue <= now))
                due.push_back(i);
        }
        if (!due.empty()) {
            readPass(due);
            const Clock::time_point after = Clock::now();
            for (size_t i : due) {
                Scheduled &s = items_[i];
                s.readBack = false;
                // Skip the slots a slow pass missed instead of reading in a burst to catch up.
                const auto interval = std::chrono::milliseconds(std::max(records_.at(int(i)).readIntervalMs, 50));
                s.nextDue += interval;
                if (s.nextDue <= after)
                    s.nextDue = after + interval;
            }
        }
        if (firstPass) {
            firstPass = false;
            std::lock_guard<std::mutex> lock(mutex_);
            queue_.insert(queue_.begin(), options_.initialWrites.begin(), options_.initialWrites.end());
            continue;
        }

        Clock::time_point wakeAt = Clock::now() + kMaxIdle;
        if (!options_.once)
            for (size_t i = 0; i < items_.size(); ++i)
                if (records_.at(int(i)).enabled)
                    wakeAt = std::min(wakeAt, items_[i].nextDue);
        std::unique_lock<std::mutex> lock(mutex_);
        if (options_.once && queue_.empty() && !inputOpen_)
            break;
        cv_.wait_until(lock, wakeAt, [this] { return stop_ || !queue_.empty() || (options_.once && !inputOpen_); });
    }
    finished_ = true;
    Update u;
    u.kind = Update::Finished;
    u.deviceId = device_.id;
    u.device = device_.name;
    events_->post(u);
}

} // namespace runner
