#pragma once
// One simulated controller per test on its own loopback address (127.0.10.<octet>, port 44818),
// and a client that speaks raw encapsulation to it: every reply is checked byte for byte,
// wrapper included, before the CIP reply inside is handed to the test.

#include "wire.h"

#include <absim/simulator.h>

#include <gtest/gtest.h>

#include <memory>
#include <map>

namespace simtest {

using namespace wire;
using absim::CipType;
using absim::Personality;
using absim::tagDef;

// The connection every test opens: T->O id 0x1122<serial>, vendor 0xF00D, originator serial
// 0xCAFEBABE, RPI 2 s, class 3 server transport, to the message router behind the route.
inline Bytes forwardOpen(bool large, uint32_t size, const Bytes &route, uint16_t serial = 0x0101)
{
    const Bytes params = large ? le32(0x42000000u | size) : le16(static_cast<uint16_t>(0x4200u | size));
    return hex(large ? "5b" : "54") + hex("02 20 06 24 01 0a 05 00 00 00 00") + le16(serial) + hex("22 11") +
           le16(serial) + hex("0d f0 be ba fe ca 01 00 00 00 80 84 1e 00") + params + hex("80 84 1e 00") + params +
           hex("a3") + Bytes{static_cast<uint8_t>(route.size() / 2 + 2)} + route + hex("20 02 24 01");
}

inline Bytes forwardClose(const Bytes &route, uint16_t serial = 0x0101)
{
    return hex("4e 02 20 06 24 01 0a 05") + le16(serial) + hex("0d f0 be ba fe ca") +
           Bytes{static_cast<uint8_t>(route.size() / 2 + 2), 0x00} + route + hex("20 02 24 01");
}

// Unconnected Send wrapping an embedded request, with the pad after an odd-length request.
inline Bytes unconnectedSend(const Bytes &embedded, const Bytes &route)
{
    Bytes pad = embedded.size() % 2 ? Bytes{0x00} : Bytes{};
    return hex("52 02 20 06 24 01 0a 05") + le16(static_cast<uint16_t>(embedded.size())) + embedded + pad +
           Bytes{static_cast<uint8_t>(route.size() / 2), 0x00} + route;
}

struct Client {
    Tcp tcp;
    uint32_t session = 0;
    uint64_t context = 0x8877665544332211ull;
    uint16_t sequence = 0;
};

struct Connection {
    uint32_t ot = 0; // the target's id: requests carry it
    uint32_t to = 0; // ours: replies carry it
};

class SimTest : public ::testing::Test {
protected:
    absim::Simulator &start(int octet, Personality p, std::vector<absim::TagDef> tags = {},
                            std::optional<absim::Identity> identity = std::nullopt)
    {
        // One address per test, so that the tests can run in parallel.
        static std::map<int, std::string> owners;
        const ::testing::TestInfo *me = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::string name = std::string(me->test_suite_name()) + "." + me->name();
        const std::string &owner = owners.emplace(octet, name).first->second;
        EXPECT_EQ(owner, name) << "127.0.10." << octet << " is taken by another test";
        absim::Config cfg;
        cfg.address = "127.0.10." + std::to_string(octet);
        cfg.personality = p;
        cfg.identity = identity ? *identity : absim::defaultIdentity(p);
        cfg.tags = std::move(tags);
        return start(cfg);
    }

    absim::Simulator &start(const absim::Config &cfg)
    {
        address = cfg.address;
        sim = std::make_unique<absim::Simulator>(cfg);
        std::string error;
        EXPECT_TRUE(sim->start(&error)) << error;
        return *sim;
    }

    // A TCP connection with a registered session.
    Client connect()
    {
        Client c;
        EXPECT_TRUE(c.tcp.connect(address)) << address;
        c.tcp.send(encap(0x65, 0, hex("01 00 00 00"), c.context));
        const Bytes reply = c.tcp.message().value_or(Bytes{});
        c.session = rd32(reply, 4);
        EXPECT_NE(c.session, 0u);
        EXPECT_EQ(toHex(reply), toHex(encap(0x65, c.session, hex("01 00 00 00"), c.context)));
        return c;
    }

    // SendRRData round trip; the reply must echo session and context and carry a null address
    // item and one unconnected data item. Returns the CIP reply.
    static Bytes rr(Client &c, const Bytes &mr)
    {
        ++c.context;
        c.tcp.send(sendRRData(c.session, mr, c.context));
        const Bytes reply = c.tcp.message().value_or(Bytes{});
        const Bytes cip = slice(reply, 40);
        EXPECT_EQ(toHex(reply), toHex(encap(0x6F, c.session,
                                            hex("00 00 00 00 00 00 02 00 00 00 00 00 b2 00") +
                                                le16(static_cast<uint16_t>(cip.size())) + cip,
                                            c.context)));
        return cip;
    }

    // SendUnitData round trip with the next sequence count; the reply must carry our T->O id
    // and echo the count. Returns the CIP reply.
    static Bytes unit(Client &c, const Connection &conn, const Bytes &mr)
    {
        const uint16_t seq = ++c.sequence;
        c.tcp.send(sendUnitData(c.session, conn.ot, seq, mr));
        const Bytes reply = c.tcp.message().value_or(Bytes{});
        const Bytes cip = slice(reply, 46);
        EXPECT_EQ(toHex(reply), toHex(encap(0x70, c.session,
                                            hex("00 00 00 00 00 00 02 00 a1 00 04 00") + le32(conn.to) + hex("b1 00") +
                                                le16(static_cast<uint16_t>(cip.size() + 2)) + le16(seq) + cip)));
        return cip;
    }

    // Forward Open that must succeed; the reply echoes our ids, serials and RPIs.
    static Connection open(Client &c, const Bytes &route, bool large = false, uint32_t size = 504,
                           uint16_t serial = 0x0101)
    {
        const Bytes r = rr(c, forwardOpen(large, size, route, serial));
        Connection conn{rd32(r, 4), 0x11220000u | serial};
        EXPECT_EQ(toHex(r), toHex(hex(large ? "db" : "d4") + hex("00 00 00") + le32(conn.ot) + le32(conn.to) +
                                  le16(serial) + hex("0d f0 be ba fe ca 80 84 1e 00 80 84 1e 00 00 00")));
        return conn;
    }

    std::string address;
    std::unique_ptr<absim::Simulator> sim;
};

} // namespace simtest
