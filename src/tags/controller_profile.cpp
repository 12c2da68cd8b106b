#include "controller_profile.h"

#include "plugin/ab_eip.h"

#include <QRegularExpression>

namespace {

// Indexed by AB_EIP::ControllerType.
const ControllerProfile kProfiles[] = {
    // Micro800: no backplane; a "1,0" copied from a Logix device would make the connection fail.
    {"micro800", nullptr, true},
    // MicroLogix: PCCC over a direct connection; only a user-given route makes sense.
    {"micrologix", nullptr, false},
    // CompactLogix: the CPU sits in slot 0 of its backplane, reached through port 1.
    {"compactlogix", "1,0", false},
    // SLC500: PCCC, direct connection.
    {"slc500", nullptr, false},
    // PLC5: PCCC, direct connection.
    {"plc5", nullptr, false},
    // ControlLogix: chassis CPU, usually in slot 0 behind the Ethernet module.
    {"controllogix", "1,0", false},
    // FlexLogix: the tag library's short name; the route depends on the installation.
    {"flgx", nullptr, false},
    // Omron NJ/NX: the CPU answers on port 1, slot 0 of its internal routing.
    {"omron-njnx", "1,0", false},
};

// Anything else: generic Logix, route only if configured.
const ControllerProfile kGeneric = {"lgx", nullptr, false};

} // namespace

const ControllerProfile &controllerProfile(int controllerType)
{
    if (controllerType >= 0 && controllerType < int(sizeof kProfiles / sizeof kProfiles[0]))
        return kProfiles[controllerType];
    return kGeneric;
}

int AB_EIP::getDataLength(DataType type)
{
    const int t = static_cast<int>(type);
    if (t == String)
        return 88; // Logix STRING: 4-byte count, 82 characters, 2 pad bytes
    if (t == LReal)
        return 8;
    if (t >= DoubleInteger && t <= Real)
        return 4;
    if (t >= Byte && t <= Word)
        return 2; // Byte included: controllers keep it in a 16-bit slot
    return 1;
}

QString AB_EIP::getCpu(ControllerType type)
{
    return QString::fromLatin1(controllerProfile(static_cast<int>(type)).plc);
}

namespace eip_identity {

bool isMicro800(const QString &text)
{
    const QString t = text.trimmed().toLower();
    if (t.isEmpty())
        return false;
    static const char *const models[] = {"micro800", "micro810", "micro820", "micro830", "micro850", "micro870"};
    for (const char *m : models)
        if (t.contains(QLatin1String(m)))
            return true;
    static const QRegularExpression catalogPattern(QStringLiteral("2080-l(?:c(?:10|20|30|50|70)|[57]0)"));
    return catalogPattern.match(t).hasMatch();
}

} // namespace eip_identity
