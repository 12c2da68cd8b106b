#pragma once
// Elements of a tag buffer to text and back, through the tag library's typed accessors, at the
// element offsets of the data type and, for strings, of the family's string layout.

#include "write_value.h"

#include <QStringList>
#include <QVector>

// Puts one checked number into element `index` of a numeric tag; the library's status.
int encodeNumber(int tag, const model::DataTypeRow &type, unsigned short index, const ElementValue &value);
// Why a tag just read cannot hold `count` elements of the data type (elements wider or
// narrower than the type's, or too few bytes), or empty when it can. Strings are exempt: their
// layouts are the family's.
QString tagSizeMismatch(int tag, int dataType, int controllerType, int count);

// Text of one element; empty when it cannot be decoded or the data type is unknown.
QString decodeElement(int tag, int dataType, int controllerType, unsigned short index);

// Every element of a tag just read. False, with the tag-library status, when an element lies
// past the end of the buffer or a string element cannot be decoded: the caller then has no
// value to show.
bool decodeElements(int tag, int dataType, int controllerType, int count, QStringList *texts, int *status);

struct Encoded {
    int status = 0;      // not 0: refused, and the buffer was left as it was
    int totalLength = 0; // bytes of the string that did not fit
};

// Puts checked values into elements 0 to values.size() - 1 of a tag of `elementCount` elements;
// the others keep what the buffer holds. Everything is checked before the first byte changes,
// so a refused write leaves the buffer as the controller gave it.
Encoded encodeElements(int tag, int dataType, int controllerType, const QVector<WriteValue> &values,
                       int elementCount);
