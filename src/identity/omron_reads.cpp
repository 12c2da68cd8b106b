#include "omron_reads.h"

#include <libplctag.h>

#include <QByteArray>
#include <QStringList>

#include <vector>

namespace {

constexpr int kTimeoutMs = 5000;

QString routePath(const QString &path)
{
    const QString trimmed = path.trimmed();
    return trimmed.isEmpty() ? QStringLiteral("1,0") : trimmed;
}

} // namespace

QString readOmronVersion(const QString &ip, const QString &path, const QString &name, int elements)
{
    if (ip.isEmpty() || elements < 1)
        return QString();
    // One multi-argument arg(): a '%' inside a value is not expanded again.
    const QString attributes =
        QStringLiteral("protocol=ab_eip&gateway=%1&path=%2&plc=omron-njnx&elem_size=1&elem_count=%3&name=%4[0]"
                       "&share_session=1")
            .arg(ip, routePath(path), QString::number(elements), name);
    const int32_t tag = plc_tag_create(attributes.toUtf8().constData(), kTimeoutMs);
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
    const QString attributes =
        QStringLiteral("protocol=ab_eip&gateway=%1&path=%2&plc=omron-njnx&elem_size=88&elem_count=1&name=%3"
                       "&share_session=1")
            .arg(ip, routePath(path), name);
    const int32_t tag = plc_tag_create(attributes.toUtf8().constData(), kTimeoutMs);
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
