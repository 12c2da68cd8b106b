// Single replies spoilt on their way from the controller (a proxy on the TCP stream), while
// items are read and written: every item ends with the controller's value or an error text,
// and every write reported done is in the controller.
#include "e2e_fixture.h"
#include "reply_proxy.h"

#include <random>

using absim::CipType;
using absim::Personality;

namespace {

struct Family {
    const char *label;
    int host; // the controller at 127.20.0.host (127.20.2.host for the random run), the proxy at .1 / .3
    Personality personality;
    int controllerType;
    std::vector<absim::TagDef> tags;
    // Item name, address, data type; the controller's tag and element of each.
    struct Item {
        const char *name, *address;
        int dataType;
        const char *tag;
        size_t index;
    };
    std::vector<Item> items;
};

const Family kFamilies[] = {
    {"Logix", 1, Personality::ControlLogix, AB_EIP::ControlLogix,
     {tagDef("D", CipType::Dint, {}, {"5"}), tagDef("L", CipType::Lint, {}, {"1234567890123"})},
     {{"D", "D", AB_EIP::DoubleInteger, "D", 0}, {"L", "L", AB_EIP::LongInteger, "L", 0}}},
    {"Slc500", 2, Personality::Slc500, AB_EIP::SLC500, {},
     {{"N0", "N7:0", AB_EIP::Integer, "N7", 0}, {"N1", "N7:1", AB_EIP::Integer, "N7", 1}}},
};

class ReplyFaults : public E2E, public ::testing::WithParamInterface<Family> {
protected:
    void SetUp() override
    {
        E2E::SetUp();
        // Each test on addresses of its own: ctest runs them side by side.
        const int net = std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()).find("Random") !=
                                std::string::npos
                            ? 2
                            : 0;
        const std::string simAt = "127.20." + std::to_string(net) + "." + std::to_string(GetParam().host);
        const std::string proxyAt = "127.20." + std::to_string(net + 1) + "." + std::to_string(GetParam().host);
        sim = &startSim(simAt.c_str(), GetParam().personality, GetParam().tags);
        proxy = std::make_unique<ReplyProxy>(proxyAt.c_str(), simAt.c_str());
        ASSERT_TRUE(proxy->ok());
        device = makeDevice(1, QString::fromStdString(proxyAt), GetParam().controllerType);
    }
    void TearDown() override
    {
        E2E::TearDown();
        proxy.reset();
    }
    QList<DataItem> items(const QStringList &values = {}) const
    {
        QList<DataItem> out;
        for (const Family::Item &i : GetParam().items)
            out << makeDataItem(out.size() + 1, i.name, i.address, i.dataType,
                                values.isEmpty() ? QString() : values[out.size()]);
        return out;
    }
    QString held(int i) const
    {
        const Family::Item &it = GetParam().items[size_t(i)];
        return QString::number(sim->getInt(it.tag, it.index).value());
    }
    // One read pass: the number of items shown ok with a value the controller does not hold.
    int readWrong()
    {
        LogList l = batch(device, items());
        plugin.readData(&l);
        int wrong = 0;
        for (int i = 0; i < l.dataItems.size(); ++i)
            if (l.dataItems[i].item.statusMessage.isEmpty() && l.dataItems[i].values.contains("value") &&
                l.dataItems[i].values.value("value") != held(i)) {
                ++wrong;
                ADD_FAILURE() << l.dataItems[i].item.name.toStdString() << " shows "
                              << l.dataItems[i].values.value("value").toStdString() << ", holds "
                              << held(i).toStdString();
            }
        return wrong;
    }
    // One write pass of new values: the number reported done that the controller does not hold.
    int writeLost(int n)
    {
        const QStringList values = {QString::number(n), QString::number(GetParam().controllerType == AB_EIP::SLC500
                                                                             ? n + 1
                                                                             : (int64_t(n) << 36) - 1)};
        LogList l = batch(device, items(values));
        const bool deviceOk = plugin.writeData(&l) && l.device.statusMessage.isEmpty();
        int lost = 0;
        for (int i = 0; i < l.dataItems.size(); ++i)
            if (deviceOk && l.dataItems[i].item.statusMessage.isEmpty() && held(i) != values[i]) {
                ++lost;
                ADD_FAILURE() << l.dataItems[i].item.name.toStdString() << " written " << values[i].toStdString()
                              << ", holds " << held(i).toStdString();
            }
        return lost;
    }

    absim::Simulator *sim = nullptr;
    std::unique_ptr<ReplyProxy> proxy;
    DeviceInstancePlugin device;
};

} // namespace

TEST_P(ReplyFaults, EachSpoiltReplyEndsInTheValueOrAnError)
{
    const struct {
        Spoil spoil;
        int amount;
    } cases[] = {{Spoil::Cut, 2},          {Spoil::Cut, 1},        {Spoil::Lengthen, 2}, {Spoil::Lengthen, 4},
                 {Spoil::Duplicate, 0},    {Spoil::Delay, 300},    {Spoil::ExtStatusSize, 0},
                 {Spoil::TypeCode, 0}};
    int n = 100;
    for (const auto &c : cases) {
        for (bool write : {false, true}) {
            proxy->arm(c.spoil, c.amount);
            EXPECT_EQ(write ? writeLost(++n) : readWrong(), 0) << int(c.spoil) << " " << c.amount << " " << write;
            // Whatever the fault left behind, the next passes read the controller's values.
            EXPECT_EQ(readWrong(), 0);
            EXPECT_EQ(writeLost(++n), 0);
        }
    }
    EXPECT_EQ(proxy->spoilt(), int(std::size(cases)) * 2);
}

TEST_P(ReplyFaults, SeededRandomRunShowsNoWrongValueAndLosesNoWrite)
{
    std::mt19937 random(20);
    int wrong = 0, lost = 0;
    for (int k = 0; k < 200; ++k) {
        const Spoil s = Spoil(1 + random() % (int(Spoil::Count) - 1));
        proxy->arm(s, s == Spoil::Delay ? int(random() % 200) : int(1 + random() % 6));
        if (random() % 2)
            wrong += readWrong();
        else
            lost += writeLost(k);
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(lost, 0);
    EXPECT_GT(proxy->spoilt(), 150);
    proxy->arm(Spoil::None, 0);
    LogList l = batch(device, items());
    EXPECT_TRUE(eventually([&] {
        l = batch(device, items());
        return plugin.readData(&l) && l.dataItems[0].item.statusMessage.isEmpty() &&
               l.dataItems[0].values.value("value") == held(0);
    }));
}

INSTANTIATE_TEST_SUITE_P(Families, ReplyFaults, ::testing::ValuesIn(kFamilies),
                         [](const ::testing::TestParamInfo<Family> &i) { return std::string(i.param.label); });
