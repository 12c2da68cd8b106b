// String layouts of each family over raw tag buffers (bytes from the captures), and the
// attribute string: its parser, gateway and byte-order values, and the tag settings and
// session key built from it. Example addresses (192.0.2.x) are only parsed, never opened.
#include "hex.h"

#include "api/tag_config.h"
#include "attributes/attributes.h"
#include "buffer/strings.h"
#include "families/families.h"
#include "libplctag.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using namespace plctag;
using buffer::StringLayout;

namespace {

const StringLayout &layoutOf(FamilyId id) { return family(id).strings; }

std::string get(const StringLayout &l, const Bytes &buf, int offset = 0, int len = 100)
{
    char out[101];
    std::memset(out, 'x', sizeof out);
    const int rc = buffer::getString(l, buf, offset, out, len);
    EXPECT_EQ(rc, PLCTAG_STATUS_OK);
    return rc == PLCTAG_STATUS_OK ? std::string(out, strnlen(out, size_t(len))) : std::string();
}

} // namespace

TEST(StringLayouts, LogixFixed88Bytes)
{
    const StringLayout &l = layoutOf(FamilyId::Logix);
    // abserver-logix-write-read-string.txt: "hello plc" as written and read back.
    const Bytes captured = cat({hex("09 00 00 00"), ascii("hello plc"), Bytes(75, 0)});
    Bytes buf(88, 0xee);
    ASSERT_EQ(buffer::setString(l, buf, 0, "hello plc"), PLCTAG_STATUS_OK);
    EXPECT_BYTES(Bytes(captured.begin(), captured.begin() + 86), Bytes(buf.begin(), buf.begin() + 86));
    EXPECT_BYTES(hex("ee ee"), Bytes(buf.begin() + 86, buf.end())) << "the pad bytes are left alone";
    EXPECT_EQ(get(l, captured), "hello plc");
    EXPECT_EQ(buffer::stringLength(l, captured, 0), 9);
    EXPECT_EQ(buffer::stringCapacity(l, captured, 0), 82);
    EXPECT_EQ(buffer::stringTotalLength(l, captured, 0), 88);

    // Five characters into a 5-byte buffer: no terminating NUL, nothing past it touched.
    char out[8];
    std::memset(out, 'x', sizeof out);
    ASSERT_EQ(buffer::getString(l, captured, 0, out, 5), PLCTAG_STATUS_OK);
    EXPECT_EQ(std::string(out, 8), "helloxxx");

    EXPECT_EQ(buffer::setString(l, buf, 0, std::string(82, 'a').c_str()), PLCTAG_STATUS_OK);
    EXPECT_EQ(buffer::setString(l, buf, 0, std::string(83, 'a').c_str()), PLCTAG_ERR_TOO_LARGE);
    EXPECT_EQ(buffer::setString(l, buf, 4, "x"), PLCTAG_ERR_BAD_CONFIG) << "the slot does not fit";
    EXPECT_EQ(buffer::setString(l, buf, 0, nullptr), PLCTAG_ERR_NULL_PTR);
    EXPECT_EQ(buffer::stringLength(l, buf, 86), PLCTAG_ERR_OUT_OF_BOUNDS) << "count word past the end";
    const Bytes negative = cat({hex("ff ff ff ff"), Bytes(84, 0)});
    EXPECT_EQ(buffer::stringLength(l, negative, 0), PLCTAG_ERR_BAD_DATA);
    const Bytes tooLong = cat({hex("54 00 00 00"), Bytes(84, 'a')}); // 84 > 82: honoured, it fits
    EXPECT_EQ(buffer::stringLength(l, tooLong, 0), 84);
    EXPECT_EQ(get(l, tooLong).size(), 84u);
    const Bytes pastEnd = cat({hex("58 00 00 00"), Bytes(84, 'a')}); // 88 characters do not
    char big[100];
    EXPECT_EQ(buffer::getString(l, pastEnd, 0, big, 100), PLCTAG_ERR_OUT_OF_BOUNDS);
}

