// The simulator's fault injection, seen from the wire: a connection dropped after N requests,
// refused connections, and a chosen error status for one tag.
// Addresses 127.0.10.200-219.
#include "sim_fixture.h"

namespace simtest {
namespace {

class Faults : public SimTest {
protected:
    void begin(int octet)
    {
        start(octet, Personality::CompactLogix,
              {tagDef("Counter", CipType::Dint, {}, {"12345"}), tagDef("Arr", CipType::Dint, {2}, {"1", "2"})});
        c = connect();
    }
    Client c;
};

const Bytes kReadCounter = hex("4c 05 91 07 'Counter' 00 01 00");
const char *kCounterReply = "cc 00 00 00 c4 00 39 30 00 00";

// Delay and silence are proven through the tag library (c_api_edge_test.cpp); these two
// faults end connections, which only the end-to-end fault tests see otherwise.
TEST_F(Faults, DropOnceAndRefuseNewConnections)
{
    begin(201);
    sim->dropConnectionAfter(1);
    EXPECT_EQ(toHex(rr(c, kReadCounter)), kCounterReply);
    c.tcp.send(sendRRData(c.session, kReadCounter, 3));
    EXPECT_TRUE(c.tcp.closedByPeer());
    Client again = connect(); // the fault fired once; new connections are served for good
    EXPECT_EQ(toHex(rr(again, kReadCounter)), kCounterReply);
    EXPECT_EQ(toHex(rr(again, kReadCounter)), kCounterReply);

    sim->setRefuseConnections(true);
    Tcp tcp;
    ASSERT_TRUE(tcp.connect(address)); // the handshake completes; then the target hangs up
    tcp.send(encap(0x65, 0, hex("01 00 00 00")));
    EXPECT_TRUE(tcp.closedByPeer());
    EXPECT_EQ(toHex(rr(again, kReadCounter)), kCounterReply); // already connected: still served
}

TEST_F(Faults, ChosenErrorStatusForOneTag)
{
    begin(203);
    sim->setTagError("Counter", 0x10, 0x2101);
    EXPECT_EQ(toHex(rr(c, kReadCounter)), "cc 00 10 01 01 21");
    EXPECT_EQ(toHex(rr(c, hex("4d 05 91 07 'Counter' 00 c4 00 01 00 01 00 00 00"))), "cd 00 10 01 01 21");
    EXPECT_EQ(sim->getInt("Counter"), 12345);
    EXPECT_EQ(toHex(rr(c, hex("4c 03 91 03 'Arr' 00 01 00"))), "cc 00 00 00 c4 00 01 00 00 00");
    EXPECT_EQ(toHex(rr(c, hex("0a 02 20 02 24 01 02 00 06 00 14 00 4c 05 91 07 'Counter' 00 01 00 "
                              "4c 03 91 03 'Arr' 00 01 00"))),
              "8a 00 1e 00 02 00 06 00 0c 00 cc 00 10 01 01 21 cc 00 00 00 c4 00 01 00 00 00");

    sim->setTagError("Arr", 0x05); // without an extended status
    EXPECT_EQ(toHex(rr(c, hex("4c 03 91 03 'Arr' 00 01 00"))), "cc 00 05 00");
    sim->clearFaults();
    EXPECT_EQ(toHex(rr(c, kReadCounter)), kCounterReply);
    EXPECT_EQ(toHex(rr(c, hex("4c 03 91 03 'Arr' 00 01 00"))), "cc 00 00 00 c4 00 01 00 00 00");
}

} // namespace
} // namespace simtest
