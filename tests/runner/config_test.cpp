#include "config.h"
#include "item_index.h"
#include "json_locate.h"
#include "qt_print.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace runner;

namespace {

RunnerConfig parseOk(const char *text)
{
    RunnerConfig c;
    QString error;
    EXPECT_TRUE(parseConfig(QByteArray(text), QStringLiteral("c.json"), &c, &error)) << qPrintable(error);
    return c;
}

QString parseError(const char *text)
{
    RunnerConfig c;
    QString error;
    EXPECT_FALSE(parseConfig(QByteArray(text), QStringLiteral("c.json"), &c, &error));
    return error;
}

} // namespace

TEST(RunnerConfig, NamesNumbersAndDefaults)
{
    const RunnerConfig c = parseOk(R"({"devices": [
      {"id": 3, "ip_address": " 127.0.60.1 ", "controller_type": "controllogix", "path": "1,0",
       "read_interval_ms": 250, "settings": {"product_name": "1756-L61", "slot": 2},
       "items": [{"name": "A", "address": "TagA[0-3]", "data_type": "DINT"},
                 {"name": "B", "address": "B", "data_type": "Unsigned small integer", "read_interval_ms": 2000,
                  "uid": "b-uid", "enabled": false},
                 {"name": "C", "address": "C", "data_type": 12}]},
      {"id": 4, "name": "NJ", "ip_address": "127.0.60.2", "controller_type": "7"}]})");
    ASSERT_EQ(c.devices.size(), 2);
    const DeviceConfig &d = c.devices[0];
    EXPECT_EQ(d.name, "device3");
    EXPECT_EQ(d.ipAddress, "127.0.60.1");
    EXPECT_EQ(d.controllerType, 5);
    EXPECT_EQ(d.settings.value("slot"), "2");
    ASSERT_EQ(d.items.size(), 3);
    EXPECT_EQ(d.items[0].uid, "dev3_A");
    EXPECT_EQ(d.items[0].dataType, 7);
    EXPECT_EQ(d.items[0].readIntervalMs, 250); // the device's default
    EXPECT_TRUE(d.items[0].enabled);
    EXPECT_EQ(d.items[1].uid, "b-uid");
    EXPECT_EQ(d.items[1].dataType, 2);
    EXPECT_EQ(d.items[1].readIntervalMs, 2000);
    EXPECT_FALSE(d.items[1].enabled);
    EXPECT_EQ(d.items[2].dataType, 12);
    EXPECT_EQ(c.devices[1].controllerType, 7);
    EXPECT_TRUE(c.devices[1].items.isEmpty());
}

// Each error names the place (line:column of the offending value, or of the object that
// lacks a field) and the field path.
TEST(RunnerConfig, ErrorsNameLineAndField)
{
    EXPECT_EQ(parseError("{\n  \"devices\": [\n    {\"id\": 1,}\n  ]\n}"),
              "c.json:3:15: not valid JSON: object is missing after a comma");
    EXPECT_EQ(parseError("[1]"), "c.json:1:1: the top level must be an object with a \"devices\" list");
    EXPECT_EQ(parseError("{}"), "c.json:1:1: devices: missing");
    EXPECT_EQ(parseError("{\"devices\": []}"), "c.json:1:13: devices: must be a list of at least one device");
    EXPECT_EQ(parseError("{\"devices\": [\n {\"id\": 1, \"controller_type\": 5},\n {\"id\": 2}]}"),
              "c.json:2:2: devices[0].ip_address: missing");
    EXPECT_EQ(parseError("{\"devices\": [{\"id\": 1, \"ip_address\": \"127.0.0.300\", \"controller_type\": 5}]}"),
              "c.json:1:38: devices[0].ip_address: \"127.0.0.300\" is not an IPv4 address");
    EXPECT_EQ(parseError("{\"devices\": [{\"id\": 0, \"ip_address\": \"127.0.0.1\"}]}"),
              "c.json:1:21: devices[0].id: must be a whole number of at least 1");
    const QString unknownType =
        parseError("{\"devices\": [{\"id\": 1, \"ip_address\": \"127.0.0.1\", \"controller_type\": \"S7\"}]}");
    EXPECT_TRUE(unknownType.startsWith("c.json:1:70: devices[0].controller_type: unknown controller type \"S7\" (one of: Micro800,"))
        << qPrintable(unknownType);
    EXPECT_TRUE(parseError("{\"devices\": [{\"id\": 1, \"ip_adress\": \"127.0.0.1\"}]}")
                    .startsWith("c.json:1:37: devices[0].ip_adress: unknown field (known fields: id, name, ip_address"));
}

