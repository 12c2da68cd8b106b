#include "data_types.h"

#include "families.h"

#include <algorithm>

namespace model {

namespace {

QStringList names(std::initializer_list<const char *> list)
{
    QStringList out;
    for (const char *s : list)
        out << QLatin1String(s);
    return out;
}

// Indexed by the stored number.
const DataTypeRow kDataTypes[] = {
    {0, "Bool", {}, 1, DataTypeRow::Unsigned, 1, 0, 1},
    {1, "Small integer", names({"sint"}), 1, DataTypeRow::Signed, 1, INT8_MIN, INT8_MAX},
    {2, "Unsigned small integer", names({"usint"}), 1, DataTypeRow::Unsigned, 1, 0, UINT8_MAX},
    // One byte of value in a 16-bit slot, as the controllers keep it.
    {3, "Byte", {}, 2, DataTypeRow::Unsigned, 1, 0, UINT8_MAX},
    {4, "Integer", names({"int"}), 2, DataTypeRow::Signed, 2, INT16_MIN, INT16_MAX},
    {5, "Unsigned integer", names({"uint"}), 2, DataTypeRow::Unsigned, 2, 0, UINT16_MAX},
    {6, "Word", {}, 2, DataTypeRow::Unsigned, 2, 0, UINT16_MAX},
    {7, "Double integer", names({"dint"}), 4, DataTypeRow::Signed, 4, INT32_MIN, INT32_MAX},
    {8, "Unsigned double integer", names({"udint"}), 4, DataTypeRow::Unsigned, 4, 0, UINT32_MAX},
    {9, "Double word", names({"dword"}), 4, DataTypeRow::Unsigned, 4, 0, UINT32_MAX},
    {10, "Real", names({"float"}), 4, DataTypeRow::Float, 4, 0, 0},
    // A Logix STRING: 4-byte count, 82 characters, 2 pad bytes. Other families lay strings
    // out their own way (Family::strings).
    {11, "String", {}, 88, DataTypeRow::Text, 0, 0, 0},
    {12, "LReal", names({"double"}), 8, DataTypeRow::Float, 8, 0, 0},
    {13, "Long integer", names({"lint"}), 8, DataTypeRow::Signed, 8, INT64_MIN, INT64_MAX},
    {14, "Unsigned long integer", names({"ulint"}), 8, DataTypeRow::Unsigned, 8, 0, UINT64_MAX},
};

// CIP atomic type codes of a symbol type word's low byte, and the data type each is read as.
struct Atomic {
    uint8_t code;
    const char *name;
    int dataType;
};
const Atomic kAtomics[] = {
    {0xC1, "BOOL", 0},  {0xC2, "SINT", 1},   {0xC3, "INT", 4},     {0xC4, "DINT", 7},   {0xC5, "LINT", 13},
    {0xC6, "USINT", 2}, {0xC7, "UINT", 5},   {0xC8, "UDINT", 8},   {0xC9, "ULINT", 14}, {0xCA, "REAL", 10},
    {0xCB, "LREAL", 12}, {0xD1, "BYTE", 3},  {0xD2, "WORD", 6},    {0xD3, "DWORD", 9},
    {0xDA, "SHORT_STRING", 11},
};
constexpr uint16_t kStringTemplate = 0x0FCE; // Logix's predefined STRING structure

} // namespace

const DataTypeRow *dataType(int number)
{
    if (number < 0 || number >= dataTypeCount())
        return nullptr;
    return &kDataTypes[number];
}

int dataTypeCount()
{
    return int(sizeof kDataTypes / sizeof kDataTypes[0]);
}

QList<int> shownDataTypes()
{
    QList<int> out;
    for (const DataTypeRow &t : kDataTypes)
        if (t.number != TagTypes::String)
            out << t.number;
    out.insert(out.indexOf(TagTypes::LReal) + 1, TagTypes::String);
    return out;
}

int dataTypeFromText(const QString &text)
{
    return rowFromText(text, kDataTypes);
}

ListedType listedType(uint16_t symbolType)
{
    ListedType t;
    if (symbolType & 0x8000) {
        const uint16_t id = symbolType & 0x0FFF;
        if (id == kStringTemplate) {
            t.name = QStringLiteral("STRING");
            t.dataType = TagTypes::String;
        } else {
            t.name = QStringLiteral("STRUCT 0x%1").arg(id, 3, 16, QLatin1Char('0'));
        }
        return t;
    }
    const uint8_t code = symbolType & 0xFF;
    const auto *it =
        std::find_if(std::begin(kAtomics), std::end(kAtomics), [code](const Atomic &a) { return a.code == code; });
    if (it == std::end(kAtomics)) {
        t.name = QStringLiteral("0x%1").arg(code, 2, 16, QLatin1Char('0'));
        return t;
    }
    t.name = QLatin1String(it->name);
    t.dataType = it->dataType;
    return t;
}

} // namespace model

int TagTypes::getDataLength(DataType type)
{
    const model::DataTypeRow *row = model::dataType(type);
    return row ? row->elementSize : 1;
}

QString TagTypes::getCpu(ControllerType type)
{
    return QString::fromLatin1(model::family(type).plc);
}
