#include "model/data_types.h"
#include "model/families.h"

#include <gtest/gtest.h>

TEST(Model, Micro800RecognisedByNameOrCatalogNumber)
{
    for (const char *yes : {"  Micro850 Line 3  ", "MICRO870", "2080-LC50-24QWB", "2080-L50E", "2080-l70e-24qwb"})
        EXPECT_TRUE(eip_identity::isMicro800(yes)) << yes;
    for (const char *no : {"2080-LC40", "1769-L33ER", "Micro 850", "", "   "})
        EXPECT_FALSE(eip_identity::isMicro800(no)) << no;
}

TEST(Model, OmronVersionVariables)
{
    const model::Family &omron = model::family(TagTypes::OmronNjNx);
    const struct {
        const char *address, *base;
        int parts;
    } cases[] = {{"_UnitVersion", "_UnitVersion", 2},         {"_ProjectUnitVersion[0]", "_ProjectUnitVersion", 2},
                 {"_SystemSWVersion[0]", "_SystemSWVersion", 3}, {"_unitversion", "_unitversion", 0},
                 {"_UnitVersion.x", "_UnitVersion.x", 0},       {"[3]_UnitVersion", "[3]_UnitVersion", 0},
                 {"A[1][2]", "A", 0},                           {"", "", 0}};
    for (const auto &c : cases) {
        EXPECT_EQ(model::tagBase(c.address), QLatin1String(c.base)) << c.address;
        EXPECT_EQ(omron.versionParts(c.address), c.parts) << c.address;
        EXPECT_EQ(model::family(TagTypes::ControlLogix).versionParts(c.address), 0) << c.address; // Omron's variables only
    }
}
