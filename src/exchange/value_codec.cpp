#include "value_codec.h"

#include "model/families.h"

#include <libplctag.h>

#include <QByteArray>

#include <algorithm>
#include <vector>

namespace {

using model::DataTypeRow;
using model::StringLayout;

// Offsets wrap in 16 bits, as the element index does.
int elementOffset(const DataTypeRow &type, unsigned short index)
{
    return static_cast<unsigned short>(index * type.elementSize);
}

// Through the tag library's typed accessors: the value at the start of the element, at an
// offset already checked against the buffer.
QString decodeNumber(int32_t t, const DataTypeRow &type, int o)
{
    if (type.number == TagTypes::Bool) // controllers and servers send 1 or 0xFF for true
        return QString::number(plc_tag_get_uint8(t, o) != 0 ? 1 : 0);
    switch (type.value * 16 + type.valueBytes) {
    case DataTypeRow::Unsigned * 16 + 1: return QString::number(int(plc_tag_get_uint8(t, o)));
    case DataTypeRow::Signed * 16 + 1: return QString::number(int(plc_tag_get_int8(t, o)));
    case DataTypeRow::Unsigned * 16 + 2: return QString::number(int(plc_tag_get_uint16(t, o)));
    case DataTypeRow::Signed * 16 + 2: return QString::number(int(plc_tag_get_int16(t, o)));
    case DataTypeRow::Unsigned * 16 + 4: return QString::number(uint(plc_tag_get_uint32(t, o)));
    case DataTypeRow::Signed * 16 + 4: return QString::number(int(plc_tag_get_int32(t, o)));
    case DataTypeRow::Unsigned * 16 + 8: return QString::number(qulonglong(plc_tag_get_uint64(t, o)));
    case DataTypeRow::Signed * 16 + 8: return QString::number(qlonglong(plc_tag_get_int64(t, o)));
    case DataTypeRow::Float * 16 + 4: return QString::number(double(plc_tag_get_float32(t, o)), 'f', 7);
    case DataTypeRow::Float * 16 + 8: return QString::number(plc_tag_get_float64(t, o), 'f', 15);
    default: return QString("");
    }
}

// The library's status of the set (Unsigned long integer travels as its bits in `integer`).
int setNumber(int32_t t, const DataTypeRow &type, int o, const ElementValue &v)
{
    switch (type.value * 16 + type.valueBytes) {
    case DataTypeRow::Unsigned * 16 + 1: return plc_tag_set_uint8(t, o, uint8_t(v.integer));
    case DataTypeRow::Signed * 16 + 1: return plc_tag_set_int8(t, o, int8_t(v.integer));
    case DataTypeRow::Unsigned * 16 + 2: return plc_tag_set_uint16(t, o, uint16_t(v.integer));
    case DataTypeRow::Signed * 16 + 2: return plc_tag_set_int16(t, o, int16_t(v.integer));
    case DataTypeRow::Unsigned * 16 + 4: return plc_tag_set_uint32(t, o, uint32_t(v.integer));
    case DataTypeRow::Signed * 16 + 4: return plc_tag_set_int32(t, o, int32_t(v.integer));
    case DataTypeRow::Unsigned * 16 + 8: return plc_tag_set_uint64(t, o, uint64_t(v.integer));
    case DataTypeRow::Signed * 16 + 8: return plc_tag_set_int64(t, o, v.integer);
    case DataTypeRow::Float * 16 + 4: return plc_tag_set_float32(t, o, float(v.real));
    case DataTypeRow::Float * 16 + 8: return plc_tag_set_float64(t, o, v.real);
    default: return PLCTAG_ERR_UNSUPPORTED;
    }
}

// Whether the element at `offset` lies in a buffer of `size` bytes (plc_tag_get_size: negative
// is the library's status). A getter out of range answers with a sentinel that looks like any
// other value, so it is never asked.
int elementStatus(int size, const DataTypeRow &type, int offset)
{
    if (size < 0)
        return size;
    return offset + type.elementSize <= size ? PLCTAG_STATUS_OK : PLCTAG_ERR_OUT_OF_BOUNDS;
}

QString textUpToZero(const char *bytes, int size)
{
    return QString::fromUtf8(bytes, static_cast<int>(qstrnlen(bytes, uint(size))));
}

// --- Counted layouts (Micro800, Omron): count, characters, the next element right after. ---

// The element at `offset`: its bytes and where the next one starts. False when the count or
// the characters run past the end of the buffer.
bool countedElement(int tag, const StringLayout &l, int offset, QByteArray *bytes, int *next)
{
    const int size = plc_tag_get_size(tag);
    if (offset + l.countBytes > size)
        return false;
    int count = plc_tag_get_uint8(tag, offset);
    if (l.countBytes == 2)
        count |= plc_tag_get_uint8(tag, offset + 1) << 8;
    const int start = offset + l.countBytes;
    if (start + count > size)
        return false;
    bytes->resize(count);
    for (int i = 0; i < count; ++i)
        (*bytes)[i] = static_cast<char>(plc_tag_get_uint8(tag, start + i));
    *next = start + count;
    return true;
}

// The count and characters of one text; Omron rounds the count up to even with a pad byte.
QByteArray countedBytes(const StringLayout &l, const QByteArray &text)
{
    const int count = l.evenCount ? (text.size() + 1) & ~1 : text.size();
    QByteArray out;
    out.append(static_cast<char>(count & 0xFF));
    if (l.countBytes == 2)
        out.append(static_cast<char>(count >> 8));
    out.append(text);
    out.append(count - text.size(), '\0');
    return out;
}

Encoded encodeCounted(int tag, const StringLayout &l, const QVector<WriteValue> &values, int elementCount)
{
    // Elements after the written ones keep what the controller gave; they move with the
    // lengths of the ones before them.
    QByteArray buffer;
    int offset = 0;
    bool intact = true; // once an element does not fit, where the next begins is unknown
    const int size = plc_tag_get_size(tag);
    for (int k = 0; k < std::max(elementCount, int(values.size())); ++k) {
        QByteArray old;
        intact = intact && countedElement(tag, l, offset, &old, &offset);
        const bool have = intact;
        if (k >= values.size() && !have)
            return {PLCTAG_ERR_BAD_DATA, size};
        if (k < values.size() && values[k].text.size() > l.maxLength)
            return {PLCTAG_ERR_TOO_LARGE, l.maxLength + l.countBytes};
        buffer += countedBytes(l, k < values.size() ? values[k].text : old);
    }
    plc_tag_set_size(tag, buffer.size());
    for (int i = 0; i < buffer.size(); ++i)
        plc_tag_set_uint8(tag, i, static_cast<uint8_t>(buffer[i]));
    return {};
}

// --- The tag library's layouts (Logix, PCCC): fixed slots of `stride` bytes. ---

bool libraryElement(int tag, int offset, QString *text, int *status)
{
    const int length = plc_tag_get_string_length(tag, offset);
    if (length < 0) {
        *status = length;
        return false;
    }
    std::vector<char> buffer(static_cast<size_t>(length) + 1, '\0');
    const int rc = plc_tag_get_string(tag, offset, buffer.data(), length + 1);
    if (rc != PLCTAG_STATUS_OK) {
        *status = rc;
        return false;
    }
    *text = textUpToZero(buffer.data(), length);
    return true;
}

Encoded encodeLibrary(int tag, const StringLayout &l, const QVector<WriteValue> &values)
{
    const int size = plc_tag_get_size(tag);
    for (int k = 0; k < values.size(); ++k) {
        const int offset = k * l.stride;
        const int total = plc_tag_get_string_total_length(tag, offset);
        const int capacity = plc_tag_get_string_capacity(tag, offset);
        if (total < 0 || capacity < 0)
            return {total < 0 ? total : capacity, total};
        if (values[k].text.size() > capacity)
            return {PLCTAG_ERR_TOO_LARGE, total};
        if (offset + total > size)
            return {PLCTAG_ERR_OUT_OF_BOUNDS, total};
    }
    for (int k = 0; k < values.size(); ++k) {
        const int rc = plc_tag_set_string(tag, k * l.stride, values[k].text.constData());
        if (rc != PLCTAG_STATUS_OK)
            return {rc, plc_tag_get_string_total_length(tag, k * l.stride)};
    }
    return {};
}

} // namespace

