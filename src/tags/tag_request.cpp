#include "tag_request.h"

#include "controller_profile.h"
#include "identity/omron_version.h"
#include "plugin/ab_eip.h"

#include <QRegularExpression>

#include <sys/select.h>

namespace {

QString setting(const QMap<QString, QString> &map, const char *key)
{
    return map.value(QLatin1String(key));
}

// Rewrites "Data[2-5]" into "Data[2]" with four elements; bounds from the last range.
void applyArrayRange(QString &name, uint16_t &elementCount)
{
    if (name.indexOf(QLatin1Char('-')) <= 0)
        return;
    const QRegularExpressionMatch m = AB_EIP::offsetMatches.match(name);
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

} // namespace

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

TagRequest tagRequestFor(const DeviceInstancePlugin &device, const QMap<QString, QString> &itemSettings)
{
    TagRequest r;
    const QString address = setting(itemSettings, "address");
    int type = setting(device.settings, "controller_type").toInt();
    int dataType = setting(itemSettings, "data_type").toInt();
    QString route = setting(device.settings, "path");

    if (eip_identity::isMicro800(device.name) || eip_identity::isMicro800(setting(device.settings, "product_name")))
        type = AB_EIP::Micro800;
    r.controllerType = type;

    const ControllerProfile &profile = controllerProfile(type);
    if (profile.dropsBackplaneRoute && route.trimmed() == QLatin1String("1,0"))
        route.clear();
    if (profile.defaultRoute && route.isEmpty())
        route = QLatin1String(profile.defaultRoute);
    const QString routeSuffix = route.isEmpty() ? QString() : QStringLiteral("&path=") + route;

    QString name = address;
    const int versionParts = type == AB_EIP::OmronNjNx ? omronVersionElements(address) : 0;
    applyArrayRange(name, r.elementCount);
    if (versionParts > 0) {
        dataType = AB_EIP::UnsignedSmallInteger;
        r.elementCount = static_cast<uint16_t>(versionParts);
        name = omronTagBase(name) + QStringLiteral("[0]");
    }
    r.name = name;

    // One multi-argument arg(): a '%' inside an argument is not expanded again.
    r.attributes =
        QStringLiteral("protocol=ab_eip&gateway=%1&plc=%2&elem_size=%3&elem_count=%4&name=%5&share_session=1&debug=%6")
            .arg(device.ipAddress + routeSuffix, AB_EIP::getCpu(static_cast<AB_EIP::ControllerType>(type)),
                 QString::number(AB_EIP::getDataLength(static_cast<AB_EIP::DataType>(dataType))),
                 QString::number(r.elementCount), name, QStringLiteral("0"));
    return r;
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