TEST(StringLayouts, PcccByteSwappedPairs)
{
    const StringLayout &l = layoutOf(FamilyId::Slc500);
    // slc500-st18-0.txt: "slc string" as written (and read back) in ST18:0.
    const Bytes captured = cat({hex("0a 00 6c 73 20 63 74 73 69 72 67 6e"), Bytes(72, 0)});
    Bytes buf(84, 0xee);
    ASSERT_EQ(buffer::setString(l, buf, 0, "slc string"), PLCTAG_STATUS_OK);
    EXPECT_BYTES(captured, buf);
    EXPECT_EQ(get(l, captured), "slc string");
    EXPECT_EQ(buffer::stringTotalLength(l, captured, 0), 84);
    // An odd length: the last character sits in the high byte of its pair.
    ASSERT_EQ(buffer::setString(l, buf, 0, "abc"), PLCTAG_STATUS_OK);
    EXPECT_BYTES(hex("03 00 62 61 00 63 00 00"), Bytes(buf.begin(), buf.begin() + 8));
    EXPECT_EQ(get(l, buf), "abc");
    EXPECT_EQ(get(l, buf, 0, 2), "ab");
    // Second element of an ST array at 84.
    Bytes two(168, 0);
    ASSERT_EQ(buffer::setString(l, two, 84, "xy"), PLCTAG_STATUS_OK);
    EXPECT_BYTES(hex("02 00 79 78"), Bytes(two.begin() + 84, two.begin() + 88));
    EXPECT_EQ(buffer::setString(l, two, 85, "xy"), PLCTAG_ERR_BAD_CONFIG);
}

TEST(StringLayouts, CountedVariableStrings)
{
    // Omron: UINT count, the characters, reported with a NUL (pycomm3-logix-read-string-d0.txt).
    const StringLayout &omron = layoutOf(FamilyId::Omron);
    Bytes buf = cat({hex("0a 00"), ascii("world wide")});
    EXPECT_EQ(get(omron, buf), "world wide");
    EXPECT_EQ(buffer::stringCapacity(omron, buf, 0), 10) << "capacity is the current length";
    EXPECT_EQ(buffer::stringTotalLength(omron, buf, 0), 13);
    ASSERT_EQ(buffer::setString(omron, buf, 0, "omron"), PLCTAG_STATUS_OK);
    EXPECT_BYTES(cat({hex("05 00"), ascii("omron")}), buf) << "the buffer shrinks with the string";
    ASSERT_EQ(buffer::setString(omron, buf, 0, "a longer text"), PLCTAG_STATUS_OK);
    EXPECT_BYTES(cat({hex("0d 00"), ascii("a longer text")}), buf) << "and grows";
    Bytes empty;
    ASSERT_EQ(buffer::setString(omron, empty, 0, ""), PLCTAG_STATUS_OK);
    EXPECT_BYTES(hex("00 00"), empty);
    EXPECT_EQ(buffer::stringTotalLength(omron, empty, 0), 3);

    // Micro800 SHORT_STRING: one count byte (pycomm3-logix-read-sstring.txt: "hello").
    const StringLayout &m8 = layoutOf(FamilyId::Micro800);
    Bytes s = cat({hex("05"), ascii("hello")});
    EXPECT_EQ(get(m8, s), "hello");
    EXPECT_EQ(buffer::stringCapacity(m8, s, 0), 255);
    ASSERT_EQ(buffer::setString(m8, s, 0, "micro800 str"), PLCTAG_STATUS_OK);
    EXPECT_BYTES(cat({hex("0c"), ascii("micro800 str")}), s);
    EXPECT_EQ(buffer::setString(m8, s, 0, std::string(256, 'a').c_str()), PLCTAG_ERR_TOO_LARGE);
    EXPECT_EQ(buffer::stringLength(m8, s, 14), PLCTAG_ERR_OUT_OF_BOUNDS);
    EXPECT_EQ(buffer::stringLength(StringLayout{}, s, 0), PLCTAG_ERR_UNSUPPORTED) << "no string definition";
}

