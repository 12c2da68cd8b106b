#include "identity/identity_items.h"

#include "host_state.h"

#include <gtest/gtest.h>

using namespace zel_identity;

TEST(IdentityModel, UidsAndAddresses)
{
    EXPECT_EQ(uidFor(7, "vendor"), "identity_7_vendor");
    EXPECT_EQ(uidFor(12, ""), "identity_12_");
    EXPECT_EQ(uidFor(-3, "x%1"), "identity_-3_x%1");
    EXPECT_TRUE(isIdentityAddress("__identity."));
    EXPECT_EQ(fieldKey("__identity."), "");
    EXPECT_FALSE(fieldKey("__identity.").isNull());
    EXPECT_FALSE(isIdentityAddress("__IDENTITY.vendor"));
    EXPECT_TRUE(fieldKey("__IDENTITY.vendor").isNull());
    EXPECT_EQ(fieldKey("__identity.cip_revision"), "cip_revision");
    EXPECT_EQ(readIntervalMs(), 604800000);
}

TEST(IdentityModel, ItemRecognition)
{
    ItemInstancePlugin item{};
    item.uid = "identity_3_serial";
    item.settings.insert("address", "Counter");
    EXPECT_TRUE(isIdentityItem(item, "address"));
    item.uid = "Identity_3_serial";
    EXPECT_FALSE(isIdentityItem(item, "address"));
    item.settings["address"] = "__identity.serial";
    EXPECT_TRUE(isIdentityItem(item, "address"));
    EXPECT_FALSE(isIdentityItem(item, "path"));
    item.settings.clear();
    EXPECT_FALSE(isIdentityItem(item, "address"));
}

class EnsureItems : public ::testing::Test {
protected:
    void SetUp() override { zel_host::reset(); }
    void TearDown() override { zel_host::reset(); }
    PluginInterface host;
};

TEST_F(EnsureItems, CreatesMissingItemsOnce)
{
    EXPECT_EQ(ensureItems(&host, 2, eipIdentitySpecs()), 5);
    ItemInstancePlugin item{};
    ASSERT_TRUE(zel_host::findItem("identity_2_serial", &item));
    EXPECT_EQ(item.deviceId, 2);
    EXPECT_EQ(item.name, "Serial");
    EXPECT_EQ(item.description, "EtherNet/IP serial number");
    EXPECT_TRUE(item.enabled);
    EXPECT_EQ(item.itemKind, 1);
    EXPECT_EQ(item.readIntervalMs, 604800000);
    EXPECT_FALSE(item.flag);
    EXPECT_EQ(item.id, 0);
    EXPECT_EQ(item.settings.value("address"), "__identity.serial");
    EXPECT_EQ(item.settings.value("data_type"), "11");
    EXPECT_EQ(item.settings.value("item_tags"), "serial");
    EXPECT_EQ(item.settings.size(), 3);

    EXPECT_EQ(ensureItems(&host, 2, eipIdentitySpecs()), 0);
    EXPECT_EQ(zel_host::itemCount(), 5);
}

TEST_F(EnsureItems, LeavesExistingItemsAlone)
{
    ItemInstancePlugin mine{};
    mine.uid = "identity_4_model";
    mine.name = "Custom";
    zel_host::putItem(mine);
    EXPECT_EQ(ensureItems(&host, 4, eipIdentitySpecs()), 4);
    ItemInstancePlugin got{};
    ASSERT_TRUE(zel_host::findItem("identity_4_model", &got));
    EXPECT_EQ(got.name, "Custom");
    EXPECT_TRUE(got.settings.isEmpty());
}

TEST_F(EnsureItems, NoHostOrNoDeviceCreatesNothing)
{
    EXPECT_EQ(ensureItems(nullptr, 1, eipIdentitySpecs()), 0);
    EXPECT_EQ(ensureItems(&host, 0, eipIdentitySpecs()), 0);
    EXPECT_EQ(ensureItems(&host, -1, eipIdentitySpecs()), 0);
    EXPECT_TRUE(zel_host::callTrace().isEmpty());
}
