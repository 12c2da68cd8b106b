// CIP: EPATH encoders (tag names, routes), message router replies, the Connection Manager
// services and the CIP status -> PLCTAG status mapping. Expected bytes come from the captures
// (file named at each test) or are written by hand from the facts sheet's layouts.
#include "hex.h"

#include "cip/cip.h"
#include "cip/epath.h"
#include "cip/multiple_service.h"
#include "encap/encap.h"
#include "libplctag.h"

#include <gtest/gtest.h>

using namespace plctag;

namespace {

Bytes tagPath(const char *name, int *bit = nullptr)
{
    cip::EncodedName n;
    EXPECT_EQ(cip::encodeTagName(name, &n), PLCTAG_STATUS_OK) << name;
    if (bit)
        *bit = n.bit;
    return n.path;
}

int tagNameStatus(const std::string &name)
{
    cip::EncodedName n;
    return cip::encodeTagName(name, &n);
}

Bytes route(const char *path)
{
    Bytes out;
    EXPECT_EQ(cip::encodeRoute(path, &out), PLCTAG_STATUS_OK) << path;
    return out;
}

int routeStatus(const char *path)
{
    Bytes out;
    return cip::encodeRoute(path, &out);
}

} // namespace

TEST(TagNameEpath, SymbolsMembersAndProgramScope)
{
    EXPECT_BYTES(cat({hex("91 03"), ascii("udt"), hex("00 91 06"), ascii("member")}), tagPath("udt.member"));
    EXPECT_BYTES(cat({hex("91 13"), ascii("Program:MainProgram"), hex("00 91 03"), ascii("Tag"), hex("00")}),
                 tagPath("Program:MainProgram.Tag"));
    int bit = 0;
    EXPECT_BYTES(cat({hex("91 06"), ascii("MyDint")}), tagPath("MyDint.5", &bit));
    EXPECT_EQ(bit, 5) << "a bit index is no path segment";
    tagPath("Counter", &bit);
    EXPECT_EQ(bit, -1);
}

TEST(TagNameEpath, ArrayIndicesTakeTheSmallestElementSegment)
{
    EXPECT_BYTES(cat({hex("91 03"), ascii("tag"), hex("00 28 01 28 02 28 03")}), tagPath("tag[1,2,3]"));
    EXPECT_BYTES(cat({hex("91 03"), ascii("Arr"), hex("00 28 ff")}), tagPath("Arr[255]"));
    EXPECT_BYTES(cat({hex("91 03"), ascii("Arr"), hex("00 29 00 00 01")}), tagPath("Arr[256]"));
    EXPECT_BYTES(cat({hex("91 03"), ascii("Arr"), hex("00 29 00 ff ff")}), tagPath("Arr[65535]"));
    EXPECT_BYTES(cat({hex("91 03"), ascii("Arr"), hex("00 2a 00 70 11 01 00")}), tagPath("Arr[70000]"));
    EXPECT_BYTES(cat({hex("91 03"), ascii("Arr"), hex("00 28 02 91 06"), ascii("Member"), hex("28 01 28 03")}),
                 tagPath("Arr[ 2 ].Member[1, 3]"));
}

TEST(TagNameEpath, RejectsBadNames)
{
    for (const char *bad : {"", "1abc", "Tag[", "Tag[]", "Tag[1,2,3,4]", "Tag[-1]", "Tag[x]", "Tag.", ".Tag",
                            "Tag..x", "Tag.5.x", "Tag.5x", "Ta-g", "Tag[1]x", "Tag[99999999999]"})
        EXPECT_EQ(tagNameStatus(bad), PLCTAG_ERR_BAD_PARAM) << '"' << bad << '"';
    // 260 encoded bytes at most: 102 + 158 fits, one more character (and its pad) does not.
    EXPECT_EQ(tagNameStatus(std::string(100, 'a') + "." + std::string(156, 'b')), PLCTAG_STATUS_OK);
    EXPECT_EQ(tagNameStatus(std::string(100, 'a') + "." + std::string(157, 'b')), PLCTAG_ERR_BAD_PARAM);
    EXPECT_EQ(tagNameStatus(std::string(256, 'a')), PLCTAG_ERR_BAD_PARAM) << "a segment's length is one byte";
}

