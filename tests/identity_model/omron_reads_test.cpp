// The Omron readers against the scripted tag library: attribute strings, time-outs, and that
// every tag they create is destroyed. 192.0.2.10 is only ever compared as text.
#include "identity/omron_reads.h"

#include "fake_plctag.h"

#include <gtest/gtest.h>

#include <cstring>

#include <libplctag.h>

namespace {

const char kVersionAttrs[] = "protocol=ab_eip&gateway=192.0.2.10&path=1,0&plc=omron-njnx&elem_size=1&elem_count=2"
                             "&name=_UnitVersion[0]&share_session=1 timeout=5000";
const char kTextAttrs[] = "protocol=ab_eip&gateway=192.0.2.10&path=1,0&plc=omron-njnx&elem_size=88&elem_count=1"
                          "&name=_HardwareRevision&share_session=1 timeout=5000";

// A text variable as the fake lays strings out: a 4-byte count, then the characters.
void holdText(int32_t length, const std::string &text)
{
    std::vector<uint8_t> b(4 + text.size());
    std::memcpy(b.data(), &length, 4);
    std::memcpy(b.data() + 4, text.data(), text.size());
    fake_plctag::script("_HardwareRevision").initial = b;
}

size_t created() { return fake_plctag::callsMatching("create").size(); }
size_t destroyed() { return fake_plctag::callsMatching("destroy").size(); }

class OmronReads : public ::testing::Test {
protected:
    void SetUp() override { fake_plctag::reset(); }
};

} // namespace

TEST_F(OmronReads, VersionAttributesAndParts)
{
    fake_plctag::script("_UnitVersion[0]").initial = {1, 10, 99};
    EXPECT_EQ(readOmronVersion("192.0.2.10", "1,0", "_UnitVersion", 2), "1.10");
    EXPECT_EQ(fake_plctag::callsMatching("create"), std::vector<std::string>{std::string("create ") + kVersionAttrs});
    EXPECT_EQ(fake_plctag::callsMatching("read"), std::vector<std::string>{"read 100 timeout=5000"});
    EXPECT_EQ(destroyed(), 1u);

    fake_plctag::script("_SystemSWVersion[0]").initial = {1, 2, 3};
    EXPECT_EQ(readOmronVersion("192.0.2.10", "1,0", "_SystemSWVersion", 3), "1.2.3");
}

TEST_F(OmronReads, RoutesAreTrimmedOrDefaultedAndValuesGoInAsGiven)
{
    for (const char *path : {"", "   ", " 1,0 ", "\t1,0\n"}) {
        fake_plctag::reset();
        readOmronString("192.0.2.10", path, "_HardwareRevision");
        EXPECT_EQ(fake_plctag::callsMatching("create").at(0), std::string("create ") + kTextAttrs) << path;
    }
    readOmronVersion("192.0.2.10", "%2", "A%1", 2);
    EXPECT_NE(fake_plctag::callsMatching("create").back().find("&path=%2&plc=omron-njnx&elem_size=1&elem_count=2"
                                                               "&name=A%1[0]&"),
              std::string::npos);
}

TEST_F(OmronReads, VersionFailures)
{
    EXPECT_TRUE(readOmronVersion("192.0.2.10", "1,0", "_UnitVersion", 0).isNull());
    EXPECT_TRUE(readOmronVersion("", "1,0", "_UnitVersion", 2).isNull());
    EXPECT_EQ(created(), 0u);

    fake_plctag::script("_UnitVersion[0]").createResult = PLCTAG_ERR_TIMEOUT;
    EXPECT_TRUE(readOmronVersion("192.0.2.10", "1,0", "_UnitVersion", 2).isNull());
    EXPECT_EQ(destroyed(), 0u);

    fake_plctag::script("_UnitVersion[0]") = fake_plctag::Script();
    fake_plctag::script("_UnitVersion[0]").readResult = PLCTAG_ERR_NOT_FOUND;
    const QString v = readOmronVersion("192.0.2.10", "1,0", "_UnitVersion", 2);
    EXPECT_FALSE(v.isNull());
    EXPECT_TRUE(v.isEmpty());
    EXPECT_EQ(destroyed(), 1u);
}

TEST_F(OmronReads, TextTrimmedUpToItsFirstZero)
{
    holdText(11, " Rev \xc3\xa9 2\t ");
    EXPECT_EQ(readOmronString("192.0.2.10", "1,0", "_HardwareRevision"), QString::fromUtf8("Rev \xc3\xa9 2"));
    EXPECT_EQ(fake_plctag::callsMatching("get_string ").back(), "get_string 100 0 12"); // length + 1
    holdText(5, std::string("AB\0CD", 5));
    EXPECT_EQ(readOmronString("192.0.2.10", "1,0", "_HardwareRevision"), "AB");
    holdText(255, std::string(255, 'a'));
    EXPECT_EQ(readOmronString("192.0.2.10", "1,0", "_HardwareRevision").size(), 255);
    EXPECT_EQ(destroyed(), 3u);
}

TEST_F(OmronReads, TextFailuresGiveNull)
{
    EXPECT_TRUE(readOmronString("", "1,0", "_HardwareRevision").isNull());
    for (int length : {0, -5, 256}) {
        holdText(length, "x");
        EXPECT_TRUE(readOmronString("192.0.2.10", "1,0", "_HardwareRevision").isNull()) << length;
    }
    EXPECT_TRUE(fake_plctag::callsMatching("get_string ").empty());
    holdText(200, "ab"); // the count runs past the buffer: get_string fails
    EXPECT_TRUE(readOmronString("192.0.2.10", "1,0", "_HardwareRevision").isNull());
    fake_plctag::script("_HardwareRevision").readResult = PLCTAG_ERR_TIMEOUT;
    EXPECT_TRUE(readOmronString("192.0.2.10", "1,0", "_HardwareRevision").isNull());
    EXPECT_EQ(destroyed(), created());
    fake_plctag::script("_HardwareRevision").createResult = PLCTAG_ERR_BAD_GATEWAY;
    EXPECT_TRUE(readOmronString("192.0.2.10", "1,0", "_HardwareRevision").isNull());
    EXPECT_EQ(destroyed() + 1, created());
}
