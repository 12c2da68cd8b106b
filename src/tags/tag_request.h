#pragma once
// How a configured item on a configured device becomes a tag-library tag: the attribute
// string, the element count and the tag name. Pure, so every rule is testable on its own.

#include <host/zel_records.h>

#include <QMap>
#include <QString>

#include <cstdint>

struct TagRequest {
    QString attributes;        // what plc_tag_create receives
    QString name;              // tag name after range and version rewriting
    uint16_t elementCount = 1; // elem_count
    int controllerType = 0;    // after the Micro800 override
};

TagRequest tagRequestFor(const DeviceInstancePlugin &device, const QMap<QString, QString> &itemSettings);

// Decimal digits as an unsigned 16-bit number, modulo 65536 (any length).
uint16_t decimalModulo16(const QString &digits);

// select() on no descriptors: the result of select.
int sleep_ms(int ms);
