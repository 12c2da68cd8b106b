#pragma once
// How a configured item on a configured device becomes a tag-library tag: the family after the
// Micro800 override, the tag name, element count, version parts and attribute string, worked
// out once when its cache entry is created. Pure, so every rule is testable on its own.

#include <host/zel_records.h>

#include <QMap>
#include <QString>

#include <cstdint>

// What a binding is computed from, besides the device id and the address: a change in any of
// them (a moved device, another route, family or data type) gives the item another tag.
struct BindingSource {
    QString dataType, controllerType, path, gateway, deviceName, productName;
    bool operator==(const BindingSource &o) const
    {
        return dataType == o.dataType && controllerType == o.controllerType && path == o.path &&
               gateway == o.gateway && deviceName == o.deviceName && productName == o.productName;
    }
};

BindingSource bindingSource(const DeviceInstancePlugin &device, const QMap<QString, QString> &itemSettings);

struct ItemBinding {
    QString attributes;        // what plc_tag_create receives
    QString name;              // tag name after range and version rewriting
    QString refusal;           // not empty: the family cannot have this address; nothing is sent
    uint16_t elementCount = 1; // elem_count
    int controllerType = 0;    // after the Micro800 override
    int dataType = 0;          // as decoded: one byte per part for an Omron version variable
    int versionParts = 0;      // Omron version variable: parts joined with "."
    bool bitAddress = false;   // names one bit (N7:0/3, Flags.5): the tag is the element holding it
};

ItemBinding bindItem(const DeviceInstancePlugin &device, const QMap<QString, QString> &itemSettings);

// Decimal digits as an unsigned 16-bit number, modulo 65536 (any length).
uint16_t decimalModulo16(const QString &digits);

// select() on no descriptors: the result of select.
int sleep_ms(int ms);