TEST(StringLayouts, ChosenByTheTypeOfTheReply)
{
    // What the controller returned decides how the string is read and written back.
    const Bytes logix88 = cat({hex("09 00 00 00"), ascii("hello plc"), Bytes(75, 0)});
    struct Case {
        const char *what;
        FamilyId family;
        Bytes type;
        Bytes buf;
        const char *read;
        Bytes written; // after setString("new")
    };
    const Case cases[] = {
        {"0xD0 CIP STRING (pycomm3-logix-read-string-d0.txt)", FamilyId::Logix, hex("d0 00"),
         cat({hex("0a 00"), ascii("world wide")}), "world wide", cat({hex("03 00"), ascii("new")})},
        {"0xDA SHORT_STRING (pycomm3-logix-read-sstring.txt)", FamilyId::Logix, hex("da 00"),
         cat({hex("05"), ascii("hello")}), "hello", cat({hex("03"), ascii("new")})},
        {"0xD0 over a Logix structure (abserver-logix-write-read-string.txt)", FamilyId::Logix, hex("d0 00"), logix88,
         "hello plc", cat({hex("03 00 00 00"), ascii("new"), Bytes(81, 0)})},
        {"the STRING structure's handle", FamilyId::Logix, hex("a0 02 ce 0f"), logix88, "hello plc",
         cat({hex("03 00 00 00"), ascii("new"), Bytes(81, 0)})},
        {"0xD0 on Omron keeps Omron's layout", FamilyId::Omron, hex("d0 00"), cat({hex("02 00"), ascii("ab")}), "ab",
         cat({hex("03 00"), ascii("new")})},
        {"0xDA on Micro800", FamilyId::Micro800, hex("da 00"), cat({hex("01"), ascii("m")}), "m",
         cat({hex("03"), ascii("new")})},
        {"no read yet: the family's", FamilyId::Logix, Bytes(), logix88, "hello plc",
         cat({hex("03 00 00 00"), ascii("new"), Bytes(81, 0)})},
    };
    for (const Case &c : cases) {
        const StringLayout l = buffer::layoutForType(layoutOf(c.family), c.type.data(), c.type.size(), c.buf);
        EXPECT_EQ(get(l, c.buf), c.read) << c.what;
        Bytes buf = c.buf;
        ASSERT_EQ(buffer::setString(l, buf, 0, "new"), PLCTAG_STATUS_OK) << c.what;
        EXPECT_BYTES(c.written, Bytes(buf.begin(), buf.begin() + long(std::min(buf.size(), c.written.size()))))
            << c.what;
        const StringLayout again = buffer::layoutForType(layoutOf(c.family), c.type.data(), c.type.size(), buf);
        EXPECT_EQ(get(again, buf), "new") << c.what << ": the written buffer keeps its layout";
    }
}

TEST(AttributeString, ParsingRules)
{
    Attributes a;
    ASSERT_EQ(a.parse("protocol=ab_eip&&gateway=192.0.2.10& path = 1,0&plc=ControlLogix&name=Counter"
                      "&elem_count=010&elem_size=0x10&debug=3junk&read_cache_ms=abc&"),
              PLCTAG_STATUS_OK);
    EXPECT_EQ(*a.find("gateway"), "192.0.2.10");
    EXPECT_EQ(*a.find("path"), " 1,0") << "keys are trimmed, values are not";
    EXPECT_EQ(a.getInt("elem_count", 1), 8) << "leading 0: octal";
    EXPECT_EQ(a.getInt("elem_size", 0), 16);
    EXPECT_EQ(a.getInt("debug", 0), 3) << "trailing junk ignored";
    EXPECT_EQ(a.getInt("read_cache_ms", 7), 7) << "no number: the default";
    EXPECT_EQ(a.find("Protocol"), nullptr) << "keys are case-sensitive";
    ASSERT_EQ(a.parse("name=a&name=b"), PLCTAG_STATUS_OK);
    EXPECT_EQ(*a.find("name"), "b") << "the last one wins";

    for (const char *bad : {"protocol", "protocol=ab_eip&gateway", "gateway=", "=x", " =x", "a=1&&b"})
        EXPECT_EQ(a.parse(bad), PLCTAG_ERR_BAD_DATA) << '"' << bad << '"';
    EXPECT_EQ(a.parse(""), PLCTAG_STATUS_OK);
    EXPECT_EQ(a.parse("&&&"), PLCTAG_STATUS_OK);
}

