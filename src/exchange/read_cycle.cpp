#include "cycles.h"
#include "item_transaction.h"
#include "pause_gate.h"

#include "identity/device_identity.h"
#include "identity/identity_items.h"

bool readCycle(TagAccess &access, LogList *list)
{
    DeviceInstancePlugin &device = list->device;
    if (eipDiscoveryPaused(device))
        return false;
    IdentityPass identity(device);

    for (int i = 0; i < list->dataItems.size(); ++i) {
        if (eipDiscoveryPaused(device))
            return false;
        DataItem &data = list->dataItems[i];
        if (zel_identity::isIdentityItem(data.item, "address")) {
            identity.fill(data);
            continue;
        }
        TagRead read(access, device, data);
        if (!report(read.finish(), device, data.item))
            return false;
    }
    return true;
}
