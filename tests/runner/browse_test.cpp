// --browse, --browse-json and --identify as a user runs them against the simulator program:
// the listing is exactly the controller's tags, and the configuration it writes reads every
// item. Controllers on 127.0.170.x, and on 127.0.171.x for the test that reads them back, so
// that the two tests run in parallel.

#include "process_util.h"
#include "qt_print.h"

#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString kRunner = QStringLiteral(AB_EIP_RUNNER);
const QString kPlugin = QStringLiteral(AB_EIP_PLUGIN_FILE);
const QString kSim = QStringLiteral(AB_EIP_SIM);
constexpr int kBulkTags = 150; // entries of ~46 bytes: more than one 4000-byte reply

// The loopback net of the running test.
QByteArray net()
{
    const auto *test = ::testing::UnitTest::GetInstance()->current_test_info();
    return std::string(test->name()).rfind("TheWritten", 0) == 0 ? "127.0.171." : "127.0.170.";
}

QByteArray controllers()
{
    QByteArray bulk;
    for (int i = 0; i < kBulkTags; ++i)
        bulk += QStringLiteral(",{\"name\": \"Bulk_Tag_With_Long_Name_%1\", \"type\": \"DINT\", \"value\": %2}")
                    .arg(i, 3, 10, QLatin1Char('0'))
                    .arg(i)
                    .toUtf8();
    return R"({"controllers": [
  {"address": "127.0.170.1", "personality": "controllogix",
   "identity": {"product_name": "1756-L85E/B LOGIX5585E", "serial": 3405691582, "revision_major": 33,
                "revision_minor": 11, "state": 3},
   "tags": [{"name": "Counter", "type": "DINT", "value": 534},
            {"name": "Levels", "type": "INT", "dims": [4], "value": [1, 2, 3, 4]},
            {"name": "Grid", "type": "INT", "dims": [2, 3]},
            {"name": "Batch", "type": "STRING", "value": "B-17"},
            {"name": "Big", "type": "LINT"},
            {"name": "Program:Main.Speed", "type": "REAL", "value": 12.5},
            {"name": "Program:Main.Running", "type": "BOOL", "value": 1})" +
           bulk + R"(]},
  {"address": "127.0.170.2", "personality": "micro800",
   "tags": [{"name": "Speed", "type": "REAL"}, {"name": "Label", "type": "STRING", "value": "M8"}]},
  {"address": "127.0.170.3", "personality": "slc500", "tags": [{"name": "N7", "type": "INT", "dims": [10]}]}
]})";
}

const char kPlant[] = R"({"devices": [
  {"id": 7, "name": "Conveyor", "ip_address": "127.0.170.2", "controller_type": "Micro800", "path": "1,0",
   "items": [{"name": "Speed", "address": "Speed", "data_type": "Real"}]},
  {"id": 8, "name": "Pump", "ip_address": "127.0.170.3", "controller_type": "SLC500",
   "items": [{"name": "Level", "address": "N7:0", "data_type": "Integer"}]}
]})";

class Browse : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString file = write("controllers.json", controllers().replace("127.0.170.", net()));
        ASSERT_TRUE(sim.start(kSim, file)) << sim.output().toStdString();
        plant = write("plant.json", kPlant);
    }
    QString write(const QString &name, const QByteArray &text) { return writeFile(dir, name, text); }
    QTemporaryDir dir;
    SimProcess sim;
    QString plant;
};

// The table's lines with runs of blanks made one.
QStringList rows(const QString &out)
{
    QStringList lines;
    for (const QString &line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        lines << line.simplified();
    return lines;
}

} // namespace