TEST(RunnerConfig, ItemErrors)
{
    auto withItems = [](const char *items) {
        return QByteArray("{\"devices\": [{\"id\": 1, \"ip_address\": \"127.0.0.1\", \"controller_type\": 5,\n"
                          "\"items\": [") + items + "]}]}";
    };
    auto error = [&](const char *items) { return parseError(withItems(items).constData()); };
    EXPECT_EQ(error("{\"name\": \"A\", \"address\": \"A\"}"), "c.json:2:11: devices[0].items[0].data_type: missing");
    EXPECT_TRUE(error("{\"name\": \"A\", \"address\": \"A\", \"data_type\": \"Float32\"}")
                    .startsWith("c.json:2:54: devices[0].items[0].data_type: unknown data type \"Float32\" (one of: Bool,"));
    EXPECT_EQ(error("{\"name\": \"A\", \"address\": \"\", \"data_type\": 7}"),
              "c.json:2:36: devices[0].items[0].address: must not be empty");
    EXPECT_EQ(error("{\"name\": \"A\", \"address\": \"A\", \"data_type\": 7, \"read_interval_ms\": 10}"),
              "c.json:2:77: devices[0].items[0].read_interval_ms: must be a whole number of at least 50");
    EXPECT_EQ(error("{\"name\": \"A\", \"address\": \"A\", \"data_type\": 7},\n{\"name\": \"A\", \"address\": \"B\", \"data_type\": 7}"),
              "c.json:3:10: devices[0].items[1].name: \"A\" is already used by another item of this device");
    EXPECT_EQ(error("{\"name\": \"A\", \"uid\": \"identity_1_x\", \"address\": \"A\", \"data_type\": 7}"),
              "c.json:2:32: devices[0].items[0].uid: uids beginning \"identity_\" belong to the plugin's identity items");
    EXPECT_EQ(error("{\"name\": \"A\", \"address\": \"A\", \"data_type\": 7, \"settings\": {\"address\": \"B\"}}"),
              "c.json:2:81: devices[0].items[0].settings.address: set it as devices[0].items[0].address, not in settings");
    EXPECT_EQ(error("7"), "c.json:2:11: devices[0].items[0]: must be an object");
}

TEST(RunnerConfig, DuplicateDevicesAndUids)
{
    EXPECT_EQ(parseError("{\"devices\": [{\"id\": 1, \"ip_address\": \"127.0.0.1\", \"controller_type\": 5},\n"
                         "{\"id\": 1, \"ip_address\": \"127.0.0.2\", \"controller_type\": 5}]}"),
              "c.json:2:8: devices[1].id: 1 is already used by another device");
    EXPECT_EQ(parseError("{\"devices\": [{\"id\": 1, \"ip_address\": \"127.0.0.1\", \"controller_type\": 5,"
                         " \"items\": [{\"uid\": \"u\", \"name\": \"A\", \"address\": \"A\", \"data_type\": 7}]},\n"
                         "{\"id\": 2, \"ip_address\": \"127.0.0.2\", \"controller_type\": 5,"
                         " \"items\": [{\"uid\": \"u\", \"name\": \"A\", \"address\": \"A\", \"data_type\": 7}]}]}"),
              "c.json:2:70: devices[1].items[0]: uid \"u\" is already used by another item");
}

TEST(JsonLocate, FindsValuesThroughNestingEscapesAndDuplicates)
{
    const QByteArray text = "{\"a\\\"b\": 1, \"list\": [ {\"x\": [10, 20]}, {\"x\": \"é\", \"y\": true} ],\n"
                            "\"dup\": 1, \"dup\": 2}";
    auto at = [&](const JsonPath &p) { return positionOfOffset(text, offsetOfPath(text, p)); };
    EXPECT_EQ(at({QStringLiteral("a\"b")}).column, 10);
    EXPECT_EQ(at({QStringLiteral("list"), 0, QStringLiteral("x"), 1}).column, 34);
    const TextPosition y = at({QStringLiteral("list"), 1, QStringLiteral("y")});
    EXPECT_EQ(y.line, 1);
    EXPECT_EQ(y.column, 56); // characters, not bytes: "é" is one
    const TextPosition dup = at({QStringLiteral("dup")});
    EXPECT_EQ(dup.line, 2);
    EXPECT_EQ(dup.column, 18); // the last one, as Qt keeps it
    EXPECT_EQ(QJsonDocument::fromJson(text).object().value("dup").toInt(), 2);
    EXPECT_EQ(offsetOfPath(text, {QStringLiteral("list"), 2}), -1);
    EXPECT_EQ(offsetOfPath(text, {QStringLiteral("nope")}), -1);
    EXPECT_EQ(pathText({QStringLiteral("devices"), 1, QStringLiteral("items"), 0, QStringLiteral("uid")}),
              "devices[1].items[0].uid");
}

TEST(ItemIndex, ResolvesUidDeviceItemAndUniqueNames)
{
    const RunnerConfig c = parseOk(R"({"devices": [
      {"id": 1, "name": "A", "ip_address": "127.0.0.1", "controller_type": 5,
       "items": [{"name": "Speed", "address": "S", "data_type": 10}, {"name": "Only", "address": "O", "data_type": 7}]},
      {"id": 2, "name": "B", "ip_address": "127.0.0.2", "controller_type": 5,
       "items": [{"name": "Speed", "uid": "b-speed", "address": "S", "data_type": 10}]}]})");
    const ItemIndex index(c);
    ItemRef ref;
    QString error;
    ASSERT_TRUE(index.resolve("Only", &ref, &error));
    EXPECT_EQ(ref.uid, "dev1_Only");
    ASSERT_TRUE(index.resolve("B/Speed", &ref, &error));
    EXPECT_EQ(ref.uid, "b-speed");
    ASSERT_TRUE(index.resolve("1/Speed", &ref, &error));
    EXPECT_EQ(ref.deviceId, 1);
    ASSERT_TRUE(index.resolve("b-speed", &ref, &error));
    EXPECT_EQ(ref.deviceId, 2);
    EXPECT_FALSE(index.resolve("Speed", &ref, &error));
    EXPECT_EQ(error, "item name \"Speed\" is ambiguous: name one of A/Speed, B/Speed");

    QString name, value;
    ASSERT_TRUE(parseAssignment(" Arr = [\"1\", \"a=b\"]", &name, &value, &error));
    EXPECT_EQ(name, "Arr");
    EXPECT_EQ(value, " [\"1\", \"a=b\"]");
    EXPECT_FALSE(parseAssignment("=5", &name, &value, &error));
    EXPECT_FALSE(parseAssignment("Speed", &name, &value, &error));
}
