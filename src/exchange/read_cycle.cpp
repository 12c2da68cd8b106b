// One acquisition pass over one device: tag items read from the controller, identity items
// from what the device says about itself.
#include "pause_gate.h"
#include "plugin/ab_eip.h"

#include "identity/identity_items.h"
#include "identity/list_identity.h"
#include "identity/omron_reads.h"
#include "identity/omron_version.h"

#include <libplctag.h>

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStringList>

namespace {

constexpr unsigned int kReadyAfterCreateMs = 3000;
constexpr int kReadTimeoutMs = 5000;
constexpr unsigned int kReadyAfterReadMs = 1500;
const char kTimeoutText[] = "Timeout connecting to PLC";

// The device's identity, read once per pass on first need.
struct IdentityCache {
    bool fetched = false;
    QMap<QString, QString> fields;

    void fetch(const DeviceInstancePlugin &device)
    {
        if (fetched)
            return;
        fetched = true;
        fields = readEipListIdentity(device.ipAddress);
        const bool omron = device.settings.value(QStringLiteral("controller_type")).toInt() == AB_EIP::OmronNjNx;
        if (omron && fields.contains(QStringLiteral("cip_revision"))) {
            const QString path = device.settings.value(QStringLiteral("path"));
            const QString firmware = readOmronVersion(device.ipAddress, path, QStringLiteral("_UnitVersion"), 2);
            if (!firmware.isEmpty())
                fields.insert(QStringLiteral("firmware"), firmware);
            const QString hardware = readOmronString(device.ipAddress, path, QStringLiteral("_HardwareRevision"));
            if (!hardware.isEmpty()) {
                fields.insert(QStringLiteral("hardware"), hardware);
                fields.insert(QStringLiteral("hardware_revision"), hardware);
            }
        } else {
            fields.remove(QStringLiteral("cip_revision"));
        }
    }
};

void readIdentityItem(const DeviceInstancePlugin &device, DataItem &data, IdentityCache &identity)
{
    identity.fetch(device);
    QString key = zel_identity::fieldKey(data.item.settings.value(QStringLiteral("address")));
    if (key.isEmpty()) {
        const QString prefix = QStringLiteral("identity_%1_").arg(device.id);
        if (data.item.uid.startsWith(prefix))
            key = data.item.uid.mid(prefix.size());
    }
    if (!key.isEmpty() && identity.fields.contains(key)) {
        data.values.insert(QStringLiteral("value"), identity.fields.value(key));
        data.timestamp = QDateTime::currentDateTimeUtc();
        data.item.statusMessage.clear();
    } else if (identity.fields.isEmpty()) {
        data.item.statusMessage = QStringLiteral("Could not read EtherNet/IP identity");
    }
}

QString joinValue(const QStringList &texts, int versionParts)
{
    if (versionParts > 0 && versionParts <= texts.size())
        return QStringList(texts.mid(0, versionParts)).join(QLatin1Char('.'));
    if (texts.size() > 1)
        return QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(texts)).toJson(QJsonDocument::Compact));
    if (texts.size() == 1)
        return texts.first();
    return QString("");
}

} // namespace

bool AB_EIP::readData(LogList *list)
{
    DeviceInstancePlugin &device = list->device;
    if (eipDiscoveryPaused(device))
        return false;
    IdentityCache identity;

    for (int i = 0; i < list->dataItems.size(); ++i) {
        if (eipDiscoveryPaused(device))
            return false;
        DataItem &data = list->dataItems[i];
        ItemInstancePlugin &item = data.item;
        if (zel_identity::isIdentityItem(item, "address")) {
            readIdentityItem(device, data, identity);
            continue;
        }

        const TagInstance tag = getOrCreateTag(device, &data);
        const int handle = tag.handle;
        if (handle < 0) {
            pluginInterface.logDebug(QStringLiteral("Error getting or creating tag: ") + errorMessage(handle) +
                                     QStringLiteral(". Item: ") + item.name);
            destroyTag(handle);
            if (handle == PLCTAG_ERR_TIMEOUT) {
                device.statusMessage = QLatin1String(kTimeoutText);
                return false;
            }
            item.statusMessage = errorMessage(handle);
            continue;
        }

        int status = waitForTagToBeReady(handle, kReadyAfterCreateMs);
        if (status != PLCTAG_STATUS_OK) {
            pluginInterface.logDebug(QStringLiteral("Failed to wait for tag after create. Item: ") + item.name +
                                     QStringLiteral(" Address: ") + item.settings.value(QStringLiteral("address")) +
                                     QStringLiteral(" Error: ") + errorMessage(status));
            destroyTag(handle);
            item.statusMessage = errorMessage(status); // never leave an old value looking good
            continue;
        }

        status = plc_tag_lock(handle);
        if (status != PLCTAG_STATUS_OK) {
            if (status == PLCTAG_ERR_TIMEOUT)
                device.statusMessage = QLatin1String(kTimeoutText);
            else
                item.statusMessage = errorMessage(status);
            return false;
        }

        status = plc_tag_status(handle);
        if (status != PLCTAG_STATUS_OK) {
            plc_tag_unlock(handle);
            destroyTag(handle);
            item.statusMessage = errorMessage(status);
            continue;
        }

        status = plc_tag_read(handle, kReadTimeoutMs);
        waitForTagToBeReady(handle, kReadyAfterReadMs);
        if (status != PLCTAG_STATUS_OK && status != PLCTAG_STATUS_PENDING) {
            pluginInterface.logDebug(QStringLiteral("Unable to read data from tag ") + item.name + QStringLiteral(" (") +
                                     item.settings.value(QStringLiteral("address")) + QStringLiteral("). Error: ") +
                                     errorMessage(status));
            plc_tag_unlock(handle);
            destroyTag(handle);
            if (status == PLCTAG_ERR_TIMEOUT) {
                device.statusMessage = QLatin1String(kTimeoutText);
                return false;
            }
            item.statusMessage = errorMessage(status);
            continue;
        }

        // The writable index, as the host's other drivers do: a missing key becomes an empty entry.
        int dataType = item.settings[QStringLiteral("data_type")].toInt();
        const int controller = device.settings[QStringLiteral("controller_type")].toInt();
        const int versionParts =
            controller == OmronNjNx ? omronVersionElements(item.settings.value(QStringLiteral("address"))) : 0;
        if (versionParts > 0)
            dataType = UnsignedSmallInteger;

        QStringList texts;
        texts.reserve(tag.elementCount);
        for (unsigned short e = 0; e < tag.elementCount; ++e)
            texts << convertValueToString(handle, static_cast<DataType>(dataType),
                                          static_cast<ControllerType>(controller), e);
        data.values.insert(QStringLiteral("value"), joinValue(texts, versionParts));
        item.statusMessage.clear(); // a good value never carries an old error
        plc_tag_unlock(handle);
    }
    return true;
}
