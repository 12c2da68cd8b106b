// Read Tag / Write Tag, their fragmented forms and Read-Modify-Write as the Logix, Micro800
// and Omron protocols build and decode them, against captured and hand-written bytes.
#include "hex.h"

#include "libplctag.h"
#include "logix/logix_protocol.h"
#include "logix/tag_list.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace plctag;

namespace {

TagAddress compile(const Protocol &p, const char *name, int count = 1)
{
    TagSpec spec;
    spec.name = name;
    spec.elemCount = count;
    TagAddress a;
    EXPECT_EQ(p.compile(spec, &a), PLCTAG_STATUS_OK) << name;
    return a;
}

Bytes encodeRead(const Protocol &p, const TagAddress &a, uint32_t offset, int expectRc = PLCTAG_STATUS_OK)
{
    Bytes out;
    wire::Writer w(out);
    RequestEnv env;
    env.maxRequest = 4000;
    EXPECT_EQ(p.encodeRead(a, offset, env, w), expectRc);
    return out;
}

// Encodes the write request carrying data[offset..]; *consumed gets the bytes it took.
Bytes encodeWrite(const Protocol &p, const TagAddress &a, const Bytes &data, uint32_t offset, size_t maxRequest,
                  size_t *consumed, int expectRc = PLCTAG_STATUS_OK)
{
    Bytes out;
    wire::Writer w(out);
    RequestEnv env;
    env.maxRequest = maxRequest;
    EXPECT_EQ(p.encodeWrite(a, data.data(), data.size(), offset, env, w, consumed), expectRc);
    return out;
}

void setType(TagAddress *a, const Bytes &type)
{
    std::memcpy(a->type, type.data(), type.size());
    a->typeLen = static_cast<uint8_t>(type.size());
}

int decodeRead(const Protocol &p, const TagAddress &a, const Bytes &reply, ReadChunk *c)
{
    return p.decodeRead(a, reply.data(), reply.size(), c);
}

} // namespace

TEST(LogixRead, ReadTagFragmentedRequestsAsCaptured)
{
    const Protocol &lgx = logix::logixProtocol();
    // logix-read-dint.txt: even a scalar goes out as 0x52 with count 1 and offset 0.
    EXPECT_BYTES(hex("52 05 91 07 43 6f 75 6e 74 65 72 00 01 00 00 00 00 00"),
                 encodeRead(lgx, compile(lgx, "Counter"), 0));
    // logix-read-dint-array1000-fragmented.txt: the second fragment, at byte offset 488.
    const TagAddress large = compile(lgx, "Large", 1000);
    EXPECT_BYTES(hex("52 04 91 05 4c 61 72 67 65 00 e8 03 e8 01 00 00"), encodeRead(lgx, large, 488));
    EXPECT_BYTES(hex("52 04 91 05 4c 61 72 67 65 00 e8 03 40 0f 00 00"), encodeRead(lgx, large, 3904));
}

TEST(LogixRead, FragmentsAndTheirEnd)
{
    const Protocol &lgx = logix::logixProtocol();
    const TagAddress a = compile(lgx, "Large", 1000);
    ReadChunk c;
    // A 0x06 fragment: more follows, the type is repeated and not part of the data.
    const Bytes partial = hex("d2 00 06 00 c4 00 01 00 00 00 04 00 00 00");
    ASSERT_EQ(decodeRead(lgx, a, partial, &c), PLCTAG_STATUS_OK);
    EXPECT_TRUE(c.more);
    EXPECT_BYTES(hex("c4 00"), Bytes(c.type, c.type + c.typeLen));
    EXPECT_BYTES(hex("01 00 00 00 04 00 00 00"), Bytes(c.data, c.data + c.size));
    // logix-read-dint.txt: the final (and only) fragment of a DINT, 12345.
    const Bytes last = hex("d2 00 00 00 c4 00 39 30 00 00");
    ASSERT_EQ(decodeRead(lgx, a, last, &c), PLCTAG_STATUS_OK);
    EXPECT_FALSE(c.more);
    EXPECT_BYTES(hex("39 30 00 00"), Bytes(c.data, c.data + c.size));
    // A Logix STRING: a structure type field of 2 + byte[1] bytes, then the 88-byte body.
    const Bytes str = cat({hex("d2 00 00 00 a0 02 ce 0f 05 00 00 00"), ascii("hello"), Bytes(79, 0)});
    ASSERT_EQ(decodeRead(lgx, a, str, &c), PLCTAG_STATUS_OK);
    EXPECT_BYTES(hex("a0 02 ce 0f"), Bytes(c.type, c.type + c.typeLen));
    EXPECT_EQ(c.size, 88u);

    EXPECT_EQ(decodeRead(lgx, a, hex("d2 00 06 00 c4 00"), &c), PLCTAG_ERR_BAD_REPLY) << "0x06 without progress";
    EXPECT_EQ(decodeRead(lgx, a, hex("d2 00 00 00 c4"), &c), PLCTAG_ERR_BAD_REPLY) << "type field cut";
    EXPECT_EQ(decodeRead(lgx, a, hex("d2 00 00 00 a0 06 ce 0f"), &c), PLCTAG_ERR_BAD_REPLY);
    EXPECT_EQ(decodeRead(lgx, a, hex("cc 00 00 00 c4 00 39 30 00 00"), &c), PLCTAG_ERR_BAD_REPLY)
        << "a Read Tag reply to a Read Tag Fragmented request";
}

