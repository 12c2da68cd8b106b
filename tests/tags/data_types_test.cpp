#include "plugin/ab_eip.h"
#include "tags/controller_profile.h"

#include <gtest/gtest.h>

TEST(DataLength, ElementSizesPerType)
{
    const int expected[] = {1, 1, 1, 2, 2, 2, 2, 4, 4, 4, 4, 88, 8};
    for (int t = 0; t <= 12; ++t)
        EXPECT_EQ(AB_EIP::getDataLength(static_cast<AB_EIP::DataType>(t)), expected[t]) << "type " << t;
    EXPECT_EQ(AB_EIP::getDataLength(static_cast<AB_EIP::DataType>(-1)), 1);
    EXPECT_EQ(AB_EIP::getDataLength(static_cast<AB_EIP::DataType>(13)), 1);
}

TEST(DataLength, StoredNumbersAreStable)
{
    EXPECT_EQ(AB_EIP::String, 11);
    EXPECT_EQ(AB_EIP::LReal, 12);
    EXPECT_EQ(AB_EIP::Real, 10);
    EXPECT_EQ(AB_EIP::OmronNjNx, 7);
    EXPECT_EQ(AB_EIP::Micro800, 0);
}

TEST(Cpu, ControllerNames)
{
    const char *expected[] = {"micro800", "micrologix", "compactlogix", "slc500",
                              "plc5",     "controllogix", "flgx",      "omron-njnx"};
    for (int t = 0; t <= 7; ++t)
        EXPECT_EQ(AB_EIP::getCpu(static_cast<AB_EIP::ControllerType>(t)), QLatin1String(expected[t]));
    EXPECT_EQ(AB_EIP::getCpu(static_cast<AB_EIP::ControllerType>(8)), "lgx");
    EXPECT_EQ(AB_EIP::getCpu(static_cast<AB_EIP::ControllerType>(-1)), "lgx");
}

TEST(Cpu, RouteDefaults)
{
    EXPECT_STREQ(controllerProfile(AB_EIP::ControlLogix).defaultRoute, "1,0");
    EXPECT_STREQ(controllerProfile(AB_EIP::CompactLogix).defaultRoute, "1,0");
    EXPECT_STREQ(controllerProfile(AB_EIP::OmronNjNx).defaultRoute, "1,0");
    EXPECT_EQ(controllerProfile(AB_EIP::SLC500).defaultRoute, nullptr);
    EXPECT_EQ(controllerProfile(AB_EIP::FlexLogix).defaultRoute, nullptr);
    EXPECT_EQ(controllerProfile(99).defaultRoute, nullptr);
    EXPECT_TRUE(controllerProfile(AB_EIP::Micro800).dropsBackplaneRoute);
    EXPECT_FALSE(controllerProfile(AB_EIP::ControlLogix).dropsBackplaneRoute);
}

TEST(Micro800, RecognisedByNameOrCatalogNumber)
{
    using eip_identity::isMicro800;
    EXPECT_TRUE(isMicro800("  Micro850 Line 3  "));
    EXPECT_TRUE(isMicro800("MICRO870"));
    EXPECT_TRUE(isMicro800("2080-LC50-24QWB"));
    EXPECT_TRUE(isMicro800("2080-L50E"));
    EXPECT_TRUE(isMicro800("2080-l70e-24qwb"));
    EXPECT_FALSE(isMicro800("2080-LC40"));
    EXPECT_FALSE(isMicro800("1769-L33ER"));
    EXPECT_FALSE(isMicro800("Micro 850"));
    EXPECT_FALSE(isMicro800(""));
    EXPECT_FALSE(isMicro800("   "));
    EXPECT_FALSE(isMicro800(QString()));
}
