// Controllers with the habits of servers met in the field, one habit (or one server's set) per
// row: values read, written and read back through the plugin and the tag library, and the
// failures that a controller answers (unknown tag, refused route) reported with their text at
// once rather than as a timeout.
#include "e2e_fixture.h"

#include <cstring>

using absim::CipType;
using absim::Personality;
using absim::Quirks;
using Clock = std::chrono::steady_clock;

namespace {

struct Habit {
    const char *label;
    const char *address;
    Personality personality;
    int controllerType;
    Quirks quirks;
};

Quirks quirks(std::initializer_list<bool Quirks::*> on)
{
    Quirks q;
    for (bool Quirks::*f : on)
        q.*f = true;
    return q;
}

const Habit kHabits[] = {
    {"StoredContext", "127.0.140.1", Personality::ControlLogix, AB_EIP::ControlLogix, quirks({&Quirks::storedContext})},
    {"O2tId", "127.0.140.2", Personality::ControlLogix, AB_EIP::ControlLogix, quirks({&Quirks::o2tId})},
    {"OffLayoutCpf", "127.0.140.3", Personality::ControlLogix, AB_EIP::ControlLogix, quirks({&Quirks::offLayoutCpf})},
    {"Fragment490", "127.0.140.4", Personality::ControlLogix, AB_EIP::ControlLogix, quirks({&Quirks::fragment490})},
    {"CipStrings", "127.0.140.5", Personality::ControlLogix, AB_EIP::ControlLogix, quirks({&Quirks::cipStrings})},
    {"EveryHabit", "127.0.140.7", Personality::CompactLogix, AB_EIP::CompactLogix,
     quirks({&Quirks::storedContext, &Quirks::o2tId, &Quirks::offLayoutCpf, &Quirks::fragment490,
             &Quirks::cipStrings, &Quirks::unknownTagCloses})},
    {"Micro800", "127.0.140.8", Personality::Micro800, AB_EIP::Micro800,
     quirks({&Quirks::storedContext, &Quirks::offLayoutCpf, &Quirks::fragment490})},
    {"Omron", "127.0.140.9", Personality::OmronNJ, AB_EIP::OmronNjNx,
     quirks({&Quirks::storedContext, &Quirks::offLayoutCpf, &Quirks::o2tId})},
    {"Slc500", "127.0.140.10", Personality::Slc500, AB_EIP::SLC500,
     quirks({&Quirks::storedContext, &Quirks::unknownTagCloses})},
    {"MicroLogix", "127.0.140.11", Personality::MicroLogix, AB_EIP::MicroLogix,
     quirks({&Quirks::storedContext, &Quirks::unknownTagCloses})},
    {"Plc5", "127.0.140.12", Personality::Plc5, AB_EIP::PLC5,
     quirks({&Quirks::storedContext, &Quirks::unknownTagCloses})},
};

bool isPccc(Personality p)
{
    return p == Personality::Slc500 || p == Personality::MicroLogix || p == Personality::Plc5;
}

// One item per thing to prove: a scalar, an array past 490 bytes (PCCC: a file range),
// strings, and a tag the controller does not have.
struct Item {
    const char *name;
    const char *logixAddress; // nullptr: not on this family
    const char *pcccAddress;
    int dataType;
    const char *written;
};

const Item kItems[] = {
    {"Scalar", "Counter", "N7:0", AB_EIP::DoubleInteger, "-7"},
    {"Array", "Data[0-199]", "N7:0[0-9]", AB_EIP::DoubleInteger, nullptr},
    {"Text", "Text", "ST9:0", AB_EIP::String, "written text"},
    {"Short", "Name", nullptr, AB_EIP::String, "short one"},
};

class EachHabit : public E2E, public ::testing::WithParamInterface<Habit> {
protected:
    const Habit &h() const { return GetParam(); }
    bool pccc() const { return isPccc(h().personality); }
    QList<DataItem> items(bool withValues) const
    {
        QList<DataItem> out;
        int id = 0;
        for (const Item &i : kItems) {
            const char *address = pccc() ? i.pcccAddress : i.logixAddress;
            ++id;
            if (!address || (h().personality == Personality::OmronNJ && std::strcmp(i.name, "Short") == 0))
                continue; // the plugin writes Omron strings in Omron's own layout
            int type = i.dataType;
            if (pccc() && type == AB_EIP::DoubleInteger)
                type = AB_EIP::Integer; // N files hold INTs
            QString value;
            if (withValues)
                value = i.written ? QString(i.written) : arrayText(pccc() ? 10 : 200, 3);
            out << makeDataItem(id, i.name, address, type, value);
        }
        return out;
    }
    static QString arrayText(int n, int factor)
    {
        QStringList v;
        for (int i = 0; i < n; ++i)
            v << QString::number(i * factor);
        return QLatin1Char('[') + v.join(QLatin1Char(',')) + QLatin1Char(']');
    }
    static QString quotedArray(int n, int factor, int first)
    {
        QStringList v;
        for (int i = 0; i < n; ++i)
            v << QStringLiteral("\"%1\"").arg(i == 0 ? first : i * factor);
        return QLatin1Char('[') + v.join(QLatin1Char(',')) + QLatin1Char(']');
    }
    absim::Simulator &start()
    {
        const Habit &h = GetParam();
        std::vector<absim::TagDef> tags;
        if (!pccc()) {
            std::vector<std::string> data;
            for (int i = 0; i < 200; ++i)
                data.push_back(std::to_string(i));
            tags = {tagDef("Counter", CipType::Dint, {}, {"42"}), tagDef("Data", CipType::Dint, {200}, data),
                    tagDef("Text", CipType::String, {}, {"hello"}),
                    tagDef("Name", CipType::ShortString, {}, {"short"})};
        }
        absim::Simulator &sim = startSim(h.address, h.personality, tags, h.quirks);
        if (pccc()) {
            for (int i = 0; i < 10; ++i)
                sim.setInt("N7", i, size_t(i));
            sim.setInt("N7", 42, 0);
            sim.setString("ST9", "hello", 0);
        }
        return sim;
    }
    // Runs a read pass of one item and returns its text, checking that it came at once.
    QString failureText(const DeviceInstancePlugin &device, const QString &address)
    {
        LogList l = batch(device, {makeDataItem(9, "Failing", address, AB_EIP::DoubleInteger)});
        const auto t0 = Clock::now();
        plugin.readData(&l);
        EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(1000)) << address.toStdString();
        EXPECT_EQ(l.device.statusMessage, "") << address.toStdString();
        return l.dataItems[0].item.statusMessage;
    }
};

} // namespace

