#include "cycles.h"
#include "item_transaction.h"
#include "pause_gate.h"

#include "identity/device_identity.h"
#include "identity/identity_items.h"

#include <optional>
#include <vector>

bool readCycle(TagAccess &access, LogList *list)
{
    DeviceInstancePlugin &device = list->device;
    if (eipDiscoveryPaused(device))
        return false;
    IdentityPass identity(device);

    // The reads of every cached, ready tag go out together; then each item is finished in
    // order, so a pass takes about as long as its slowest reply rather than the sum of them.
    // A lone item is read in place: handing it to the tag library's thread gains nothing.
    // In place, side by side: a pass over many items then walks one block of memory.
    std::vector<std::optional<TagRead>> reads(size_t(list->dataItems.size()));
    PassPlan plan = access.takePlan(device.id, list->dataItems);
    plan.begin(device, list->dataItems.size());
    int tagItems = 0;
    for (int i = 0; i < list->dataItems.size(); ++i) {
        DataItem &data = list->dataItems[i];
        const PassPlan::Kind kind = plan.kind(i, data);
        if (kind == PassPlan::Kind::Identity)
            continue;
        if (kind == PassPlan::Kind::Unknown && zel_identity::isIdentityItem(data.item, QStringLiteral("address"))) {
            plan.note(i, data, PassPlan::Kind::Identity);
            continue;
        }
        reads[size_t(i)].emplace(access, device, data);
        ++tagItems;
    }
    // The plan serves the starts: a list of one tag item keeps none.
    if (tagItems > 1) {
        for (int i = 0; i < list->dataItems.size(); ++i) {
            if (!reads[size_t(i)])
                continue;
            const DataItem &data = list->dataItems.at(i);
            TagCache::Spot planned;
            std::optional<TagCache::Spot> spot;
            if (plan.kind(i, data, &planned) == PassPlan::Kind::Tag)
                spot = planned;
            reads[size_t(i)]->start(&spot);
            plan.note(i, data, spot ? PassPlan::Kind::Tag : PassPlan::Kind::Unknown, spot.value_or(TagCache::Spot{}));
        }
        access.keepPlan(device.id, std::move(plan));
    }

    for (int i = 0; i < list->dataItems.size(); ++i) {
        if (eipDiscoveryPaused(device))
            return false;
        DataItem &data = list->dataItems[i];
        if (!reads[size_t(i)]) {
            identity.fill(data);
            continue;
        }
        if (!report(reads[size_t(i)]->finish(), device, data.item))
            return false;
    }
    return true;
}
