// The runner and the bench harness as processes against the simulator program, as a user
// runs them: files, exit statuses, output, and the controller's own data afterwards.
// Each test's simulated controllers on a loopback net of its own (127.0.81.x, 127.0.82.x, ...),
// so that the tests can run in parallel.

#include "process_util.h"
#include "qt_print.h"

#include <QFile>
#include <QJsonArray>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kRunner = QStringLiteral(AB_EIP_RUNNER);
const QString kPlugin = QStringLiteral(AB_EIP_PLUGIN_FILE);
const QString kSim = QStringLiteral(AB_EIP_SIM);
const QString kHarness = QStringLiteral(AB_EIP_HARNESS);

const char kControllers[] = R"({"response_delay_us": 2000, "controllers": [
  {"address": "127.0.NET.1", "personality": "controllogix",
   "tags": [{"name": "Counter", "type": "DINT", "value": 534},
            {"name": "Levels", "type": "INT", "dims": [4], "value": [1, 2, 3, 4]},
            {"name": "Batch", "type": "STRING", "value": "B-17"},
            {"name": "Big", "type": "LINT", "value": "-9223372036854775808"},
            {"name": "UBig", "type": "ULINT", "value": "18446744073709551615"}]},
  {"address": "127.0.NET.2", "personality": "slc500",
   "tags": [{"name": "N7", "type": "INT", "dims": [10], "value": [1234]}]},
  {"address": "127.0.NET.3", "personality": "micro800",
   "tags": [{"name": "Real_Item", "type": "REAL", "value": 0}]}
]})";

const char kConfig[] = R"({
  "devices": [
    {"id": 1, "name": "CLX", "ip_address": "127.0.NET.1", "controller_type": "ControlLogix", "path": "1,0",
     "items": [{"name": "Counter", "address": "Counter", "data_type": "Double integer"},
               {"name": "Levels", "address": "Levels[0-3]", "data_type": "Integer"},
               {"name": "Batch", "address": "Batch", "data_type": "String"},
               {"name": "Ghost", "address": "NoSuchTag", "data_type": "Double integer"},
               {"name": "Big", "address": "Big", "data_type": "Long integer"},
               {"name": "UBig", "address": "UBig", "data_type": "Unsigned long integer"}]},
    {"id": 2, "name": "SLC", "ip_address": "127.0.NET.2", "controller_type": "SLC500",
     "items": [{"name": "Level", "address": "N7:0", "data_type": "Integer"}]}
  ]
}
)";

class AgainstSimulator : public ::testing::Test {
protected:
    // Starts the controllers on 127.0.<net>.1-3; returns the configuration for the runner.
    QString startOn(int net)
    {
        net_ = QString::number(net);
        EXPECT_TRUE(sim.start(kSim, write("controllers.json", onNet(kControllers))));
        return write("plant.json", onNet(kConfig));
    }
    QByteArray onNet(const char *text) const { return QByteArray(text).replace("NET", net_.toLatin1()); }
    QString at(const QString &command) const { return QString(command).replace(QStringLiteral("NET"), net_); }
    QString write(const QString &name, const QByteArray &text) { return writeFile(dir, name, text); }
    QTemporaryDir dir;
    SimProcess sim;
    QString net_;
};

QJsonObject readOf(const ProcessResult &r, const QString &item)
{
    for (const QJsonObject &o : r.ofType(QStringLiteral("read")))
        if (o.value(QStringLiteral("item")).toString() == item)
            return o;
    return {};
}

// An item's first read shows its initial value, unless output that lagged replaced it with the
// read-back after the write (the newest wins and counts what it skipped).
void expectFirstRead(const ProcessResult &r, const QString &item, const char *initial, const char *written)
{
    const QJsonObject o = readOf(r, item);
    EXPECT_EQ(o.value("value").toString(), o.value("skipped").toInt() > 0 ? written : initial) << qPrintable(item);
}

} // namespace