TEST(RouteEpath, PortSegments)
{
    EXPECT_BYTES(hex("01 00"), route("1,0"));
    EXPECT_BYTES(hex("01 03"), route(" 1 , 3 "));
    EXPECT_BYTES(Bytes{}, route(""));
    // omron-write-read-dint.txt: path 18,127.0.0.1 (9 characters, padded).
    EXPECT_BYTES(hex("12 09 31 32 37 2e 30 2e 30 2e 31 00"), route("18,127.0.0.1"));
    // Backplane to slot 2, its port 2 to 192.0.2.3, that chassis' backplane slot 0.
    EXPECT_BYTES(cat({hex("01 02 12 09"), ascii("192.0.2.3"), hex("00 01 00")}), route("1,2,18,192.0.2.3,1,0"));
    EXPECT_BYTES(cat({hex("13 0a"), ascii("192.0.2.10")}), route("19,192.0.2.10")); // even: no pad
    for (const char *bad : {"1", "1,0,1", "16,0", "1,x", "1,,0", "18", "18,300.1.1.1", "18,192.0.2", "20,192.0.2.3",
                            "-1,0", "1;0"})
        EXPECT_EQ(routeStatus(bad), PLCTAG_ERR_BAD_GATEWAY) << '"' << bad << '"';
}

TEST(MessageRouterReply, StatusWordsAndData)
{
    cip::MrReply r;
    // logix-unknown-tag.txt: 0x05 with one extended word.
    const Bytes unknown = hex("d2 00 05 01 00 00");
    ASSERT_TRUE(cip::parseMrReply(unknown.data(), unknown.size(), &r));
    EXPECT_EQ(r.service, 0x52);
    EXPECT_EQ(r.general, 0x05);
    EXPECT_EQ(r.extCount, 1);
    EXPECT_EQ(r.size, 0u);

    const Bytes fragment = hex("d2 00 06 00 c4 00 01 00 00 00");
    ASSERT_TRUE(cip::parseMrReply(fragment.data(), fragment.size(), &r));
    EXPECT_EQ(r.general, 0x06);
    EXPECT_BYTES(hex("c4 00 01 00 00 00"), Bytes(r.data, r.data + r.size));

    // Forward Open refused, 0x0109 with the size the target takes in the second word.
    const Bytes size = hex("db 00 01 02 09 01 f8 01");
    ASSERT_TRUE(cip::parseMrReply(size.data(), size.size(), &r));
    EXPECT_EQ(r.ext[0], 0x0109);
    EXPECT_EQ(r.ext[1], 0x01f8);

    // ab_server's size byte counts bytes (abserver-logix-write-sint.txt): "2 words" but the
    // two bytes of one fill the reply exactly. Anything else short is refused.
    const Bytes abServer = hex("cd 00 ff 02 05 21");
    ASSERT_TRUE(cip::parseMrReply(abServer.data(), abServer.size(), &r));
    EXPECT_EQ(r.extCount, 1);
    EXPECT_EQ(r.ext[0], 0x2105);
    EXPECT_EQ(r.size, 0u);
    // One byte short, three words claimed, no reply flag.
    for (const char *bad : {"cd 00 ff 02 05", "cd 00 ff 03 05 21 00", "52 00 00 00"}) {
        const Bytes b = hex(bad);
        EXPECT_FALSE(cip::parseMrReply(b.data(), b.size(), &r)) << bad;
    }
    EXPECT_FALSE(cip::parseMrReply(unknown.data(), 3, &r));
}

