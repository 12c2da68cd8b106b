#pragma once
// Checking a value the host wants written against the item's data type, once, before anything
// touches the tag. A value that is not a number of that type, or lies outside its range, is
// refused rather than written as 0 or wrapped: on a real controller either would set a value
// nobody asked for.

#include "model/data_types.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <cstdint>

// One element's value on its way into a tag buffer, already checked against its data type.
struct ElementValue {
    int64_t integer = 0; // integer types (Bool as 0 / 1)
    double real = 0;     // Real and LReal
};

struct WriteValue {
    bool ok = false;
    ElementValue number; // numeric types
    QByteArray text;     // String: UTF-8 bytes
    QString error;       // why the value was refused
};

// The value as the write cycle hands it over: a JSON string, or one element of a JSON array.
WriteValue parseWriteValue(int dataType, const QVariant &value);
