// String arrays and strings that cannot be decoded, for every string layout, and passes whose
// reads overlap, through the plugin, the tag library and a simulated controller (127.0.150.x).
#include "e2e_fixture.h"

using absim::CipType;
using absim::Personality;

namespace {

struct StringFamily {
    const char *label;
    const char *address;
    Personality personality;
    int controllerType;
    const char *names;  // a String[3] holding alpha, be, gamma
    const char *number; // a number holding 1000: no string of the family's layout
    std::string held;   // name of the array in the simulator
};

const StringFamily kStringFamilies[] = {
    {"ControlLogix", "127.0.150.1", Personality::ControlLogix, AB_EIP::ControlLogix, "Names[0-2]", "Number", "Names"},
    {"Micro800", "127.0.150.2", Personality::Micro800, AB_EIP::Micro800, "Names[0-2]", "Number", "Names"},
    {"Omron", "127.0.150.3", Personality::OmronNJ, AB_EIP::OmronNjNx, "Names[0-2]", "Number", "Names"},
    {"Slc500", "127.0.150.4", Personality::Slc500, AB_EIP::SLC500, "ST9:0[0-2]", "N7:0", "ST9"},
};

class EachStringFamily : public E2E, public ::testing::WithParamInterface<StringFamily> {
protected:
    absim::Simulator &start()
    {
        const StringFamily &f = GetParam();
        absim::Simulator &sim = startSim(f.address, f.personality,
                                         {tagDef("Names", CipType::String, {3}, {"alpha", "be", "gamma"}),
                                          tagDef("Number", CipType::Dint, {}, {"1000"})});
        if (f.personality == Personality::Slc500) {
            for (size_t i = 0; i < 3; ++i)
                sim.setString("ST9", std::vector<std::string>{"alpha", "be", "gamma"}[i], i);
            sim.setInt("N7", 1000, 0);
        }
        return sim;
    }
    QString read(const char *address)
    {
        LogList l = batch(device, {makeDataItem(1, "S", address, AB_EIP::String)});
        EXPECT_TRUE(plugin.readData(&l)) << l.device.statusMessage.toStdString();
        lastError = l.dataItems[0].item.statusMessage;
        return l.dataItems[0].values.value("value", "(none)");
    }
    QString write(const QString &value)
    {
        LogList l = batch(device, {makeDataItem(1, "S", GetParam().names, AB_EIP::String, value)});
        EXPECT_TRUE(plugin.writeData(&l)) << l.device.statusMessage.toStdString();
        return l.dataItems[0].item.statusMessage;
    }
    std::vector<std::string> held(absim::Simulator &sim)
    {
        std::vector<std::string> out;
        for (size_t i = 0; i < 3; ++i)
            out.push_back(sim.getString(GetParam().held, i).value_or("(none)"));
        return out;
    }

    const DeviceInstancePlugin device = makeDevice(1, GetParam().address, GetParam().controllerType);
    QString lastError;
};

} // namespace

TEST_P(EachStringFamily, EveryElementOfAStringArrayAtItsOwnPlace)
{
    absim::Simulator &sim = start();
    EXPECT_EQ(read(GetParam().names), R"(["alpha","be","gamma"])");

    EXPECT_EQ(write(R"(["x","yyy","zz"])"), "");
    EXPECT_EQ(held(sim), (std::vector<std::string>{"x", "yyy", "zz"}));
    EXPECT_EQ(read(GetParam().names), R"(["x","yyy","zz"])");

    // Fewer texts than elements: the rest keep what the controller holds.
    EXPECT_EQ(write(R"(["longer text"])"), "");
    EXPECT_EQ(held(sim), (std::vector<std::string>{"longer text", "yyy", "zz"}));

    // A text no element can hold is refused with a text, and nothing is written.
    EXPECT_EQ(write(QStringLiteral(R"(["a","%1"])").arg(QString(70000, 'x'))),
              "Text too long for the PLC's string: 70000 bytes");
    EXPECT_EQ(held(sim), (std::vector<std::string>{"longer text", "yyy", "zz"}));
}