// Forward Open requests: the captures' ids and serials as libplctag chose them, and the facts
// sheet's classic example; our fixed fields are vendor 0xF33D, originator serial 0x21504345,
// RPI 1 s. The SendRRData around them is compared whole in ForwardClose and UnconnectedSend.
TEST(ForwardOpen, RequestsAsCaptured)
{
    const struct {
        const char *what;
        bool large;
        uint32_t size, toId;
        uint16_t serial;
        const char *route;
        const char *expected;
    } cases[] = {
        {"logix-read-dint.txt", true, 4002, 0x1e3c3ebf, 0x47bf, "1,0",
         "5b 02 20 06 24 01 0a 05 00 00 00 00 bf 3e 3c 1e bf 47 3d f3 45 43 50 21 01 00 00 00"
         "40 42 0f 00 a2 0f 00 42 40 42 0f 00 a2 0f 00 42 a3 03 01 00 20 02 24 01"},
        {"omron-write-read-dint.txt: connection path 8 words", true, 1996, 0x1a8808cd, 0x12bb, "18,127.0.0.1",
         "5b 02 20 06 24 01 0a 05 00 00 00 00 cd 08 88 1a bb 12 3d f3 45 43 50 21 01 00 00 00"
         "40 42 0f 00 cc 07 00 42 40 42 0f 00 cc 07 00 42 a3 08 12 09 31 32 37 2e 30 2e 30 2e 31 00 20 02 24 01"},
        {"micro800-write-read-string.txt: no route", true, 4002, 0x148c02fb, 0x4807, "",
         "5b 02 20 06 24 01 0a 05 00 00 00 00 fb 02 8c 14 07 48 3d f3 45 43 50 21 01 00 00 00"
         "40 42 0f 00 a2 0f 00 42 40 42 0f 00 a2 0f 00 42 a3 02 20 02 24 01"},
        {"classic, libplctag's 508 bytes", false, 508, 0x11223344, 0x0101, "1,0",
         "54 02 20 06 24 01 0a 05 00 00 00 00 44 33 22 11 01 01 3d f3 45 43 50 21"
         "01 00 00 00 40 42 0f 00 fc 43 40 42 0f 00 fc 43 a3 03 01 00 20 02 24 01"},
    };
    for (const auto &c : cases) {
        Bytes out;
        wire::Writer w(out);
        const Bytes r = route(c.route);
        cip::ForwardOpenParams p;
        p.large = c.large;
        p.connectionSize = c.size;
        p.toConnectionId = c.toId;
        p.connectionSerial = c.serial;
        p.route = r.empty() ? nullptr : r.data();
        p.routeLen = r.size();
        cip::writeForwardOpen(w, p);
        EXPECT_BYTES(hex(c.expected), out) << c.what;
    }
}

TEST(ForwardOpen, ReplyAsCaptured)
{
    // logix-read-dint.txt: O->T id 0xabba45b9 chosen by cpppo, our T->O id and serial echoed.
    const Bytes reply = hex("db 00 00 00 b9 45 ba ab bf 3e 3c 1e bf 47 3d f3 45 43 50 21"
                            "40 42 0f 00 40 42 0f 00 00 00");
    cip::MrReply r;
    ASSERT_TRUE(cip::parseMrReply(reply.data(), reply.size(), &r));
    EXPECT_EQ(r.service, cip::kLargeForwardOpen);
    cip::ForwardOpenResult res;
    ASSERT_TRUE(cip::parseForwardOpenReply(r, &res));
    EXPECT_EQ(res.otConnectionId, 0xabba45b9u);
    EXPECT_EQ(res.toConnectionId, 0x1e3c3ebfu);
    EXPECT_EQ(res.connectionSerial, 0x47bf);

    r.size = 23; // cut inside the T->O API
    EXPECT_FALSE(cip::parseForwardOpenReply(r, &res));
}

TEST(ForwardClose, RequestAsCaptured)
{
    // logix-read-dint.txt, the whole frame (context 0x59804516).
    Bytes out;
    wire::Writer w(out);
    const encap::Frame f = encap::beginSendRRData(w, 0x1411a19b, 0x59804516, 1);
    const Bytes r = route("1,0");
    cip::writeForwardClose(w, 0x47bf, r.data(), r.size());
    encap::endFrame(w, f);
    EXPECT_BYTES(hex("6f 00 28 00 9b a1 11 14 00 00 00 00 16 45 80 59 00 00 00 00 00 00 00 00"
                     "00 00 00 00 01 00 02 00 00 00 00 00 b2 00 18 00"
                     "4e 02 20 06 24 01 0a 05 bf 47 3d f3 45 43 50 21 03 00 01 00 20 02 24 01"),
                 out);
}

TEST(UnconnectedSend, WrapsTheEmbeddedRequestWithItsRoute)
{
    // The facts sheet's example frame: Read Tag "Counter" x1 via 1,0, timeout 5 s.
    Bytes out;
    wire::Writer w(out);
    const encap::Frame f = encap::beginSendRRData(w, 0x12345678, 0x8877665544332211ull, 5);
    const cip::UnconnectedSendMark m = cip::beginUnconnectedSend(w);
    const Bytes read = cat({hex("4c 05"), tagPath("Counter"), hex("01 00")});
    w.bytes(read.data(), read.size());
    const Bytes r = route("1,0");
    cip::endUnconnectedSend(w, m, r.data(), r.size());
    encap::endFrame(w, f);
    EXPECT_BYTES(hex("6f 00 2c 00 78 56 34 12 00 00 00 00 11 22 33 44 55 66 77 88 00 00 00 00"
                     "00 00 00 00 05 00 02 00 00 00 00 00 b2 00 1c 00"
                     "52 02 20 06 24 01 0a 05 0e 00 4c 05 91 07 43 6f 75 6e 74 65 72 00 01 00"
                     "01 00 01 00"),
                 out);

    // An odd embedded message (Write Tag of one SINT, 15 bytes) is followed by a pad byte
    // that its length does not count.
    out.clear();
    const cip::UnconnectedSendMark m2 = cip::beginUnconnectedSend(w);
    const Bytes write = cat({hex("4d 04"), tagPath("Small"), hex("c2 00 01 00 fb")});
    w.bytes(write.data(), write.size());
    cip::endUnconnectedSend(w, m2, r.data(), r.size());
    EXPECT_BYTES(hex("52 02 20 06 24 01 0a 05 0f 00 4d 04 91 05 53 6d 61 6c 6c 00 c2 00 01 00 fb"
                     "00 01 00 01 00"),
                 out);
}

