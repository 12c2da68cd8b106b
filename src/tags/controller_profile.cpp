#include "controller_profile.h"

#include <QRegularExpression>

namespace {

constexpr StringLayout kLogixStrings{0, 88, false, 0};
// SLC ST files: 2-byte count, 82 characters swapped in pairs.
constexpr StringLayout kPcccStrings{0, 84, false, 0};
constexpr StringLayout kShortStrings{1, 0, false, 255};
// The tag library would only let a text as long as the one held be written (its capacity is
// the current length), so the plugin writes Omron strings itself.
constexpr StringLayout kOmronStrings{2, 0, true, 65534};

constexpr const char *kSlcFiles = "O I S B T C R N F ST L A D";

// Indexed by TagTypes::ControllerType.
const ControllerProfile kProfiles[] = {
    // No backplane; a "1,0" copied from a Logix device would make the connection fail.
    {"Micro800", "micro800", nullptr, true, false, kShortStrings, false, nullptr},
    // PCCC over a direct connection; only a user-given route makes sense.
    {"MicroLogix", "micrologix", nullptr, false, true, kPcccStrings, false, kSlcFiles},
    // The CPU sits in slot 0 of its backplane, reached through port 1.
    {"CompactLogix", "compactlogix", "1,0", false, false, kLogixStrings, false, nullptr},
    {"SLC500", "slc500", nullptr, false, true, kPcccStrings, false, kSlcFiles},
    // No long-integer (L) files.
    {"PLC5", "plc5", nullptr, false, true, kPcccStrings, false, "O I S B T C R N F ST A D"},
    // Chassis CPU, usually in slot 0 behind the Ethernet module.
    {"ControlLogix", "controllogix", "1,0", false, false, kLogixStrings, false, nullptr},
    // The tag library's short name; the route depends on the installation.
    {"FlexLogix", "flgx", nullptr, false, false, kLogixStrings, false, nullptr},
    // The CPU answers on port 1, slot 0 of its internal routing.
    {"OmronNjNx", "omron-njnx", "1,0", false, false, kOmronStrings, true, nullptr},
};

// Anything else: generic Logix, route only if configured.
const ControllerProfile kGeneric = {"", "lgx", nullptr, false, false, kLogixStrings, false, nullptr};

} // namespace

const ControllerProfile &controllerProfile(int controllerType)
{
    if (controllerType >= 0 && controllerType < controllerProfileCount())
        return kProfiles[controllerType];
    return kGeneric;
}

int controllerProfileCount()
{
    return int(sizeof kProfiles / sizeof kProfiles[0]);
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
