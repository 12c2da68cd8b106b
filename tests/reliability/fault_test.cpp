// Controllers that misbehave: each fault ends the pass within its bounds with a text that
// says what happened, shows no value the controller did not give, and the first pass after
// the fault has cleared reads good values again. A long run of faults leaks nothing.
#include "e2e_fixture.h"
#include "process_counts.h"

#include <QSet>

#include <functional>

using absim::CipType;
using absim::Personality;
using absim::ReplyFault;
using Clock = std::chrono::steady_clock;

namespace {

struct Fault {
    const char *name;
    const char *address;
    std::function<void(absim::Simulator &)> apply;
    QSet<QString> texts; // item or device texts the pass may give
    int boundMs;         // the pass ends within this
};

const QString kTimeout = QStringLiteral("Timeout connecting to PLC");
const QString kConnect = QStringLiteral("Could not connect to the PLC");
const QString kOpen = QStringLiteral("Could not open a connection to the PLC");
const QString kRemote = QStringLiteral("The PLC reported a communication error");
// Statuses without a text of their own show the library's status name, readable.
const QString kBadReply = QStringLiteral("bad reply");
const QString kAbort = QStringLiteral("abort");
const QString kRead = QStringLiteral("read");
const QString kWrite = QStringLiteral("write");

// The read and write timeouts of a pass, plus scheduling slack.
constexpr int kPassBoundMs = 5000 + 1500;

// A controller that answers, however badly (a cut, a spoilt reply, a refused connection), is
// reported at once, each time the pass asks; only silence is waited out to the timeout.
const Fault kFaults[] = {
    {"ConnectionCutBeforeTheReply", "127.0.70.1", [](absim::Simulator &s) { s.dropConnectionAfter(0); },
     {kConnect, kOpen, kAbort, kBadReply, kRead, kWrite}, 1000},
    {"ReplyTruncated", "127.0.70.2", [](absim::Simulator &s) { s.setReplyFault(ReplyFault::Truncate); },
     {kConnect, kOpen, kAbort, kBadReply, kRead, kWrite}, 1000},
    {"ReplyCorrupted", "127.0.70.3", [](absim::Simulator &s) { s.setReplyFault(ReplyFault::Corrupt); },
     {kConnect, kOpen, kAbort, kBadReply, kRead, kWrite}, 1000},
    {"ReplyLostAfterTheRequestTookEffect", "127.0.70.8",
     [](absim::Simulator &s) { s.setReplyFault(ReplyFault::LoseAfterApply); },
     {kConnect, kOpen, kAbort, kBadReply, kRead, kWrite}, 1000},
    {"ConnectionsRefused", "127.0.70.4",
     [](absim::Simulator &s) {
         s.setRefuseConnections(true);
         s.dropConnectionAfter(0);
     },
     {kConnect, kOpen, kAbort, kBadReply, kRead, kWrite}, 1000},
    {"ErrorStatusForOneTag", "127.0.70.5", [](absim::Simulator &s) { s.setTagError("B", 0xFF, 0x2105); },
     {QStringLiteral("out of bounds")}, 2000},
    // Never dropped in silence: refused at once, not waited out.
    {"ReplyOfAnotherRequest", "127.0.141.1", [](absim::Simulator &s) { s.setReplyFault(ReplyFault::Foreign); },
     {kBadReply}, 1000},
    {"NoAnswer", "127.0.70.6", [](absim::Simulator &s) { s.setMute(true); }, {kTimeout}, kPassBoundMs},
    {"ReplyAfterTheTimeout", "127.0.70.7", [](absim::Simulator &s) { s.setResponseDelayMs(6500); }, {kTimeout},
     kPassBoundMs},
};

class EachFault : public E2E, public ::testing::WithParamInterface<Fault> {
protected:
    QList<DataItem> items() const
    {
        return {makeDataItem(1, "A", "A", AB_EIP::DoubleInteger), makeDataItem(2, "B", "B", AB_EIP::DoubleInteger),
                makeDataItem(3, "C", "C", AB_EIP::DoubleInteger)};
    }
    // A controller holding A, B and C, with the plugin's tags already open on it.
    absim::Simulator &startWarm()
    {
        absim::Simulator &sim = startSim(GetParam().address, Personality::ControlLogix,
                                         {tagDef("A", CipType::Dint, {}, {"1"}), tagDef("B", CipType::Dint, {}, {"2"}),
                                          tagDef("C", CipType::Dint, {}, {"3"})});
        LogList warm = batch(device, items());
        EXPECT_TRUE(plugin.readData(&warm));
        return sim;
    }
    const DeviceInstancePlugin device = makeDevice(1, GetParam().address, AB_EIP::ControlLogix);
    // Every item either shows the controller's value with no text, or a text and no value;
    // the texts (item or device) are among the fault's.
    void expectHonest(const LogList &l, absim::Simulator &sim, const QSet<QString> &texts)
    {
        const bool deviceFailed = !l.device.statusMessage.isEmpty();
        if (deviceFailed) {
            EXPECT_TRUE(texts.contains(l.device.statusMessage)) << l.device.statusMessage.toStdString();
        }
        int failed = deviceFailed ? 1 : 0;
        for (const DataItem &d : l.dataItems) {
            const QString &text = d.item.statusMessage;
            if (!text.isEmpty()) {
                ++failed;
                EXPECT_TRUE(texts.contains(text)) << d.item.name.toStdString() << ": " << text.toStdString();
                EXPECT_FALSE(d.values.contains("value")) << d.item.name.toStdString();
            } else if (d.values.contains("value")) {
                EXPECT_EQ(d.values.value("value").toLongLong(), sim.getInt(d.item.name.toStdString()).value());
            }
        }
        EXPECT_GT(failed, 0) << "the fault went unreported";
    }
};

} // namespace

