#include "device_worker.h"

#include <algorithm>

namespace runner {

namespace {

const QString kValue = QStringLiteral("value");

// Bounds one idle wait even when no item is due for days, so a lost wake-up costs a second.
constexpr std::chrono::milliseconds kMaxIdle{1000};

} // namespace

DeviceWorker::DeviceWorker(ZELInterface *plugin, const DeviceInstancePlugin &device,
                           const QList<ItemInstancePlugin> &identityItems, Events *events, WorkerOptions options)
    : plugin_(plugin), device_(device), identity_(identityItems),
      items_(size_t(identityItems.size() + device.items.size()), Scheduled{Clock::now(), false}), events_(events),
      options_(std::move(options))
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

bool DeviceWorker::stopRequested()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return stop_;
}

void DeviceWorker::postDevice(const QString &status)
{
    Update u;
    u.kind = Update::DeviceState;
    u.deviceId = device_.id;
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
        data.item = record(i);
        data.device = device_;
        list.dataItems << data;
    }
    const Clock::time_point start = Clock::now();
    call_ = Call::Read;
    // Cut short by the stop's pause: the items it did not reach were not read at all.
    const bool cut = !plugin_->readData(&list) && stopRequested();
    call_ = Call::None;
    const Clock::duration took = Clock::now() - start;
    ++passes_;
    int errors = 0;

    // The plugin stamps identity values only; tag values get the time the pass ended.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QString deviceStatus = list.device.statusMessage;
    int items = list.dataItems.size();
    std::vector<Update> updates;
    updates.reserve(size_t(items));
    // Each host record goes as soon as its update is made: with every device in a pass at
    // once, the records and the updates of all of them would otherwise be held together.
    while (!list.dataItems.isEmpty()) {
        const DataItem data = list.dataItems.takeFirst();
        Update u;
        u.kind = Update::Read;
        u.deviceId = device_.id;
        u.uid = data.item.uid;
        u.hasValue = data.values.contains(kValue);
        u.value = data.values.value(kValue);
        u.status = data.item.statusMessage;
        if (cut && !u.hasValue && u.status.isEmpty() && deviceStatus.isEmpty()) {
            --items;
            continue;
        }
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
    postPass(items, errors, took);
}

void DeviceWorker::postPass(int items, int errors, Clock::duration took)
{
    Update u;
    u.kind = Update::Pass;
    u.deviceId = device_.id;
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
        size_t i = 0;
        while (i < items_.size() && record(i).uid != w.uid)
            ++i;
        if (i == items_.size())
            continue;
        DataItem data;
        data.item = record(i);
        data.device = device_;
        data.values.insert(kValue, w.value);
        list.dataItems << data;
        items_[i].readBack = true;
    }
    if (list.dataItems.isEmpty())
        return;
    call_ = Call::Write;
    plugin_->writeData(&list);
    call_ = Call::None;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QString deviceStatus = list.device.statusMessage;
    for (const DataItem &data : qAsConst(list.dataItems)) {
        Update u;
        u.kind = Update::Write;
        u.deviceId = device_.id;
        u.uid = data.item.uid;
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
            if (!record(i).enabled && !s.readBack)
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
                const auto interval = std::chrono::milliseconds(std::max(record(i).readIntervalMs, 50));
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
                if (record(i).enabled)
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
    events_->post(u);
}

} // namespace runner
