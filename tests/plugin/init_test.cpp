#include "plugin/ab_eip.h"

#include "fake_plctag.h"
#include "host_state.h"
#include "records_helpers.h"

#include <gtest/gtest.h>

namespace {

QStringList shownTexts(const DatabaseColumnStructure &c)
{
    QStringList out;
    for (const auto &v : c.selectionValues)
        out << v.text;
    return out;
}

QStringList storedValues(const DatabaseColumnStructure &c)
{
    QStringList out;
    for (const auto &v : c.selectionValues)
        out << v.value;
    return out;
}

QStringList itemUids()
{
    QStringList out;
    for (const ItemInstancePlugin &i : zel_host::items())
        out << i.uid;
    return out;
}

} // namespace

class Init : public ::testing::Test {
protected:
    void SetUp() override
    {
        zel_host::reset();
        fake_plctag::reset();
    }
    void TearDown() override { zel_host::reset(); }
    AB_EIP plugin;
};

TEST_F(Init, DeclaresTheSchemaWithoutDevices)
{
    EXPECT_TRUE(plugin.init());
    EXPECT_EQ(zel_host::callTrace(), QStringList({"createTableStructure:address", "createTableStructure:path",
                                                  "initPlugin:ab_eip", "getPluginDevices"}));
    const auto calls = zel_host::initPluginCalls();
    ASSERT_EQ(calls.size(), 1);
    const zel_host::InitPluginCall &c = calls[0];
    EXPECT_EQ(c.capabilities, 31u);
    EXPECT_TRUE(c.pluginColumns.isEmpty());
    EXPECT_TRUE(c.fileColumns.isEmpty());

    ASSERT_EQ(c.itemColumns.size(), 2);
    EXPECT_EQ(c.itemColumns[0].name, "address");
    EXPECT_EQ(c.itemColumns[0].type, DatabaseColumnStructure::Text);
    const DatabaseColumnStructure &dt = c.itemColumns[1];
    EXPECT_EQ(dt.name, "data_type");
    EXPECT_EQ(dt.type, DatabaseColumnStructure::Selection);
    EXPECT_EQ(dt.size, 3);
    EXPECT_EQ(shownTexts(dt),
              QStringList({"Bool", "Small integer", "Unsigned small integer", "Byte", "Integer", "Unsigned integer",
                           "Word", "Double integer", "Unsigned double integer", "Double word", "Real", "LReal",
                           "String", "Long integer", "Unsigned long integer"}));
    EXPECT_EQ(storedValues(dt), QStringList({"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "12", "11", "13", "14"}));

    ASSERT_EQ(c.deviceColumns.size(), 2);
    EXPECT_EQ(c.deviceColumns[0].name, "path");
    const DatabaseColumnStructure &ct = c.deviceColumns[1];
    EXPECT_EQ(ct.name, "controller_type");
    EXPECT_EQ(ct.type, DatabaseColumnStructure::Selection);
    EXPECT_EQ(ct.size, 0);
    EXPECT_EQ(shownTexts(ct), QStringList({"Micro800", "MicroLogix", "CompactLogix", "SLC500", "PLC5", "ControlLogix",
                                           "FlexLogix", "OmronNjNx"}));
    EXPECT_EQ(storedValues(ct), QStringList({"0", "1", "2", "3", "4", "5", "6", "7"}));

    const PluginInitOptions &o = c.options;
    EXPECT_EQ(o.number1, 32);
    EXPECT_FALSE(o.flag1);
    EXPECT_FALSE(o.flag2);
    EXPECT_TRUE(o.flag3);
    EXPECT_EQ(o.number2, 180);
    EXPECT_TRUE(o.flag4);
    EXPECT_TRUE(o.flag5);
    EXPECT_FALSE(o.flag6);
    EXPECT_FALSE(o.flag7);
    EXPECT_EQ(o.text, "discover");

    // init() opens nothing and logs nothing.
    EXPECT_TRUE(fake_plctag::calls().empty());
    EXPECT_TRUE(zel_host::logLines().isEmpty());
    EXPECT_FALSE(AB_EIP::loopActive);
}

TEST_F(Init, EipAndOmronDevicesGetTheirIdentityItems)
{
    zel_host::setDevices({makeDevice(3, "192.0.2.10", AB_EIP::ControlLogix),
                          makeDevice(4, "192.0.2.11", AB_EIP::OmronNjNx)});
    plugin.init();
    EXPECT_EQ(itemUids(),
              QStringList({"identity_3_vendor", "identity_3_model", "identity_3_serial", "identity_3_firmware",
                           "identity_3_product_code", "identity_4_vendor", "identity_4_model", "identity_4_serial",
                           "identity_4_firmware", "identity_4_product_code", "identity_4_product_revision",
                           "identity_4_hardware_revision"}));
    ItemInstancePlugin item{};
    ASSERT_TRUE(zel_host::findItem("identity_3_firmware", &item));
    EXPECT_EQ(item.description, "EtherNet/IP revision");
    ASSERT_TRUE(zel_host::findItem("identity_4_firmware", &item));
    EXPECT_EQ(item.description, "Controller unit version");
    ASSERT_TRUE(zel_host::findItem("identity_4_product_revision", &item));
    EXPECT_EQ(item.name, "CIP revision");
    EXPECT_EQ(item.description, "EtherNet/IP identity revision");
    EXPECT_EQ(item.settings.value("address"), "__identity.cip_revision");
    EXPECT_EQ(item.settings.value("item_tags"), "product_revision");
    EXPECT_EQ(item.settings.value("data_type"), "11");
    ASSERT_TRUE(zel_host::findItem("identity_4_hardware_revision", &item));
    EXPECT_EQ(item.name, "Hardware revision");
    EXPECT_EQ(item.description, "Controller hardware revision");
    EXPECT_EQ(item.settings.value("address"), "__identity.hardware_revision");
}

TEST_F(Init, LegacyOmronHardwareItemStandsForTheHardwareRevision)
{
    ItemInstancePlugin legacy{};
    legacy.uid = "identity_5_hardware";
    legacy.name = "Hardware";
    legacy.settings.insert("address", "__identity.hardware");
    legacy.settings.insert("item_tags", "hardware");
    zel_host::putItem(legacy);
    zel_host::setDevices({makeDevice(5, "192.0.2.12", AB_EIP::OmronNjNx)});

    plugin.init();
    ItemInstancePlugin got{};
    ASSERT_TRUE(zel_host::findItem("identity_5_hardware", &got));
    EXPECT_EQ(got.settings.value("item_tags"), "hardware_revision");
    EXPECT_EQ(got.settings.value("address"), "__identity.hardware");
    EXPECT_EQ(got.name, "Hardware");
    EXPECT_FALSE(zel_host::findItem("identity_5_hardware_revision", nullptr));
    EXPECT_EQ(zel_host::itemCount(), 1 + 6);
    EXPECT_EQ(zel_host::callTrace().filter("addPluginItem:identity_5_hardware").size(), 1);

    // The legacy item is handed back on every call; nothing else is created again.
    plugin.init();
    EXPECT_EQ(zel_host::itemCount(), 7);
    EXPECT_EQ(zel_host::callTrace().filter(QRegularExpression("^addPluginItem:identity_5_hardware$")).size(), 2);
}

TEST_F(Init, LegacyRuleOnlyForOmron)
{
    ItemInstancePlugin legacy{};
    legacy.uid = "identity_6_hardware";
    zel_host::putItem(legacy);
    zel_host::setDevices({makeDevice(6, "192.0.2.13", AB_EIP::CompactLogix)});
    plugin.init();
    ItemInstancePlugin got{};
    ASSERT_TRUE(zel_host::findItem("identity_6_hardware", &got));
    EXPECT_FALSE(got.settings.contains("item_tags"));
    EXPECT_FALSE(zel_host::callTrace().contains("getPluginItem:identity_6_hardware"));
    EXPECT_EQ(zel_host::itemCount(), 1 + 5);
}

TEST_F(Init, OddControllerTypesAndDeviceIds)
{
    DeviceInstancePlugin noType = makeDevice(8, "192.0.2.14", 0);
    noType.settings.remove("controller_type");
    DeviceInstancePlugin junk = makeDevice(9, "192.0.2.15", 0);
    junk.settings["controller_type"] = "seven";
    DeviceInstancePlugin zero = makeDevice(0, "192.0.2.16", AB_EIP::OmronNjNx);
    zel_host::setDevices({noType, junk, zero});
    plugin.init();
    EXPECT_EQ(zel_host::itemCount(), 10);
    EXPECT_FALSE(zel_host::findItem("identity_8_product_revision", nullptr));
    EXPECT_FALSE(zel_host::findItem("identity_9_product_revision", nullptr));
    EXPECT_FALSE(zel_host::findItem("identity_0_vendor", nullptr));
}