TEST(AttributeString, ByteOrder)
{
    uint8_t order[8] = {};
    ASSERT_EQ(parseByteOrder("3210", 4, order), PLCTAG_STATUS_OK);
    EXPECT_BYTES(hex("03 02 01 00"), Bytes(order, order + 4));
    EXPECT_EQ(parseByteOrder("32100", 4, order), PLCTAG_ERR_TOO_LARGE);
    EXPECT_EQ(parseByteOrder("3310", 4, order), PLCTAG_ERR_BAD_DATA);
    EXPECT_EQ(parseByteOrder("3214", 4, order), PLCTAG_ERR_BAD_DATA);
}

TEST(AttributeString, TagSettingsAndSessionKey)
{
    auto configure = [](const char *text, Tag *t, TagConfig *cfg) {
        Attributes a;
        EXPECT_EQ(a.parse(text), PLCTAG_STATUS_OK) << text;
        return configureTag(a, t, cfg);
    };
    Tag t;
    TagConfig cfg;
    ASSERT_EQ(configure("protocol=ab-eip&gateway=192.0.2.10:44818&cpu=LGX&path=1,0&name=Arr[2]&elem_count=3",
                        &t, &cfg),
              PLCTAG_STATUS_OK);
    EXPECT_EQ(t.family->id, FamilyId::Logix);
    EXPECT_BYTES(cat({hex("91 03"), ascii("Arr"), hex("00 28 02")}), t.addr.path);
    EXPECT_EQ(t.addr.elemCount, 3);
    EXPECT_EQ(cfg.session.host, "192.0.2.10");
    EXPECT_BYTES(hex("01 00"), cfg.session.route);
    EXPECT_TRUE(cfg.session.connected);
    EXPECT_TRUE(cfg.shareSession);
    Tag u;
    TagConfig other;
    ASSERT_EQ(configure("protocol=ab_eip&gateway=192.0.2.10:44818&plc=controllogix&path=1,0&name=X", &u, &other),
              PLCTAG_STATUS_OK);
    EXPECT_EQ(cfg.sessionKey, other.sessionKey) << "same gateway, path and group: one session";
    ASSERT_EQ(configure("protocol=ab_eip&gateway=192.0.2.10&plc=controllogix&path=1,0&name=X", &u, &other),
              PLCTAG_STATUS_OK);
    EXPECT_NE(cfg.sessionKey, other.sessionKey) << "the gateway is compared as written";
    ASSERT_EQ(configure("protocol=ab_eip&gateway=192.0.2.10&plc=lgx&path=1,0&name=X&use_connected_msg=0", &u,
                        &other),
              PLCTAG_STATUS_OK);
    EXPECT_FALSE(other.session.connected);

    // PCCC: the buffer exists from creation, sized by the file type.
    Tag p;
    ASSERT_EQ(configure("protocol=ab_eip&gateway=192.0.2.11&plc=slc500&name=F8:0&elem_count=4", &p, &cfg),
              PLCTAG_STATUS_OK);
    EXPECT_EQ(p.data.size(), 16u);
    EXPECT_FALSE(cfg.session.connected);

    struct Case {
        const char *text;
        int expect;
    };
    const Case cases[] = {
        {"gateway=192.0.2.10&plc=lgx&path=1,0&name=X", PLCTAG_ERR_BAD_PARAM},            // no protocol
        {"protocol=AB_EIP&gateway=192.0.2.10&plc=lgx&path=1,0&name=X", PLCTAG_ERR_BAD_PARAM},
        {"protocol=ab_eip&gateway=192.0.2.10&path=1,0&name=X", PLCTAG_ERR_CREATE},        // no plc
        {"protocol=ab_eip&gateway=192.0.2.10&plc=plc9000&path=1,0&name=X", PLCTAG_ERR_CREATE},
        {"protocol=ab_eip&gateway=192.0.2.10&plc=lgx&name=X", PLCTAG_ERR_BAD_PARAM},      // Logix needs a path
        {"protocol=ab_eip&gateway=192.0.2.10&plc=omron-njnx&name=X", PLCTAG_ERR_BAD_PARAM},
        {"protocol=ab_eip&gateway=192.0.2.10&plc=lgx&path=1,99&name=X", PLCTAG_ERR_BAD_GATEWAY},
        {"protocol=ab_eip&gateway=192.0.2.10&plc=lgx&path=1,0", PLCTAG_ERR_BAD_PARAM},    // no name
        {"protocol=ab_eip&gateway=192.0.2.10&plc=lgx&path=1,0&name=1abc", PLCTAG_ERR_BAD_PARAM},
        {"protocol=ab_eip&gateway=192.0.2.10&plc=lgx&path=1,0&name= X", PLCTAG_ERR_BAD_PARAM},
        {"protocol=ab_eip&gateway=192.0.2.10&plc=lgx&path=1,0&name=X.5&elem_count=2", PLCTAG_ERR_BAD_PARAM},
        {"protocol=ab_eip&gateway=192.0.2.10&plc=lgx&path=1,0&name=X&elem_count=70000", PLCTAG_ERR_BAD_PARAM},
        {"protocol=ab_eip&gateway=192.0.2.10&plc=lgx&path=1,0&name=@raw", PLCTAG_ERR_UNSUPPORTED},
        {"protocol=ab_eip&gateway=192.0.2.10&plc=slc&name=N7", PLCTAG_ERR_BAD_PARAM},
        {"protocol=ab_eip&gateway=192.0.2.10&plc=slc&name=N7:0/16", PLCTAG_ERR_OUT_OF_BOUNDS},
        {"protocol=ab_eip&gateway=192.0.2.10&plc=lgx&path=1,0&name=X&elem_type=quux", PLCTAG_ERR_UNSUPPORTED},
        {"protocol=ab_eip&gateway=192.0.2.10&plc=lgx&path=1,0&name=X&auto_sync_read_ms=-1", PLCTAG_ERR_BAD_PARAM},
        {"protocol=ab_eip&gateway=192.0.2.10&plc=lgx&path=1,0&name=X&connection_group_id=40000",
         PLCTAG_ERR_OUT_OF_BOUNDS},
        {"protocol=ab_eip&gateway=192.0.2.10&plc=lgx&path=1,0&name=X&int32_byte_order=012", PLCTAG_ERR_TOO_SMALL},
        {"protocol=ab_eip&gateway=192.0.2.10&plc=lgx&path=1,0&name=X&str_count_word_bytes=3", PLCTAG_ERR_BAD_PARAM},
        {"protocol=ab_eip&gateway=192.0.2.10&plc=lgx&path=1,0&name=X&str_max_capacity=70000", PLCTAG_ERR_BAD_PARAM},
        {"protocol=ab_eip&gateway=192.0.2.10&plc=lgx&path=1,0&name=X&str_is_counted=1&str_count_word_bytes=0",
         PLCTAG_ERR_BAD_PARAM},
        {"protocol=ab_eip&gateway=192.0.2.10&plc=lgx&path=1,0&name=X&str_is_fixed_length=1&str_total_length=0",
         PLCTAG_ERR_BAD_PARAM},
    };
    for (const Case &c : cases) {
        Tag x;
        EXPECT_EQ(configure(c.text, &x, &cfg), c.expect) << c.text;
    }
}
