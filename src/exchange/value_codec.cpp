#include "value_codec.h"

#include "tags/controller_profile.h"

#include <libplctag.h>

#include <QByteArray>

#include <algorithm>
#include <vector>

namespace {

// Offsets wrap in 16 bits, as the element index does.
int elementOffset(const DataTypeInfo &info, unsigned short index)
{
    return static_cast<unsigned short>(index * info.elementSize);
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
    const DataTypeInfo *info = dataTypeInfo(dataType);
    texts->clear();
    texts->reserve(count);
    if (!info) {
        for (int i = 0; i < count; ++i)
            texts->append(QString(""));
        return true;
    }
    if (info->get) {
        const int size = plc_tag_get_size(tag);
        for (int i = 0; i < count; ++i) {
            const int offset = elementOffset(*info, static_cast<unsigned short>(i));
            // A getter out of range answers with a sentinel that looks like any other value.
            if (size < 0 || offset + info->elementSize > size) {
                *status = size < 0 ? size : PLCTAG_ERR_OUT_OF_BOUNDS;
                return false;
            }
            texts->append(info->get(tag, offset));
        }
        return true;
    }
    const StringLayout &l = controllerProfile(controllerType).strings;
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
    const DataTypeInfo *info = dataTypeInfo(dataType);
    const int size = plc_tag_get_size(tag);
    if (!info || !info->get || count < 1 || size < 0 || size == info->elementSize * count)
        return QString();
    if (controllerProfile(controllerType).padsLoneByte && info->elementSize == 1 && count == 1 && size == 2)
        return QString();
    if (size > 0 && size % count == 0)
        return QStringLiteral("The PLC's tag holds %1-byte elements; the item's data type has %2")
            .arg(size / count)
            .arg(info->elementSize);
    return QStringLiteral("The PLC's tag holds %1 bytes; the item needs %2").arg(size).arg(info->elementSize * count);
}

QString decodeElement(int tag, int dataType, int controllerType, unsigned short index)
{
    const DataTypeInfo *info = dataTypeInfo(dataType);
    if (info && info->get) {
        const int offset = elementOffset(*info, index);
        return offset + info->elementSize <= plc_tag_get_size(tag) ? info->get(tag, offset) : QString("");
    }
    QStringList texts;
    int status = 0;
    if (!info || !decodeElements(tag, dataType, controllerType, index + 1, &texts, &status))
        return QString("");
    return texts.last();
}

Encoded encodeElements(int tag, int dataType, int controllerType, const QVector<WriteValue> &values, int elementCount)
{
    const DataTypeInfo *info = dataTypeInfo(dataType);
    if (!info)
        return {PLCTAG_ERR_UNSUPPORTED, 0};
    if (info->set) {
        // Checked before the first byte changes, so that a refused write leaves the buffer whole.
        const int size = plc_tag_get_size(tag);
        const int last = elementOffset(*info, static_cast<unsigned short>(values.size() - 1));
        if (!values.isEmpty() && (size < 0 || last + info->elementSize > size))
            return {size < 0 ? size : PLCTAG_ERR_OUT_OF_BOUNDS, 0};
        for (int k = 0; k < values.size(); ++k) {
            const int rc = info->set(tag, elementOffset(*info, static_cast<unsigned short>(k)), values[k].number);
            if (rc != PLCTAG_STATUS_OK)
                return {rc, 0};
        }
        return {};
    }
    const StringLayout &l = controllerProfile(controllerType).strings;
    return l.countBytes == 0 ? encodeLibrary(tag, l, values) : encodeCounted(tag, l, values, elementCount);
}
