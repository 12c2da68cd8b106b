// Every branch of a read pass, against the scripted tag library.
#include "cycle_fixture.h"

#include <libplctag.h>

namespace {

class ReadCycle : public CycleTest {
protected:
    DeviceInstancePlugin device = makeDevice(3, "192.0.2.10", AB_EIP::ControlLogix);

    LogList tags(std::initializer_list<const char *> names, int dataType = AB_EIP::DoubleInteger)
    {
        QList<DataItem> items;
        int id = 1;
        for (const char *n : names)
            items << makeDataItem(id++, n, n, dataType);
        return batch(device, items);
    }
    static QString value(const LogList &l, int i) { return l.dataItems[i].values.value("value"); }
    static QString error(const LogList &l, int i) { return l.dataItems[i].item.statusMessage; }
};

} // namespace

TEST_F(ReadCycle, ValuesScalarsArraysAndVersions)
{
    fake_plctag::script("A").initial = {42, 0, 0, 0};
    fake_plctag::script("B[0]").initial = {1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0};
    LogList l = tags({"A", "B[0-2]"});
    l.dataItems[0].item.statusMessage = "old error";
    EXPECT_TRUE(plugin.readData(&l));
    EXPECT_EQ(value(l, 0), "42");
    EXPECT_EQ(value(l, 1), R"(["1","2","3"])");
    EXPECT_EQ(error(l, 0), ""); // a good value never keeps an old error
    EXPECT_FALSE(l.dataItems[0].timestamp.isValid());

    // Omron version variables: one byte per part, joined with dots, whatever the data type.
    device = makeDevice(4, "192.0.2.11", AB_EIP::OmronNjNx);
    fake_plctag::script("_UnitVersion[0]").initial = {1, 10};
    LogList omron = tags({"_UnitVersion"}, AB_EIP::String);
    EXPECT_TRUE(plugin.readData(&omron));
    EXPECT_EQ(value(omron, 0), "1.10");
}

TEST_F(ReadCycle, EmptyBatchAndMissingDataType)
{
    LogList empty = batch(device, {});
    EXPECT_TRUE(plugin.readData(&empty));
    LogList l = tags({"A"});
    l.dataItems[0].item.settings.remove("data_type");
    EXPECT_TRUE(plugin.readData(&l));
    EXPECT_TRUE(l.dataItems[0].item.settings.contains("data_type"));
    EXPECT_EQ(value(l, 0), "0");
}

TEST_F(ReadCycle, PauseBeforeTheBatchAndBetweenItems)
{
    zel_host::setDiscoveryPaused("ab_eip", "192.0.2.99", true);
    LogList l = tags({"A", "B", "C"});
    EXPECT_TRUE(plugin.readData(&l)); // another address: not paused
    zel_host::setDiscoveryPaused("ab_eip", "exclusive", true);
    LogList paused = tags({"A"});
    EXPECT_FALSE(plugin.readData(&paused));
    EXPECT_FALSE(paused.dataItems[0].values.contains("value"));
    zel_host::clearDiscoveryPauses();

    // A pause that starts during the first item's read lets it finish and stops before the second.
    fake_plctag::script("P1").initial = {7, 0, 0, 0};
    bool pausing = false;
    fake_plctag::setReadHook([&](int) { pausing = true; });
    zel_host::setDiscoveryPauseHook([&](const QString &, const QString &) { return pausing; });
    LogList mid = tags({"P1", "P2"});
    EXPECT_FALSE(plugin.readData(&mid));
    EXPECT_EQ(value(mid, 0), "7");
    EXPECT_FALSE(mid.dataItems[1].values.contains("value"));
}

