#include <host/plugin_interface.h>

#include "host_state.h"

#include <gtest/gtest.h>

class HostStore : public ::testing::Test {
protected:
    void SetUp() override { zel_host::reset(); }
    void TearDown() override { zel_host::reset(); }
    PluginInterface host;
};

TEST_F(HostStore, ItemsAreKeyedByUidWithReplaceSemantics)
{
    ItemInstancePlugin item{};
    EXPECT_FALSE(host.getPluginItem("identity_1_vendor", &item));
    item.uid = "identity_1_vendor";
    item.name = "Vendor";
    host.addPluginItem(&item);

    ItemInstancePlugin got{};
    ASSERT_TRUE(host.getPluginItem("identity_1_vendor", &got));
    EXPECT_EQ(got.name, "Vendor");
    got.name = "Renamed";
    host.addPluginItem(&got);
    EXPECT_EQ(zel_host::itemCount(), 1);
    ASSERT_TRUE(zel_host::findItem("identity_1_vendor", &got));
    EXPECT_EQ(got.name, "Renamed");
}

TEST_F(HostStore, LogKeepsEveryLineWithItsLevel)
{
    host.logDebug("d1");
    host.logInfo("i1");
    host.logError("e1");
    host.logDebug("d2");
    EXPECT_EQ(zel_host::logTexts(zel_host::LogLevel::Debug), QStringList({"d1", "d2"}));
    EXPECT_EQ(zel_host::logTexts(zel_host::LogLevel::Info), QStringList({"i1"}));
    EXPECT_EQ(zel_host::logTexts(zel_host::LogLevel::Error), QStringList({"e1"}));
    EXPECT_EQ(zel_host::allLogTexts(), QStringList({"d1", "i1", "e1", "d2"}));
}

TEST_F(HostStore, PausesArePerPluginAndKey)
{
    zel_host::setDiscoveryPaused("ab_eip", "127.0.30.1", true);
    EXPECT_TRUE(PluginInterface::isDiscoveryPaused("ab_eip", "127.0.30.1"));
    EXPECT_FALSE(PluginInterface::isDiscoveryPaused("ab_eip", "127.0.30.2"));
    EXPECT_FALSE(PluginInterface::isDiscoveryPaused("other", "127.0.30.1"));
    zel_host::setDiscoveryPaused("ab_eip", "127.0.30.1", false);
    EXPECT_FALSE(PluginInterface::isDiscoveryPaused("ab_eip", "127.0.30.1"));
}
