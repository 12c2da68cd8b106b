// The runner as a process: exit statuses and messages for the ways a start can go wrong,
// the declared schema, and the item store across runs. Needs no controller.

#include "process_util.h"
#include "qt_print.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

namespace {

const QString kRunner = QStringLiteral(AB_EIP_RUNNER);
const QString kPlugin = QStringLiteral(AB_EIP_PLUGIN_FILE);

// Nothing listens on these: the runner's reads fail fast with a refused connection.
const char kConfig[] = R"({
  "devices": [
    {"id": 1, "name": "CLX", "ip_address": "127.0.60.201", "controller_type": "ControlLogix",
     "items": [{"name": "Counter", "address": "Counter", "data_type": "DINT", "read_interval_ms": 200}]},
    {"id": 2, "name": "NJ", "ip_address": "127.0.60.202", "controller_type": "OmronNjNx",
     "items": [{"name": "Text", "address": "Text", "data_type": "String"}]}
  ]
}
)";

class RunnerCli : public ::testing::Test {
protected:
    QTemporaryDir dir;

    QString write(const QString &name, const QByteArray &text) { return writeFile(dir, name, text); }

    ProcessResult runner(const QStringList &args, const QByteArray &input = QByteArray())
    {
        return runProcess(kRunner, QStringList{QStringLiteral("--plugin"), kPlugin} + args, input);
    }
};

} // namespace

