#include "cycles.h"
#include "item_transaction.h"
#include "pause_gate.h"

#include "identity/identity_items.h"

#include <QList>
#include <QSet>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace {

// Latest data item of every item id, last in the batch first.
QList<DataItem *> writeList(LogList *list)
{
    QList<DataItem *> out;
    QSet<int> taken;
    for (int i = list->dataItems.size() - 1; i >= 0; --i) {
        DataItem &d = list->dataItems[i];
        if (taken.contains(d.item.id))
            continue;
        taken.insert(d.item.id);
        out << &d;
    }
    return out;
}

// Write batches to one device go one at a time: a batch holds the locks of all its writes in
// flight, and two batches taking them in different orders would wait for each other for ever.
std::mutex &writeGate(int deviceId)
{
    static std::mutex guard;
    static std::map<int, std::unique_ptr<std::mutex>> gates;
    std::lock_guard<std::mutex> lock(guard);
    std::unique_ptr<std::mutex> &gate = gates[deviceId];
    if (!gate)
        gate = std::make_unique<std::mutex>();
    return *gate;
}

// The writes in flight, finished in the order they were sent.
class InFlight {
public:
    explicit InFlight(DeviceInstancePlugin &device) : device_(device) {}
    ~InFlight() { drop(); }
    void add(std::unique_ptr<TagWrite> write, DataItem *data) { writes_.emplace_back(std::move(write), data); }
    void send()
    {
        for (auto &w : writes_)
            w.first->send();
    }
    // The gate closed before anything was sent: nothing goes out.
    void withdraw()
    {
        for (; next_ < writes_.size(); ++next_)
            writes_[next_].first->withdraw();
    }
    // Reports each outcome; false, with the rest finished unreported, when one stops the batch.
    bool finish()
    {
        for (; next_ < writes_.size(); ++next_) {
            auto &w = writes_[next_];
            if (!report(w.first->finish(), device_, w.second->item)) {
                ++next_;
                drop();
                return false;
            }
        }
        return true;
    }

private:
    // Writes already on their way are finished, so that their tags are unlocked; the batch's
    // outcome is already the device's.
    void drop()
    {
        for (; next_ < writes_.size(); ++next_)
            writes_[next_].first->finish();
    }

    DeviceInstancePlugin &device_;
    std::vector<std::pair<std::unique_ptr<TagWrite>, DataItem *>> writes_;
    size_t next_ = 0;
};

} // namespace

bool writeCycle(TagAccess &access, LogList *list)
{
    DeviceInstancePlugin &device = list->device;
    if (eipDiscoveryPaused(device))
        return false;
    std::lock_guard<std::mutex> gate(writeGate(device.id));

    // The tags not open yet are all created first, without waiting, so that their creations
    // travel together; every write of the batch is then encoded, all go out without waiting,
    // and the replies are taken in order.
    const QList<DataItem *> items = writeList(list);
    std::vector<std::unique_ptr<TagWrite>> writes;
    for (DataItem *data : items)
        writes.push_back(zel_identity::isIdentityItem(data->item, QStringLiteral("address"))
                             ? nullptr
                             : std::make_unique<TagWrite>(access, device, *data));
    if (std::count_if(writes.begin(), writes.end(), [](const auto &w) { return w != nullptr; }) > 1)
        for (const auto &w : writes)
            if (w)
                w->create();
    InFlight inFlight(device);
    for (int i = 0; i < items.size(); ++i) {
        DataItem *data = items[i];
        if (eipDiscoveryPaused(device)) {
            inFlight.withdraw();
            return false;
        }
        if (!writes[size_t(i)])
            continue;
        auto write = std::move(writes[size_t(i)]);
        const Outcome started = write->start(true);
        if (started.kind == Outcome::Ok)
            inFlight.add(std::move(write), data);
        else if (!report(started, device, data->item)) {
            inFlight.finish();
            return false;
        }
    }
    inFlight.send();
    return inFlight.finish();
}
