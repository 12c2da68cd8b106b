// Every outcome of a read pass and a write batch, against the scripted tag library.
#include "cycle_fixture.h"

#include <libplctag.h>

#include <cstring>
#include <functional>

namespace {

class Cycles : public CycleTest {
protected:
    DeviceInstancePlugin device = makeDevice(3, "192.0.2.10", AB_EIP::ControlLogix);

    LogList reads(std::initializer_list<const char *> names, int dataType = AB_EIP::DoubleInteger)
    {
        QList<DataItem> items;
        for (const char *n : names)
            items << makeDataItem(items.size() + 1, n, n, dataType);
        return batch(device, items);
    }
    DataItem item(int id, const char *address, int type, const QString &value)
    {
        return makeDataItem(id, QStringLiteral("Item%1").arg(id), address, type, value);
    }
    static QString value(const LogList &l, int i) { return l.dataItems[i].values.value("value", "(none)"); }
    static QString error(const LogList &l, int i) { return l.dataItems[i].item.statusMessage; }
    // The live tag created for a tag name, or 0.
    static int handleOf(const char *name)
    {
        for (int h = 100; h < 200; ++h) {
            fake_plctag::Tag t;
            if (fake_plctag::tag(h, &t) && t.alive && t.name == name)
                return h;
        }
        return 0;
    }
    static int32_t int32At(const char *name, int offset)
    {
        const auto b = fake_plctag::buffer(handleOf(name));
        int32_t v = 0;
        std::memcpy(&v, b.data() + offset, 4);
        return v;
    }
};

} // namespace

TEST_F(Cycles, ReadValuesScalarsArraysAndVersions)
{
    fake_plctag::script("A").initial = {42, 0, 0, 0};
    fake_plctag::script("B[0]").initial = {1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0};
    LogList l = reads({"A", "B[0-2]", "N7:0"});
    l.dataItems[0].item.statusMessage = "old error";
    EXPECT_TRUE(plugin.readData(&l));
    EXPECT_EQ(value(l, 0), "42");
    EXPECT_EQ(error(l, 0), ""); // a good value never keeps an old error
    EXPECT_EQ(value(l, 1), R"(["1","2","3"])");
    EXPECT_EQ(error(l, 2), "Address N7:0 is a data file address; a ControlLogix controller takes tag names");
    EXPECT_FALSE(l.dataItems[0].timestamp.isValid());
    EXPECT_EQ(tagCalls("create").size(), 2u);

    device = makeDevice(4, "192.0.2.11", AB_EIP::OmronNjNx);
    fake_plctag::script("_UnitVersion[0]").initial = {1, 10};
    LogList omron = reads({"_UnitVersion"}, AB_EIP::String);
    EXPECT_TRUE(plugin.readData(&omron));
    EXPECT_EQ(value(omron, 0), "1.10");
    LogList empty = batch(device, {});
    EXPECT_TRUE(plugin.readData(&empty));
}

TEST_F(Cycles, PauseBeforeTheBatchAndBetweenItems)
{
    zel_host::setDiscoveryPaused("ab_eip", "192.0.2.99", true);
    LogList l = reads({"A", "B", "C"});
    EXPECT_TRUE(plugin.readData(&l)); // another address: not paused
    zel_host::setDiscoveryPaused("ab_eip", "exclusive", true);
    LogList paused = reads({"A"});
    EXPECT_FALSE(plugin.readData(&paused));
    EXPECT_FALSE(plugin.writeData(&paused));
    EXPECT_EQ(value(paused, 0), "(none)");
    EXPECT_EQ(tagCalls("create").size(), 3u); // nothing for the paused device
    zel_host::clearDiscoveryPauses();

    // A pause that starts during the first item's read lets it finish and stops before the second.
    fake_plctag::script("P1").initial = {7, 0, 0, 0};
    bool pausing = false;
    fake_plctag::setReadHook([&](int) { pausing = true; });
    zel_host::setDiscoveryPauseHook([&](const QString &, const QString &) { return pausing; });
    LogList mid = reads({"P1", "P2"});
    EXPECT_FALSE(plugin.readData(&mid));
    EXPECT_EQ(value(mid, 0), "7");
    EXPECT_EQ(value(mid, 1), "(none)");
}

