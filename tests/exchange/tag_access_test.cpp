// The cache's life cycle: look-up, creation, destruction, readiness and shutdown.
#include "cycle_fixture.h"

#include <libplctag.h>

#include <chrono>

using TagAccess = CycleTest;

TEST_F(TagAccess, SecondLookUpIsAHitAndCallsNothing)
{
    DeviceInstancePlugin d = makeDevice(1, "192.0.2.10", AB_EIP::ControlLogix);
    DataItem item = makeDataItem(1, "Counter", "Counter", AB_EIP::DoubleInteger);
    const AB_EIP::TagInstance first = plugin.getOrCreateTag(d, &item);
    ASSERT_GT(first.handle, 0);
    EXPECT_TRUE(AB_EIP::loopActive);
    fake_plctag::clearCalls();
    zel_host::clearLog();
    const AB_EIP::TagInstance again = plugin.getOrCreateTag(d, &item);
    EXPECT_EQ(again.handle, first.handle);
    EXPECT_TRUE(fake_plctag::calls().empty());
    EXPECT_EQ(debug(), QStringList{QStringLiteral("Fetching exiting tag. Tag nr.: %1").arg(first.handle)});
}

TEST_F(TagAccess, EntryReusedOnlyForTheSameDeviceAddressAndAttributes)
{
    DeviceInstancePlugin d = makeDevice(1, "192.0.2.10", AB_EIP::ControlLogix);
    DataItem asDint = makeDataItem(1, "A", "Shared", AB_EIP::DoubleInteger);
    DataItem asInt = makeDataItem(2, "B", "Shared", AB_EIP::Integer);
    const int h1 = plugin.getOrCreateTag(d, &asDint).handle;
    // Another data type means another element size: a tag of its own.
    EXPECT_NE(plugin.getOrCreateTag(d, &asInt).handle, h1);
    // Another device with the same address.
    DeviceInstancePlugin other = makeDevice(2, "192.0.2.10", AB_EIP::ControlLogix);
    EXPECT_NE(plugin.getOrCreateTag(other, &asDint).handle, h1);
    // The device moved to another address or route: the old controller is not used any more.
    d.ipAddress = "192.0.2.11";
    const int moved = plugin.getOrCreateTag(d, &asDint).handle;
    EXPECT_NE(moved, h1);
    d.settings["path"] = "1,3";
    EXPECT_NE(plugin.getOrCreateTag(d, &asDint).handle, moved);
    EXPECT_EQ(AB_EIP::tags.size(), 5);
    d = makeDevice(1, "192.0.2.10", AB_EIP::ControlLogix);
    EXPECT_EQ(plugin.getOrCreateTag(d, &asDint).handle, h1);
}

TEST_F(TagAccess, FailedCreationIsCachedUntilDestroyed)
{
    fake_plctag::script("Missing").createResult = PLCTAG_ERR_NOT_FOUND;
    DeviceInstancePlugin d = makeDevice(1, "192.0.2.10", AB_EIP::ControlLogix);
    DataItem item = makeDataItem(1, "M", "Missing", AB_EIP::DoubleInteger);
    EXPECT_EQ(plugin.getOrCreateTag(d, &item).handle, PLCTAG_ERR_NOT_FOUND);
    EXPECT_TRUE(AB_EIP::loopActive);
    EXPECT_EQ(plugin.getOrCreateTag(d, &item).handle, PLCTAG_ERR_NOT_FOUND);
    EXPECT_EQ(tagCalls("create").size(), 1u);
    plugin.destroyTag(PLCTAG_ERR_NOT_FOUND);
    EXPECT_EQ(tagCalls("abort").size(), 1u);
    EXPECT_EQ(tagCalls("destroy").size(), 1u);
    EXPECT_TRUE(AB_EIP::tags.isEmpty());
    plugin.getOrCreateTag(d, &item);
    EXPECT_EQ(tagCalls("create").size(), 2u);
}

TEST_F(TagAccess, DestroyUnknownHandleDoesNothing)
{
    plugin.destroyTag(4711);
    EXPECT_TRUE(fake_plctag::calls().empty());
    EXPECT_TRUE(zel_host::allLogTexts().isEmpty());
}

TEST_F(TagAccess, ReadinessWait)
{
    DeviceInstancePlugin d = makeDevice(1, "192.0.2.10", AB_EIP::ControlLogix);
    DataItem item = makeDataItem(1, "Slow", "Slow", AB_EIP::DoubleInteger);
    fake_plctag::script("Slow").statuses = {PLCTAG_STATUS_PENDING, PLCTAG_STATUS_PENDING, PLCTAG_STATUS_OK};
    const int h = plugin.getOrCreateTag(d, &item).handle;
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
    EXPECT_TRUE(debug().contains("Wait for tag failed. Status: plctag status pending"));
}

TEST_F(TagAccess, StopPluginOnAFreshProcess)
{
    EXPECT_TRUE(plugin.stopPlugin());
    EXPECT_EQ(zel_host::logTexts(zel_host::LogLevel::Info), QStringList({"Stopping plugin", "Plugin stopped"}));
    EXPECT_TRUE(debug().isEmpty());
    EXPECT_TRUE(fake_plctag::calls().empty());
}

TEST_F(TagAccess, StopPluginDestroysInCacheOrderAndShutsDownOnce)
{
    DeviceInstancePlugin d = makeDevice(1, "192.0.2.10", AB_EIP::ControlLogix);
    fake_plctag::script("Bad").createResult = PLCTAG_ERR_BAD_GATEWAY;
    QList<int> handles;
    for (const char *name : {"A", "Bad", "C"}) {
        DataItem item = makeDataItem(handles.size() + 1, name, name, AB_EIP::DoubleInteger);
        handles << plugin.getOrCreateTag(d, &item).handle;
    }
    zel_host::clearLog();
    fake_plctag::clearCalls();
    EXPECT_TRUE(plugin.stopPlugin());
    QStringList expected{"Stopping plugin"};
    for (int h : handles)
        expected << QStringLiteral("Destroy tag nr. %1").arg(h);
    expected << "EtherNet/IP library stopped" << "Plugin stopped";
    EXPECT_EQ(zel_host::allLogTexts(), expected);
    EXPECT_EQ(fake_plctag::shutdownCount(), 1);
    EXPECT_TRUE(AB_EIP::tags.isEmpty());
    EXPECT_FALSE(AB_EIP::loopActive);

    EXPECT_TRUE(plugin.stopPlugin());
    EXPECT_EQ(fake_plctag::shutdownCount(), 1);
}
