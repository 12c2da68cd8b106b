#include "identity_items.h"

#include "model/data_types.h"
#include "model/families.h"

namespace {

const QString kAddressPrefix = QStringLiteral("__identity.");
const QString kStringType = QString::number(TagTypes::String);

struct Row {
    const char *key;
    const char *name;
    const char *description;
};

// Key (uid suffix and item tag), name, description; the address is the key's field but for
// the CIP revision, whose item was named before its field.
const Row kEipRows[] = {
    {"vendor", "Vendor", "EtherNet/IP vendor"},
    {"model", "Model", "EtherNet/IP product name"},
    {"serial", "Serial", "EtherNet/IP serial number"},
    {"firmware", "Firmware", "EtherNet/IP revision"},
    {"product_code", "Product code", "EtherNet/IP product code"},
};

zel_identity::Spec specOf(const Row &row, const char *field = nullptr)
{
    zel_identity::Spec spec;
    spec.key = QString::fromLatin1(row.key);
    spec.name = QString::fromLatin1(row.name);
    spec.description = QString::fromLatin1(row.description);
    spec.options.insert(QStringLiteral("address"), kAddressPrefix + QLatin1String(field ? field : row.key));
    spec.options.insert(QStringLiteral("data_type"), kStringType);
    return spec;
}

} // namespace

namespace zel_identity {

int readIntervalMs()
{
    return 7 * 24 * 60 * 60 * 1000; // identity rarely changes: once a week
}

bool isIdentityAddress(QString const &address)
{
    return address.startsWith(kAddressPrefix);
}

bool isIdentityItem(ItemInstancePlugin const &item, QString const &settingName)
{
    if (item.uid.startsWith(QLatin1String("identity_")))
        return true;
    return isIdentityAddress(item.settings.value(settingName));
}

QString fieldKey(QString const &address)
{
    if (!isIdentityAddress(address))
        return QString();
    return address.mid(kAddressPrefix.size());
}

QString uidFor(int deviceId, QString const &key)
{
    return QStringLiteral("identity_%1_%2").arg(QString::number(deviceId), key);
}

int ensureItems(PluginInterface *host, int deviceId, QList<Spec> const &specs)
{
    if (!host || deviceId < 1)
        return 0;
    int created = 0;
    for (const Spec &spec : specs) {
        const QString uid = uidFor(deviceId, spec.key);
        ItemInstancePlugin item{};
        if (host->getPluginItem(uid, &item))
            continue; // the host's item is left exactly as it is
        item = ItemInstancePlugin{};
        item.deviceId = deviceId;
        item.uid = uid;
        item.name = spec.name;
        item.description = spec.description;
        item.enabled = true;
        item.itemKind = 1;
        item.readIntervalMs = readIntervalMs();
        item.flag = spec.flag;
        for (auto it = spec.options.constBegin(); it != spec.options.constEnd(); ++it)
            item.settings.insert(it.key(), it.value());
        item.settings.insert(QStringLiteral("item_tags"), spec.key);
        host->addPluginItem(&item);
        ++created;
    }
    return created;
}

} // namespace zel_identity

QList<zel_identity::Spec> eipIdentitySpecs()
{
    QList<zel_identity::Spec> specs;
    for (const Row &row : kEipRows)
        specs << specOf(row);
    return specs;
}

QList<zel_identity::Spec> omronIdentitySpecs()
{
    QList<zel_identity::Spec> specs = eipIdentitySpecs();
    for (zel_identity::Spec &s : specs)
        if (s.key == QLatin1String("firmware"))
            s.description = QStringLiteral("Controller unit version");
    specs << specOf({"product_revision", "CIP revision", "EtherNet/IP identity revision"}, "cip_revision");
    specs << specOf({"hardware_revision", "Hardware revision", "Controller hardware revision"});
    return specs;
}

namespace zel_identity {

void ensureDeviceItems(PluginInterface *host, const DeviceInstancePlugin &device)
{
    const bool omron =
        model::family(device.settings.value(QStringLiteral("controller_type"), QString()).toInt(nullptr, 10)).identity;
    QList<Spec> specs = omron ? omronIdentitySpecs() : eipIdentitySpecs();
    if (omron && host) {
        // Older versions created a "hardware" item; it now stands for the hardware revision.
        ItemInstancePlugin legacy{};
        if (host->getPluginItem(uidFor(device.id, QStringLiteral("hardware")), &legacy)) {
            legacy.setItemTags(QStringList{QStringLiteral("hardware_revision")});
            host->addPluginItem(&legacy);
            specs.removeLast();
        }
    }
    ensureItems(host, device.id, specs);
}

} // namespace zel_identity
