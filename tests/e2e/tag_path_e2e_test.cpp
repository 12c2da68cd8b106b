// Reads and writes through the plugin, the real tag library and a simulated controller.
#include "e2e_fixture.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

using absim::CipType;
using absim::Personality;

namespace {

struct TypeCase {
    const char *tag;
    CipType cip;
    int dataType;
    const char *initial; // as the simulator takes it
    const char *read;    // as the plugin shows it
    const char *write;
    const char *readBack;
};

const TypeCase kTypes[] = {
    {"B", CipType::Bool, AB_EIP::Bool, "1", "1", "0", "0"},
    {"S", CipType::Sint, AB_EIP::SmallInteger, "-5", "-5", "-128", "-128"},
    {"US", CipType::Usint, AB_EIP::UnsignedSmallInteger, "200", "200", "255", "255"},
    {"I", CipType::Int, AB_EIP::Integer, "-300", "-300", "32767", "32767"},
    {"UI", CipType::Uint, AB_EIP::UnsignedInteger, "60000", "60000", "65535", "65535"},
    {"W", CipType::Uint, AB_EIP::Word, "4660", "4660", "1", "1"},
    {"D", CipType::Dint, AB_EIP::DoubleInteger, "-70000", "-70000", "2147483647", "2147483647"},
    {"UD", CipType::Udint, AB_EIP::UnsignedDoubleInteger, "4000000000", "4000000000", "4294967295", "4294967295"},
    {"DW", CipType::Udint, AB_EIP::DoubleWord, "7", "7", "8", "8"},
    {"R", CipType::Real, AB_EIP::Real, "1.5", "1.5000000", "-2.25", "-2.2500000"},
    {"LR", CipType::Lreal, AB_EIP::LReal, "0.1", "0.100000000000000", "-2", "-2.000000000000000"},
    {"STR", CipType::String, AB_EIP::String, "hello", "hello", "written text", "written text"},
};

std::vector<absim::TagDef> typeTags()
{
    std::vector<absim::TagDef> out;
    for (const TypeCase &c : kTypes) {
        absim::TagDef d;
        d.name = c.tag;
        d.type = c.cip;
        d.initial = {c.initial};
        out.push_back(d);
    }
    return out;
}

struct Family {
    const char *address;
    Personality personality;
    int controllerType;
};

class EachFamily : public E2E, public ::testing::WithParamInterface<Family> {};

} // namespace

TEST_P(EachFamily, EveryDataTypeReadWrittenAndReadBack)
{
    const Family f = GetParam();
    absim::Simulator &sim = startSim(f.address, f.personality, typeTags());
    const DeviceInstancePlugin device = makeDevice(1, f.address, f.controllerType);
    QList<DataItem> items;
    for (const TypeCase &c : kTypes)
        items << makeDataItem(items.size() + 1, c.tag, c.tag, c.dataType);

    LogList read = batch(device, items);
    ASSERT_TRUE(plugin.readData(&read)) << read.device.statusMessage.toStdString();
    // Logix before v30 reads a true BOOL as 0xFF, which the plugin shows as the byte it is.
    const bool ffTrue = (f.personality == Personality::ControlLogix || f.personality == Personality::FlexLogix ||
                         f.personality == Personality::CompactLogix) &&
                        absim::defaultIdentity(f.personality).revMajor < 30;
    for (int i = 0; i < items.size(); ++i) {
        const bool ff = ffTrue && kTypes[i].cip == CipType::Bool;
        EXPECT_EQ(read.dataItems[i].values.value("value"), ff ? "255" : kTypes[i].read) << kTypes[i].tag;
        EXPECT_EQ(read.dataItems[i].item.statusMessage, "") << kTypes[i].tag;
    }

    QList<DataItem> writes;
    for (int i = 0; i < items.size(); ++i)
        writes << makeDataItem(i + 1, kTypes[i].tag, kTypes[i].tag, kTypes[i].dataType, kTypes[i].write);
    LogList write = batch(device, writes);
    ASSERT_TRUE(plugin.writeData(&write)) << write.device.statusMessage.toStdString();
    for (int i = 0; i < writes.size(); ++i)
        EXPECT_EQ(write.dataItems[i].item.statusMessage, "") << kTypes[i].tag;

    // Landed in the controller, not only reported.
    EXPECT_EQ(sim.getInt("D"), 2147483647);
    EXPECT_EQ(sim.getInt("UD"), 4294967295LL);
    EXPECT_EQ(sim.getInt("S"), -128);
    EXPECT_DOUBLE_EQ(*sim.getDouble("R"), -2.25);
    EXPECT_EQ(sim.getString("STR"), std::string("written text"));

    LogList again = batch(device, items);
    ASSERT_TRUE(plugin.readData(&again));
    for (int i = 0; i < items.size(); ++i)
        EXPECT_EQ(again.dataItems[i].values.value("value"), kTypes[i].readBack) << kTypes[i].tag;

    // The plugin's element calls on the tags it holds read and write the family's own layout.
    const auto controller = AB_EIP::ControllerType(f.controllerType);
    for (const AB_EIP::TagInstance &t : AB_EIP::tags.entries()) {
        const TypeCase &c = *std::find_if(std::begin(kTypes), std::end(kTypes),
                                          [&](const TypeCase &k) { return t.address == k.tag; });
        const auto type = AB_EIP::DataType(c.dataType);
        EXPECT_EQ(AB_EIP::convertValueToString(t.handle, type, controller, 0), c.readBack) << c.tag;
        EXPECT_TRUE(plugin.setTagValue(t.handle, type, controller, QString(c.initial), 0)) << c.tag;
        EXPECT_EQ(AB_EIP::convertValueToString(t.handle, type, controller, 0), c.read) << c.tag;
    }
}

