#include "families.h"

#include "data_types.h"

#include <QRegularExpression>

namespace model {

namespace {

constexpr StringLayout kLogixStrings{0, 88, false, 0};
// SLC ST files: 2-byte count, 82 characters swapped in pairs.
constexpr StringLayout kPcccStrings{0, 84, false, 0};
constexpr StringLayout kShortStrings{1, 0, false, 255};
// The tag library would only let a text as long as the one held be written (its capacity is
// the current length), so the plugin writes Omron strings itself.
constexpr StringLayout kOmronStrings{2, 0, true, 65534};

const VersionVariable kOmronVersions[] = {
    {"_UnitVersion", 2},        // major.minor
    {"_ProjectUnitVersion", 2}, // major.minor
    {"_SystemSWVersion", 3},    // major.minor.patch
};
// The controller's unit version is its firmware; the hardware revision is a variable of its own.
const IdentityReads kOmronIdentity{{"_UnitVersion", 2}, "_HardwareRevision", kOmronVersions,
                                   int(sizeof kOmronVersions / sizeof kOmronVersions[0])};

const char *const kPcccFiles = "O I S B T C R N F ST A D";
// L (32-bit integer) files are a MicroLogix type; SLC500 keeps them because MicroLogix
// controllers are often configured as SLC500, and the PLC-5 word-range commands carry no file
// type, so an L address there would silently land in whatever file has that number.
const char *const kSlcFiles = "O I S B T C R N F ST A D L";

// Indexed by the stored number.
const Family kFamilies[] = {
    // No backplane; a "1,0" copied from a Logix device would make the connection fail.
    {0, "Micro800", {}, "micro800", nullptr, true, nullptr, kShortStrings, nullptr, nullptr, false},
    // PCCC over a direct connection; only a user-given route makes sense. L: 32-bit integers.
    {1, "MicroLogix", {}, "micrologix", nullptr, false, kSlcFiles, kPcccStrings,
     "MicroLogix controllers hold data files (N7:0, F8:1), not a tag list", nullptr, false},
    // The CPU sits in slot 0 of its backplane, reached through port 1.
    {2, "CompactLogix", {}, "compactlogix", "1,0", false, nullptr, kLogixStrings, nullptr, nullptr, false},
    {3, "SLC500", {QStringLiteral("slc")}, "slc500", nullptr, false, kSlcFiles, kPcccStrings,
     "SLC500 controllers hold data files (N7:0, F8:1), not a tag list", nullptr, false},
    {4, "PLC5", {}, "plc5", nullptr, false, kPcccFiles, kPcccStrings,
     "PLC5 controllers hold data files (N7:0, F8:1), not a tag list", nullptr, false},
    // Chassis CPU, usually in slot 0 behind the Ethernet module.
    {5, "ControlLogix", {QStringLiteral("logix")}, "controllogix", "1,0", false, nullptr, kLogixStrings, nullptr,
     nullptr, false},
    // The tag library's short name; the route depends on the installation.
    {6, "FlexLogix", {QStringLiteral("flgx")}, "flgx", nullptr, false, nullptr, kLogixStrings, nullptr, nullptr, false},
    // The CPU answers on port 1, slot 0 of its internal routing.
    {7, "OmronNjNx", {QStringLiteral("omron"), QStringLiteral("njnx"), QStringLiteral("omronnj")}, "omron-njnx",
     "1,0", false, nullptr, kOmronStrings,
     "Omron NJ/NX controllers list their variables with services of their own, which the tag library does not speak",
     &kOmronIdentity, true},
};

// Anything else: generic Logix, route only if configured.
const Family kGeneric = {-1, "", {}, "lgx", nullptr, false, nullptr, kLogixStrings, nullptr, nullptr, false};

} // namespace

QString Family::route(const QString &configured) const
{
    QString route = configured;
    if (dropsBackplaneRoute && route.trimmed() == QLatin1String("1,0"))
        route.clear();
    if (defaultRoute && route.isEmpty())
        route = QLatin1String(defaultRoute);
    return route;
}

int Family::versionParts(const QString &address) const
{
    if (!identity)
        return 0;
    const QString base = tagBase(address);
    for (int i = 0; i < identity->versionVariableCount; ++i)
        if (base == QLatin1String(identity->versionVariables[i].name))
            return identity->versionVariables[i].parts;
    return 0;
}

const Family &family(int controllerType)
{
    if (controllerType >= 0 && controllerType < familyCount())
        return kFamilies[controllerType];
    return kGeneric;
}

int familyCount()
{
    return int(sizeof kFamilies / sizeof kFamilies[0]);
}

QString normalisedName(const QString &text)
{
    QString out;
    for (QChar c : text.trimmed())
        if (c != QLatin1Char(' ') && c != QLatin1Char('_') && c != QLatin1Char('-') && c != QLatin1Char('/'))
            out += c.toLower();
    return out;
}

int familyFromText(const QString &text)
{
    return rowFromText(text, kFamilies);
}

int effectiveFamily(int configured, const QString &deviceName, const QString &productName)
{
    return eip_identity::isMicro800(deviceName) || eip_identity::isMicro800(productName) ? TagTypes::Micro800
                                                                                    : configured;
}

bool isDataFileAddress(const QString &address)
{
    static const QRegularExpression dataFile(QStringLiteral("^\\s*[A-Za-z]{1,2}\\d*:\\d+"));
    return dataFile.match(address).hasMatch();
}

QString tagBase(const QString &address)
{
    const int bracket = address.indexOf(QLatin1Char('['));
    return bracket > 0 ? address.left(bracket) : address;
}

} // namespace model

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
