#include "identity/omron_version.h"

#include <gtest/gtest.h>

TEST(OmronVersion, TagBase)
{
    EXPECT_EQ(omronTagBase("_UnitVersion"), "_UnitVersion");
    EXPECT_EQ(omronTagBase("_UnitVersion[0]"), "_UnitVersion");
    EXPECT_EQ(omronTagBase("[0]"), "[0]");
    EXPECT_EQ(omronTagBase("A[1][2]"), "A");
    EXPECT_EQ(omronTagBase(""), "");
}

TEST(OmronVersion, Elements)
{
    EXPECT_EQ(omronVersionElements("_UnitVersion"), 2);
    EXPECT_EQ(omronVersionElements("_ProjectUnitVersion[0]"), 2);
    EXPECT_EQ(omronVersionElements("_SystemSWVersion[0]"), 3);
    EXPECT_EQ(omronVersionElements("_unitversion"), 0);
    EXPECT_EQ(omronVersionElements("_UnitVersion.x"), 0);
    EXPECT_EQ(omronVersionElements("[3]_UnitVersion"), 0);
    EXPECT_EQ(omronVersionElements("Counter"), 0);
}