TEST_F(AgainstSimulator, RunnerShowsValuesWritesAndTheControllerHoldsTheWrite)
{
    const QString config = startOn(81);
    const ProcessResult r = runProcess(kRunner, {QStringLiteral("--plugin"), kPlugin, QStringLiteral("--once"),
                                                 QStringLiteral("--json"), QStringLiteral("--write"),
                                                 QStringLiteral("Counter=42"), QStringLiteral("--write"),
                                                 QStringLiteral("Big=9223372036854775807"), config});
    ASSERT_TRUE(r.finished) << r.err.toStdString();
    EXPECT_EQ(r.exitCode, 4) << r.err.toStdString(); // the missing tag is a read error
    expectFirstRead(r, "Big", "-9223372036854775808", "9223372036854775807");
    EXPECT_EQ(readOf(r, "UBig").value("value").toString(), "18446744073709551615");
    EXPECT_EQ(sim.ask(at("get 127.0.NET.1 Big")), "Big 9223372036854775807");
    EXPECT_EQ(readOf(r, "Levels").value("value").toString(), "[\"1\",\"2\",\"3\",\"4\"]");
    EXPECT_EQ(readOf(r, "Batch").value("value").toString(), "B-17");
    EXPECT_EQ(readOf(r, "Level").value("value").toString(), "1234");
    EXPECT_EQ(readOf(r, "Ghost").value("status").toString(), "The tag was not found on the PLC");
    EXPECT_TRUE(readOf(r, "Ghost").value("value").isNull());
    bool wrote = false;
    for (const QJsonObject &o : r.ofType(QStringLiteral("write")))
        wrote = wrote || (o.value("item").toString() == "Counter" && o.value("ok").toBool());
    EXPECT_TRUE(wrote) << r.out.toStdString();
    EXPECT_EQ(sim.ask(at("get 127.0.NET.1 Counter")), "Counter 42");
    // Each read pass is reported; the controller's 2 ms per reply is in its duration.
    QJsonObject first;
    for (const QJsonObject &o : r.ofType(QStringLiteral("pass")))
        if (first.isEmpty() && o.value("device").toString() == "CLX")
            first = o;
    ASSERT_FALSE(first.isEmpty()) << r.out.toStdString();
    EXPECT_EQ(first.value("device_id").toInt(), 1);
    EXPECT_GE(first.value("items").toInt(), 4);
    EXPECT_EQ(first.value("errors").toInt(), 1) << "the missing tag";
    const double ms = first.value("duration_ms").toDouble();
    EXPECT_GE(ms, 2.0);
    EXPECT_NEAR(first.value("items_per_s").toDouble(), first.value("items").toInt() * 1000.0 / ms, 1.0);
    // The store of identity items sits next to the configuration.
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("plant.items.json"))));
}

TEST_F(AgainstSimulator, RunnerTableAndAWriteTheControllerRefuses)
{
    const QString config = startOn(82);
    const ProcessResult r = runProcess(kRunner, {QStringLiteral("--plugin"), kPlugin, QStringLiteral("--once"),
                                                 QStringLiteral("--table"), QStringLiteral("--write"),
                                                 QStringLiteral("Level=70000"), config});
    ASSERT_TRUE(r.finished) << r.err.toStdString();
    EXPECT_EQ(r.exitCode, 4);
    EXPECT_TRUE(r.out.contains(QStringLiteral("Invalid value for Integer: 70000"))) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("B-17"))) << r.out.toStdString();
    const QRegularExpression pass(
        QStringLiteral("pass 2 of SLC: 1 item\\(s\\), 0 error\\(s\\) in [0-9.]+ ms, [0-9]+ items/s"));
    EXPECT_TRUE(r.out.contains(pass)) << r.out.toStdString();
    EXPECT_EQ(sim.ask(at("get 127.0.NET.2 N7[0]")), "N7[0] 1234");
}

TEST_F(AgainstSimulator, HarnessWritesAndReadsBackOnlyWhereItIsTold)
{
    startOn(83);
    QProcessEnvironment env = cleanEnvironment();
    env.insert(QStringLiteral("AB_EIP_BENCH_ADDRESS"), at(QStringLiteral("127.0.NET.3")));
    const ProcessResult r = runProcess(kHarness, {}, QByteArray(), 30000, env);
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE((r.out + r.err).contains(QStringLiteral("1.2345670"))) << r.out.toStdString() << r.err.toStdString();
    EXPECT_EQ(sim.ask(at("get 127.0.NET.3 Real_Item")).left(18), "Real_Item 1.234567");

    // Without the variable it contacts nothing and says what to set.
    const ProcessResult refused = runProcess(kHarness, {});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("AB_EIP_BENCH_ADDRESS"))) << refused.err.toStdString();
}