TEST_F(Cycles, ReadFailures)
{
    using Script = fake_plctag::Script;
    const struct {
        const char *name;
        std::function<void(Script &)> fault; // on tag A of the items A, B
        bool goesOn;                         // the pass reads B
        const char *text;                    // A's text, or the device's when it stops
    } cases[] = {
        {"create", [](Script &s) { s.createResult = PLCTAG_ERR_NOT_FOUND; }, true, "The tag was not found on the PLC"},
        {"create timeout", [](Script &s) { s.createResult = PLCTAG_ERR_TIMEOUT; }, false, "Timeout connecting to PLC"},
        {"ready", [](Script &s) { s.statuses = {PLCTAG_ERR_BAD_DATA}; }, true, "The PLC's data does not match the tag's size or layout"},
        {"status", [](Script &s) { s.statuses = {PLCTAG_STATUS_OK, PLCTAG_ERR_BAD_CONNECTION}; }, true,
         "Could not connect to the PLC"},
        {"lock", [](Script &s) { s.lockResult = PLCTAG_ERR_OUT_OF_BOUNDS; }, true, "out of bounds"},
        {"lock timeout", [](Script &s) { s.lockResult = PLCTAG_ERR_TIMEOUT; }, false, "Timeout connecting to PLC"},
        {"read", [](Script &s) { s.readResult = PLCTAG_ERR_BAD_DATA; }, true, "The PLC's data does not match the tag's size or layout"},
        {"read timeout", [](Script &s) { s.readResult = PLCTAG_ERR_TIMEOUT; }, false, "Timeout connecting to PLC"},
    };
    for (const auto &c : cases) {
        SetUp();
        c.fault(fake_plctag::script("A"));
        LogList l = reads({"A", "B"});
        l.dataItems[0].values.insert("value", "old");
        EXPECT_EQ(plugin.readData(&l), c.goesOn) << c.name;
        EXPECT_EQ(c.goesOn ? error(l, 0) : l.device.statusMessage, c.text) << c.name;
        EXPECT_EQ(value(l, 0), "old") << c.name; // a failure never clears a held value
        EXPECT_EQ(value(l, 1) == "0", c.goesOn) << c.name;
        EXPECT_EQ(AB_EIP::tags.size(), c.goesOn ? 1 : 0) << c.name; // A's tag is gone after any failure
    }
    EXPECT_TRUE(debug().contains("Unable to read data from tag A (A). Error: Timed out waiting for the PLC"));
}

TEST_F(Cycles, WriteEachItemOnceWithItsLatestValueInReverseOrder)
{
    LogList l = batch(device, {item(1, "A", AB_EIP::DoubleInteger, "1"), item(2, "B", AB_EIP::DoubleInteger, "2"),
                               item(1, "A", AB_EIP::DoubleInteger, "3")});
    EXPECT_TRUE(plugin.writeData(&l));
    EXPECT_EQ(int32At("A", 0), 3);
    EXPECT_EQ(int32At("B", 0), 2);
    EXPECT_EQ(debug().filter("Wrote value"), QStringList({"Wrote value 3 to Item1 (A)", "Wrote value 2 to Item2 (B)"}));

    DataItem identity = item(3, "__identity.serial", AB_EIP::String, "123");
    identity.item.uid = "identity_3_serial";
    fake_plctag::clearCalls();
    LogList skipped = batch(device, {identity});
    EXPECT_TRUE(plugin.writeData(&skipped));
    EXPECT_TRUE(fake_plctag::calls().empty());
}

