#include "cycles.h"
#include "item_transaction.h"
#include "pause_gate.h"

#include "identity/identity_items.h"

#include <QList>
#include <QSet>

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

} // namespace

bool writeCycle(TagAccess &access, LogList *list)
{
    DeviceInstancePlugin &device = list->device;
    if (eipDiscoveryPaused(device))
        return false;

    for (DataItem *data : writeList(list)) {
        if (eipDiscoveryPaused(device))
            return false;
        if (zel_identity::isIdentityItem(data->item, "address"))
            continue;
        TagWrite write(access, device, *data);
        Outcome outcome = write.start(false);
        if (outcome.kind == Outcome::Ok)
            outcome = write.finish();
        if (!report(outcome, device, data->item))
            return false;
    }
    return true;
}
