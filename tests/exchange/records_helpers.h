#pragma once
// Small builders for host records used across the plugin's unit tests.

#include <host/zel_records.h>

inline DeviceInstancePlugin makeDevice(int id, const QString &ip, int controllerType, const QString &path = QString())
{
    DeviceInstancePlugin d{};
    d.id = id;
    d.name = QStringLiteral("Device %1").arg(id);
    d.ipAddress = ip;
    d.settings.insert(QStringLiteral("controller_type"), QString::number(controllerType));
    if (!path.isNull())
        d.settings.insert(QStringLiteral("path"), path);
    return d;
}

inline DataItem makeDataItem(int itemId, const QString &name, const QString &address, int dataType,
                             const QString &value = QString())
{
    DataItem di;
    di.item.id = itemId;
    di.item.uid = QStringLiteral("item_%1").arg(itemId);
    di.item.name = name;
    di.item.settings.insert(QStringLiteral("address"), address);
    di.item.settings.insert(QStringLiteral("data_type"), QString::number(dataType));
    if (!value.isNull())
        di.values.insert(QStringLiteral("value"), value);
    return di;
}
