// The simulator's fault injection, seen from the wire: delayed replies, a connection dropped
// after N requests, refused connections, a chosen error status for one tag, and silence.
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

TEST_F(Faults, ResponseDelayHoldsEveryReplyBackInOrder)
{
    begin(200);
    sim->setResponseDelayMs(150);
    const Clock::time_point t0 = Clock::now();
    c.tcp.send(sendRRData(c.session, kReadCounter, 1) + sendRRData(c.session, hex("4c 03 91 03 'Arr' 00 01 00"), 2));
    const Bytes first = c.tcp.message().value_or(Bytes{});
    EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(150));
    const Bytes second = c.tcp.message().value_or(Bytes{});
    EXPECT_EQ(rd(first, 12, 8), 1u);
    EXPECT_EQ(toHex(slice(first, 40)), kCounterReply);
    EXPECT_EQ(rd(second, 12, 8), 2u);

    const Clock::time_point t1 = Clock::now();
    EXPECT_TRUE(udpExchange(address, encap(0x63, 0, {})).has_value());
    EXPECT_GE(Clock::now() - t1, std::chrono::milliseconds(150));

    sim->clearFaults();
    EXPECT_EQ(toHex(rr(c, kReadCounter)), kCounterReply);
}

TEST_F(Faults, DropAfterNRequestsClosesTheConnectionOnce)
{
    begin(201);
    sim->dropConnectionAfter(2);
    EXPECT_EQ(toHex(rr(c, kReadCounter)), kCounterReply);
    EXPECT_EQ(toHex(rr(c, kReadCounter)), kCounterReply);
    c.tcp.send(sendRRData(c.session, kReadCounter, 3));
    EXPECT_TRUE(c.tcp.closedByPeer());
    EXPECT_TRUE(eventually([&] { return sim->openConnections() == 0; }));

    Client again = connect(); // the fault fired; new connections are served for good
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(toHex(rr(again, kReadCounter)), kCounterReply);
}

TEST_F(Faults, RefusedConnectionsAreClosedUnansweredWhileOthersGoOn)
{
    begin(202);
    sim->setRefuseConnections(true);
    Tcp tcp;
    ASSERT_TRUE(tcp.connect(address)); // the handshake completes; then the target hangs up
    tcp.send(encap(0x65, 0, hex("01 00 00 00")));
    EXPECT_TRUE(tcp.closedByPeer());
    EXPECT_EQ(sim->openConnections(), 1);
    EXPECT_EQ(toHex(rr(c, kReadCounter)), kCounterReply); // already connected: still served
    EXPECT_TRUE(udpExchange(address, encap(0x63, 0, {})).has_value());

    sim->setRefuseConnections(false);
    Client later = connect();
    EXPECT_EQ(toHex(rr(later, kReadCounter)), kCounterReply);
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

TEST_F(Faults, MuteAnswersNothingAndKeepsTheConnection)
{
    begin(204);
    sim->setMute(true);
    const uint64_t before = sim->requestCount();
    c.tcp.send(sendRRData(c.session, kReadCounter, 0x99));
    EXPECT_TRUE(c.tcp.silent());
    EXPECT_FALSE(udpExchange(address, encap(0x63, 0, {}), kSilenceMs).has_value());
    EXPECT_EQ(sim->requestCount(), before + 2); // both arrived
    EXPECT_EQ(sim->openConnections(), 1);

    sim->setMute(false);
    EXPECT_EQ(toHex(rr(c, kReadCounter)), kCounterReply); // its own reply, not a late one
    EXPECT_TRUE(udpExchange(address, encap(0x63, 0, {})).has_value());
}

} // namespace
} // namespace simtest