TEST(OmronRead, PlainReadTagOnly)
{
    const Protocol &omron = logix::omronProtocol();
    const TagAddress a = compile(omron, "Counter");
    // omron-write-read-dint.txt: Read Tag 0x4C, count 1; the read back of -42.
    EXPECT_BYTES(hex("4c 05 91 07 43 6f 75 6e 74 65 72 00 01 00"), encodeRead(omron, a, 0));
    ReadChunk c;
    const Bytes dint = hex("cc 00 00 00 c4 00 d6 ff ff ff");
    ASSERT_EQ(decodeRead(omron, a, dint, &c), PLCTAG_STATUS_OK);
    EXPECT_BYTES(hex("d6 ff ff ff"), Bytes(c.data, c.data + c.size));
    EXPECT_FALSE(c.more);
    encodeRead(omron, a, 4, PLCTAG_ERR_TOO_LARGE); // no offsets without the fragmented service
    // pycomm3-logix-read-dint-array1000-status06.txt: a plain read answered 0x06 is no
    // partial success for a protocol that cannot ask for the rest.
    EXPECT_EQ(decodeRead(omron, a, hex("cc 00 06 00 c4 00 01 00 00 00"), &c), PLCTAG_ERR_TOO_LARGE);
    // pycomm3-logix-read-sstring.txt: SHORT_STRING "hello", type 0xDA.
    const Bytes sstring = cat({hex("cc 00 00 00 da 00 05"), ascii("hello")});
    ASSERT_EQ(decodeRead(omron, a, sstring, &c), PLCTAG_STATUS_OK);
    EXPECT_BYTES(cat({hex("05"), ascii("hello")}), Bytes(c.data, c.data + c.size));
}

TEST(LogixWrite, WriteTagAsCaptured)
{
    const Protocol &lgx = logix::logixProtocol();
    size_t consumed = 0;
    TagAddress a = compile(lgx, "Counter");
    encodeWrite(lgx, a, hex("c0 1d fe ff"), 0, 4000, &consumed, PLCTAG_ERR_NO_DATA); // type not known yet
    setType(&a, hex("c4 00"));
    // logix-write-dint.txt: Counter := -123456.
    EXPECT_BYTES(hex("4d 05 91 07 43 6f 75 6e 74 65 72 00 c4 00 01 00 c0 1d fe ff"),
                 encodeWrite(lgx, a, hex("c0 1d fe ff"), 0, 4000, &consumed));
    EXPECT_EQ(consumed, 4u);
    // pycomm3-logix-write-sint.txt: one SINT is one data byte. (libplctag pads it to two,
    // logix-write-sint.txt, and both simulators reject that with 0xFF/0x2105.)
    TagAddress small = compile(lgx, "Small");
    setType(&small, hex("c2 00"));
    EXPECT_BYTES(hex("4d 04 91 05 53 6d 61 6c 6c 00 c2 00 01 00 fb"),
                 encodeWrite(lgx, small, hex("fb"), 0, 4000, &consumed));
    // abserver-logix-write-read-string.txt: the type read back (d0 00 from ab_server) is
    // what the write carries, with the whole 88-byte body.
    TagAddress text = compile(lgx, "Text");
    setType(&text, hex("d0 00"));
    const Bytes body = cat({hex("09 00 00 00"), ascii("hello plc"), Bytes(75, 0)});
    EXPECT_BYTES(cat({hex("4d 03 91 04 54 65 78 74 d0 00 01 00"), body}),
                 encodeWrite(lgx, text, body, 0, 4000, &consumed));

    EXPECT_EQ(lgx.decodeWrite(a, hex("cd 00 00 00").data(), 4), PLCTAG_STATUS_OK);
    EXPECT_EQ(lgx.decodeWrite(a, hex("cd 00 ff 01 07 21").data(), 6), PLCTAG_ERR_BAD_PARAM) << "type mismatch";
    EXPECT_EQ(lgx.decodeWrite(a, hex("cc 00 00 00").data(), 4), PLCTAG_ERR_BAD_REPLY);
}