TEST(MultipleService, PacksAndSplitsAsCaptured)
{
    // pycomm3-logix-msp-read3.txt: Read Tag "Counter", "Temp", "Arr"[2] in one packet.
    const Bytes reads[] = {cat({hex("4c 05"), tagPath("Counter"), hex("01 00")}),
                           cat({hex("4c 03"), tagPath("Temp"), hex("01 00")}),
                           cat({hex("4c 04"), tagPath("Arr[2]"), hex("01 00")})};
    cip::Span spans[3];
    for (size_t i = 0; i < 3; ++i)
        spans[i] = {reads[i].data(), reads[i].size()};
    Bytes out;
    wire::Writer w(out);
    cip::writeMultipleService(w, spans, 3);
    EXPECT_BYTES(hex("0a 02 20 02 24 01 03 00 08 00 16 00 20 00"
                     "4c 05 91 07 43 6f 75 6e 74 65 72 00 01 00 4c 03 91 04 54 65 6d 70 01 00"
                     "4c 04 91 03 41 72 72 00 28 02 01 00"),
                 out);
    EXPECT_EQ(out.size(), cip::multipleServiceRequestOverhead(3) + reads[0].size() + reads[1].size() + reads[2].size());

    const Bytes reply = hex("8a 00 00 00 03 00 08 00 12 00 1c 00 cc 00 00 00 c4 00 39 30 00 00"
                            "cc 00 00 00 ca 00 00 00 50 40 cc 00 00 00 c4 00 67 00 00 00");
    cip::MrReply r;
    ASSERT_TRUE(cip::parseMrReply(reply.data(), reply.size(), &r));
    EXPECT_EQ(reply.size(), cip::multipleServiceReplyOverhead(3) + 30);
    cip::Span parts[3];
    ASSERT_TRUE(cip::splitMultipleService(r.data, r.size, parts, 3));
    EXPECT_BYTES(hex("cc 00 00 00 c4 00 39 30 00 00"), Bytes(parts[0].data, parts[0].data + parts[0].size));
    EXPECT_BYTES(hex("cc 00 00 00 ca 00 00 00 50 40"), Bytes(parts[1].data, parts[1].data + parts[1].size));
    EXPECT_BYTES(hex("cc 00 00 00 c4 00 67 00 00 00"), Bytes(parts[2].data, parts[2].data + parts[2].size));

    // The facts sheet's packet with one failed service (overall 0x1E) splits the same way.
    const Bytes mixed = hex("8a 00 1e 00 02 00 06 00 10 00 cc 00 00 00 c4 00 2a 00 00 00 cc 00 04 01 00 00");
    ASSERT_TRUE(cip::parseMrReply(mixed.data(), mixed.size(), &r));
    ASSERT_TRUE(cip::splitMultipleService(r.data, r.size, parts, 2));
    EXPECT_BYTES(hex("cc 00 04 01 00 00"), Bytes(parts[1].data, parts[1].data + parts[1].size));

    // Malformed: another count, an offset into the table, backwards or past the end, a member
    // too short for its status.
    const Bytes bad[] = {hex("03 00 08 00 0c 00 10 00 cc 00 00 00"),
                         hex("02 00 04 00 0a 00 cc 00 00 00 cc 00 00 00"),
                         hex("02 00 0a 00 06 00 cc 00 00 00 cc 00 00 00"),
                         hex("02 00 06 00 20 00 cc 00 00 00 cc 00 00 00"),
                         hex("02 00 06 00 08 00 cc 00 cc 00 00 00")};
    for (const Bytes &b : bad)
        EXPECT_FALSE(cip::splitMultipleService(b.data(), b.size(), parts, 2)) << ::testing::PrintToString(b);
}
