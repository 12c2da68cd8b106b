#pragma once
// The controller families, one row each: how the configuration names them, how the tag library
// is asked for them, how they address and lay out data, and what the plugin may ask of them.
// Pure knowledge: no host, no tag library, no sockets. A new family is a new row.

#include <QString>
#include <QStringList>

namespace model {

// Where element i of a string tag lies and who reads it.
struct StringLayout {
    // 0: the tag library's own string layout, element i at i * stride. 1 or 2: the plugin's
    // own counted layout, little-endian count and characters, elements packed one after another.
    int countBytes;
    int stride;
    bool evenCount; // the count is rounded up to even, with a zero pad byte after odd texts
    int maxLength;  // longest text the count can carry (counted layouts)
};

// A system variable whose value is one byte per version part, read as "major.minor[.patch]".
struct VersionVariable {
    const char *name;
    int parts;
};

// What a family's identity items read from the controller besides List Identity.
struct IdentityReads {
    VersionVariable firmware;     // shown as the "firmware" field
    const char *hardwareVariable; // a text variable, shown as the hardware revision
    const VersionVariable *versionVariables; // addresses read as dotted versions
    int versionVariableCount;
};

struct Family {
    int number;                // "controller_type" as stored
    const char *label;         // the configuration's selection label
    QStringList aliases;       // other spellings a configuration may use, normalised
    const char *plc;           // value of the `plc` attribute
    const char *defaultRoute;  // route used when none is configured, or nullptr
    bool dropsBackplaneRoute;  // a configured "1,0" is removed
    const char *fileTypes;     // nullptr: tag names; else data files of these types, space separated
    StringLayout strings;
    const char *cannotList;    // nullptr: lists its tags through "@tags"; else why it cannot
    const IdentityReads *identity; // nullptr: List Identity alone
    bool padsLoneByte;         // a lone 1-byte value (BOOL, SINT) comes with a pad byte

    bool dataFiles() const { return fileTypes != nullptr; }
    // The configured route after the family's rules: "1,0" dropped, the default put in.
    QString route(const QString &configured) const;
    // Version parts of an address that names one of the family's version variables, else 0.
    int versionParts(const QString &address) const;
};

// The row of a configured number; numbers outside the table get the generic Logix row.
const Family &family(int controllerType);
// The rows, in number order, for selection lists.
int familyCount();
// A family given as a number, a label or an alias (case, blanks, "_", "-", "/" ignored); -1 when unknown.
int familyFromText(const QString &text);

// The family a device is talked to as: the configured one, unless its name or product names a Micro800.
int effectiveFamily(int configured, const QString &deviceName, const QString &productName);

// Lower case without blanks, "_", "-" or "/": how labels and aliases are compared.
QString normalisedName(const QString &text);

// The number of a row of `rows` (families, data types) given as its number, its label or an
// alias; -1 when none. Labels win over aliases.
template <typename Row, int N>
int rowFromText(const QString &text, const Row (&rows)[N])
{
    bool isNumber = false;
    const int n = text.trimmed().toInt(&isNumber, 10);
    if (isNumber)
        return n >= 0 && n < N ? n : -1;
    const QString key = normalisedName(text);
    for (const Row &r : rows)
        if (normalisedName(QLatin1String(r.label)) == key)
            return r.number;
    for (const Row &r : rows)
        if (r.aliases.contains(key))
            return r.number;
    return -1;
}

// An address of a data file (file letters, file number implied for I, O and S, element).
bool isDataFileAddress(const QString &address);

// The address up to its first "[" when that "[" is not the first character, else the address.
QString tagBase(const QString &address);

} // namespace model

namespace eip_identity {
// True when the text names a Micro800 controller (model name or 2080- catalog number).
bool isMicro800(const QString &text);
} // namespace eip_identity