bool decodeElements(int tag, int dataType, int controllerType, int count, QStringList *texts, int *status)
{
    const DataTypeRow *info = model::dataType(dataType);
    texts->clear();
    texts->reserve(count);
    if (!info) {
        for (int i = 0; i < count; ++i)
            texts->append(QString(""));
        return true;
    }
    if (info->value != DataTypeRow::Text) {
        const int size = plc_tag_get_size(tag);
        for (int i = 0; i < count; ++i) {
            const int offset = elementOffset(*info, static_cast<unsigned short>(i));
            *status = elementStatus(size, *info, offset);
            if (*status != PLCTAG_STATUS_OK)
                return false;
            texts->append(decodeNumber(tag, *info, offset));
        }
        return true;
    }
    const StringLayout &l = model::family(controllerType).strings;
    int offset = 0;
    for (int i = 0; i < count; ++i) {
        QString text;
        if (l.countBytes == 0) {
            if (!libraryElement(tag, i * l.stride, &text, status))
                return false;
        } else {
            QByteArray bytes;
            if (!countedElement(tag, l, offset, &bytes, &offset)) {
                *status = PLCTAG_ERR_BAD_DATA; // a count past the end of what the controller sent
                return false;
            }
            text = textUpToZero(bytes.constData(), bytes.size());
        }
        texts->append(text);
    }
    return true;
}

