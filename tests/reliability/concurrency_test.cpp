// Read and write cycles from several threads on the same and on different devices and tags,
// while other threads create and destroy tags on the same sessions through the tag library.
// Run under ThreadSanitizer and AddressSanitizer by the test command.
#include "e2e_fixture.h"

#include <atomic>
#include <cstdlib>
#include <string>

using absim::CipType;
using absim::Personality;

TEST_F(E2E, CyclesAndTagLifetimesFromManyThreads)
{
    // AB_EIP_STRESS_ROUNDS makes a longer run on request.
    const char *env = std::getenv("AB_EIP_STRESS_ROUNDS");
    const int kRounds = env && std::atoi(env) > 0 ? std::atoi(env) : 300;
    absim::Simulator &one = startSim("127.0.70.40", Personality::ControlLogix,
                                     {tagDef("A", CipType::Dint, {}, {"0"}), tagDef("B", CipType::Dint, {}, {"0"}),
                                      tagDef("Arr", CipType::Dint, {10})});
    absim::Simulator &two = startSim("127.0.70.41", Personality::Micro800,
                                     {tagDef("A", CipType::Dint, {}, {"0"}), tagDef("S", CipType::String, {}, {"x"})});
    const DeviceInstancePlugin d1 = makeDevice(1, "127.0.70.40", AB_EIP::ControlLogix);
    const DeviceInstancePlugin d2 = makeDevice(2, "127.0.70.41", AB_EIP::Micro800);
    zel_host::setKeptLogLevel(zel_host::LogLevel::Error);

    std::atomic<int> failures{0};
    auto reader = [&](const DeviceInstancePlugin &d, QList<DataItem> items) {
        for (int i = 0; i < kRounds; ++i) {
            LogList l = batch(d, items);
            if (!plugin.readData(&l) || !l.device.statusMessage.isEmpty())
                ++failures;
        }
    };
    auto writer = [&](const DeviceInstancePlugin &d, const char *tag) {
        for (int i = 0; i < kRounds; ++i) {
            LogList l = batch(d, {makeDataItem(1, tag, tag, AB_EIP::DoubleInteger, QString::number(i))});
            if (!plugin.writeData(&l) || !l.dataItems[0].item.statusMessage.isEmpty())
                ++failures;
        }
    };
    // New tags on the open sessions, read and destroyed, as another program in the same
    // process would use the library.
    auto lifetimes = [&](const char *gateway, const char *plc, const char *path) {
        for (int i = 0; i < kRounds / 3; ++i) {
            const std::string attrs = std::string("protocol=ab_eip&gateway=") + gateway + "&plc=" + plc +
                                      (path[0] ? std::string("&path=") + path : std::string()) + "&name=A";
            const int32_t h = plc_tag_create(attrs.c_str(), 5000);
            if (h < 0 || plc_tag_read(h, 5000) != PLCTAG_STATUS_OK)
                ++failures;
            if (h >= 0)
                plc_tag_destroy(h);
        }
    };

    const QList<DataItem> items1 = {makeDataItem(1, "A", "A", AB_EIP::DoubleInteger),
                                    makeDataItem(2, "B", "B", AB_EIP::DoubleInteger),
                                    makeDataItem(3, "Arr", "Arr[0-9]", AB_EIP::DoubleInteger)};
    const QList<DataItem> items2 = {makeDataItem(1, "A", "A", AB_EIP::DoubleInteger),
                                    makeDataItem(2, "S", "S", AB_EIP::String)};
    // A batch of two writes to one array, in flight together.
    auto batchWriter = [&] {
        for (int i = 0; i < kRounds; ++i) {
            const QString v = QStringLiteral("[%1,%1,%1,%1,%1]").arg(i);
            LogList l = batch(d1, {makeDataItem(4, "Lo", "Arr[0-4]", AB_EIP::DoubleInteger, v),
                                   makeDataItem(5, "Hi", "Arr[5-9]", AB_EIP::DoubleInteger, v)});
            if (!plugin.writeData(&l) || !l.dataItems[0].item.statusMessage.isEmpty() ||
                !l.dataItems[1].item.statusMessage.isEmpty())
                ++failures;
        }
    };
    std::vector<std::thread> threads;
    threads.emplace_back(reader, d1, items1);
    threads.emplace_back(reader, d1, QList<DataItem>{items1[2], items1[1], items1[0]}); // the other order
    threads.emplace_back(batchWriter);
    threads.emplace_back(writer, d1, "A");
    threads.emplace_back(writer, d1, "B");
    threads.emplace_back(reader, d2, items2);
    threads.emplace_back(writer, d2, "A");
    threads.emplace_back(lifetimes, "127.0.70.40", "controllogix", "1,0");
    threads.emplace_back(lifetimes, "127.0.70.41", "micro800", "");
    for (std::thread &t : threads)
        t.join();

    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(one.getInt("A"), kRounds - 1);
    EXPECT_EQ(one.getInt("B"), kRounds - 1);
    EXPECT_EQ(two.getInt("A"), kRounds - 1);
    EXPECT_EQ(one.getInt("Arr", 0), kRounds - 1);
    EXPECT_EQ(one.getInt("Arr", 9), kRounds - 1);
    EXPECT_TRUE(plugin.stopPlugin());
    EXPECT_TRUE(AB_EIP::tags.isEmpty());
    EXPECT_TRUE(eventually([&] {
        return one.openConnections() + one.openCipConnections() + two.openConnections() + two.openCipConnections() == 0;
    })) << "the stop closes every connection";
}

// A write to a tag whose read is in flight waits for that read instead of failing as busy.
TEST_F(E2E, AWriteWaitsForTheReadInFlight)
{
    absim::Simulator &sim =
        startSim("127.0.150.20", Personality::ControlLogix, {tagDef("T", CipType::Dint, {}, {"1"})});
    const DeviceInstancePlugin device = makeDevice(1, "127.0.150.20", AB_EIP::ControlLogix);
    const QList<DataItem> item = {makeDataItem(1, "T", "T", AB_EIP::DoubleInteger)};
    LogList warm = batch(device, item);
    ASSERT_TRUE(plugin.readData(&warm)); // cached: the next pass sends its read and goes on
    sim.setResponseDelayMs(300);
    LogList read = batch(device, item);
    std::thread pass([&] { plugin.readData(&read); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    LogList write = batch(device, {makeDataItem(1, "T", "T", AB_EIP::DoubleInteger, "42")});
    EXPECT_TRUE(plugin.writeData(&write));
    pass.join();
    EXPECT_EQ(write.dataItems[0].item.statusMessage, "");
    EXPECT_EQ(sim.getInt("T"), 42);
    EXPECT_EQ(read.dataItems[0].item.statusMessage, "");
    EXPECT_TRUE(QStringList({"1", "42"}).contains(read.dataItems[0].values.value("value")));
}
