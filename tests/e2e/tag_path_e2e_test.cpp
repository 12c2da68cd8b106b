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
    {"LI", CipType::Lint, AB_EIP::LongInteger, "-9223372036854775808", "-9223372036854775808", "9223372036854775807",
     "9223372036854775807"},
    {"ULI", CipType::Ulint, AB_EIP::UnsignedLongInteger, "18446744073709551615", "18446744073709551615",
     "9223372036854775808", "9223372036854775808"},
    // Servers send true as 0xFF too: any non-zero byte is "1".
    {"BF", CipType::Sint, AB_EIP::Bool, "-1", "1", "0", "0"},
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
    const char *label;
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
    // Logix before v30 sends a true BOOL as 0xFF: still "1".
    for (int i = 0; i < items.size(); ++i) {
        EXPECT_EQ(read.dataItems[i].values.value("value"), kTypes[i].read) << kTypes[i].tag;
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
    EXPECT_EQ(sim.getInt("LI"), INT64_MAX);
    EXPECT_EQ(sim.getInt("ULI"), INT64_MIN); // 2^63, as the simulator's signed view of its bits

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
        EXPECT_TRUE(plugin.setTagValue(t.handle, type, controller, QString(c.read), 0)) << c.tag;
        EXPECT_EQ(AB_EIP::convertValueToString(t.handle, type, controller, 0), c.read) << c.tag;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Families, EachFamily,
    ::testing::Values(Family{"ControlLogix", "127.0.30.2", Personality::ControlLogix, AB_EIP::ControlLogix},
                      Family{"Micro800", "127.0.30.3", Personality::Micro800, AB_EIP::Micro800},
                      Family{"Omron", "127.0.30.4", Personality::OmronNJ, AB_EIP::OmronNjNx}),
    [](const ::testing::TestParamInfo<Family> &i) { return std::string(i.param.label); });

// As after a download: the controller's tag changes type under an item that keeps asking.
TEST_F(E2E, ATagOfAnotherTypeIsAnItemErrorUntilTheItemMatchesIt)
{
    absim::Simulator &sim = startSim("127.20.0.10", Personality::ControlLogix,
                                     {tagDef("D", CipType::Dint, {}, {"1000081"}),
                                      tagDef("L", CipType::Lint, {}, {"1234567890123"})});
    const DeviceInstancePlugin device = makeDevice(1, "127.20.0.10", AB_EIP::ControlLogix);
    const auto pass = [&](const char *tag, int dataType, const QString &value = QString()) {
        LogList l = batch(device, {makeDataItem(1, tag, tag, dataType, value)});
        EXPECT_TRUE(value.isNull() ? plugin.readData(&l) : plugin.writeData(&l));
        return l.dataItems[0];
    };
    EXPECT_EQ(pass("D", AB_EIP::DoubleInteger).values.value("value"), "1000081");
    const QString wider = "The PLC's tag holds 8-byte elements; the item's data type has 4";
    EXPECT_EQ(pass("L", AB_EIP::DoubleInteger).item.statusMessage, wider);
    EXPECT_EQ(pass("L", AB_EIP::DoubleInteger, "7").item.statusMessage, wider);
    EXPECT_EQ(sim.getInt("L"), 1234567890123LL);

    ASSERT_TRUE(sim.addTag(tagDef("D", CipType::Int, {}, {"-2"})));
    for (int i = 0; i < 3; ++i) {
        const DataItem read = pass("D", AB_EIP::DoubleInteger);
        EXPECT_FALSE(read.item.statusMessage.isEmpty()) << i;
        EXPECT_FALSE(read.values.contains("value")) << i << read.values.value("value").toStdString();
    }
    EXPECT_FALSE(pass("D", AB_EIP::DoubleInteger, "1000082").item.statusMessage.isEmpty());
    EXPECT_EQ(sim.getInt("D"), -2);
    // Configured to match, the item reads and writes the new tag.
    EXPECT_EQ(pass("D", AB_EIP::Integer).values.value("value"), "-2");
    EXPECT_EQ(pass("D", AB_EIP::Integer, "300").item.statusMessage, "");
    EXPECT_EQ(sim.getInt("D"), 300);
}

// The host passes the same list pass after pass and edits its records in place: each edit
// shows in the very next pass, whatever the plugin kept of the last one.
TEST_F(E2E, EditsOfAListPassedAgainShowInTheNextPass)
{
    startSim("127.20.0.11", Personality::ControlLogix,
             {tagDef("A", CipType::Dint, {}, {"11"}), tagDef("B", CipType::Dint, {}, {"22"}),
              tagDef("C", CipType::Dint, {}, {"33"})});
    startSim("127.20.0.12", Personality::ControlLogix,
             {tagDef("A", CipType::Dint, {}, {"-11"}), tagDef("B", CipType::Dint, {}, {"-22"})});
    LogList l = batch(makeDevice(1, "127.20.0.11", AB_EIP::ControlLogix),
                      {makeDataItem(1, "a", "A", AB_EIP::DoubleInteger), makeDataItem(2, "b", "B", AB_EIP::DoubleInteger)});
    // Items of another interval: the same device read in a list of its own, between passes.
    LogList other = batch(l.device, {makeDataItem(3, "c", "C", AB_EIP::DoubleInteger),
                                     makeDataItem(4, "a", "A", AB_EIP::DoubleInteger)});
    const auto shown = [&](LogList &list) {
        EXPECT_TRUE(plugin.readData(&list));
        QStringList s;
        for (const DataItem &d : list.dataItems)
            s << (d.item.statusMessage.isEmpty() ? d.values.value("value") : d.item.statusMessage);
        return s.join(" | ");
    };
    const QString narrower = "The PLC's tag holds 4-byte elements; the item's data type has 2";
    const struct {
        const char *edit;
        std::function<void()> apply;
        QString expected;
    } steps[] = {
        {"none", [] {}, "11 | 22"},
        {"again", [] {}, "11 | 22"},
        {"address", [&] { l.dataItems[0].item.settings["address"] = "C"; }, "33 | 22"},
        {"data type", [&] { l.dataItems[1].item.settings["data_type"] = QString::number(AB_EIP::Integer); },
         "33 | " + narrower},
        {"data type back", [&] { l.dataItems[1].item.settings["data_type"] = QString::number(AB_EIP::DoubleInteger); },
         "33 | 22"},
        {"controller", [&] { l.device.ipAddress = "127.20.0.12"; l.dataItems[0].item.settings["address"] = "A"; },
         "-11 | -22"},
        {"back, after the tags were closed",
         [&] { l.device.ipAddress = "127.20.0.11"; plugin.stopPlugin(); }, "11 | 22"},
        {"items swapped", [&] { l.dataItems.swapItemsAt(0, 1); }, "22 | 11"},
    };
    for (const auto &step : steps) {
        step.apply();
        EXPECT_EQ(shown(l), step.expected) << step.edit;
        EXPECT_EQ(shown(other), "33 | 11") << step.edit;
    }
}
