#include "omron_reads.h"

#include "model/attribute_string.h"
#include "model/data_types.h"
#include "model/families.h"

#include <libplctag.h>

#include <QByteArray>
#include <QStringList>

#include <vector>

namespace {

constexpr int kTimeoutMs = 5000;

// One element of `elemSize` bytes per part; the route trimmed, the family's default when none is given.
QByteArray omronAttributes(const QString &ip, const QString &path, const QString &name, int elemSize, int elements)
{
    const model::Family &omron = model::family(TagTypes::OmronNjNx);
    model::TagAttributes a;
    a.gateway = ip;
    a.path = omron.route(path.trimmed());
    a.plc = QLatin1String(omron.plc);
    a.elemSize = elemSize;
    a.elemCount = elements;
    a.name = name;
    return model::attributeString(a).toUtf8();
}

} // namespace

QString readOmronVersion(const QString &ip, const QString &path, const QString &name, int elements)
{
    if (ip.isEmpty() || elements < 1)
        return QString();
    const int32_t tag =
        plc_tag_create(omronAttributes(ip, path, name + QStringLiteral("[0]"),
                                       TagTypes::getDataLength(TagTypes::UnsignedSmallInteger), elements).constData(), kTimeoutMs);
    if (tag < 0)
        return QString();
    QStringList parts;
    if (plc_tag_read(tag, kTimeoutMs) == PLCTAG_STATUS_OK) {
        for (int i = 0; i < elements; ++i)
            parts << QString::number(plc_tag_get_uint8(tag, i));
    }
    plc_tag_destroy(tag);
    // A tag that was created but not read gives an empty, non-null text.
    return parts.isEmpty() ? QStringLiteral("") : parts.join(QLatin1Char('.'));
}

QString readOmronString(const QString &ip, const QString &path, const QString &name)
{
    if (ip.isEmpty())
        return QString();
    const int32_t tag = plc_tag_create(
        omronAttributes(ip, path, name, TagTypes::getDataLength(TagTypes::String), 1).constData(), kTimeoutMs);
    if (tag < 0)
        return QString();
    QString result;
    if (plc_tag_read(tag, kTimeoutMs) == PLCTAG_STATUS_OK) {
        const int length = plc_tag_get_string_length(tag, 0);
        if (length >= 1 && length <= 255) {
            // Zero-filled, one byte longer than the text, so it always ends in a zero.
            std::vector<char> buffer(static_cast<size_t>(length) + 1, '\0');
            if (plc_tag_get_string(tag, 0, buffer.data(), static_cast<int>(buffer.size())) == PLCTAG_STATUS_OK) {
                buffer.back() = '\0';
                result = QString::fromUtf8(buffer.data()).trimmed();
            }
        }
    }
    plc_tag_destroy(tag);
    return result;
}
