// The little-endian cursor and the encapsulation layer: header, RegisterSession, SendRRData /
// SendUnitData framing and the CPF parser, against captured and hand-written bytes.
#include "hex.h"

#include "encap/encap.h"
#include "wire/bytes.h"

#include <gtest/gtest.h>

using namespace plctag;

// logix-read-dint.txt, first two lines: RegisterSession request and reply.
TEST(Encapsulation, RegisterSessionAsCaptured)
{
    Bytes out;
    wire::Writer w(out);
    encap::writeRegisterSession(w);
    EXPECT_BYTES(hex("65 00 04 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 01 00 00 00"), out);

    const Bytes reply = hex("65 00 04 00 9b a1 11 14 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 01 00 00 00");
    wire::Reader r(reply);
    encap::Header h;
    ASSERT_TRUE(encap::readHeader(r, &h));
    EXPECT_EQ(h.command, encap::kRegisterSession);
    EXPECT_EQ(h.length, 4);
    EXPECT_EQ(h.session, 0x1411a19bu);
    EXPECT_EQ(h.status, 0u);
    EXPECT_EQ(r.pos(), encap::kHeaderSize);

    wire::Reader shortHeader(reply.data(), 23);
    EXPECT_FALSE(encap::readHeader(shortHeader, &h));
}

// The connected read of logix-read-dint.txt: session 0x1411a19b, O->T id 0xabba45b9 from the
// Forward Open reply, sequence 1. Every field of this frame is given by those three values.
TEST(Encapsulation, SendUnitDataFramesAConnectedRequest)
{
    Bytes out;
    wire::Writer w(out);
    const encap::Frame f = encap::beginSendUnitData(w, 0x1411a19b, 0xabba45b9, 1);
    w.bytes(hex("52 05 91 07 43 6f 75 6e 74 65 72 00 01 00 00 00 00 00").data(), 18);
    encap::endFrame(w, f);
    EXPECT_BYTES(hex("70 00 28 00 9b a1 11 14 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
                     "00 00 00 00 00 00 02 00 a1 00 04 00 b9 45 ba ab b1 00 14 00 01 00"
                     "52 05 91 07 43 6f 75 6e 74 65 72 00 01 00 00 00 00 00"),
                 out);
}

TEST(CpfParser, ConnectedReplyOfACapture)
{
    // logix-read-dint.txt, the reply to the read above. cpppo sends it with the O->T id;
    // the parser only reports the id, matching it is the session's business.
    const Bytes msg = hex("70 00 20 00 9b a1 11 14 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
                          "00 00 00 00 00 00 02 00 a1 00 04 00 b9 45 ba ab b1 00 0c 00 01 00"
                          "d2 00 00 00 c4 00 39 30 00 00");
    encap::CipPayload p;
    ASSERT_TRUE(encap::parseCipPayload(msg.data(), msg.size(), &p));
    EXPECT_TRUE(p.connected);
    EXPECT_EQ(p.connectionId, 0xabba45b9u);
    EXPECT_EQ(p.sequence, 1);
    EXPECT_BYTES(hex("d2 00 00 00 c4 00 39 30 00 00"), Bytes(p.data, p.data + p.size));
}

TEST(CpfParser, UnconnectedReplyAndOptionalItems)
{
    // slc500-n7-0.txt, the first PCCC reply (null address + B2 item).
    const Bytes msg = hex("6f 00 21 00 56 22 cd 7c 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
                          "00 00 00 00 01 00 02 00 00 00 00 00 b2 00 11 00"
                          "cb 00 00 00 07 3d f3 45 43 50 21 4f 00 ac bf 00 00");
    encap::CipPayload p;
    ASSERT_TRUE(encap::parseCipPayload(msg.data(), msg.size(), &p));
    EXPECT_FALSE(p.connected);
    EXPECT_EQ(p.header.session, 0x7ccd2256u);
    EXPECT_EQ(p.size, 17u);
    EXPECT_EQ(p.data[0], 0xcb);

    // The same reply with a T->O sockaddr item (0x8001, 16 bytes) after the data item: items
    // are walked by their lengths, unknown ones skipped.
    Bytes extra = msg;
    extra[24 + 6] = 3; // item count
    const Bytes sockaddr = hex("01 80 10 00 00 02 af 12 7f 00 00 01 00 00 00 00 00 00 00 00");
    extra.insert(extra.end(), sockaddr.begin(), sockaddr.end());
    extra[2] = static_cast<uint8_t>(extra.size() - 24);
    ASSERT_TRUE(encap::parseCipPayload(extra.data(), extra.size(), &p));
    EXPECT_EQ(p.size, 17u);
}

