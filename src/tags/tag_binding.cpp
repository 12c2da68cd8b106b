#include "tag_binding.h"

#include "model/attribute_string.h"
#include "model/data_types.h"
#include "model/families.h"
#include "tag_access.h"

#include <QRegularExpression>

#include <sys/select.h>

namespace {

// A literal key, not a QLatin1String: the conversion to QString would allocate on every
// look-up, and a pass looks up several per item.
QString setting(const QMap<QString, QString> &map, const QString &key)
{
    return map.value(key);
}

// Rewrites "Data[2-5]" into "Data[2]" with four elements; bounds from the last range.
void applyArrayRange(QString &name, uint16_t &elementCount)
{
    if (name.indexOf(QLatin1Char('-')) <= 0)
        return;
    const QRegularExpressionMatch m = TagAccess::offsetMatches.match(name);
    if (!m.hasMatch())
        return;
    const uint16_t first = decimalModulo16(m.captured(1));
    const uint16_t last = decimalModulo16(m.captured(2));
    // 65536 elements (0-65535) do not fit the 16-bit count and would wrap to a tag of none, which
    // reads and writes nothing; such a range is left in the name for the tag library to refuse.
    const uint32_t count = uint32_t(last) - first + 1;
    if (last <= first || count > 0xFFFFu)
        return;
    elementCount = static_cast<uint16_t>(count);
    static const QRegularExpression ranges(QStringLiteral("\\[\\s*(\\d+)\\s*-\\s*(\\d+)\\s*\\]+"));
    name.replace(ranges, QStringLiteral("[%1]").arg(first));
}

QString refusalFor(const model::Family &profile, const QString &address)
{
    using model::isDataFileAddress;
    const QString family = *profile.label ? QString::fromLatin1(profile.label) : QStringLiteral("Logix");
    if (profile.dataFiles() && !isDataFileAddress(address))
        return QStringLiteral("Address ") + address + QStringLiteral(" is not a data file address (such as N7:0), as a ") +
               family + QStringLiteral(" controller needs");
    if (profile.dataFiles()) {
        static const QRegularExpression letters(QStringLiteral("^\\s*([A-Za-z]{1,2})"));
        const QString type = letters.match(address).captured(1).toUpper();
        if (!QString::fromLatin1(profile.fileTypes).split(QLatin1Char(' ')).contains(type))
            return QStringLiteral("Address ") + address + QStringLiteral(": a ") + family +
                   QStringLiteral(" controller has no ") + type + QStringLiteral(" files");
    }
    if (!profile.dataFiles() && isDataFileAddress(address))
        return QStringLiteral("Address ") + address + QStringLiteral(" is a data file address; a ") + family +
               QStringLiteral(" controller takes tag names");
    return QString();
}

} // namespace

BindingSource bindingSource(const DeviceInstancePlugin &device, const QMap<QString, QString> &itemSettings)
{
    return {setting(itemSettings, QStringLiteral("data_type")),
            setting(device.settings, QStringLiteral("controller_type")),
            setting(device.settings, QStringLiteral("path")),
            device.ipAddress,
            device.name,
            setting(device.settings, QStringLiteral("product_name"))};
}

uint16_t decimalModulo16(const QString &digits)
{
    uint32_t v = 0;
    for (QChar c : digits) {
        if (!c.isDigit())
            break;
        v = (v * 10 + static_cast<uint32_t>(c.digitValue())) & 0xFFFFu;
    }
    return static_cast<uint16_t>(v);
}

ItemBinding bindItem(const DeviceInstancePlugin &device, const QMap<QString, QString> &itemSettings)
{
    ItemBinding b;
    const QString address = setting(itemSettings, QStringLiteral("address"));
    const int type = model::effectiveFamily(setting(device.settings, QStringLiteral("controller_type")).toInt(),
                                            device.name, setting(device.settings, QStringLiteral("product_name")));
    b.dataType = setting(itemSettings, QStringLiteral("data_type")).toInt();
    b.controllerType = type;

    const model::Family &profile = model::family(type);
    b.refusal = refusalFor(profile, address);

    static const QRegularExpression bit(QStringLiteral("[./]\\d+\\s*$"));
    b.bitAddress = bit.match(address).hasMatch();
    b.name = address;
    applyArrayRange(b.name, b.elementCount);
    b.versionParts = profile.versionParts(address);
    if (b.versionParts > 0) {
        b.dataType = TagTypes::UnsignedSmallInteger;
        b.elementCount = static_cast<uint16_t>(b.versionParts);
        b.name = model::tagBase(b.name) + QStringLiteral("[0]");
    }

    model::TagAttributes a;
    a.gateway = device.ipAddress;
    a.path = profile.route(setting(device.settings, QStringLiteral("path")));
    a.plc = QString::fromLatin1(profile.plc);
    a.elemSize = TagTypes::getDataLength(static_cast<TagTypes::DataType>(b.dataType));
    a.elemCount = b.elementCount;
    a.name = b.name;
    a.debugOff = true;
    b.attributes = model::attributeString(a);
    return b;
}

int sleep_ms(int ms)
{
    if (ms < 0)
        ms = 0;
    timeval tv;
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
    return select(0, nullptr, nullptr, nullptr, &tv);
}
