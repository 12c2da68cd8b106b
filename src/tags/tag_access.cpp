// The tag cache's life cycle: look-up or creation, readiness, destruction, and shutdown.
#include "tag_access.h"

#include "list_lock.h"
#include "tag_binding.h"

#include <libplctag.h>

#include <algorithm>
#include <chrono>

// Process-wide state, shared by every plugin object. Definition order is initialisation order.
TagCache TagAccess::tags;
QMutex TagAccess::listMutex;
const QRegularExpression TagAccess::offsetMatches(QStringLiteral(".*\\[\\s*(\\d+)\\s*-\\s*(\\d+)\\s*\\]"),
                                                  QRegularExpression::CaseInsensitiveOption);
bool TagAccess::loopActive = false;

namespace {
constexpr int kPollIntervalMs = 100;

QString addressOf(const DataItem &item)
{
    return item.item.settings.value(QStringLiteral("address"));
}
} // namespace

bool TagAccess::findTag(const DeviceInstancePlugin &device, const DataItem &item, OpenTag *out, TagCache::Spot *spot)
{
    const BindingSource source = bindingSource(device, item.item.settings);
    ListLock lock(listMutex);
    return tags.find(device.id, addressOf(item), source, out, spot);
}

bool TagAccess::tagAt(const TagCache::Spot &spot, OpenTag *out)
{
    ListLock lock(listMutex);
    return tags.at(spot, out);
}

OpenTag TagAccess::getOrCreateTag(DeviceInstancePlugin device, DataItem *item)
{
    OpenTag entry;
    // Same device, address and binding source: a changed route, controller or data type gets
    // a tag of its own instead of the old controller's.
    if (findTag(device, *item, &entry)) {
        pluginInterface.logDebug(QStringLiteral("Fetching exiting tag. Tag nr.: ") + QString::number(entry.handle));
        return entry;
    }
    return createTag(device, item, kCreateTimeoutMs);
}

bool TagAccess::startCreatingTag(const DeviceInstancePlugin &device, DataItem *item, OpenTag *out,
                                 TagCache::Spot *spot)
{
    if (findTag(device, *item, out, spot))
        return false;
    *out = createTag(device, item, 0);
    return true;
}

TagAccess::TagInstance TagAccess::createTag(const DeviceInstancePlugin &device, DataItem *item, int timeoutMs)
{
    TagInstance entry;
    const ItemBinding binding = bindItem(device, item->item.settings);
    entry.address = addressOf(*item);
    entry.deviceId = device.id;
    entry.elementCount = binding.elementCount;
    entry.controllerType = static_cast<int8_t>(binding.controllerType);
    entry.dataType = static_cast<int8_t>(binding.dataType);
    entry.versionParts = static_cast<int8_t>(binding.versionParts);
    entry.bitAddress = binding.bitAddress;
    entry.source = bindingSource(device, item->item.settings);
    if (!binding.refusal.isEmpty()) {
        entry.handle = PLCTAG_ERR_BAD_PARAM;
        entry.refusal = binding.refusal;
        return entry; // nothing to create, nothing to cache
    }
    pluginInterface.logDebug(QStringLiteral("Create new tag. Connection string: ") + binding.attributes);
    // Outside the lock: a slow controller must not hold up look-ups of other items.
    entry.handle = plc_tag_create(binding.attributes.toUtf8().constData(), timeoutMs);

    ListLock lock(listMutex);
    loopActive = true;
    tags.append(entry);
    return entry;
}

void TagAccess::destroyTag(int handle)
{
    {
        ListLock lock(listMutex);
        if (!tags.removeFirstWithHandle(handle))
            return;
    }
    // Outside the lock: the last tag of a connection closes it, which may wait on the
    // controller, and other devices' look-ups must not wait with it.
    plc_tag_abort(handle);
    plc_tag_destroy(handle);
    pluginInterface.logDebug(QStringLiteral("Destroy tag nr. ") + QString::number(handle));
}

int TagAccess::waitForTagToBeReady(int handle, unsigned int limitMs)
{
    using Clock = std::chrono::steady_clock;
    pluginInterface.logDebug(QStringLiteral("Waiting for tag to be ready. Tag nr.: ") + QString::number(handle));
    // Monotonic: a step of the wall clock neither stretches nor cuts the wait.
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limitMs);
    int status = -1;
    for (;;) {
        const Clock::time_point now = Clock::now();
        if (now >= deadline)
            break;
        status = plc_tag_status(handle);
        if (status != PLCTAG_STATUS_PENDING)
            break;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count() + 1;
        sleep_ms(static_cast<int>(std::min<long long>(kPollIntervalMs, left)));
    }
    pluginInterface.logDebug(QStringLiteral("Done waiting for tag. Tag nr.: ") + QString::number(handle));
    if (status != PLCTAG_STATUS_OK)
        pluginInterface.logDebug(QStringLiteral("Wait for tag failed. Status: ") + errorMessage(status));
    return status;
}

PassPlan TagAccess::takePlan(int deviceId, const QList<DataItem> &items)
{
    std::lock_guard<std::mutex> lock(planMutex_);
    for (auto it = plans_.begin(); it != plans_.end(); ++it)
        if (it->first == deviceId && it->second.fits(items)) {
            PassPlan plan = std::move(it->second);
            plans_.erase(it);
            return plan;
        }
    return {};
}

void TagAccess::keepPlan(int deviceId, PassPlan plan)
{
    // A few lists per device; a list the host no longer passes ages out.
    constexpr int kPlansPerDevice = 4;
    std::lock_guard<std::mutex> lock(planMutex_);
    plans_.emplace_back(deviceId, std::move(plan));
    int kept = 0;
    for (auto it = plans_.end(); it != plans_.begin();) {
        --it;
        if (it->first == deviceId && ++kept > kPlansPerDevice) {
            plans_.erase(it);
            break;
        }
    }
}

void TagAccess::shutdownTags()
{
    {
        // They hold the host's records of the items.
        std::lock_guard<std::mutex> lock(planMutex_);
        plans_.clear();
    }
    for (;;) {
        TagInstance first;
        {
            ListLock lock(listMutex);
            if (!tags.first(&first))
                break;
        }
        destroyTag(first.handle);
    }
    ListLock lock(listMutex);
    if (loopActive) {
        plc_tag_shutdown();
        loopActive = false;
        pluginInterface.logDebug(QStringLiteral("EtherNet/IP library stopped"));
    }
    tags.clear();
}