TEST_F(RunnerCli, ConfigurationErrorsExitWithTwoAndSayWhere)
{
    ProcessResult r = runProcess(kRunner, {});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains("no configuration file given")) << qPrintable(r.err);

    const QString missing = dir.filePath("none.json");
    r = runner({missing});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err.trimmed(), "ab-eip-runner: " + missing + ": configuration file not found");

    const QString noAddress = write("noaddr.json", "{\"devices\": [\n  {\"id\": 1, \"controller_type\": 5},\n"
                                                   "  {\"id\": 2, \"controller_type\": 5}\n]}\n");
    r = runner({noAddress, "--once"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err.trimmed(), "ab-eip-runner: " + noAddress + ":2:3: devices[0].ip_address: missing");
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_FALSE(QFile::exists(dir.filePath("noaddr.items.json")));

    r = runner({write("c.json", kConfig), "--log-level", "loud"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains("--log-level wants debug, info, error or none")) << qPrintable(r.err);
}

TEST_F(RunnerCli, UnloadablePluginExitsWithThree)
{
    const QString config = write("c.json", kConfig);
    ProcessResult r = runProcess(kRunner, {config, "--plugin", dir.filePath("nowhere.so")});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_TRUE(r.err.contains("cannot load plugin " + dir.filePath("nowhere.so") + ": no such file or folder"));

    r = runProcess(kRunner, {config, "--plugin", QStringLiteral(AB_EIP_NOT_A_PLUGIN)});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_TRUE(r.err.contains("it is a library but not a Qt plugin")) << qPrintable(r.err);

    const QString fake = write("libfake.so", "not an ELF file");
    r = runProcess(kRunner, {config, "--plugin", fake});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_TRUE(r.err.contains("cannot load plugin " + fake + ":")) << qPrintable(r.err);

    // A folder with only that file in it has no plugin for this host.
    r = runProcess(kRunner, {config, "--plugin", dir.path()});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_TRUE(r.err.contains("none of its 1 libraries is a plugin for this host")) << qPrintable(r.err);

    // The environment variable is honoured when no option is given.
    QProcessEnvironment env = cleanEnvironment();
    env.insert("AB_EIP_PLUGIN", dir.filePath("elsewhere"));
    r = runProcess(kRunner, {config}, QByteArray(), 30000, env);
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_TRUE(r.err.contains(dir.filePath("elsewhere"))) << qPrintable(r.err);
}

TEST_F(RunnerCli, UnknownWriteNameExitsWithTwo)
{
    const QString config = write("c.json", kConfig);
    ProcessResult r = runner({config, "--once", "--write", "Vendor=x"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains("--write Vendor=x: unknown item name \"Vendor\" (configured items: CLX/Counter, NJ/Text;"))
        << qPrintable(r.err);
    r = runner({config, "--once", "--write", "Counter"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains("\"Counter\" is not NAME=VALUE")) << qPrintable(r.err);
}

TEST_F(RunnerCli, SchemaAndIdentityItemsKeptAcrossRuns)
{
    const QString config = write("c.json", kConfig);
    // Loaded from the plugin folder, as the host finds it.
    ProcessResult r = runProcess(kRunner, {config, "--json", "--show-schema", "--plugin", QFileInfo(kPlugin).path()});
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    const QList<QJsonObject> init = r.ofType("init");
    ASSERT_EQ(init.size(), 2);
    EXPECT_EQ(init[0].value("created").toArray().size(), 5);
    EXPECT_EQ(init[1].value("created").toArray().size(), 7);
    EXPECT_EQ(init[1].value("created").toArray().last().toString(), "identity_2_hardware_revision");
    const QList<QJsonObject> schema = r.ofType("schema");
    ASSERT_EQ(schema.size(), 1);
    EXPECT_EQ(schema[0].value("plugin").toString(), "ab_eip");

    const QString store = dir.filePath("c.items.json");
    ASSERT_TRUE(QFile::exists(store));
    QFile f(store);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QJsonArray stored = QJsonDocument::fromJson(f.readAll()).object().value("items").toArray();
    f.close();
    EXPECT_EQ(stored.size(), 12);

    // The second run finds them in the store: nothing created, everything kept.
    r = runner({config, "--json", "--show-schema"});
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    ASSERT_EQ(r.ofType("init").size(), 2);
    EXPECT_TRUE(r.ofType("init")[0].value("created").toArray().isEmpty());
    EXPECT_EQ(r.ofType("init")[1].value("kept").toArray().size(), 7);

    // Table mode says the same for a person.
    r = runner({config, "--table", "--show-schema"});
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_TRUE(r.out.contains("init: NJ (OmronNjNx at 127.0.60.202): 0 identity items created, 7 kept from c.items.json"))
        << qPrintable(r.out);
    EXPECT_TRUE(r.out.contains("data_type (selection): Bool=0, Small integer=1,")) << qPrintable(r.out);

    // A damaged store is reported, not silently replaced.
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("{\"items\": [\n  {\"uid\": \"identity_1_vendor\"},\n  {\"name\": \"x\"}\n]}");
    f.close();
    r = runner({config, "--json", "--show-schema"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains(store + ":3:3: item store: items[1].uid: missing")) << qPrintable(r.err);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("{\n  \"items\": [\n    {\"uid\": }\n  ]\n}");
    f.close();
    r = runner({config, "--json", "--show-schema"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains(store + ":3:14: item store is not valid JSON")) << qPrintable(r.err);
}

TEST_F(RunnerCli, InterruptStopsThePluginAndSavesTheStore)
{
    const QString config = write("c.json", kConfig);
    QProcess p;
    p.setProcessEnvironment(cleanEnvironment());
    p.start(kRunner, {config, "--plugin", kPlugin, "--json"});
    ASSERT_TRUE(p.waitForStarted(5000));
    QByteArray out;
    QElapsedTimer t;
    t.start();
    while (!out.contains("\"type\":\"read\"") && t.elapsed() < 20000) {
        p.waitForReadyRead(200);
        out += p.readAllStandardOutput();
    }
    ASSERT_TRUE(out.contains("\"type\":\"read\"")) << out.constData();
    ::kill(pid_t(p.processId()), SIGINT);
    ASSERT_TRUE(p.waitForFinished(20000));
    out += p.readAllStandardOutput();
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_TRUE(out.trimmed().endsWith("\"reason\":\"interrupted\",\"type\":\"stopped\"}")) << out.constData();
    EXPECT_TRUE(QFile::exists(dir.filePath("c.items.json")));
}