// A controller of structures, browsed into a configuration that then reads every member and
// writes members, an element of an array of structures, a BOOL member, one bit of a BOOL
// array and a bit of a DINT. Controller on 127.21.0.1.
TEST_F(AgainstSimulator, BrowsedStructuresReadAndWriteMemberByMember)
{
    ASSERT_TRUE(sim.start(kSim, write("structures.json", R"({"controllers": [{
      "address": "127.21.0.1", "personality": "compactlogix",
      "types": [{"name": "DriveData", "members": [{"name": "Rpm", "type": "DINT"}, {"name": "Torque", "type": "REAL"}]},
                {"name": "MotorData", "members": [{"name": "Speed", "type": "REAL"}, {"name": "Running", "type": "BOOL"},
                    {"name": "Counts", "type": "DINT", "dims": [4]}, {"name": "Drive", "type": "DriveData"},
                    {"name": "Label", "type": "STRING"}]},
                {"name": "PumpData", "members": [{"name": "Flow", "type": "REAL"}, {"name": "On", "type": "BOOL"}]}],
      "tags": [{"name": "Motor1", "type": "MotorData", "value": {"Speed": 12.5, "Running": true, "Drive": {"Rpm": 1450}}},
               {"name": "Pumps", "type": "PumpData", "dims": [4], "value": [{"Flow": 1.5}, {}, {"Flow": 3.5}]},
               {"name": "Bits", "type": "BOOL", "dims": [64], "value": [true, false, true]},
               {"name": "Flags", "type": "DINT", "value": 0}, {"name": "Batch", "type": "STRING", "value": "B-9"}]}]})"),
                          1));
    const ProcessResult browsed = runProcess(kRunner, {QStringLiteral("--browse"), QStringLiteral("127.21.0.1"),
                                                       QStringLiteral("--controller-type"), QStringLiteral("CompactLogix"),
                                                       QStringLiteral("--browse-json")});
    ASSERT_EQ(browsed.exitCode, 0) << browsed.err.toStdString();
    QJsonObject root = QJsonDocument::fromJson(browsed.out.toUtf8()).object();
    QJsonObject device = root.value("devices").toArray().at(0).toObject();
    QJsonArray items = device.value("items").toArray();
    QStringList names;
    for (const QJsonValue &v : items)
        names << v.toObject().value("name").toString();
    for (const char *member : {"Motor1.Speed", "Motor1.Running", "Motor1.Counts[0-3]", "Motor1.Drive.Rpm",
                               "Motor1.Drive.Torque", "Motor1.Label", "Pumps[3].On", "Bits[63]", "Batch"})
        EXPECT_TRUE(names.contains(QLatin1String(member))) << member << " in " << browsed.out.toStdString();
    EXPECT_FALSE(names.join(' ').contains(QLatin1String("ZZZZZZZZZZ"))) << "hidden BOOL hosts stay hidden";
    items.append(QJsonObject{{"name", "Flags.3"}, {"address", "Flags.3"}, {"data_type", "Bool"}});
    device.insert("items", items);
    root.insert("devices", QJsonArray{device});
    const QString config = write("browsed.json", QJsonDocument(root).toJson());

    const QStringList writes = {"Motor1.Speed=20.5", "Motor1.Drive.Rpm=1500", "Pumps[2].Flow=4.25",
                                "Motor1.Running=0",  "Bits[37]=1",            "Flags.3=1"};
    QStringList args = {QStringLiteral("--plugin"), kPlugin, QStringLiteral("--once"), QStringLiteral("--json")};
    for (const QString &w : writes)
        args << QStringLiteral("--write") << w;
    const ProcessResult r = runProcess(kRunner, args << config);
    ASSERT_TRUE(r.finished) << r.err.toStdString();
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString() << r.err.toStdString();
    for (const QJsonObject &o : r.ofType(QStringLiteral("read")))
        EXPECT_EQ(o.value("status").toString(), "") << o.value("item").toString().toStdString();
    expectFirstRead(r, "Motor1.Drive.Rpm", "1450", "1500");
    expectFirstRead(r, "Pumps[2].Flow", "3.5000000", "4.2500000");
    EXPECT_EQ(readOf(r, "Bits[2]").value("value").toString(), "1");
    EXPECT_EQ(readOf(r, "Bits[1]").value("value").toString(), "0");
    EXPECT_EQ(readOf(r, "Motor1.Label").value("value").toString(), "");
    EXPECT_EQ(r.ofType(QStringLiteral("write")).size(), writes.size()) << r.out.toStdString();
    for (const QJsonObject &o : r.ofType(QStringLiteral("write")))
        EXPECT_TRUE(o.value("ok").toBool()) << o.value("item").toString().toStdString();
    // What the controller holds, as "get NAME" answers it. Bit 37 is bit 5 of DWORD 1; bits 0 and
    // 2 of DWORD 0 are as they were.
    for (const QString held : {"Motor1.Speed 20.5", "Motor1.Drive.Rpm 1500", "Pumps[2].Flow 4.25", "Motor1.Running 0",
                               "Bits[1] 32", "Bits[0] 5", "Flags 8"})
        EXPECT_EQ(sim.ask("get 127.21.0.1 " + held.section(' ', 0, 0)), held);
}