TEST_F(Browse, ListsExactlyTheControllersTagsOrSaysWhyNot)
{
    QStringList clx = {"Scope Name Type Dimensions Note",
                       "controller Counter DINT",
                       "controller Levels INT [4]",
                       "controller Grid INT [2,3] not an item: multi-dimensional array",
                       "controller Batch STRING",
                       "controller Big LINT",
                       "Program:Main Speed REAL",
                       "Program:Main Running BOOL"};
    for (int i = 0; i < kBulkTags; ++i)
        clx.insert(6 + i, QStringLiteral("controller Bulk_Tag_With_Long_Name_%1 DINT").arg(i, 3, 10, QLatin1Char('0')));
    clx << QStringLiteral("%1 tags").arg(kBulkTags + 7);
    const struct {
        const char *what;
        QStringList args;
        int exit;
        QStringList out; // the whole table
        const char *err;
    } cases[] = {
        {"by address, more than one reply", {"--browse", "127.0.170.1", "--controller-type", "ControlLogix",
                                             "--path", "1,0"}, 0, clx, ""},
        {"a device of a configuration, its 1,0 dropped", {"--browse", "Conveyor", plant}, 0,
         {"Scope Name Type Dimensions Note", "controller Speed REAL", "controller Label SHORT_STRING", "2 tags"}, ""},
        {"a family without a tag list", {"--browse", "8", plant}, 2, {}, "SLC500 controllers hold data files"},
        {"an address needs its type", {"--browse", "127.0.170.1"}, 2, {}, "needs --controller-type"},
    };
    for (const auto &c : cases) {
        const ProcessResult r = runProcess(kRunner, c.args);
        ASSERT_TRUE(r.finished) << c.what;
        EXPECT_EQ(r.exitCode, c.exit) << c.what << "\n" << r.err.toStdString();
        EXPECT_EQ(rows(r.out), c.out) << c.what;
        EXPECT_TRUE(r.err.contains(QLatin1String(c.err))) << c.what << "\n" << r.err.toStdString();
    }
}

TEST_F(Browse, TheWrittenConfigurationReadsEveryItemAndIdentifyShowsTheController)
{
    const ProcessResult listed = runProcess(
        kRunner, {"--browse", "127.0.171.1", "--controller-type", "ControlLogix", "--path", "1,0", "--browse-json"});
    ASSERT_EQ(listed.exitCode, 0) << listed.err.toStdString();
    EXPECT_TRUE(listed.err.contains(QStringLiteral("left out Grid: multi-dimensional array"))) << listed.err.toStdString();
    const QString config = write("browsed.json", listed.out.toUtf8());

    const ProcessResult r = runProcess(kRunner, {"--plugin", kPlugin, "--once", "--json", config});
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString() << r.out.toStdString();
    QMap<QString, QString> values;
    for (const QJsonObject &o : r.ofType(QStringLiteral("read")))
        values.insert(o.value("item").toString(), o.value("value").toString());
    const QJsonArray items = QJsonDocument::fromJson(listed.out.toUtf8())["devices"][0]["items"].toArray();
    EXPECT_EQ(items.size(), kBulkTags + 6);
    for (const QJsonValue &item : items)
        EXPECT_TRUE(values.contains(item["name"].toString())) << item["name"].toString().toStdString();
    EXPECT_EQ(values.value("Levels"), "[\"1\",\"2\",\"3\",\"4\"]");
    EXPECT_EQ(values.value("Batch"), "B-17");
    EXPECT_EQ(values.value("Program:Main.Speed"), "12.5000000");
    EXPECT_EQ(values.value("Bulk_Tag_With_Long_Name_149"), "149");

    const ProcessResult id = runProcess(kRunner, {"--identify", "127.0.171.1"});
    EXPECT_EQ(id.exitCode, 0) << id.err.toStdString();
    for (const char *line : {"Product name 1756-L85E/B LOGIX5585E", "Revision 33.11", "Serial 3405691582 (0xcafebabe)",
                             "State 3 (operational)", "Vendor Rockwell Automation / Allen-Bradley"})
        EXPECT_TRUE(rows(id.out).contains(QLatin1String(line))) << line << "\n" << id.out.toStdString();
    EXPECT_EQ(runProcess(kRunner, {"--identify", "127.0.171.9"}).exitCode, 1);
}