TEST_P(EachFault, ReadPassReportsItAndRecovers)
{
    const Fault &f = GetParam();
    absim::Simulator &sim = startWarm();

    f.apply(sim);
    LogList l = batch(device, items());
    const auto t0 = Clock::now();
    plugin.readData(&l);
    EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(f.boundMs));
    expectHonest(l, sim, f.texts);

    sim.clearFaults();
    sim.setInt("A", 10);
    sim.setInt("B", 20);
    sim.setInt("C", 30);
    // The first pass after a failed one may still meet the failure's debris (a session being
    // torn down); within a few passes every value is the controller's new one.
    EXPECT_TRUE(eventually([&] {
        LogList r = batch(device, items());
        return plugin.readData(&r) && r.device.statusMessage.isEmpty() && r.dataItems[0].values.value("value") == "10" &&
               r.dataItems[1].values.value("value") == "20" && r.dataItems[2].values.value("value") == "30";
    }, 12000));
}

TEST_P(EachFault, WritePassReportsItAndRecovers)
{
    const Fault &f = GetParam();
    absim::Simulator &sim = startWarm();

    f.apply(sim);
    LogList w = batch(device, {makeDataItem(1, "A", "A", AB_EIP::DoubleInteger, "101"),
                               makeDataItem(2, "B", "B", AB_EIP::DoubleInteger, "102"),
                               makeDataItem(3, "C", "C", AB_EIP::DoubleInteger, "103")});
    const auto t0 = Clock::now();
    plugin.writeData(&w);
    EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(f.boundMs));
    sim.clearFaults();
    // A write reported as done is in the controller.
    for (const DataItem &d : w.dataItems) {
        if (w.device.statusMessage.isEmpty() && d.item.statusMessage.isEmpty()) {
            EXPECT_EQ(sim.getInt(d.item.name.toStdString()), d.values.value("value").toLongLong())
                << d.item.name.toStdString();
        }
    }

    EXPECT_TRUE(eventually([&] {
        LogList again = batch(device, w.dataItems);
        for (DataItem &d : again.dataItems)
            d.item.statusMessage.clear();
        return plugin.writeData(&again) && again.device.statusMessage.isEmpty() &&
               again.dataItems[0].item.statusMessage.isEmpty() && again.dataItems[1].item.statusMessage.isEmpty() &&
               again.dataItems[2].item.statusMessage.isEmpty();
    }, 12000));
    EXPECT_EQ(sim.getInt("A"), 101);
    EXPECT_EQ(sim.getInt("B"), 102);
    EXPECT_EQ(sim.getInt("C"), 103);
}

INSTANTIATE_TEST_SUITE_P(Faults, EachFault, ::testing::ValuesIn(kFaults),
                         [](const ::testing::TestParamInfo<Fault> &i) { return std::string(i.param.name); });