TEST_F(Cycles, WriteArraysAndValuesThatAreRefused)
{
    fake_plctag::script("R[0]").initial = {9, 0, 0, 0, 9, 0, 0, 0, 9, 0, 0, 0};
    LogList l = batch(device, {item(1, "R[0-2]", AB_EIP::DoubleInteger, "[1,2,3,4]")});
    EXPECT_TRUE(plugin.writeData(&l));
    EXPECT_EQ(int32At("R[0]", 8), 3);
    LogList shorter = batch(device, {item(1, "R[0-2]", AB_EIP::DoubleInteger, R"(["5",6])")});
    EXPECT_TRUE(plugin.writeData(&shorter));
    EXPECT_EQ(int32At("R[0]", 0), 5);
    EXPECT_EQ(int32At("R[0]", 8), 3); // beyond the list: as the buffer held it

    const struct {
        const char *address;
        int type;
        QString text;
        const char *message;
    } refused[] = {
        {"R[0-2]", AB_EIP::DoubleInteger, "1,2,3", "Write array error: Invalid format. Write message: 1,2,3"},
        {"R[0-2]", AB_EIP::DoubleInteger, "", "Write array error: Invalid format. Write message: "},
        {"R[0-2]", AB_EIP::Integer, "[1,70000,3]", "Invalid value for Integer: 70000"},
        {"A", AB_EIP::DoubleInteger, "1.5", "Invalid value for Double integer: 1.5"},
        {"A", AB_EIP::Bool, "yes", "Invalid value for Bool: yes"},
        {"A", AB_EIP::DoubleInteger, "[1,2]", "Invalid value for Double integer: [1,2]"},
        {"S", AB_EIP::String, QString(83, 'x'), "Text too long for the PLC's string: 83 bytes"},
    };
    fake_plctag::clearCalls();
    zel_host::clearLog();
    int id = 10;
    for (const auto &c : refused) {
        LogList r = batch(device, {item(id++, c.address, c.type, c.text)});
        EXPECT_TRUE(plugin.writeData(&r));
        EXPECT_EQ(r.dataItems[0].item.statusMessage, c.message);
    }
    EXPECT_TRUE(tagCalls("write").empty());
    EXPECT_TRUE(tagCalls("set_int16").empty());
    EXPECT_EQ(tagCalls("lock").size(), tagCalls("unlock").size());
    EXPECT_EQ(zel_host::logTexts(zel_host::LogLevel::Error),
              QStringList{"Error setting string 88, error PLCTAG_ERR_TOO_LARGE!"});
}

TEST_F(Cycles, WriteFailures)
{
    using Script = fake_plctag::Script;
    const struct {
        const char *name;
        std::function<void(Script &)> fault; // on tag A of the batch B, A, C (written C, A, B)
        bool goesOn;
        const char *text; // A's text, or the device's when it stops
    } cases[] = {
        {"create", [](Script &s) { s.createResult = PLCTAG_ERR_NOT_FOUND; }, true, "The tag was not found on the PLC"},
        {"create timeout", [](Script &s) { s.createResult = PLCTAG_ERR_TIMEOUT; }, false, "Timeout connecting to PLC"},
        {"lock", [](Script &s) { s.lockResult = PLCTAG_ERR_OUT_OF_BOUNDS; }, true, "out of bounds"},
        {"set-up", [](Script &s) { s.statuses = {PLCTAG_ERR_CREATE}; }, false, "Error connecting to PLC"},
        {"read in flight", [](Script &s) { s.statuses = {PLCTAG_STATUS_PENDING, PLCTAG_STATUS_OK}; }, true, ""},
        {"write", [](Script &s) { s.writeResult = PLCTAG_ERR_BAD_DATA; }, true, "The PLC's data does not match the tag's size or layout"},
        // Sent with the others, the timeout is only known when its reply is due: B is on its way.
        {"write timeout", [](Script &s) { s.writeResult = PLCTAG_ERR_TIMEOUT; }, false, "Timeout connecting to PLC"},
    };
    for (const auto &c : cases) {
        SetUp();
        c.fault(fake_plctag::script("A"));
        LogList w = batch(device, {item(2, "B", AB_EIP::DoubleInteger, "2"), item(1, "A", AB_EIP::DoubleInteger, "1"),
                                   item(3, "C", AB_EIP::DoubleInteger, "3")});
        EXPECT_EQ(plugin.writeData(&w), c.goesOn) << c.name;
        EXPECT_EQ(c.goesOn ? w.dataItems[1].item.statusMessage : w.device.statusMessage, c.text) << c.name;
        EXPECT_EQ(int32At("C", 0), 3) << c.name;
        EXPECT_EQ(handleOf("B") != 0, c.goesOn || std::string(c.name) == "write timeout") << c.name;
        EXPECT_EQ(handleOf("A") != 0, *c.text == 0) << c.name; // a failed tag is gone
    }
    EXPECT_TRUE(debug().contains("Error while writing data. Code: -32(Timed out waiting for the PLC) Item: Item1 "
                                 "Device: Device 3"));
}