INSTANTIATE_TEST_SUITE_P(Families, EachFamily,
                         ::testing::Values(Family{"127.0.30.2", Personality::ControlLogix, AB_EIP::ControlLogix},
                                           Family{"127.0.30.3", Personality::Micro800, AB_EIP::Micro800},
                                           Family{"127.0.30.4", Personality::OmronNJ, AB_EIP::OmronNjNx}),
                         [](const ::testing::TestParamInfo<Family> &i) {
                             return std::string(i.param.controllerType == AB_EIP::ControlLogix ? "ControlLogix"
                                                : i.param.controllerType == AB_EIP::Micro800   ? "Micro800"
                                                                                                 : "Omron");
                         });

TEST_F(E2E, OmronVersionVariables)
{
    startSim("127.0.30.6", Personality::OmronNJ, {});
    const DeviceInstancePlugin device = makeDevice(1, "127.0.30.6", AB_EIP::OmronNjNx);
    LogList read = batch(device, {makeDataItem(1, "Unit", "_UnitVersion", AB_EIP::String),
                                  makeDataItem(2, "Sw", "_SystemSWVersion", AB_EIP::String)});
    ASSERT_TRUE(plugin.readData(&read));
    EXPECT_TRUE(QRegExp("\\d+\\.\\d+").exactMatch(read.dataItems[0].values.value("value")))
        << read.dataItems[0].values.value("value").toStdString();
    EXPECT_TRUE(QRegExp("\\d+\\.\\d+\\.\\d+").exactMatch(read.dataItems[1].values.value("value")))
        << read.dataItems[1].values.value("value").toStdString();
}

TEST_F(E2E, StopPluginClosesEveryTag)
{
    absim::Simulator &sim = startSim("127.0.30.10", Personality::ControlLogix, {tagDef("A", CipType::Dint)});
    const DeviceInstancePlugin device = makeDevice(1, "127.0.30.10", AB_EIP::ControlLogix);
    LogList read = batch(device, {makeDataItem(1, "A", "A", AB_EIP::DoubleInteger)});
    ASSERT_TRUE(plugin.readData(&read));
    EXPECT_GE(sim.openConnections(), 1);
    EXPECT_TRUE(plugin.stopPlugin());
    EXPECT_TRUE(AB_EIP::tags.isEmpty());
    EXPECT_TRUE(eventually([&] { return sim.openConnections() == 0 && sim.openCipConnections() == 0; }));
}