// logix-write-dint-array1000-fragmented.txt: DINT[1000] written over a 4002-byte connection
// (4000-byte requests). Our fragments are whole 8-byte groups of what fits, which for this
// tag gives libplctag's split too: 3976 bytes at offset 0, then 24 at 3976.
TEST(LogixWrite, WriteTagFragmentedAsCaptured)
{
    const Protocol &lgx = logix::logixProtocol();
    TagAddress a = compile(lgx, "Large", 1000);
    setType(&a, hex("c4 00"));
    Bytes data(4000);
    for (uint32_t i = 0; i < 1000; ++i)
        wire::storeLe(&data[i * 4], 1 + 3 * i, 4);
    size_t consumed = 0;
    const Bytes first = encodeWrite(lgx, a, data, 0, 4000, &consumed);
    ASSERT_EQ(consumed, 3976u);
    const Bytes head = hex("53 04 91 05 4c 61 72 67 65 00 c4 00 e8 03 00 00 00 00");
    EXPECT_BYTES(head, Bytes(first.begin(), first.begin() + 18));
    EXPECT_TRUE(std::equal(first.begin() + 18, first.end(), data.begin())) << "fragment data";
    EXPECT_EQ(first.size(), 18u + 3976u);
    EXPECT_BYTES(hex("53 04 91 05 4c 61 72 67 65 00 c4 00 e8 03 88 0f 00 00"
                     "a7 0b 00 00 aa 0b 00 00 ad 0b 00 00 b0 0b 00 00 b3 0b 00 00 b6 0b 00 00"),
                 encodeWrite(lgx, a, data, 3976, 4000, &consumed));
    EXPECT_EQ(consumed, 24u);
    EXPECT_EQ(lgx.decodeWrite(a, hex("d3 00 00 00").data(), 4), PLCTAG_STATUS_OK);

    // A classic 508-byte connection: 506-byte requests, (506 - 18) rounded down to 8 = 488.
    encodeWrite(lgx, a, data, 0, 506, &consumed);
    EXPECT_EQ(consumed, 488u);
    // Omron has no fragmented write: what does not fit in one request is too large.
    const Protocol &omron = logix::omronProtocol();
    TagAddress o = compile(omron, "Large", 1000);
    setType(&o, hex("c4 00"));
    encodeWrite(omron, o, data, 0, 1994, &consumed, PLCTAG_ERR_TOO_LARGE);
}

TEST(LogixWrite, BitWritesUseReadModifyWrite)
{
    const Protocol &lgx = logix::logixProtocol();
    const TagAddress a = compile(lgx, "Counter.5");
    EXPECT_EQ(a.bit, 5);
    size_t consumed = 0;
    // Set and clear bit 5 of a DINT: OR mask, then AND mask, each as wide as the element.
    EXPECT_BYTES(hex("4e 05 91 07 43 6f 75 6e 74 65 72 00 04 00 20 00 00 00 ff ff ff ff"),
                 encodeWrite(lgx, a, hex("20 00 00 00"), 0, 4000, &consumed));
    EXPECT_BYTES(hex("4e 05 91 07 43 6f 75 6e 74 65 72 00 04 00 00 00 00 00 df ff ff ff"),
                 encodeWrite(lgx, a, hex("df ff ff ff"), 0, 4000, &consumed));
    const TagAddress hi = compile(lgx, "Word.13");
    EXPECT_BYTES(hex("4e 03 91 04 57 6f 72 64 02 00 00 00 ff df"),
                 encodeWrite(lgx, hi, hex("00 00"), 0, 4000, &consumed));
    const TagAddress past = compile(lgx, "Counter.40");
    encodeWrite(lgx, past, hex("00 00 00 00"), 0, 4000, &consumed, PLCTAG_ERR_OUT_OF_BOUNDS);
    EXPECT_EQ(lgx.decodeWrite(a, hex("ce 00 00 00").data(), 4), PLCTAG_STATUS_OK);
}

