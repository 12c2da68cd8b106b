// One element of a tag buffer to text and back, through the tag library's typed accessors.
#include "plugin/ab_eip.h"
#include "write_value.h"

#include <libplctag.h>

#include <QByteArray>

#include <new>
#include <vector>

namespace {

// Offsets wrap in 16 bits, as the element index does.
int elementOffset(AB_EIP::DataType type, unsigned short index)
{
    return static_cast<unsigned short>(index * AB_EIP::getDataLength(type));
}

// Micro800: a count byte and the characters right after it. A count past the end of the
// buffer reads only what the buffer holds.
QString micro800String(int tag, int offset)
{
    const int count = plc_tag_get_uint8(tag, offset);
    const int size = plc_tag_get_size(tag);
    const int available = size > offset + 1 ? size - offset - 1 : 0;
    const int n = count < available ? count : available;
    QByteArray bytes(n, '\0');
    for (int i = 0; i < n; ++i)
        bytes[i] = static_cast<char>(plc_tag_get_uint8(tag, offset + 1 + i));
    return QString::fromUtf8(bytes.constData(), static_cast<int>(qstrnlen(bytes.constData(), uint(n))));
}

// Other controllers: the tag library's own string layout, at offset 0.
QString libraryString(int tag)
{
    const int length = plc_tag_get_string_length(tag, 0);
    if (length < 0) {
        plc_tag_destroy(tag);
        return QString("");
    }
    std::vector<char> buffer;
    try {
        buffer.assign(static_cast<size_t>(length) + 1, '\0');
    } catch (const std::bad_alloc &) {
        plc_tag_destroy(tag);
        return QString("");
    }
    if (plc_tag_get_string(tag, 0, buffer.data(), length + 1) != PLCTAG_STATUS_OK) {
        plc_tag_destroy(tag);
        return QString("");
    }
    buffer.back() = '\0';
    return QString::fromUtf8(buffer.data());
}

} // namespace

QString AB_EIP::convertValueToString(int tag, DataType type, ControllerType controller, unsigned short index)
{
    const int offset = elementOffset(type, index);
    switch (type) {
    case Bool:
    case UnsignedSmallInteger:
    case Byte: return QString::number(int(plc_tag_get_uint8(tag, offset)));
    case SmallInteger: return QString::number(int(plc_tag_get_int8(tag, offset)));
    case Integer: return QString::number(int(plc_tag_get_int16(tag, offset)));
    case UnsignedInteger:
    case Word: return QString::number(int(plc_tag_get_uint16(tag, offset)));
    case DoubleInteger: return QString::number(int(plc_tag_get_int32(tag, offset)));
    case UnsignedDoubleInteger:
    case DoubleWord: return QString::number(uint(plc_tag_get_uint32(tag, offset)));
    case Real: return QString::number(double(plc_tag_get_float32(tag, offset)), 'f', 7);
    case LReal: return QString::number(plc_tag_get_float64(tag, offset), 'f', 15);
    case String: return controller == Micro800 ? micro800String(tag, offset) : libraryString(tag);
    }
    return QString("");
}

bool AB_EIP::setTagValue(int tag, DataType type, ControllerType controller, QVariant value, unsigned short index)
{
    const WriteValue v = parseWriteValue(type, value);
    if (!v.ok)
        return false;
    const int offset = elementOffset(type, index);
    switch (type) {
    case Bool:
    case UnsignedSmallInteger:
    case Byte: plc_tag_set_uint8(tag, offset, static_cast<uint8_t>(v.integer)); return true;
    case SmallInteger: plc_tag_set_int8(tag, offset, static_cast<int8_t>(v.integer)); return true;
    case Integer: plc_tag_set_int16(tag, offset, static_cast<int16_t>(v.integer)); return true;
    case UnsignedInteger:
    case Word: plc_tag_set_uint16(tag, offset, static_cast<uint16_t>(v.integer)); return true;
    case DoubleInteger: plc_tag_set_int32(tag, offset, static_cast<int32_t>(v.integer)); return true;
    case UnsignedDoubleInteger:
    case DoubleWord: plc_tag_set_uint32(tag, offset, static_cast<uint32_t>(v.integer)); return true;
    case Real: plc_tag_set_float32(tag, offset, static_cast<float>(v.real)); return true;
    case LReal: plc_tag_set_float64(tag, offset, v.real); return true;
    case String: break;
    }

    // Strings always go to offset 0 of the buffer. A text that does not fit is refused:
    // cutting it, or writing the old buffer, would put a value nobody asked for.
    const QByteArray &text = v.text;
    if (controller == Micro800) {
        if (text.size() > 255)
            return stringRefused(256, PLCTAG_ERR_TOO_LARGE); // the count is one byte
        const int count = text.size();
        plc_tag_set_size(tag, count + 1);
        plc_tag_set_uint8(tag, 0, static_cast<uint8_t>(count));
        for (int i = 0; i < count; ++i)
            plc_tag_set_uint8(tag, 1 + i, static_cast<uint8_t>(text[i]));
        return true;
    }
    if (controller == OmronNjNx) {
        if (text.size() > 65534)
            return stringRefused(65536, PLCTAG_ERR_TOO_LARGE); // a 16-bit count, always even
        const int length = text.size();
        const int count = (length + 1) & ~1;
        plc_tag_set_size(tag, count + 2);
        plc_tag_set_uint8(tag, 0, static_cast<uint8_t>(count & 0xFF));
        plc_tag_set_uint8(tag, 1, static_cast<uint8_t>(count >> 8));
        for (int i = 0; i < length; ++i)
            plc_tag_set_uint8(tag, 2 + i, static_cast<uint8_t>(text[i]));
        if (length % 2)
            plc_tag_set_uint8(tag, 2 + length, 0);
        return true;
    }
    const int total = plc_tag_get_string_total_length(tag, 0);
    const int status = plc_tag_set_string(tag, 0, text.constData());
    if (status != PLCTAG_STATUS_OK)
        return stringRefused(total, status);
    return true;
}

bool AB_EIP::stringRefused(int totalLength, int status)
{
    pluginInterface.logError(QStringLiteral("Error setting string %1, error %2!")
                                 .arg(QString::number(totalLength), QString::fromLatin1(plc_tag_decode_error(status))));
    return false;
}
