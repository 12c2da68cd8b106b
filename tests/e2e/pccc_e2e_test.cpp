// SLC 500, MicroLogix and PLC-5 data files through the plugin and the tag library.
#include "e2e_fixture.h"

using absim::Personality;

namespace {

struct PcccFamily {
    const char *address;
    Personality personality;
    int controllerType;
    const char *label;
};

class EachPcccFamily : public E2E, public ::testing::WithParamInterface<PcccFamily> {};

} // namespace

TEST_P(EachPcccFamily, DataFilesReadWrittenAndReadBack)
{
    const PcccFamily f = GetParam();
    absim::Simulator &sim = startSim(f.address, f.personality, {});
    ASSERT_TRUE(sim.setInt("N7", 123, 0));
    ASSERT_TRUE(sim.setDouble("F8", 3.5, 1));
    ASSERT_TRUE(sim.setInt("B3", 0x1234, 0));
    ASSERT_TRUE(sim.setString("ST9", "slc string", 0));
    for (int i = 1; i < 10; ++i)
        sim.setInt("N7", i * 10, size_t(i));
    const DeviceInstancePlugin device = makeDevice(1, f.address, f.controllerType);
    const QList<DataItem> items{makeDataItem(1, "Level", "N7:0", AB_EIP::Integer),
                                makeDataItem(2, "Temp", "F8:1", AB_EIP::Real),
                                makeDataItem(3, "Bits", "B3:0", AB_EIP::Word),
                                makeDataItem(4, "Name", "ST9:0", AB_EIP::String),
                                makeDataItem(5, "Table", "N7:0[0-9]", AB_EIP::Integer),
                                makeDataItem(6, "Bit5", "B3:0/5", AB_EIP::Bool)};
    LogList read = batch(device, items);
    ASSERT_TRUE(plugin.readData(&read)) << read.device.statusMessage.toStdString();
    EXPECT_EQ(read.dataItems[0].values.value("value"), "123");
    EXPECT_EQ(read.dataItems[1].values.value("value"), "3.5000000");
    EXPECT_EQ(read.dataItems[2].values.value("value"), "4660");
    EXPECT_EQ(read.dataItems[3].values.value("value"), "slc string");
    EXPECT_EQ(read.dataItems[4].values.value("value"), R"(["123","10","20","30","40","50","60","70","80","90"])");
    EXPECT_EQ(read.dataItems[5].values.value("value"), "1"); // 0x1234 has bit 5 set
    for (const DataItem &d : read.dataItems)
        EXPECT_EQ(d.item.statusMessage, "") << d.item.name.toStdString();

    LogList write = batch(device, {makeDataItem(1, "Level", "N7:0", AB_EIP::Integer, "-1234"),
                                   makeDataItem(2, "Temp", "F8:1", AB_EIP::Real, "-2.25"),
                                   makeDataItem(3, "Bits", "B3:0", AB_EIP::Word, "65535"),
                                   makeDataItem(4, "Name", "ST9:0", AB_EIP::String, "written"),
                                   makeDataItem(5, "Table", "N7:0[0-9]", AB_EIP::Integer, "[0,1,2,3,4,5,6,7,8,9]")});
    ASSERT_TRUE(plugin.writeData(&write)) << write.device.statusMessage.toStdString();
    for (const DataItem &d : write.dataItems)
        EXPECT_EQ(d.item.statusMessage, "") << d.item.name.toStdString();
    // The write list runs last item first: the array write of N7:0..9 lands before Level's.
    EXPECT_EQ(sim.getInt("N7", 0), -1234);
    EXPECT_EQ(sim.getInt("N7", 9), 9);
    EXPECT_DOUBLE_EQ(*sim.getDouble("F8", 1), -2.25);
    EXPECT_EQ(sim.getInt("B3", 0), -1); // all 16 bits set
    EXPECT_EQ(sim.getString("ST9", 0), std::string("written"));

    // One bit: only that bit changes in the controller.
    ASSERT_TRUE(sim.setInt("B3", 0, 0));
    LogList bit = batch(device, {makeDataItem(6, "Bit5", "B3:0/5", AB_EIP::Bool, "1")});
    LogList refresh = batch(device, {makeDataItem(6, "Bit5", "B3:0/5", AB_EIP::Bool)});
    ASSERT_TRUE(plugin.readData(&refresh));
    ASSERT_TRUE(plugin.writeData(&bit));
    EXPECT_EQ(sim.getInt("B3", 0), 0x20);
}

TEST_P(EachPcccFamily, AddressesPastTheEndOrOfFilesTheFamilyLacks)
{
    const PcccFamily f = GetParam();
    absim::Simulator &sim = startSim(f.address, f.personality, {});
    const DeviceInstancePlugin device = makeDevice(1, f.address, f.controllerType);
    // A file the controller lacks (N40:0) is each family's field habit in field_habits_e2e_test.cpp.
    LogList read = batch(device, {makeDataItem(1, "Past", "N7:500", AB_EIP::Integer),
                                  makeDataItem(2, "Bad", "Q7:0", AB_EIP::Integer),
                                  makeDataItem(3, "Long", "L9:0", AB_EIP::DoubleInteger)});
    EXPECT_TRUE(plugin.readData(&read));
    EXPECT_EQ(read.dataItems[0].item.statusMessage, "The PLC reported a communication error");
    const QString family = f.controllerType == AB_EIP::PLC5 ? "PLC5" : f.controllerType == AB_EIP::SLC500 ? "SLC500" : "MicroLogix";
    EXPECT_EQ(read.dataItems[1].item.statusMessage, "Address Q7:0: a " + family + " controller has no Q files");
    // PLC-5 has no L files, and its word-range commands name no file type: L9:0 would be ST9.
    if (f.controllerType == AB_EIP::PLC5) {
        EXPECT_EQ(read.dataItems[2].item.statusMessage, "Address L9:0: a PLC5 controller has no L files");
        LogList write = batch(device, {makeDataItem(3, "Long", "L9:0", AB_EIP::DoubleInteger, "5")});
        ASSERT_TRUE(plugin.writeData(&write));
        EXPECT_EQ(write.dataItems[0].item.statusMessage, read.dataItems[2].item.statusMessage);
        EXPECT_EQ(sim.getString("ST9", 0), std::string(""));
    }
}

INSTANTIATE_TEST_SUITE_P(Pccc, EachPcccFamily,
                         ::testing::Values(PcccFamily{"127.0.30.20", Personality::Slc500, AB_EIP::SLC500, "Slc500"},
                                           PcccFamily{"127.0.30.21", Personality::MicroLogix, AB_EIP::MicroLogix,
                                                      "MicroLogix"},
                                           PcccFamily{"127.0.30.22", Personality::Plc5, AB_EIP::PLC5, "Plc5"}),
                         [](const ::testing::TestParamInfo<PcccFamily> &i) { return std::string(i.param.label); });