QString tagSizeMismatch(int tag, int dataType, int controllerType, int count)
{
    const DataTypeRow *info = model::dataType(dataType);
    const int size = plc_tag_get_size(tag);
    if (!info || info->value == DataTypeRow::Text || count < 1 || size < 0 || size == info->elementSize * count)
        return QString();
    if (model::family(controllerType).padsLoneByte && info->elementSize == 1 && count == 1 && size == 2)
        return QString();
    if (size > 0 && size % count == 0)
        return QStringLiteral("The PLC's tag holds %1-byte elements; the item's data type has %2")
            .arg(size / count)
            .arg(info->elementSize);
    return QStringLiteral("The PLC's tag holds %1 bytes; the item needs %2").arg(size).arg(info->elementSize * count);
}

QString decodeElement(int tag, int dataType, int controllerType, unsigned short index)
{
    const DataTypeRow *info = model::dataType(dataType);
    if (info && info->value != DataTypeRow::Text) {
        const int offset = elementOffset(*info, index);
        return elementStatus(plc_tag_get_size(tag), *info, offset) == PLCTAG_STATUS_OK ? decodeNumber(tag, *info, offset)
                                                                                      : QString("");
    }
    QStringList texts;
    int status = 0;
    if (!info || !decodeElements(tag, dataType, controllerType, index + 1, &texts, &status))
        return QString("");
    return texts.last();
}

Encoded encodeElements(int tag, int dataType, int controllerType, const QVector<WriteValue> &values, int elementCount)
{
    const DataTypeRow *info = model::dataType(dataType);
    if (!info)
        return {PLCTAG_ERR_UNSUPPORTED, 0};
    if (info->value != DataTypeRow::Text) {
        // Checked before the first byte changes, so that a refused write leaves the buffer whole.
        const int status = values.isEmpty() ? PLCTAG_STATUS_OK
                                            : elementStatus(plc_tag_get_size(tag), *info,
                                                            elementOffset(*info, static_cast<unsigned short>(values.size() - 1)));
        if (status != PLCTAG_STATUS_OK)
            return {status, 0};
        for (int k = 0; k < values.size(); ++k) {
            const int rc = setNumber(tag, *info, elementOffset(*info, static_cast<unsigned short>(k)), values[k].number);
            if (rc != PLCTAG_STATUS_OK)
                return {rc, 0};
        }
        return {};
    }
    const StringLayout &l = model::family(controllerType).strings;
    return l.countBytes == 0 ? encodeLibrary(tag, l, values) : encodeCounted(tag, l, values, elementCount);
}

int encodeNumber(int tag, const DataTypeRow &type, unsigned short index, const ElementValue &value)
{
    const int offset = elementOffset(type, index);
    const int status = elementStatus(plc_tag_get_size(tag), type, offset);
    return status == PLCTAG_STATUS_OK ? setNumber(tag, type, offset, value) : status;
}