TEST(TagList, RequestsFollowTheScopeAndTheLastInstance)
{
    const Protocol &list = logix::tagListProtocol();
    const char attrs[] = "04 00 02 00 07 00 08 00 01 00"; // type, element size, dimensions, name
    EXPECT_BYTES(hex(std::string("55 03 20 6b 25 00 00 00 ") + attrs), encodeRead(list, compile(list, "@tags"), 0));
    EXPECT_BYTES(hex(std::string("55 0a 91 0c 70 72 6f 67 72 61 6d 3a 4d 61 69 6e 20 6b 25 00 0e 00 ") + attrs),
                 encodeRead(list, compile(list, "program:Main.@TAGS"), 14));
    EXPECT_BYTES(hex(std::string("55 04 20 6b 26 00 70 11 01 00 ") + attrs), encodeRead(list, compile(list, "@tags"), 70000));

    TagSpec spec;
    TagAddress a;
    for (const char *bad : {"@tag", "Program:Main.Sub.@tags", "Program:.@tags", "Main.@tags", "@tags.x"}) {
        spec.name = bad;
        EXPECT_EQ(list.compile(spec, &a), PLCTAG_ERR_BAD_PARAM) << bad;
    }
}

TEST(TagList, RepliesAreWholeRisingEntries)
{
    const Protocol &list = logix::tagListProtocol();
    const TagAddress a = compile(list, "@tags");
    // Instance 3: DINT[10] "Arr"; instance 9: STRING "Tx".
    const Bytes arr = cat({hex("03 00 00 00 c4 20 04 00 0a 00 00 00 00 00 00 00 00 00 00 00 03 00"), ascii("Arr")});
    const Bytes tx = cat({hex("09 00 00 00 ce 8f 58 00 00 00 00 00 00 00 00 00 00 00 00 00 02 00"), ascii("Tx")});
    ReadChunk c;
    const Bytes partial = cat({hex("d5 00 06 00"), arr, tx});
    ASSERT_EQ(decodeRead(list, a, partial, &c), PLCTAG_STATUS_OK);
    EXPECT_TRUE(c.more);
    EXPECT_EQ(c.nextOffset, 10u);
    EXPECT_BYTES(cat({arr, tx}), Bytes(c.data, c.data + c.size));
    ASSERT_EQ(decodeRead(list, a, cat({hex("d5 00 00 00"), tx}), &c), PLCTAG_STATUS_OK);
    EXPECT_FALSE(c.more);

    const struct {
        Bytes reply;
        int rc;
        const char *why;
    } bad[] = {
        {cat({hex("d5 00 00 00"), Bytes(arr.begin(), arr.end() - 1)}), PLCTAG_ERR_BAD_REPLY, "name cut short"},
        {cat({hex("d5 00 00 00"), tx, arr}), PLCTAG_ERR_BAD_REPLY, "instances not rising"},
        {hex("d5 00 06 00"), PLCTAG_ERR_BAD_REPLY, "0x06 without an entry"},
        {hex("d5 00 05 01 00 00"), PLCTAG_ERR_NOT_FOUND, "no such program"},
        {cat({hex("cc 00 00 00"), tx}), PLCTAG_ERR_BAD_REPLY, "another service's reply"},
    };
    for (const auto &b : bad)
        EXPECT_EQ(decodeRead(list, a, b.reply, &c), b.rc) << b.why;
    size_t consumed = 0;
    encodeWrite(list, a, arr, 0, 4000, &consumed, PLCTAG_ERR_NOT_ALLOWED);
}