TEST_F(E2E, ControllerStopsInTheMiddleOfAPassAndComesBack)
{
    absim::Simulator &sim = startSim("127.0.70.20", Personality::ControlLogix,
                                     {tagDef("A", CipType::Dint, {}, {"1"}), tagDef("B", CipType::Dint, {}, {"2"})});
    const DeviceInstancePlugin device = makeDevice(1, "127.0.70.20", AB_EIP::ControlLogix);
    const QList<DataItem> list = {makeDataItem(1, "A", "A", AB_EIP::DoubleInteger),
                                  makeDataItem(2, "B", "B", AB_EIP::DoubleInteger)};
    LogList warm = batch(device, list);
    ASSERT_TRUE(plugin.readData(&warm));

    sim.setResponseDelayMs(300); // the pass is in flight when the controller goes away
    LogList l = batch(device, list);
    std::thread pass([&] { plugin.readData(&l); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto t0 = Clock::now();
    sim.stop();
    pass.join();
    EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(kPassBoundMs));
    const bool reported = !l.device.statusMessage.isEmpty() || !l.dataItems[0].item.statusMessage.isEmpty() ||
                          !l.dataItems[1].item.statusMessage.isEmpty();
    EXPECT_TRUE(reported);

    sim.clearFaults();
    sim.setInt("A", 5);
    std::string error;
    ASSERT_TRUE(sim.start(&error)) << error;
    EXPECT_TRUE(eventually([&] {
        LogList r = batch(device, list);
        return plugin.readData(&r) && r.dataItems[0].values.value("value") == "5" &&
               r.dataItems[1].item.statusMessage.isEmpty();
    }, 12000));
}

// A thousand passes, every other one meeting a fault that strikes once: the descriptors,
// threads and cached tags afterwards are those of one healthy device.
TEST_F(E2E, NoDescriptorThreadOrTagLeaksOverAThousandPasses)
{
    absim::Simulator &sim = startSim("127.0.70.21", Personality::ControlLogix,
                                     {tagDef("A", CipType::Dint, {}, {"1"}), tagDef("B", CipType::Dint, {}, {"2"})});
    const DeviceInstancePlugin device = makeDevice(1, "127.0.70.21", AB_EIP::ControlLogix);
    const QList<DataItem> list = {makeDataItem(1, "A", "A", AB_EIP::DoubleInteger),
                                  makeDataItem(2, "B", "B", AB_EIP::DoubleInteger),
                                  makeDataItem(3, "Missing", "Missing", AB_EIP::DoubleInteger)};
    zel_host::setKeptLogLevel(zel_host::LogLevel::Error);
    auto healthy = [&] {
        LogList r = batch(device, list);
        return plugin.readData(&r) && r.dataItems[0].values.value("value") == "1" &&
               r.dataItems[1].values.value("value") == "2";
    };
    // Two healthy passes: the second has its reads in flight together, which starts the
    // session's own thread, part of a healthy device from then on.
    ASSERT_TRUE(eventually(healthy));
    ASSERT_TRUE(eventually(healthy));
    const int fds = openDescriptors(), threads = threadCount();
    const int tags = AB_EIP::tags.size();

    const std::function<void()> faults[] = {
        [&] { sim.dropConnectionAfter(0); },
        [&] { sim.setReplyFault(ReplyFault::Truncate, 1); },
        [&] { sim.setReplyFault(ReplyFault::Corrupt, 1); },
        [&] { sim.setReplyFault(ReplyFault::LoseAfterApply, 1); },
        [&] { sim.setTagError("A", 0x05); },
    };
    int failedPasses = 0;
    for (int pass = 0; pass < 1000; ++pass) {
        if (pass % 2 == 0)
            faults[(pass / 2) % std::size(faults)]();
        LogList l = batch(device, list);
        plugin.readData(&l);
        if (!l.device.statusMessage.isEmpty() || !l.dataItems[0].item.statusMessage.isEmpty() ||
            !l.dataItems[1].item.statusMessage.isEmpty())
            ++failedPasses;
        sim.clearFaults();
    }
    EXPECT_GT(failedPasses, 300);
    ASSERT_TRUE(eventually(healthy, 12000));
    EXPECT_TRUE(eventually([&] { return openDescriptors() == fds && threadCount() == threads; }, 5000))
        << "descriptors " << fds << " -> " << openDescriptors() << ", threads " << threads << " -> " << threadCount();
    EXPECT_EQ(AB_EIP::tags.size(), tags);
    EXPECT_LE(sim.openConnections(), 1);
}
