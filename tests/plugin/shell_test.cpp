#include "plugin/ab_eip.h"

#include "fake_plctag.h"
#include "host_state.h"

#include <gtest/gtest.h>

TEST(Shell, ObjectsShareTheProcessCache)
{
    fake_plctag::reset();
    AB_EIP a;
    AB_EIP b;
    EXPECT_EQ(a.parent(), nullptr);
    EXPECT_EQ(&a.tags, &b.tags);
    EXPECT_TRUE(AB_EIP::tags.isEmpty());
    EXPECT_FALSE(AB_EIP::loopActive);
    // Construction and destruction never touch the tag library.
    { AB_EIP c; }
    EXPECT_TRUE(fake_plctag::calls().empty());
}

TEST(Shell, ArrayRangeExpression)
{
    EXPECT_TRUE(AB_EIP::offsetMatches.patternOptions() & QRegularExpression::CaseInsensitiveOption);
    const auto m = AB_EIP::offsetMatches.match("A[0-1].B[ 4 - 6 ]");
    ASSERT_TRUE(m.hasMatch());
    EXPECT_EQ(m.captured(1), "4");
    EXPECT_EQ(m.captured(2), "6");
    EXPECT_FALSE(AB_EIP::offsetMatches.match("Motor-1.Speed").hasMatch());
}

TEST(Shell, EventAndLogCallbacksTouchNothing)
{
    zel_host::reset();
    AB_EIP plugin;
    LogList list;
    list.dataItems << DataItem();
    EXPECT_TRUE(plugin.getEventData(nullptr));
    EXPECT_TRUE(plugin.logCallback(nullptr));
    EXPECT_TRUE(plugin.getEventData(&list));
    EXPECT_TRUE(plugin.logCallback(&list));
    EXPECT_TRUE(list.dataItems[0].values.isEmpty());
    EXPECT_TRUE(zel_host::callTrace().isEmpty());
    EXPECT_TRUE(zel_host::logLines().isEmpty());
}
