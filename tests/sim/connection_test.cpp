// Connection Manager: Forward Open, Large Forward Open and their limits, Forward Close,
// connected messaging, and Unconnected Send routing, for every CIP personality.
// Addresses 127.0.10.30-89.
#include "sim_fixture.h"

namespace simtest {
namespace {

struct Family {
    const char *name;
    Personality personality;
    int base;        // this family's tests take base + 0..9
    Bytes route;     // reaches the CPU
    size_t large;    // Large Forward Open limit, 0: not supported
    size_t classic;  // Forward Open limit
    Bytes badRoute;  // does not
    uint16_t badExt; // and why
};

void PrintTo(const Family &f, std::ostream *os)
{
    *os << f.name;
}

class CipFamily : public SimTest, public ::testing::WithParamInterface<Family> {
protected:
    void begin(int test)
    {
        start(GetParam().base + test, GetParam().personality,
              {tagDef("Counter", CipType::Dint, {}, {"12345"}), tagDef("Arr", CipType::Dint, {10})});
        c = connect();
    }
    Client c;
};

const Bytes kReadCounter = hex("4c 05 91 07 'Counter' 00 01 00");
const Bytes kCounterReply = hex("cc 00 00 00 c4 00 39 30 00 00");

TEST_P(CipFamily, ConnectedReadAndWriteUntilForwardClose)
{
    begin(0);
    const Bytes &route = GetParam().route;
    const Connection conn = open(c, route);
    EXPECT_EQ(sim->openCipConnections(), 1);
    EXPECT_EQ(toHex(unit(c, conn, kReadCounter)), toHex(kCounterReply));
    EXPECT_EQ(toHex(unit(c, conn, hex("4d 05 91 07 'Counter' 00 c4 00 01 00 c0 1d fe ff"))), "cd 00 00 00");
    EXPECT_EQ(sim->getInt("Counter"), -123456);

    EXPECT_EQ(toHex(rr(c, forwardClose(route))), "ce 00 00 00 01 01 0d f0 be ba fe ca 00 00");
    EXPECT_EQ(sim->openCipConnections(), 0);
    c.tcp.send(sendUnitData(c.session, conn.ot, 50, kReadCounter)); // closed ids are not answered
    EXPECT_TRUE(c.tcp.silent());
    EXPECT_EQ(toHex(rr(c, forwardClose(route))), "ce 00 01 01 07 01 01 01 0d f0 be ba fe ca 00 00");
}

TEST_P(CipFamily, ConnectionSizeLimits)
{
    begin(1);
    const Family &f = GetParam();
    if (f.large) {
        open(c, f.route, true, uint32_t(f.large), 0x0201);
        EXPECT_EQ(toHex(rr(c, forwardOpen(true, uint32_t(f.large + 1), f.route, 0x0202))),
                  toHex(hex("db 00 01 02 09 01") + le16(uint16_t(f.large)) + hex("02 02 0d f0 be ba fe ca 00 00")));
    } else {
        EXPECT_EQ(toHex(rr(c, forwardOpen(true, 4002, f.route, 0x0202))), "db 00 08 00");
    }
    open(c, f.route, false, uint32_t(f.classic), 0x0203);
    if (f.classic < 511) {
        EXPECT_EQ(toHex(rr(c, forwardOpen(false, uint32_t(f.classic + 1), f.route, 0x0204))),
                  toHex(hex("d4 00 01 02 09 01") + le16(uint16_t(f.classic)) + hex("04 02 0d f0 be ba fe ca 00 00")));
    }
    // The same connection triple again is a duplicate.
    EXPECT_EQ(toHex(rr(c, forwardOpen(false, 504, f.route, 0x0203))),
              "d4 00 01 01 00 01 03 02 0d f0 be ba fe ca 00 00");
    EXPECT_EQ(sim->openCipConnections(), f.large ? 2 : 1);
}

TEST_P(CipFamily, RoutesReachTheCpuOrFailWithThePortStatus)
{
    begin(2);
    const Family &f = GetParam();
    if (f.route.empty())
        EXPECT_EQ(toHex(rr(c, kReadCounter)), toHex(kCounterReply)); // addressed directly, no wrapper
    else
        EXPECT_EQ(toHex(rr(c, unconnectedSend(kReadCounter, f.route))), toHex(kCounterReply));

    const Bytes ext = le16(f.badExt);
    EXPECT_EQ(toHex(rr(c, unconnectedSend(kReadCounter, f.badRoute))), toHex(hex("d2 00 01 01") + ext + hex("01")));
    EXPECT_EQ(toHex(rr(c, forwardOpen(false, 504, f.badRoute))),
              toHex(hex("d4 00 01 01") + ext + hex("01 01 0d f0 be ba fe ca 00 00")));
    EXPECT_EQ(sim->openCipConnections(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Personalities, CipFamily,
    ::testing::Values(Family{"ControlLogix", Personality::ControlLogix, 30, hex("01 00"), 4002, 511, hex("01 05"), 0x0312},
                      Family{"CompactLogix", Personality::CompactLogix, 40, hex("01 00"), 4002, 511, hex("03 00"), 0x0311},
                      Family{"FlexLogix", Personality::FlexLogix, 50, hex("01 00"), 0, 511, hex("01 01"), 0x0312},
                      Family{"Micro800", Personality::Micro800, 60, {}, 0, 511, hex("01 00"), 0x0311},
                      Family{"OmronNJ", Personality::OmronNJ, 70, {}, 1996, 504, hex("02 00"), 0x0311}),
    [](const ::testing::TestParamInfo<Family> &i) { return std::string(i.param.name); });

using ControlLogixChassis = SimTest;

TEST_F(ControlLogixChassis, TheEthernetModuleRoutesButHoldsNoTags)
{
    start(80, Personality::ControlLogix, {tagDef("Small", CipType::Sint, {}, {"3"})},
          absim::Identity{1, 14, 55, 20, 11, 0x0030, 0x00C0FFEE, "1756-L71/B LOGIX5571", 3});
    Client c = connect();
    EXPECT_EQ(toHex(rr(c, hex("4c 04 91 05 'Small' 00 01 00"))), "cc 00 08 00");
    EXPECT_EQ(toHex(rr(c, forwardOpen(false, 504, {}))), "d4 00 01 01 15 03 01 01 0d f0 be ba fe ca 00 00");
    EXPECT_EQ(toHex(rr(c, unconnectedSend(hex("4c 04 91 05 'Small' 00 01 00"), {}))), "d2 00 01 01 15 03 00");

    // The module answers for the identity, and through 1,0 the CPU also gives its program name.
    EXPECT_EQ(toHex(rr(c, hex("01 02 20 01 24 01"))),
              toHex(hex("81 00 00 00 01 00 0e 00 37 00 14 0b 30 00 ee ff c0 00 14 '1756-L71/B LOGIX5571'")));
    EXPECT_EQ(toHex(rr(c, unconnectedSend(hex("01 02 20 64 24 01"), hex("01 00")))), toHex(hex("81 00 00 00 06 00 'AB_SIM'")));
    // Through 1,0: the CPU's identity, and an odd-length request followed by its pad byte.
    EXPECT_EQ(toHex(rr(c, unconnectedSend(hex("01 02 20 01 24 01"), hex("01 00")))),
              toHex(hex("81 00 00 00 01 00 0e 00 37 00 14 0b 30 00 ee ff c0 00 14 '1756-L71/B LOGIX5571'")));
    const Bytes write = hex("4d 04 91 05 'Small' 00 c2 00 01 00 fb");
    ASSERT_EQ(write.size() % 2, 1u);
    EXPECT_EQ(toHex(rr(c, unconnectedSend(write, hex("01 00")))), "cd 00 00 00");
    EXPECT_EQ(sim->getInt("Small"), -5);
}

} // namespace
} // namespace simtest
