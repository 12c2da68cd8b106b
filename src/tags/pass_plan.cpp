#include "pass_plan.h"

bool PassPlan::fits(const QList<DataItem> &items) const
{
    return !items.isEmpty() && steps_.size() == size_t(items.size()) &&
           steps_.front().settings.isSharedWith(items.front().item.settings);
}

void PassPlan::begin(const DeviceInstancePlugin &device, int items)
{
    // The cache key holds the device's settings, address and name besides the item's own.
    if (!device.settings.isSharedWith(deviceSettings_) || device.ipAddress != ipAddress_ ||
        device.name != deviceName_) {
        steps_.clear();
        deviceSettings_ = device.settings;
        ipAddress_ = device.ipAddress;
        deviceName_ = device.name;
    }
    steps_.resize(size_t(items > 0 ? items : 0));
}

PassPlan::Kind PassPlan::kind(int index, const DataItem &item, TagCache::Spot *spot) const
{
    if (index < 0 || size_t(index) >= steps_.size())
        return Kind::Unknown;
    const Step &s = steps_[size_t(index)];
    if (s.kind == Kind::Unknown || !s.settings.isSharedWith(item.item.settings) || !s.uid.isSharedWith(item.item.uid))
        return Kind::Unknown;
    if (spot)
        *spot = s.spot;
    return s.kind;
}

void PassPlan::note(int index, const DataItem &item, Kind kind, const TagCache::Spot &spot)
{
    if (index < 0 || size_t(index) >= steps_.size())
        return;
    Step &s = steps_[size_t(index)];
    // A copy takes a reference on the host's record, a write to memory the pass need not touch
    // again: only what changed is noted.
    if (kind != s.kind || !s.settings.isSharedWith(item.item.settings) || !s.uid.isSharedWith(item.item.uid)) {
        s.settings = item.item.settings;
        s.uid = item.item.uid;
    }
    s.kind = kind;
    s.spot = spot;
}
