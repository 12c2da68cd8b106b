// One batch of values for one device: each item written once, with its latest value.
#include "pause_gate.h"
#include "plugin/ab_eip.h"
#include "write_value.h"

#include "identity/identity_items.h"

#include <libplctag.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QList>
#include <QSet>

namespace {

constexpr int kWriteTimeoutMs = 5000;
const char kTimeoutText[] = "Timeout connecting to PLC";

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

bool AB_EIP::writeData(LogList *list)
{
    DeviceInstancePlugin &device = list->device;
    if (eipDiscoveryPaused(device))
        return false;
    const int controller = device.settings[QStringLiteral("controller_type")].toInt();

    for (DataItem *data : writeList(list)) {
        if (eipDiscoveryPaused(device))
            return false;
        ItemInstancePlugin &item = data->item;
        if (zel_identity::isIdentityItem(item, "address"))
            continue;

        const TagInstance tag = getOrCreateTag(device, data);
        const int handle = tag.handle;
        if (handle < 0) {
            pluginInterface.logDebug(QStringLiteral("Error getting or creating tag (WRITE): ") + errorMessage(handle) +
                                     QStringLiteral(". Item: ") + item.name);
            // Removed as the read cycle does, so that a write-only item recovers on its next write.
            destroyTag(handle);
            if (handle == PLCTAG_ERR_TIMEOUT) {
                device.statusMessage = QLatin1String(kTimeoutText);
                return false;
            }
            item.statusMessage = errorMessage(handle);
            continue;
        }

        int status = plc_tag_lock(handle);
        if (status != PLCTAG_STATUS_OK) {
            if (status == PLCTAG_ERR_TIMEOUT)
                device.statusMessage = QLatin1String(kTimeoutText);
            else
                item.statusMessage = errorMessage(status);
            return false;
        }

        status = plc_tag_status(handle);
        if (status == PLCTAG_ERR_CREATE) {
            plc_tag_unlock(handle);
            destroyTag(handle);
            pluginInterface.logDebug(QStringLiteral("Error setting up tag (WRITE). Item: ") + item.name +
                                     QStringLiteral(" Device: ") + device.name + QStringLiteral(" Error: ") +
                                     errorMessage(status));
            device.statusMessage = QStringLiteral("Error connecting to PLC");
            return false;
        }

        const QString text = data->values.value(QStringLiteral("value"));
        QJsonArray elements;
        if (tag.elementCount < 2) {
            elements.append(text);
        } else {
            const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8());
            if (!doc.isArray()) {
                const QString message = QStringLiteral("Write array error: Invalid format. Write message: ") + text;
                item.statusMessage = message;
                pluginInterface.logDebug(message + QStringLiteral(" to item ") + item.name);
                plc_tag_unlock(handle);
                continue;
            }
            elements = doc.array();
            while (elements.size() > tag.elementCount)
                elements.removeLast();
        }

        // Every element is checked before any is set: a bad element writes nothing at all.
        const int dataType = item.settings[QStringLiteral("data_type")].toInt();
        QString refused;
        for (const QJsonValue &e : elements) {
            const WriteValue v = parseWriteValue(dataType, e.toVariant());
            if (!v.ok) {
                refused = v.error;
                break;
            }
        }
        bool fits = refused.isEmpty();
        for (int k = 0; fits && k < elements.size(); ++k)
            fits = setTagValue(handle, static_cast<DataType>(dataType), static_cast<ControllerType>(controller),
                               elements.at(k).toVariant(), static_cast<unsigned short>(k));
        if (!refused.isEmpty() || !fits) {
            if (refused.isEmpty())
                refused = QStringLiteral("Text too long for the PLC's string: %1 bytes")
                              .arg(text.toUtf8().size());
            item.statusMessage = refused;
            pluginInterface.logDebug(QStringLiteral("Value not written to ") + item.name + QStringLiteral(": ") +
                                     refused);
            plc_tag_unlock(handle);
            continue;
        }

        status = plc_tag_write(handle, kWriteTimeoutMs);
        plc_tag_unlock(handle);
        if (status != PLCTAG_STATUS_OK) {
            destroyTag(handle);
            pluginInterface.logDebug(QStringLiteral("Error while writing data. Code: ") + QString::number(status) +
                                     QStringLiteral("(") + errorMessage(status) + QStringLiteral(")") +
                                     QStringLiteral(" Item: ") + item.name + QStringLiteral(" Device: ") +
                                     device.name);
            if (status == PLCTAG_ERR_TIMEOUT) {
                device.statusMessage = QLatin1String(kTimeoutText);
                return false;
            }
            item.statusMessage = errorMessage(status);
            continue;
        }
        pluginInterface.logDebug(QStringLiteral("Wrote value ") + text + QStringLiteral(" to ") + item.name +
                                 QStringLiteral(" (") + item.settings.value(QStringLiteral("address")) +
                                 QStringLiteral(")"));
    }
    return true;
}
