#pragma once
// Identity items: read-only host items that show what a device says about itself. They are
// recognised by their uid ("identity_<device>_<key>") or their address ("__identity.<field>").

#include <host/plugin_interface.h>

#include <QList>
#include <QMap>
#include <QString>

namespace zel_identity {

// One identity field as it becomes a host item.
struct Spec {
    QString key;                     // uid suffix and item tag
    QString name;                    // item display name
    QString description;             // item description
    QMap<QString, QString> options;  // copied into the item's settings ("address", "data_type")
    bool flag = false;               // copied into the item's flag
};

int readIntervalMs();
bool isIdentityAddress(QString const &address);
bool isIdentityItem(ItemInstancePlugin const &item, QString const &settingName);
// Text after "__identity." for an identity address, else a null text.
QString fieldKey(QString const &address);
QString uidFor(int deviceId, QString const &key);
// Creates the items of `specs` the host does not hold yet; returns how many it created.
int ensureItems(PluginInterface *host, int deviceId, QList<Spec> const &specs);

} // namespace zel_identity

// The five List Identity fields every EtherNet/IP device reports.
QList<zel_identity::Spec> eipIdentitySpecs();
// Omron NJ/NX: the same, "firmware" being the unit version, plus the CIP and hardware revisions.
QList<zel_identity::Spec> omronIdentitySpecs();

namespace zel_identity {
// Creates the identity items a device lacks: the Omron table for an Omron NJ/NX controller,
// the EtherNet/IP one for any other.
void ensureDeviceItems(PluginInterface *host, const DeviceInstancePlugin &device);
} // namespace zel_identity
