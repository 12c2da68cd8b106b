#pragma once
// Checking a value the host wants written against the item's data type. A value that is not
// a number of that type, or lies outside its range, is refused rather than written as 0 or
// wrapped: on a real controller either would set a value nobody asked for.

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <cstdint>

struct WriteValue {
    bool ok = false;
    int64_t integer = 0; // integer types (Bool as 0 / 1)
    double real = 0;     // Real and LReal
    QByteArray text;     // String: UTF-8 bytes
    QString error;       // why the value was refused
};

// The value as the write cycle hands it over: a JSON string, or one element of a JSON array.
WriteValue parseWriteValue(int dataType, const QVariant &value);

// "Double integer" and the other configuration labels; the number for unknown types.
QString dataTypeLabel(int dataType);
