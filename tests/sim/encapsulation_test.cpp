// Encapsulation layer: sessions and their handles, and TCP framing; List Identity is replayed
// from captures in capture_replay_test.cpp. Addresses 127.0.10.1-29.
#include "sim_fixture.h"

#include <thread>

namespace simtest {
namespace {

using Encapsulation = SimTest;

TEST_F(Encapsulation, RegisterSessionGivesOneHandlePerConnectionAndEchoesTheContext)
{
    start(1, Personality::CompactLogix);
    Tcp tcp;
    ASSERT_TRUE(tcp.connect(address));
    tcp.send(hex("65 00 04 00 00 00 00 00 00 00 00 00 11 22 33 44 55 66 77 88 00 00 00 00 01 00 00 00"));
    const Bytes reply = tcp.message().value_or(Bytes{});
    const uint32_t handle = rd32(reply, 4);
    EXPECT_NE(handle, 0u);
    EXPECT_EQ(toHex(reply), toHex(hex("65 00 04 00") + le32(handle) +
                                  hex("00 00 00 00 11 22 33 44 55 66 77 88 00 00 00 00 01 00 00 00")));

    // A second RegisterSession on the same socket is refused; the session stays usable.
    tcp.send(encap(0x65, 0, hex("01 00 00 00"), 0x0102));
    EXPECT_EQ(toHex(tcp.message().value_or(Bytes{})), toHex(encap(0x65, 0, {}, 0x0102, 0x0001)));
    tcp.send(sendRRData(handle, hex("01 02 20 01 24 01"), 7));
    EXPECT_EQ(slice(tcp.message().value_or(Bytes{}), 40, 4), hex("81 00 00 00"));

    Client other = connect();
    EXPECT_NE(other.session, handle);
}

TEST_F(Encapsulation, SendDataNeedsTheRegisteredHandle)
{
    start(4, Personality::CompactLogix);
    Tcp tcp;
    ASSERT_TRUE(tcp.connect(address));
    const Bytes identity = hex("01 02 20 01 24 01");
    tcp.send(sendRRData(0x12345678, identity, 0x55));
    EXPECT_EQ(toHex(tcp.message().value_or(Bytes{})), toHex(hex("6f 00 00 00 78 56 34 12 64 00 00 00") + le(0x55, 8) +
                                                             hex("00 00 00 00")));

    Client c = connect();
    c.tcp.send(sendRRData(c.session + 1, identity, 0x56));
    EXPECT_EQ(toHex(c.tcp.message().value_or(Bytes{})), toHex(encap(0x6F, c.session + 1, {}, 0x56, 0x0064)));
    c.tcp.send(sendUnitData(c.session + 1, 0x20000001, 1, hex("4c 02 91 01 41 00 01 00")));
    EXPECT_EQ(toHex(c.tcp.message().value_or(Bytes{})), toHex(encap(0x70, c.session + 1, {}, 0, 0x0064)));
    EXPECT_EQ(slice(rr(c, identity), 0, 4), hex("81 00 00 00")); // the session itself is unharmed
}

TEST_F(Encapsulation, MessagesAreFramedByLengthNotByRead)
{
    start(6, Personality::CompactLogix);
    Tcp tcp;
    ASSERT_TRUE(tcp.connect(address));
    const Bytes reg = encap(0x65, 0, hex("01 00 00 00"), 0x77);
    tcp.send(slice(reg, 0, 10));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    tcp.send(slice(reg, 10, 17));
    EXPECT_TRUE(tcp.silent(100)); // one byte still missing
    tcp.send(slice(reg, 27));
    const Bytes r = tcp.message().value_or(Bytes{});
    EXPECT_EQ(toHex(r), toHex(encap(0x65, rd32(r, 4), hex("01 00 00 00"), 0x77)));

    tcp.send(encap(0x64, 0, {}, 1) + encap(0x04, 0, {}, 2) + encap(0x64, 0, {}, 3));
    EXPECT_EQ(rd(tcp.message().value_or(Bytes{}), 12, 8), 1u);
    EXPECT_EQ(rd(tcp.message().value_or(Bytes{}), 12, 8), 2u);
    EXPECT_EQ(rd(tcp.message().value_or(Bytes{}), 12, 8), 3u);
}

} // namespace
} // namespace simtest
