// Every branch of a write batch, and the values a write refuses.
#include "cycle_fixture.h"

#include <libplctag.h>

#include <cstring>

namespace {

class WriteCycle : public CycleTest {
protected:
    DeviceInstancePlugin device = makeDevice(5, "192.0.2.10", AB_EIP::ControlLogix);

    DataItem item(int id, const char *address, int type, const QString &value)
    {
        return makeDataItem(id, QStringLiteral("Item%1").arg(id), address, type, value);
    }
    // Handle of the live tag created for a tag name.
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

TEST_F(WriteCycle, EachItemOnceWithItsLatestValueInReverseOrder)
{
    LogList l = batch(device, {item(1, "A", AB_EIP::DoubleInteger, "1"), item(2, "B", AB_EIP::DoubleInteger, "2"),
                               item(1, "A", AB_EIP::DoubleInteger, "3")});
    EXPECT_TRUE(plugin.writeData(&l));
    EXPECT_EQ(int32At("A", 0), 3);
    EXPECT_EQ(int32At("B", 0), 2);
    EXPECT_EQ(tagCalls("write").size(), 2u);
    const QStringList lines = debug().filter("Wrote value");
    EXPECT_EQ(lines, QStringList({"Wrote value 3 to Item1 (A)", "Wrote value 2 to Item2 (B)"}));

    LogList empty = batch(device, {});
    EXPECT_TRUE(plugin.writeData(&empty));
}

TEST_F(WriteCycle, ArraysAndFormats)
{
    fake_plctag::script("R[0]").initial = {9, 0, 0, 0, 9, 0, 0, 0, 9, 0, 0, 0};
    LogList l = batch(device, {item(1, "R[0-2]", AB_EIP::DoubleInteger, "[1,2,3,4]")});
    EXPECT_TRUE(plugin.writeData(&l));
    EXPECT_EQ(int32At("R[0]", 8), 3);
    LogList shorter = batch(device, {item(1, "R[0-2]", AB_EIP::DoubleInteger, R"(["5",6])")});
    EXPECT_TRUE(plugin.writeData(&shorter));
    EXPECT_EQ(int32At("R[0]", 0), 5);
    EXPECT_EQ(int32At("R[0]", 4), 6);
    EXPECT_EQ(int32At("R[0]", 8), 3); // beyond the list: as the buffer held it

    fake_plctag::clearCalls();
    LogList bad = batch(device, {item(1, "R[0-2]", AB_EIP::DoubleInteger, "1,2,3"),
                                 item(2, "S[0-1]", AB_EIP::DoubleInteger, "")});
    EXPECT_TRUE(plugin.writeData(&bad));
    EXPECT_EQ(bad.dataItems[0].item.statusMessage, "Write array error: Invalid format. Write message: 1,2,3");
    EXPECT_EQ(bad.dataItems[1].item.statusMessage, "Write array error: Invalid format. Write message: ");
    EXPECT_TRUE(tagCalls("write").empty());
    EXPECT_EQ(tagCalls("lock").size(), tagCalls("unlock").size());
}

TEST_F(WriteCycle, InvalidValuesWriteNothing)
{
    fake_plctag::script("A").initial = {1, 0, 0, 0};
    struct Case {
        int type;
        const char *text;
        const char *message;
    } cases[] = {
        {AB_EIP::DoubleInteger, "abc", "Invalid value for Double integer: abc"},
        {AB_EIP::DoubleInteger, "1.5", "Invalid value for Double integer: 1.5"},
        {AB_EIP::DoubleInteger, "", "Invalid value for Double integer: "},
        {AB_EIP::Bool, "yes", "Invalid value for Bool: yes"},
        {AB_EIP::Integer, "70000", "Invalid value for Integer: 70000"},
        {AB_EIP::UnsignedInteger, "-1", "Invalid value for Unsigned integer: -1"},
        {AB_EIP::DoubleInteger, "[1,2]", "Invalid value for Double integer: [1,2]"},
    };
    int id = 1;
    for (const Case &c : cases) {
        fake_plctag::clearCalls();
        zel_host::clearLog();
        LogList l = batch(device, {item(id++, "A", c.type, c.text)});
        EXPECT_TRUE(plugin.writeData(&l));
        EXPECT_EQ(l.dataItems[0].item.statusMessage, c.message);
        EXPECT_TRUE(tagCalls("write").empty()) << c.text;
        EXPECT_EQ(tagCalls("lock").size(), tagCalls("unlock").size());
        EXPECT_TRUE(debug().filter("Wrote value").isEmpty());
    }
    // One bad element refuses the whole array.
    fake_plctag::clearCalls();
    LogList arr = batch(device, {item(50, "R[0-2]", AB_EIP::Integer, "[1,70000,3]")});
    EXPECT_TRUE(plugin.writeData(&arr));
    EXPECT_EQ(arr.dataItems[0].item.statusMessage, "Invalid value for Integer: 70000");
    EXPECT_TRUE(tagCalls("set_int16").empty());
    EXPECT_TRUE(tagCalls("write").empty());
}

TEST_F(WriteCycle, StringsThatDoNotFitAreNotWritten)
{
    LogList l = batch(device, {item(1, "S", AB_EIP::String, QString(83, 'x')), item(2, "T", AB_EIP::String, "ok")});
    EXPECT_TRUE(plugin.writeData(&l));
    EXPECT_EQ(l.dataItems[0].item.statusMessage, "Text too long for the PLC's string: 83 bytes");
    EXPECT_EQ(zel_host::logTexts(zel_host::LogLevel::Error),
              QStringList{"Error setting string 88, error PLCTAG_ERR_TOO_LARGE!"});
    EXPECT_EQ(tagCalls("write").size(), 1u); // only T
    EXPECT_EQ(debug().filter("Wrote value"), QStringList{"Wrote value ok to Item2 (T)"});

    device = makeDevice(6, "192.0.2.12", AB_EIP::Micro800);
    LogList m = batch(device, {item(3, "M", AB_EIP::String, QString(256, 'y'))});
    EXPECT_TRUE(plugin.writeData(&m));
    EXPECT_FALSE(m.dataItems[0].item.statusMessage.isEmpty());
    EXPECT_EQ(tagCalls("write").size(), 1u);
}

TEST_F(WriteCycle, IdentityItemsAreSkipped)
{
    DataItem id = item(1, "__identity.serial", AB_EIP::String, "123");
    id.item.uid = "identity_5_serial";
    LogList l = batch(device, {id});
    EXPECT_TRUE(plugin.writeData(&l));
    EXPECT_TRUE(fake_plctag::calls().empty());
    EXPECT_TRUE(debug().isEmpty());
}

TEST_F(WriteCycle, FailureRows)
{
    // Creation failure: the entry is removed, so the next write of the item tries again.
    fake_plctag::script("Gone").createResult = PLCTAG_ERR_NOT_FOUND;
    LogList c = batch(device, {item(2, "B", AB_EIP::DoubleInteger, "1"), item(1, "Gone", AB_EIP::DoubleInteger, "1")});
    EXPECT_TRUE(plugin.writeData(&c));
    EXPECT_EQ(c.dataItems[1].item.statusMessage, "The tag was not found on the PLC");
    EXPECT_TRUE(debug().contains("Error getting or creating tag (WRITE): The tag was not found on the PLC. Item: Item1"));
    EXPECT_EQ(AB_EIP::tags.size(), 1);

    fake_plctag::script("Gone").createResult = PLCTAG_ERR_TIMEOUT;
    LogList t = batch(device, {item(1, "Gone", AB_EIP::DoubleInteger, "1")});
    EXPECT_FALSE(plugin.writeData(&t));
    EXPECT_EQ(t.device.statusMessage, "Timeout connecting to PLC");

    fake_plctag::script("L").lockResult = PLCTAG_ERR_OUT_OF_BOUNDS;
    LogList lock = batch(device, {item(3, "L", AB_EIP::DoubleInteger, "1")});
    EXPECT_FALSE(plugin.writeData(&lock));
    EXPECT_EQ(lock.dataItems[0].item.statusMessage, "out of bounds");

    fake_plctag::script("C").statuses = {PLCTAG_ERR_CREATE};
    LogList setup = batch(device, {item(4, "C", AB_EIP::DoubleInteger, "1")});
    EXPECT_FALSE(plugin.writeData(&setup));
    EXPECT_EQ(setup.device.statusMessage, "Error connecting to PLC");
    EXPECT_TRUE(debug().contains("Error setting up tag (WRITE). Item: Item4 Device: Device 5 Error: "
                                 "Could not open a connection to the PLC"));

    // A pending status lets the write go ahead.
    fake_plctag::script("P").statuses = {PLCTAG_STATUS_PENDING};
    LogList pending = batch(device, {item(5, "P", AB_EIP::DoubleInteger, "1")});
    EXPECT_TRUE(plugin.writeData(&pending));

    fake_plctag::script("W").writeResult = PLCTAG_ERR_BAD_DATA;
    fake_plctag::script("X").writeResult = PLCTAG_ERR_TIMEOUT;
    LogList w = batch(device, {item(8, "Y", AB_EIP::DoubleInteger, "1"), item(7, "X", AB_EIP::DoubleInteger, "1"),
                               item(6, "W", AB_EIP::DoubleInteger, "1")});
    EXPECT_FALSE(plugin.writeData(&w));
    EXPECT_EQ(w.dataItems[2].item.statusMessage, "bad data");
    EXPECT_TRUE(debug().contains("Error while writing data. Code: -4(bad data) Item: Item6 Device: Device 5"));
    EXPECT_EQ(w.device.statusMessage, "Timeout connecting to PLC");
    EXPECT_EQ(handleOf("Y"), 0); // never created: the cycle stopped at X
    EXPECT_EQ(handleOf("W"), 0); // destroyed after its failed write
}
