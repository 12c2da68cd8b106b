#include "pause_gate.h"

#include <host/plugin_interface.h>

bool eipDiscoveryPaused(const DeviceInstancePlugin &device)
{
    const QString plugin = QStringLiteral("ab_eip");
    return PluginInterface::isDiscoveryPaused(plugin, device.ipAddress) ||
           PluginInterface::isDiscoveryPaused(plugin, QStringLiteral("exclusive"));
}