TEST_P(EachStringFamily, AStringThatCannotBeDecodedIsAnErrorEveryPass)
{
    start();
    const int cached = AB_EIP::tags.size();
    for (int pass = 0; pass < 3; ++pass) {
        EXPECT_EQ(read(GetParam().number), "(none)") << pass;
        EXPECT_FALSE(lastError.isEmpty());
        EXPECT_EQ(AB_EIP::tags.size(), cached) << "the tag went through destroyTag";
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, EachStringFamily, ::testing::ValuesIn(kStringFamilies),
                         [](const ::testing::TestParamInfo<StringFamily> &i) { return std::string(i.param.label); });

// A first pass creates every tag at once and takes the creations' reads as its own; what it
// shows, where it stops and what it leaves cached are what a pass creating one item after the
// other (each in a batch of its own) gives, and so is what the next pass shows, its reads of the
// cached tags all in flight at once. The creations travel packed, and so do a write batch's to
// tags not open yet.
TEST_F(E2E, AFirstPassCreatingAllAtOnceEndsAsOneCreatingEachOnItsWay)
{
    std::vector<absim::TagDef> defs = {
        tagDef("D", CipType::Dint, {}, {"-7"}), tagDef("R", CipType::Real, {}, {"1.5"}),
        tagDef("Arr", CipType::Dint, {5}, {"1", "2", "3", "4", "5"}), tagDef("S", CipType::String, {}, {"text"}),
        tagDef("Names", CipType::String, {3}, {"a", "bb", "ccc"}), tagDef("Number", CipType::Dint, {}, {"1000"})};
    QList<DataItem> items = {
        makeDataItem(1, "D", "D", AB_EIP::DoubleInteger),          makeDataItem(2, "Missing", "Missing", AB_EIP::DoubleInteger),
        makeDataItem(3, "Arr", "Arr[1-3]", AB_EIP::DoubleInteger), makeDataItem(4, "S", "S", AB_EIP::String),
        makeDataItem(5, "R", "R", AB_EIP::Real),                   makeDataItem(6, "Names", "Names[0-2]", AB_EIP::String),
        makeDataItem(7, "Bad", "Number", AB_EIP::String),          makeDataItem(8, "File", "N7:0", AB_EIP::Integer),
        makeDataItem(9, "Again", "D", AB_EIP::DoubleInteger)};
    const int kMany = 40;
    for (int i = 0; i < kMany; ++i) {
        defs.push_back(tagDef("V" + std::to_string(i), CipType::Dint, {}, {std::to_string(i)}));
        items << makeDataItem(10 + i, QStringLiteral("V%1").arg(i), QStringLiteral("V%1").arg(i), AB_EIP::DoubleInteger);
    }
    absim::Simulator &sim = startSim("127.22.0.1", Personality::ControlLogix, defs);
    sim.setResponseDelayMs(5); // as in the field: what queues while a request is out goes in the next packet
    startSim("127.22.0.2", Personality::ControlLogix, {tagDef("X", CipType::Dint)}).setMute(true);
    const QList<DataItem> silent = {makeDataItem(1, "X", "X", AB_EIP::DoubleInteger),
                                    makeDataItem(2, "Y", "X", AB_EIP::Real)};
    struct Shown {
        QStringList items;
        QString device;
        bool result = true;
        int cached = 0;
    };
    const auto show = [](const DataItem &d) { return d.values.value("value", "(none)") + " | " + d.item.statusMessage; };
    const auto eachOnItsWay = [&](const DeviceInstancePlugin &device, const QList<DataItem> &list) {
        Shown s;
        for (const DataItem &item : list) {
            LogList l = batch(device, {item});
            s.items << (s.result ? (s.result = plugin.readData(&l), show(l.dataItems[0])) : show(item));
            s.device += l.device.statusMessage;
        }
        s.cached = AB_EIP::tags.size();
        return s;
    };
    const auto allAtOnce = [&](const DeviceInstancePlugin &device, const QList<DataItem> &list) {
        Shown s;
        LogList l = batch(device, list);
        s.result = plugin.readData(&l);
        for (const DataItem &d : l.dataItems)
            s.items << show(d);
        s.device = l.device.statusMessage;
        s.cached = AB_EIP::tags.size();
        return s;
    };
    const struct {
        const char *label;
        DeviceInstancePlugin device;
        const QList<DataItem> &items;
    } kDevices[] = {{"answering", makeDevice(1, "127.22.0.1", AB_EIP::ControlLogix), items},
                    {"silent", makeDevice(2, "127.22.0.2", AB_EIP::ControlLogix), silent}};
    for (const auto &c : kDevices) {
        const Shown sequential = eachOnItsWay(c.device, c.items);
        plugin.stopPlugin();
        const uint64_t before = sim.requestCount();
        const Shown packed = allAtOnce(c.device, c.items);
        const uint64_t trips = sim.requestCount() - before;
        const Shown cached = c.device.id == 1 ? allAtOnce(c.device, c.items) : sequential;
        plugin.stopPlugin();
        EXPECT_EQ(cached.items, sequential.items) << c.label;
        EXPECT_EQ(packed.items, sequential.items) << c.label;
        EXPECT_EQ(packed.device, sequential.device) << c.label;
        EXPECT_EQ(packed.result, sequential.result) << c.label;
        EXPECT_EQ(packed.cached, sequential.cached) << c.label;
        if (c.device.id == 1) {
            EXPECT_EQ(sequential.items[1], "(none) | The tag was not found on the PLC");
            EXPECT_EQ(sequential.items[2], R"(["2","3","4"] | )");
            EXPECT_EQ(sequential.items[11], "2 | ");
            // One by one they would take a round trip each: packed, a set-up and a few packets.
            EXPECT_LT(trips, 12u);
        } else {
            EXPECT_EQ(sequential.device, "Timeout connecting to PLC");
        }
    }

    LogList writes = batch(kDevices[0].device, items.mid(9));
    for (int i = 0; i < kMany; ++i)
        writes.dataItems[i].values.insert("value", QString::number(1000 + i));
    const uint64_t before = sim.requestCount();
    EXPECT_TRUE(plugin.writeData(&writes));
    EXPECT_LT(sim.requestCount() - before, 12u);
    for (int i = 0; i < kMany; ++i)
        EXPECT_EQ(sim.getInt("V" + std::to_string(i)).value_or(-1), 1000 + i) << i;
}
