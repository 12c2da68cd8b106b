#include "identity_items.h"

namespace {

const QString kAddressPrefix = QStringLiteral("__identity.");
const QString kStringType = QStringLiteral("11"); // AB_EIP::String

struct Row {
    const char *key;
    const char *name;
    const char *description;
};

const Row kEipRows[] = {
    {"vendor", "Vendor", "EtherNet/IP vendor"},
    {"model", "Model", "EtherNet/IP product name"},
    {"serial", "Serial", "EtherNet/IP serial number"},
    {"firmware", "Firmware", "EtherNet/IP revision"},
    {"product_code", "Product code", "EtherNet/IP product code"},
};

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

bool isIdentityItem(ItemInstancePlugin const &item, char const *settingName)
{
    if (item.uid.startsWith(QLatin1String("identity_")))
        return true;
    return isIdentityAddress(item.settings.value(QString::fromLatin1(settingName)));
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
    for (const Row &row : kEipRows) {
        zel_identity::Spec spec;
        spec.key = QString::fromLatin1(row.key);
        spec.name = QString::fromLatin1(row.name);
        spec.description = QString::fromLatin1(row.description);
        spec.options.insert(QStringLiteral("address"), kAddressPrefix + spec.key);
        spec.options.insert(QStringLiteral("data_type"), kStringType);
        specs << spec;
    }
    return specs;
}