TEST_P(EachHabit, ReadWriteAndFailuresWithTheirTexts)
{
    const Habit &h = GetParam();
    absim::Simulator &sim = start();
    const DeviceInstancePlugin device = makeDevice(1, h.address, h.controllerType);
    const int n = pccc() ? 10 : 200;

    LogList read = batch(device, items(false));
    ASSERT_TRUE(plugin.readData(&read)) << read.device.statusMessage.toStdString();
    // PCCC: the file range starts at N7:0, the scalar; the write list runs last item first.
    const QStringList first{QStringLiteral("42"), quotedArray(n, 1, pccc() ? 42 : 0), QStringLiteral("hello"),
                            QStringLiteral("short")};
    for (int i = 0; i < read.dataItems.size(); ++i) {
        EXPECT_EQ(read.dataItems[i].item.statusMessage, "") << read.dataItems[i].item.name.toStdString();
        EXPECT_EQ(read.dataItems[i].values.value("value"), first[i]) << read.dataItems[i].item.name.toStdString();
    }

    // A tag the controller lacks; on unconnected PCCC with "unknown-tag-closes" the session
    // is closed on it, which the next pass must not feel.
    EXPECT_EQ(failureText(device, pccc() ? "N40:0" : "Missing"),
              pccc() ? "The PLC reported a communication error" : "The tag was not found on the PLC");

    LogList write = batch(device, items(true));
    ASSERT_TRUE(plugin.writeData(&write)) << write.device.statusMessage.toStdString();
    for (const DataItem &d : write.dataItems)
        EXPECT_EQ(d.item.statusMessage, "") << d.item.name.toStdString();
    if (pccc()) {
        EXPECT_EQ(sim.getInt("N7", 9), 27);
        EXPECT_EQ(sim.getString("ST9", 0), std::string("written text"));
    } else {
        EXPECT_EQ(sim.getInt("Counter"), -7);
        EXPECT_EQ(sim.getInt("Data", 199), 597);
        EXPECT_EQ(sim.getString("Text"), std::string("written text"));
        if (h.personality != Personality::OmronNJ) {
            EXPECT_EQ(sim.getString("Name"), std::string("short one"));
        }
    }

    LogList again = batch(device, items(false));
    ASSERT_TRUE(plugin.readData(&again)) << again.device.statusMessage.toStdString();
    const QStringList second{QStringLiteral("-7"), quotedArray(n, 3, pccc() ? -7 : 0), QStringLiteral("written text"),
                             QStringLiteral("short one")};
    for (int i = 0; i < again.dataItems.size(); ++i)
        EXPECT_EQ(again.dataItems[i].values.value("value"), second[i]) << again.dataItems[i].item.name.toStdString();

    // Values the items cannot take are refused, each with its text, and none reaches the controller.
    LogList refused = batch(device, items(true));
    const QStringList bad{QStringLiteral("abc"), QStringLiteral("1,2,3"), QString(70000, QLatin1Char('x'))};
    for (int i = 0; i < bad.size(); ++i)
        refused.dataItems[i].values.insert("value", bad[i]);
    EXPECT_TRUE(plugin.writeData(&refused));
    const QStringList texts{QStringLiteral("Invalid value for %1: abc").arg(pccc() ? "Integer" : "Double integer"),
                            QStringLiteral("Write array error: Invalid format. Write message: 1,2,3"),
                            QStringLiteral("Text too long for the PLC's string: 70000 bytes")};
    for (int i = 0; i < texts.size(); ++i)
        EXPECT_EQ(refused.dataItems[i].item.statusMessage, texts[i]);
    LogList unchanged = batch(device, items(false));
    ASSERT_TRUE(plugin.readData(&unchanged));
    for (int i = 0; i < unchanged.dataItems.size(); ++i)
        EXPECT_EQ(unchanged.dataItems[i].values.value("value"), second[i]) << i;

    // A route to an empty slot is refused by the controller: said at once, not as a timeout.
    if (h.personality != Personality::Micro800 && !pccc()) {
        const DeviceInstancePlugin slot5 = makeDevice(2, h.address, h.controllerType, "1,5");
        EXPECT_EQ(failureText(slot5, "Counter"), "Could not reach the PLC through the network path");
    }
}

INSTANTIATE_TEST_SUITE_P(Habits, EachHabit, ::testing::ValuesIn(kHabits),
                         [](const ::testing::TestParamInfo<Habit> &i) { return std::string(i.param.label); });
