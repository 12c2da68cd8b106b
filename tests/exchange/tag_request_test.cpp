#include "tags/tag_request.h"

#include "plugin/ab_eip.h"

#include "records_helpers.h"

#include <gtest/gtest.h>

namespace {

QMap<QString, QString> itemSettings(const QString &address, int dataType)
{
    return {{"address", address}, {"data_type", QString::number(dataType)}};
}

TagRequest request(const DeviceInstancePlugin &d, const QString &address, int dataType)
{
    return tagRequestFor(d, itemSettings(address, dataType));
}

const char kIp[] = "192.0.2.10";

} // namespace

TEST(TagRequest, AttributeStringsPerFamily)
{
    EXPECT_EQ(request(makeDevice(1, kIp, AB_EIP::ControlLogix), "Counter", AB_EIP::DoubleInteger).attributes,
              "protocol=ab_eip&gateway=192.0.2.10&path=1,0&plc=controllogix&elem_size=4&elem_count=1&name=Counter"
              "&share_session=1&debug=0");
    EXPECT_EQ(request(makeDevice(1, kIp, AB_EIP::Micro800, "1,0"), "Speed", AB_EIP::Real).attributes,
              "protocol=ab_eip&gateway=192.0.2.10&plc=micro800&elem_size=4&elem_count=1&name=Speed&share_session=1"
              "&debug=0");
    const TagRequest range = request(makeDevice(1, kIp, AB_EIP::CompactLogix, "1,2"), "Data[2-5]", AB_EIP::Integer);
    EXPECT_EQ(range.attributes, "protocol=ab_eip&gateway=192.0.2.10&path=1,2&plc=compactlogix&elem_size=2"
                                "&elem_count=4&name=Data[2]&share_session=1&debug=0");
    EXPECT_EQ(range.elementCount, 4);
    EXPECT_EQ(request(makeDevice(1, kIp, AB_EIP::SLC500), "N7:0", AB_EIP::Integer).attributes,
              "protocol=ab_eip&gateway=192.0.2.10&plc=slc500&elem_size=2&elem_count=1&name=N7:0&share_session=1"
              "&debug=0");
    EXPECT_EQ(request(makeDevice(1, kIp, AB_EIP::OmronNjNx), "_UnitVersion", AB_EIP::String).attributes,
              "protocol=ab_eip&gateway=192.0.2.10&path=1,0&plc=omron-njnx&elem_size=1&elem_count=2"
              "&name=_UnitVersion[0]&share_session=1&debug=0");
    // Unknown controller numbers: generic Logix, route only when given.
    EXPECT_TRUE(request(makeDevice(1, kIp, 9), "X", AB_EIP::Bool).attributes.contains("&plc=lgx&"));
}

TEST(TagRequest, Micro800RecognisedAndRoutes)
{
    DeviceInstancePlugin d = makeDevice(1, kIp, AB_EIP::ControlLogix);
    d.name = "Line 3 Micro850";
    TagRequest r = request(d, "Speed", AB_EIP::Real);
    EXPECT_EQ(r.controllerType, AB_EIP::Micro800);
    EXPECT_TRUE(r.attributes.startsWith("protocol=ab_eip&gateway=192.0.2.10&plc=micro800&")) << r.attributes.toStdString();

    d = makeDevice(1, kIp, AB_EIP::ControlLogix);
    d.settings.insert("product_name", "2080-LC30-48QWB");
    EXPECT_TRUE(request(d, "Speed", AB_EIP::Real).attributes.contains("gateway=192.0.2.10&plc=micro800"));

    EXPECT_TRUE(request(makeDevice(1, kIp, AB_EIP::Micro800, " 1,0 "), "S", AB_EIP::Real)
                    .attributes.contains("gateway=192.0.2.10&plc="));
    EXPECT_TRUE(request(makeDevice(1, kIp, AB_EIP::Micro800, "1,1"), "S", AB_EIP::Real)
                    .attributes.contains("gateway=192.0.2.10&path=1,1&plc="));
    // A route of blanks is not empty and is passed on as configured.
    EXPECT_TRUE(request(makeDevice(1, kIp, AB_EIP::ControlLogix, "  "), "S", AB_EIP::Real)
                    .attributes.contains("gateway=192.0.2.10&path=  &plc="));
}

TEST(TagRequest, ArrayRanges)
{
    const DeviceInstancePlugin d = makeDevice(1, kIp, AB_EIP::ControlLogix);
    struct Case {
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
    for (const Case &c : cases) {
        const TagRequest r = request(d, c.address, AB_EIP::DoubleInteger);
        EXPECT_EQ(r.name, c.name) << c.address;
        EXPECT_EQ(r.elementCount, c.count) << c.address;
    }
    EXPECT_EQ(decimalModulo16("65537"), 1);
    EXPECT_EQ(decimalModulo16("123456789012345678901234567890"), 2770);
}

TEST(TagRequest, OmronVersionVariablesOnlyOnOmron)
{
    TagRequest r = request(makeDevice(1, kIp, AB_EIP::OmronNjNx), "_SystemSWVersion", AB_EIP::DoubleInteger);
    EXPECT_EQ(r.name, "_SystemSWVersion[0]");
    EXPECT_EQ(r.elementCount, 3);
    EXPECT_TRUE(r.attributes.contains("&elem_size=1&elem_count=3&"));
    r = request(makeDevice(1, kIp, AB_EIP::ControlLogix), "_SystemSWVersion", AB_EIP::DoubleInteger);
    EXPECT_EQ(r.name, "_SystemSWVersion");
    EXPECT_TRUE(r.attributes.contains("&elem_size=4&elem_count=1&"));
}

TEST(TagRequest, PercentSignsAreNotExpandedTwice)
{
    const TagRequest r = request(makeDevice(1, "10.%2.0.1", AB_EIP::ControlLogix, "%1"), "Tag%3", AB_EIP::Bool);
    EXPECT_TRUE(r.attributes.contains("gateway=10.%2.0.1&path=%1&plc=controllogix")) << r.attributes.toStdString();
    EXPECT_TRUE(r.attributes.contains("&name=Tag%3&"));
}