TEST(CpfParser, RejectsMalformedMessages)
{
    const Bytes good = hex("6f 00 16 00 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
                           "00 00 00 00 00 00 02 00 00 00 00 00 b2 00 06 00 cc 00 00 00 c4 00");
    encap::CipPayload p;
    ASSERT_TRUE(encap::parseCipPayload(good.data(), good.size(), &p));

    Bytes b = good;
    b.pop_back(); // shorter than the header's length field
    EXPECT_FALSE(encap::parseCipPayload(b.data(), b.size(), &p));
    b = good;
    b[38] = 0x07; // data item longer than the message
    EXPECT_FALSE(encap::parseCipPayload(b.data(), b.size(), &p));
    b = good;
    b[30] = 1; // only one item
    EXPECT_FALSE(encap::parseCipPayload(b.data(), b.size(), &p));
    b = good;
    b[0] = 0x70; // SendUnitData with a null address: connected data needs a connected address
    EXPECT_FALSE(encap::parseCipPayload(b.data(), b.size(), &p));
    b = good;
    b[0] = 0x65; // not a data command
    EXPECT_FALSE(encap::parseCipPayload(b.data(), b.size(), &p));
}

TEST(CpfParser, OffLayoutConnectedReplyOnlyWhenItsLengthsAgree)
{
    // ab_server's connected reply (omron-write-read-dint.txt): no interface handle and
    // timeout, six stray bytes before the sequence count; the CIP reply at its usual offset.
    const Bytes abServer = hex("70 00 20 00 af b2 f6 60 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
                               "02 00 a1 00 04 00 cd 08 88 1a b1 00 0c 00 00 00 b1 00 10 00 01 00"
                               "cc 00 00 00 c4 00 00 00 00 00");
    encap::CipPayload p;
    ASSERT_TRUE(encap::parseCipPayload(abServer.data(), abServer.size(), &p));
    EXPECT_TRUE(p.offLayout);
    EXPECT_EQ(p.connectionId, 0x1a8808cdu);
    EXPECT_EQ(p.sequence, 1);
    EXPECT_BYTES(hex("cc 00 00 00 c4 00 00 00 00 00"), Bytes(p.data, p.data + p.size));

    struct Broken {
        size_t at;
        uint8_t value;
        const char *why;
    };
    const Broken broken[] = {
        {36, 0x0d, "data item length one more than the message holds"},
        {36, 0x0b, "data item length one less"},
        {24, 0x03, "item count"},
        {26, 0xa2, "address item type"},
        {34, 0xb2, "unconnected data item in a connected reply"},
        {0, 0x6f, "SendRRData: no off layout there"},
    };
    for (const Broken &b : broken) {
        Bytes m = abServer;
        m[b.at] = b.value;
        EXPECT_FALSE(encap::parseCipPayload(m.data(), m.size(), &p)) << b.why;
    }
}

TEST(CpfParser, EncapsulationErrorNeedsNoItems)
{
    // Invalid session handle: header only, status 0x64.
    const Bytes msg = hex("6f 00 00 00 01 00 00 00 64 00 00 00 01 00 00 00 00 00 00 00 00 00 00 00");
    encap::CipPayload p;
    ASSERT_TRUE(encap::parseCipPayload(msg.data(), msg.size(), &p));
    EXPECT_EQ(p.header.status, encap::kStatusInvalidSession);
    EXPECT_EQ(p.header.context, 1u);
    EXPECT_EQ(p.size, 0u);
}
