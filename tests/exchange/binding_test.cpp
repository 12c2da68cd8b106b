// How an item on a device becomes a tag: attribute strings, ranges, version variables and
// the addresses a family cannot have; and which values a write of a data type accepts.
#include "tags/tag_binding.h"

#include "exchange/write_value.h"

#include "plugin/ab_eip.h"

#include "records_helpers.h"

#include <gtest/gtest.h>

namespace {

ItemBinding bind(const DeviceInstancePlugin &d, const QString &address, int dataType)
{
    return bindItem(d, {{"address", address}, {"data_type", QString::number(dataType)}});
}

DeviceInstancePlugin device(int type, const QString &path = QString(), const QString &name = QString())
{
    DeviceInstancePlugin d = makeDevice(1, "192.0.2.10", type, path);
    if (!name.isNull())
        d.name = name;
    return d;
}

} // namespace

TEST(Binding, AttributeStrings)
{
    const struct {
        DeviceInstancePlugin device;
        const char *address;
        int dataType;
        const char *attributes; // after "protocol=ab_eip&gateway=192.0.2.10"
    } cases[] = {
        {device(AB_EIP::ControlLogix), "Counter", AB_EIP::DoubleInteger,
         "&path=1,0&plc=controllogix&elem_size=4&elem_count=1&name=Counter&share_session=1&debug=0"},
        {device(AB_EIP::Micro800, "1,0"), "Speed", AB_EIP::Real,
         "&plc=micro800&elem_size=4&elem_count=1&name=Speed&share_session=1&debug=0"},
        {device(AB_EIP::ControlLogix, QString(), "Line 3 Micro850"), "Speed", AB_EIP::Real,
         "&plc=micro800&elem_size=4&elem_count=1&name=Speed&share_session=1&debug=0"},
        {device(AB_EIP::CompactLogix, "1,2"), "Data[2-5]", AB_EIP::Integer,
         "&path=1,2&plc=compactlogix&elem_size=2&elem_count=4&name=Data[2]&share_session=1&debug=0"},
        {device(AB_EIP::SLC500), "N7:0", AB_EIP::Integer,
         "&plc=slc500&elem_size=2&elem_count=1&name=N7:0&share_session=1&debug=0"},
        {device(AB_EIP::OmronNjNx), "_UnitVersion", AB_EIP::String,
         "&path=1,0&plc=omron-njnx&elem_size=1&elem_count=2&name=_UnitVersion[0]&share_session=1&debug=0"},
        {device(AB_EIP::ControlLogix), "_SystemSWVersion", AB_EIP::DoubleInteger,
         "&path=1,0&plc=controllogix&elem_size=4&elem_count=1&name=_SystemSWVersion&share_session=1&debug=0"},
        {device(AB_EIP::Micro800, " 1,0 "), "S", AB_EIP::Bool,
         "&plc=micro800&elem_size=1&elem_count=1&name=S&share_session=1&debug=0"},
        {device(AB_EIP::Micro800, "1,1"), "S", AB_EIP::Bool,
         "&path=1,1&plc=micro800&elem_size=1&elem_count=1&name=S&share_session=1&debug=0"},
        {device(AB_EIP::ControlLogix, "  "), "S", AB_EIP::Bool, // blanks are a route, passed on
         "&path=  &plc=controllogix&elem_size=1&elem_count=1&name=S&share_session=1&debug=0"},
        {device(9), "X", AB_EIP::String, "&plc=lgx&elem_size=88&elem_count=1&name=X&share_session=1&debug=0"},
        {device(AB_EIP::ControlLogix, "%1"), "Tag%3", AB_EIP::Bool, // never expanded a second time
         "&path=%1&plc=controllogix&elem_size=1&elem_count=1&name=Tag%3&share_session=1&debug=0"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(bind(c.device, c.address, c.dataType).attributes,
                  QStringLiteral("protocol=ab_eip&gateway=192.0.2.10") + c.attributes)
            << c.address;

    DeviceInstancePlugin byCatalog = device(AB_EIP::ControlLogix);
    byCatalog.settings.insert("product_name", "2080-LC30-48QWB");
    EXPECT_EQ(bind(byCatalog, "S", AB_EIP::Real).controllerType, AB_EIP::Micro800);
    const ItemBinding omron = bind(device(AB_EIP::OmronNjNx), "_SystemSWVersion", AB_EIP::DoubleInteger);
    EXPECT_EQ(omron.versionParts, 3);
    EXPECT_EQ(omron.dataType, AB_EIP::UnsignedSmallInteger);
}

TEST(Binding, ArrayRanges)
{
    const struct {
        const char *address;
        const char *name;
        int count;
    } cases[] = {
        {"Data[2-5]", "Data[2]", 4},      {"Data[5-2]", "Data[5-2]", 1},  {"Data[3-3]", "Data[3-3]", 1},
        {"Motor-1.Speed", "Motor-1.Speed", 1}, {"A[0-1].B[4-6]", "A[4].B[4]", 3}, {"-X[1-2]", "-X[1-2]", 1},
        {"D[ 1 - 3 ]", "D[1]", 3},        {"D[0-65536]", "D[0-65536]", 1}, {"D[65535-65537]", "D[65535-65537]", 1},
        {"D[1-65537]", "D[1-65537]", 1}, {"D[2-65539]", "D[2]", 2},
        {"D[0-65535]", "D[0-65535]", 1},  {"D[1-65535]", "D[1]", 65535}, {"D[65536-131071]", "D[65536-131071]", 1},
    };
    for (const auto &c : cases) {
        const ItemBinding b = bind(device(AB_EIP::ControlLogix), c.address, AB_EIP::DoubleInteger);
        EXPECT_EQ(b.name, c.name) << c.address;
        EXPECT_EQ(b.elementCount, c.count) << c.address;
    }
    EXPECT_EQ(decimalModulo16("123456789012345678901234567890"), 2770);
}

TEST(Binding, AddressesAFamilyCannotHave)
{
    const struct {
        int family;
        const char *address;
        const char *refusal; // empty: accepted
    } cases[] = {
        {AB_EIP::ControlLogix, "N7:0", "Address N7:0 is a data file address; a ControlLogix controller takes tag names"},
        {AB_EIP::Micro800, "F8:1", "Address F8:1 is a data file address; a Micro800 controller takes tag names"},
        {9, "B3:0/5", "Address B3:0/5 is a data file address; a Logix controller takes tag names"},
        {AB_EIP::SLC500, "Counter",
         "Address Counter is not a data file address (such as N7:0), as a SLC500 controller needs"},
        {AB_EIP::PLC5, "Program:Main.X",
         "Address Program:Main.X is not a data file address (such as N7:0), as a PLC5 controller needs"},
        {AB_EIP::ControlLogix, "Program:Main.Counter", ""},
        {AB_EIP::OmronNjNx, "_UnitVersion", ""},
        {AB_EIP::SLC500, "ST9:0[0-2]", ""},
        {AB_EIP::MicroLogix, "S:1", ""},
        {AB_EIP::PLC5, "T4:0.ACC", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(bind(device(c.family), c.address, AB_EIP::Integer).refusal, c.refusal) << c.address;
}

TEST(WriteValues, AcceptedAndRefused)
{
    struct Case {
        int type;
        QVariant value;
        bool ok;
        int64_t integer;
    } cases[] = {
        {AB_EIP::DoubleInteger, "42", true, 42},      {AB_EIP::DoubleInteger, " -7 ", true, -7},
        {AB_EIP::DoubleInteger, "+7", true, 7},       {AB_EIP::DoubleInteger, "1.5", false, 0},
        {AB_EIP::DoubleInteger, "abc", false, 0},     {AB_EIP::DoubleInteger, "", false, 0},
        {AB_EIP::DoubleInteger, "2147483648", false, 0}, {AB_EIP::DoubleInteger, "-2147483648", true, INT32_MIN},
        {AB_EIP::Integer, "70000", false, 0},         {AB_EIP::Integer, "-32768", true, -32768},
        {AB_EIP::UnsignedInteger, "-1", false, 0},    {AB_EIP::UnsignedInteger, "65535", true, 65535},
        {AB_EIP::UnsignedDoubleInteger, "4294967295", true, 4294967295LL},
        {AB_EIP::SmallInteger, "-129", false, 0},     {AB_EIP::Byte, "256", false, 0},
        {AB_EIP::Bool, "TRUE", true, 1},              {AB_EIP::Bool, "false", true, 0},
        {AB_EIP::Bool, "1", true, 1},                 {AB_EIP::Bool, "2", false, 0},
        {AB_EIP::Bool, QVariant(true), true, 1},      {AB_EIP::Integer, QVariant(true), false, 0},
        {AB_EIP::DoubleInteger, QVariant(2.0), true, 2}, {AB_EIP::DoubleInteger, QVariant(2.7), false, 0},
        {AB_EIP::UnsignedDoubleInteger, QVariant(3000000000.0), true, 3000000000LL},
        {AB_EIP::UnsignedInteger, QVariant(-1.0), false, 0}, {AB_EIP::DoubleInteger, QVariant(), false, 0},
        {AB_EIP::DoubleInteger, "0x10", false, 0},    {15, "1", false, 0},
        {AB_EIP::UnsignedLongInteger, "18446744073709551615", true, -1},
        {AB_EIP::UnsignedLongInteger, "18446744073709551616", false, 0},
        {AB_EIP::LongInteger, "-9223372036854775809", false, 0},
        {AB_EIP::LongInteger, QVariant(9007199254740992.0), false, 0}, // past 2^53 a JSON number is not exact
    };
    for (const Case &c : cases) {
        const WriteValue v = parseWriteValue(c.type, c.value);
        EXPECT_EQ(v.ok, c.ok) << c.type << " " << c.value.toString().toStdString();
        EXPECT_EQ(v.number.integer, c.integer) << c.value.toString().toStdString();
    }
    EXPECT_EQ(parseWriteValue(AB_EIP::DoubleInteger, "abc").error, "Invalid value for Double integer: abc");
    for (const char *real : {"1.5", "-3e38"})
        EXPECT_TRUE(parseWriteValue(AB_EIP::Real, real).ok) << real;
    for (const char *bad : {"1e39", "inf", "nan", ""})
        EXPECT_FALSE(parseWriteValue(AB_EIP::Real, bad).ok) << bad;
    EXPECT_TRUE(parseWriteValue(AB_EIP::LReal, "1e39").ok);
}