TEST_F(ReadCycle, CreationFailures)
{
    fake_plctag::script("A").createResult = PLCTAG_ERR_NOT_FOUND;
    LogList l = tags({"A", "B"});
    EXPECT_TRUE(plugin.readData(&l));
    EXPECT_EQ(error(l, 0), "The tag was not found on the PLC");
    EXPECT_TRUE(debug().contains("Error getting or creating tag: The tag was not found on the PLC. Item: A"));
    EXPECT_TRUE(l.dataItems[1].values.contains("value"));
    EXPECT_EQ(AB_EIP::tags.size(), 1); // the failed entry went, B stays

    fake_plctag::script("A").createResult = PLCTAG_ERR_TIMEOUT;
    LogList t = tags({"A", "B"});
    EXPECT_FALSE(plugin.readData(&t));
    EXPECT_EQ(t.device.statusMessage, "Timeout connecting to PLC");
    EXPECT_EQ(error(t, 0), "");
    EXPECT_FALSE(t.dataItems[1].values.contains("value"));
}

TEST_F(ReadCycle, ReadyWaitAndStatusFailuresMarkTheItem)
{
    fake_plctag::script("A").statuses = {PLCTAG_ERR_BAD_DATA};
    fake_plctag::script("B").statuses = {PLCTAG_STATUS_OK, PLCTAG_ERR_BAD_CONNECTION};
    LogList l = tags({"A", "B", "C"});
    l.dataItems[0].values.insert("value", "old");
    EXPECT_TRUE(plugin.readData(&l));
    EXPECT_EQ(error(l, 0), "bad data");
    EXPECT_EQ(value(l, 0), "old"); // a failure never clears a held value
    EXPECT_TRUE(debug().contains("Failed to wait for tag after create. Item: A Address: A Error: bad data"));
    EXPECT_EQ(error(l, 1), "Could not connect to the PLC");
    EXPECT_TRUE(l.dataItems[2].values.contains("value"));
    EXPECT_EQ(AB_EIP::tags.size(), 1);
    EXPECT_EQ(fake_plctag::liveTags(), 1);
}

TEST_F(ReadCycle, LockFailuresStopTheCycleAndKeepTheTag)
{
    fake_plctag::script("A").lockResult = PLCTAG_ERR_OUT_OF_BOUNDS;
    LogList l = tags({"A", "B"});
    EXPECT_FALSE(plugin.readData(&l));
    EXPECT_EQ(error(l, 0), "out of bounds");
    EXPECT_FALSE(l.dataItems[1].values.contains("value"));
    EXPECT_EQ(AB_EIP::tags.size(), 1);

    fake_plctag::script("A").lockResult = PLCTAG_ERR_TIMEOUT;
    LogList t = tags({"A"});
    EXPECT_FALSE(plugin.readData(&t));
    EXPECT_EQ(t.device.statusMessage, "Timeout connecting to PLC");
    EXPECT_EQ(error(t, 0), "");
}

TEST_F(ReadCycle, ReadFailures)
{
    fake_plctag::script("B").readResult = PLCTAG_ERR_TIMEOUT;
    LogList l = tags({"A", "B", "C", "D", "E"});
    EXPECT_FALSE(plugin.readData(&l));
    EXPECT_EQ(l.device.statusMessage, "Timeout connecting to PLC");
    EXPECT_TRUE(l.dataItems[0].values.contains("value"));
    for (int i = 2; i < 5; ++i)
        EXPECT_FALSE(l.dataItems[i].values.contains("value")) << i;
    EXPECT_TRUE(debug().contains("Unable to read data from tag B (B). Error: Timed out waiting for the PLC"));

    fake_plctag::script("B").readResult = PLCTAG_ERR_BAD_DATA;
    const size_t creates = tagCalls("create").size();
    LogList again = tags({"B", "C"});
    EXPECT_TRUE(plugin.readData(&again));
    EXPECT_EQ(error(again, 0), "bad data");
    EXPECT_TRUE(again.dataItems[1].values.contains("value"));
    EXPECT_EQ(tagCalls("create").size(), creates + 2); // B recreated, C new
    EXPECT_EQ(fake_plctag::liveTags(), 2); // A and C; both B tags were destroyed
}
