// The cache's life cycle: look-up, creation, destruction, readiness and shutdown.
#include "cycle_fixture.h"

#include <libplctag.h>

#include <chrono>

namespace {

class TagCacheTest : public CycleTest {
protected:
    DeviceInstancePlugin d = makeDevice(1, "192.0.2.10", AB_EIP::ControlLogix);
    int open(const char *address, int dataType = AB_EIP::DoubleInteger, int id = 1)
    {
        DataItem item = makeDataItem(id, address, address, dataType);
        return plugin.getOrCreateTag(d, &item).handle;
    }
};

} // namespace

TEST_F(TagCacheTest, AnEntryPerDeviceAddressAndBindingSource)
{
    const int h = open("Counter");
    ASSERT_GT(h, 0);
    EXPECT_TRUE(AB_EIP::loopActive);
    fake_plctag::clearCalls();
    zel_host::clearLog();
    EXPECT_EQ(open("Counter"), h);
    EXPECT_TRUE(fake_plctag::calls().empty());
    EXPECT_EQ(debug(), QStringList{QStringLiteral("Fetching exiting tag. Tag nr.: %1").arg(h)});

    // Another data type, device, address or route: a tag of its own, not the old controller's.
    EXPECT_NE(open("Counter", AB_EIP::Integer), h);
    d.id = 2;
    EXPECT_NE(open("Counter"), h);
    d = makeDevice(1, "192.0.2.11", AB_EIP::ControlLogix);
    const int moved = open("Counter");
    EXPECT_NE(moved, h);
    d.settings["path"] = "1,3";
    EXPECT_NE(open("Counter"), moved);
    EXPECT_EQ(AB_EIP::tags.size(), 5);
    d = makeDevice(1, "192.0.2.10", AB_EIP::ControlLogix);
    EXPECT_EQ(open("Counter"), h);

    // A refused address is neither created nor cached.
    fake_plctag::clearCalls();
    EXPECT_EQ(open("N7:0"), PLCTAG_ERR_BAD_PARAM);
    EXPECT_TRUE(fake_plctag::calls().empty());
    EXPECT_EQ(AB_EIP::tags.size(), 5);
}

TEST_F(TagCacheTest, FailedCreationIsCachedUntilDestroyed)
{
    fake_plctag::script("Missing").createResult = PLCTAG_ERR_NOT_FOUND;
    EXPECT_EQ(open("Missing"), PLCTAG_ERR_NOT_FOUND);
    EXPECT_EQ(open("Missing"), PLCTAG_ERR_NOT_FOUND);
    EXPECT_EQ(tagCalls("create").size(), 1u);
    plugin.destroyTag(PLCTAG_ERR_NOT_FOUND);
    EXPECT_EQ(tagCalls("abort").size(), 1u);
    EXPECT_TRUE(AB_EIP::tags.isEmpty());
    open("Missing");
    EXPECT_EQ(tagCalls("create").size(), 2u);

    fake_plctag::clearCalls();
    zel_host::clearLog();
    plugin.destroyTag(4711); // not cached: nothing at all
    EXPECT_TRUE(fake_plctag::calls().empty());
    EXPECT_TRUE(zel_host::allLogTexts().isEmpty());
}

TEST_F(TagCacheTest, ReadinessWait)
{
    fake_plctag::script("Slow").statuses = {PLCTAG_STATUS_PENDING, PLCTAG_STATUS_PENDING, PLCTAG_STATUS_OK};
    const int h = open("Slow");
    EXPECT_EQ(plugin.waitForTagToBeReady(h, 3000), PLCTAG_STATUS_OK);
    EXPECT_EQ(tagCalls("status").size(), 3u);

    // A limit of 0 polls nothing.
    fake_plctag::clearCalls();
    zel_host::clearLog();
    EXPECT_EQ(plugin.waitForTagToBeReady(h, 0), -1);
    EXPECT_TRUE(tagCalls("status").empty());
    EXPECT_EQ(debug(), QStringList({QStringLiteral("Waiting for tag to be ready. Tag nr.: %1").arg(h),
                                    QStringLiteral("Done waiting for tag. Tag nr.: %1").arg(h),
                                    "Wait for tag failed. Status: abort"}));

    // Still pending at the deadline: 1, and the wait ends on time.
    fake_plctag::script("Slow").statuses = {PLCTAG_STATUS_PENDING};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(plugin.waitForTagToBeReady(h, 250), PLCTAG_STATUS_PENDING);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(250));
    EXPECT_LT(took, std::chrono::milliseconds(2000));
}

TEST_F(TagCacheTest, StopPluginDestroysInCacheOrderAndShutsDownOnce)
{
    EXPECT_TRUE(plugin.stopPlugin()); // nothing open: no library call, no shutdown
    EXPECT_TRUE(fake_plctag::calls().empty());
    fake_plctag::script("Bad").createResult = PLCTAG_ERR_BAD_GATEWAY;
    QStringList expected{"Stopping plugin"};
    int id = 1;
    for (const char *name : {"A", "Bad", "C"})
        expected << QStringLiteral("Destroy tag nr. %1").arg(open(name, AB_EIP::DoubleInteger, id++));
    expected << "EtherNet/IP library stopped" << "Plugin stopped";
    zel_host::clearLog();
    EXPECT_TRUE(plugin.stopPlugin());
    EXPECT_EQ(zel_host::allLogTexts(), expected);
    EXPECT_EQ(fake_plctag::shutdownCount(), 1);
    EXPECT_TRUE(AB_EIP::tags.isEmpty());
    EXPECT_TRUE(plugin.stopPlugin());
    EXPECT_EQ(fake_plctag::shutdownCount(), 1);
}
