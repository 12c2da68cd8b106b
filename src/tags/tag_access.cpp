// The tag cache's life cycle: look-up or creation, readiness, destruction, and shutdown.
#include "plugin/ab_eip.h"
#include "tag_request.h"
#include "tags/list_lock.h"

#include <libplctag.h>

#include <algorithm>
#include <chrono>

namespace {
constexpr int kCreateTimeoutMs = 5000;
constexpr int kPollIntervalMs = 100;
} // namespace

AB_EIP::TagInstance AB_EIP::getOrCreateTag(DeviceInstancePlugin device, DataItem *item)
{
    const TagRequest request = tagRequestFor(device, item->item.settings);
    const QString address = item->item.settings.value(QStringLiteral("address"));
    QByteArray attributes = request.attributes.toUtf8();
    attributes.squeeze(); // the conversion reserves three bytes a character; the cache keeps it

    TagInstance entry;
    bool hit;
    {
        ListLock lock(listMutex);
        // Same device, address and attribute string: a changed route, controller or data type
        // gets a tag of its own instead of the old controller's.
        hit = tags.find(device.id, address, attributes, &entry);
    }
    if (hit) {
        pluginInterface.logDebug(QStringLiteral("Fetching exiting tag. Tag nr.: ") + QString::number(entry.handle));
        return entry;
    }

    entry.address = address;
    entry.deviceId = device.id;
    entry.elementCount = request.elementCount;
    entry.attributes = attributes;
    pluginInterface.logDebug(QStringLiteral("Create new tag. Connection string: ") + request.attributes);
    // Outside the lock: a slow controller must not hold up look-ups of other items.
    entry.handle = plc_tag_create(attributes.constData(), kCreateTimeoutMs);

    ListLock lock(listMutex);
    loopActive = true;
    tags.append(entry);
    return entry;
}

void AB_EIP::destroyTag(int handle)
{
    ListLock lock(listMutex);
    if (!tags.removeFirstWithHandle(handle))
        return;
    plc_tag_abort(handle);
    plc_tag_destroy(handle);
    pluginInterface.logDebug(QStringLiteral("Destroy tag nr. ") + QString::number(handle));
}

int AB_EIP::waitForTagToBeReady(int handle, unsigned int limitMs)
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

bool AB_EIP::stopPlugin()
{
    pluginInterface.logInfo(QStringLiteral("Stopping plugin"));
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
    pluginInterface.logInfo(QStringLiteral("Plugin stopped"));
    return true;
}
