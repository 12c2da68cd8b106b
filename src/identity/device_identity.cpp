#include "device_identity.h"

#include "identity_items.h"
#include "list_identity.h"
#include "omron_reads.h"
#include "model/families.h"

#include <QDateTime>

QMap<QString, QString> readDeviceIdentity(const DeviceInstancePlugin &device)
{
    QMap<QString, QString> fields = readEipListIdentity(device.ipAddress);
    const model::IdentityReads *reads =
        model::family(device.settings.value(QStringLiteral("controller_type")).toInt()).identity;
    if (!reads || !fields.contains(QStringLiteral("cip_revision"))) {
        // The CIP revision is an item of Omron controllers only; elsewhere "firmware" says it.
        fields.remove(QStringLiteral("cip_revision"));
        return fields;
    }
    // Omron: "firmware" is the controller's unit version, the hardware revision a variable.
    const QString path = device.settings.value(QStringLiteral("path"));
    const QString firmware =
        readOmronVersion(device.ipAddress, path, QLatin1String(reads->firmware.name), reads->firmware.parts);
    if (!firmware.isEmpty())
        fields.insert(QStringLiteral("firmware"), firmware);
    const QString hardware = readOmronString(device.ipAddress, path, QLatin1String(reads->hardwareVariable));
    if (!hardware.isEmpty()) {
        // "hardware" for the items older versions created.
        fields.insert(QStringLiteral("hardware"), hardware);
        fields.insert(QStringLiteral("hardware_revision"), hardware);
    }
    return fields;
}

void IdentityPass::fill(DataItem &data)
{
    if (!fetched_) {
        fetched_ = true;
        fields_ = readDeviceIdentity(device_);
    }
    QString key = zel_identity::fieldKey(data.item.settings.value(QStringLiteral("address")));
    if (key.isEmpty()) {
        const QString prefix = QStringLiteral("identity_%1_").arg(device_.id);
        if (data.item.uid.startsWith(prefix))
            key = data.item.uid.mid(prefix.size());
    }
    if (!key.isEmpty() && fields_.contains(key)) {
        data.values.insert(QStringLiteral("value"), fields_.value(key));
        data.timestamp = QDateTime::currentDateTimeUtc();
        data.item.statusMessage.clear();
    } else if (fields_.isEmpty()) {
        data.item.statusMessage = QStringLiteral("Could not read EtherNet/IP identity");
    }
}