// Output never holds up the run: with a reader of stdout that takes nothing, the run still ends
// at its duration and says on stderr what it could not print; with --changed-only, an item
// read again and again with the same value is printed once. The items share one tag, so a pass
// takes longer than their interval and one is under way at the stop: the items it did not reach
// are not reported at all. The run ends at its duration, saying so and nothing else.
TEST_F(AgainstSimulator, OutputThatFallsBehindNeitherHoldsTheStopNorRepeatsItself)
{
    EXPECT_TRUE(sim.start(kSim, write("controllers.json", QByteArray(kControllers).replace("127.0.NET", "127.22.10"))));
    QByteArray items;
    for (int i = 0; i < 400; ++i)
        items += QByteArray(i ? "," : "") + R"({"name": "C)" + QByteArray::number(i) +
                 R"(", "address": "Counter", "data_type": "Double integer", "read_interval_ms": 100})";
    const QString config = write("many.json", R"({"devices": [{"id": 1, "name": "CLX", "ip_address": "127.22.10.1",
        "controller_type": "ControlLogix", "items": [)" + items + "]}]}");

    const QString fifo = dir.filePath("stuck");
    ASSERT_EQ(::mkfifo(qPrintable(fifo), 0600), 0);
    const int stuck = ::open(qPrintable(fifo), O_RDWR | O_NONBLOCK); // a reader that never reads
    // A page of room, which the first pass overflows however slowly it runs (under a sanitizer
    // one pass barely fits the default 64 KiB).
    ::fcntl(stuck, F_SETPIPE_SZ, 4096);
    QProcess p;
    p.setProcessEnvironment(cleanEnvironment());
    p.setStandardOutputFile(fifo);
    p.start(kRunner, {config, "--plugin", kPlugin, "--json", "--duration", "1", "--log-level", "none"});
    const bool ended = p.waitForFinished(20000);
    ::close(stuck);
    if (!ended)
        p.kill();
    ASSERT_TRUE(ended) << "the run waited for its reader";
    EXPECT_EQ(p.exitCode(), 0);
    const QByteArray stuckErr = p.readAllStandardError();
    EXPECT_TRUE(stuckErr.contains("output fell behind:")) << stuckErr.toStdString();

    QElapsedTimer t;
    t.start();
    const ProcessResult r = runProcess(kRunner, {config, "--plugin", kPlugin, "--json", "--changed-only",
                                                 "--duration", "1.5", "--log-level", "none"});
    EXPECT_GE(t.elapsed(), 1500);
    EXPECT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_TRUE(r.err.isEmpty()) << qPrintable(r.err);
    EXPECT_EQ(r.ofType("read").size(), 400 + 5) << "each item and identity field once";
    ASSERT_FALSE(r.ofType("stopped").isEmpty());
    EXPECT_EQ(r.ofType("stopped").last().value("reason").toString(), "duration reached");
    EXPECT_EQ(r.ofType("stopped").last().value("errors").toInt(), 0);
}

// Writes typed into stdin land on their controllers, each device's in the order given,
// whatever the line endings; a line the runner cannot use is named on stderr and the run goes on; with --once
// the run ends when input does.
TEST_F(AgainstSimulator, StdinWritesLandLineByLine)
{
    const QString config = startOn(84);
    const ProcessResult r =
        runProcess(kRunner, {QStringLiteral("--plugin"), kPlugin, QStringLiteral("--once"), QStringLiteral("--json"),
                             QStringLiteral("--stdin-writes"), QStringLiteral("--log-level"), QStringLiteral("none"),
                             config},
                   "# a comment\r\nCounter=7\nNoSuchItem=1\nCounter\nSLC/Level=321\r\nCounter=8");
    ASSERT_TRUE(r.finished) << "the end of input ends a --once run";
    EXPECT_EQ(r.exitCode, 4) << r.err.toStdString(); // the missing tag is a read error
    EXPECT_TRUE(r.err.contains(QStringLiteral("stdin line 3: unknown item name \"NoSuchItem\""))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("stdin line 4: \"Counter\" is not NAME=VALUE"))) << r.err.toStdString();
    QStringList writes;
    for (const QJsonObject &o : r.ofType(QStringLiteral("write")))
        writes << o.value("item").toString() + "=" + o.value("value").toString() + (o.value("ok").toBool() ? "" : " failed");
    writes.removeOne(QStringLiteral("Level=321")); // the other device's thread
    EXPECT_EQ(writes, QStringList({"Counter=7", "Counter=8"})) << r.out.toStdString();
    EXPECT_EQ(sim.ask(at("get 127.0.NET.1 Counter")), "Counter 8");
    EXPECT_EQ(sim.ask(at("get 127.0.NET.2 N7[0]")), "N7[0] 321");
}
