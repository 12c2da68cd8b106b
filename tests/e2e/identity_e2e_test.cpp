// Identity items filled from the simulated devices' own List Identity answers.
#include "e2e_fixture.h"

#include "identity/identity_items.h"

using absim::Personality;

namespace {

QList<DataItem> identityItems(int deviceId, const QStringList &keys)
{
    QList<DataItem> out;
    int id = 100;
    for (const QString &k : keys) {
        DataItem d = makeDataItem(id++, k, "__identity." + k, AB_EIP::String);
        d.item.uid = zel_identity::uidFor(deviceId, k);
        out << d;
    }
    return out;
}

QString valueOf(const LogList &l, const QString &key)
{
    for (const DataItem &d : l.dataItems)
        if (d.item.uid.endsWith("_" + key))
            return d.values.value("value");
    return QString();
}

} // namespace

TEST_F(E2E, LogixAndOmronIdentities)
{
    absim::Simulator &logix = startSim("127.0.40.2", Personality::ControlLogix, {});
    absim::Simulator &omron = startSim("127.0.40.3", Personality::OmronNJ, {});
    const QStringList keys{"vendor", "model", "serial", "firmware", "product_code"};

    LogList l = batch(makeDevice(1, "127.0.40.2", AB_EIP::ControlLogix), identityItems(1, keys));
    EXPECT_TRUE(plugin.readData(&l));
    const absim::Identity &id = logix.config().identity;
    EXPECT_EQ(valueOf(l, "vendor"), "Rockwell Automation / Allen-Bradley");
    EXPECT_EQ(valueOf(l, "model"), QString::fromStdString(id.productName));
    EXPECT_EQ(valueOf(l, "serial"), QString::number(id.serial));
    EXPECT_EQ(valueOf(l, "firmware"), QString("%1.%2").arg(id.revMajor).arg(id.revMinor));
    EXPECT_EQ(valueOf(l, "product_code"), QString::number(id.productCode));
    for (const DataItem &d : l.dataItems) {
        EXPECT_TRUE(d.timestamp.isValid());
        EXPECT_EQ(d.item.statusMessage, "");
    }

    // Omron: firmware from _UnitVersion and the hardware revision from _HardwareRevision.
    const auto unit = omron.rawBytes("_UnitVersion");
    ASSERT_EQ(unit.size(), 2u);
    const std::string hardware = omron.getString("_HardwareRevision").value_or("");
    LogList o = batch(makeDevice(2, "127.0.40.3", AB_EIP::OmronNjNx),
                      identityItems(2, {"vendor", "firmware", "hardware_revision", "cip_revision"}));
    EXPECT_TRUE(plugin.readData(&o));
    EXPECT_EQ(valueOf(o, "vendor"), "Omron");
    EXPECT_EQ(valueOf(o, "firmware"), QString("%1.%2").arg(unit[0]).arg(unit[1]));
    EXPECT_EQ(valueOf(o, "hardware_revision"), QString::fromStdString(hardware).trimmed());
    const absim::Identity &oid = omron.config().identity;
    EXPECT_EQ(valueOf(o, "cip_revision"), QString("%1.%2").arg(oid.revMajor).arg(oid.revMinor));
}

TEST_F(E2E, SilentDeviceGivesTheIdentityTextAfterAboutTwoSeconds)
{
    LogList l = batch(makeDevice(3, "127.0.40.250", AB_EIP::ControlLogix), identityItems(3, {"vendor", "serial"}));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(plugin.readData(&l));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::milliseconds(3000));
    for (const DataItem &d : l.dataItems) {
        EXPECT_EQ(d.item.statusMessage, "Could not read EtherNet/IP identity");
        EXPECT_FALSE(d.timestamp.isValid());
    }
}
