// The Omron readers against a scripted tag library: attribute strings, time-outs, and
// that every tag they create is destroyed. 192.0.2.10 is only ever compared as text.
#include "omron_reads.h"
#include "fake_plctag.h"

#include <gtest/gtest.h>

#include <libplctag.h>

using fake_plctag::log;
using fake_plctag::reset;
using fake_plctag::Script;

namespace {

Script versionBytes(std::vector<uint8_t> bytes)
{
    Script s;
    s.bytes = std::move(bytes);
    return s;
}

Script text(int length, std::string value)
{
    Script s;
    s.stringLength = length;
    s.text = std::move(value);
    return s;
}

} // namespace

TEST(OmronVersionRead, AttributeStringAndResult)
{
    reset(versionBytes({1, 10, 99}));
    EXPECT_EQ(readOmronVersion("192.0.2.10", "1,0", "_UnitVersion", 2), "1.10");
    ASSERT_EQ(log().created.size(), 1u);
    EXPECT_EQ(log().created[0], "protocol=ab_eip&gateway=192.0.2.10&path=1,0&plc=omron-njnx&elem_size=1&elem_count=2"
                                "&name=_UnitVersion[0]&share_session=1");
    EXPECT_EQ(log().createTimeouts, std::vector<int>{5000});
    EXPECT_EQ(log().readTimeouts, std::vector<int>{5000});
    EXPECT_EQ(log().destroyed, std::vector<int32_t>{7});

    reset(versionBytes({1, 2, 3}));
    EXPECT_EQ(readOmronVersion("192.0.2.10", "1,0", "_SystemSWVersion", 3), "1.2.3");
}

TEST(OmronVersionRead, RoutePathIsTrimmedAndDefaulted)
{
    for (const char *path : {"", "   ", " 1,0 ", "\t1,0\n"}) {
        reset(versionBytes({1, 0}));
        readOmronVersion("192.0.2.10", path, "_UnitVersion", 2);
        ASSERT_EQ(log().created.size(), 1u);
        EXPECT_NE(log().created[0].find("&path=1,0&plc="), std::string::npos) << '"' << path << '"';
    }
    // Values go in unchanged and are not expanded a second time.
    reset(versionBytes({1, 0}));
    readOmronVersion("192.0.2.10", "%2", "A%1", 2);
    EXPECT_NE(log().created[0].find("&path=%2&"), std::string::npos) << log().created[0];
    EXPECT_NE(log().created[0].find("&name=A%1[0]&"), std::string::npos) << log().created[0];
}

TEST(OmronVersionRead, NothingToReadOpensNoTag)
{
    reset(Script());
    EXPECT_TRUE(readOmronVersion("192.0.2.10", "1,0", "_UnitVersion", 0).isNull());
    EXPECT_TRUE(readOmronVersion("192.0.2.10", "1,0", "_UnitVersion", -1).isNull());
    EXPECT_TRUE(readOmronVersion("", "1,0", "_UnitVersion", 2).isNull());
    EXPECT_TRUE(log().created.empty());
}

TEST(OmronVersionRead, FailuresAreNullOrEmpty)
{
    Script failedCreate;
    failedCreate.createResult = PLCTAG_ERR_TIMEOUT;
    reset(failedCreate);
    EXPECT_TRUE(readOmronVersion("192.0.2.10", "1,0", "_UnitVersion", 2).isNull());
    EXPECT_TRUE(log().destroyed.empty());

    Script failedRead = versionBytes({1, 10});
    failedRead.readResult = PLCTAG_ERR_NOT_FOUND;
    reset(failedRead);
    const QString v = readOmronVersion("192.0.2.10", "1,0", "_UnitVersion", 2);
    EXPECT_FALSE(v.isNull());
    EXPECT_TRUE(v.isEmpty());
    EXPECT_EQ(log().destroyed.size(), 1u);
}

TEST(OmronStringRead, AttributeStringAndTrimmedUtf8)
{
    reset(text(11, " Rev \xc3\xa9 2\t "));
    EXPECT_EQ(readOmronString("192.0.2.10", "  ", "_HardwareRevision"), QString::fromUtf8("Rev \xc3\xa9 2"));
    ASSERT_EQ(log().created.size(), 1u);
    EXPECT_EQ(log().created[0], "protocol=ab_eip&gateway=192.0.2.10&path=1,0&plc=omron-njnx&elem_size=88&elem_count=1"
                                "&name=_HardwareRevision&share_session=1");
    EXPECT_EQ(log().stringBufferSize, 12);
    EXPECT_EQ(log().destroyed.size(), 1u);

    // The text ends at its first zero byte.
    reset(text(5, std::string("AB\0CD", 5)));
    EXPECT_EQ(readOmronString("192.0.2.10", "1,0", "_HardwareRevision"), "AB");
}

TEST(OmronStringRead, LengthOutsideOneTo255GivesNull)
{
    for (int length : {0, -5, 256, 1000}) {
        reset(text(length, "x"));
        EXPECT_TRUE(readOmronString("192.0.2.10", "1,0", "_HardwareRevision").isNull()) << length;
        EXPECT_EQ(log().stringBufferSize, -1) << length;
        EXPECT_EQ(log().destroyed.size(), 1u) << length;
    }
    reset(text(255, std::string(255, 'a')));
    EXPECT_EQ(readOmronString("192.0.2.10", "1,0", "_HardwareRevision").size(), 255);
}

TEST(OmronStringRead, FailuresGiveNull)
{
    reset(Script());
    EXPECT_TRUE(readOmronString("", "1,0", "_HardwareRevision").isNull());
    EXPECT_TRUE(log().created.empty());

    Script failedCreate;
    failedCreate.createResult = PLCTAG_ERR_BAD_GATEWAY;
    reset(failedCreate);
    EXPECT_TRUE(readOmronString("192.0.2.10", "1,0", "_HardwareRevision").isNull());
    EXPECT_TRUE(log().destroyed.empty());

    Script failedRead = text(3, "abc");
    failedRead.readResult = PLCTAG_ERR_TIMEOUT;
    reset(failedRead);
    EXPECT_TRUE(readOmronString("192.0.2.10", "1,0", "_HardwareRevision").isNull());
    EXPECT_EQ(log().destroyed.size(), 1u);

    Script failedGet = text(3, "abc");
    failedGet.getStringResult = PLCTAG_ERR_OUT_OF_BOUNDS;
    reset(failedGet);
    EXPECT_TRUE(readOmronString("192.0.2.10", "1,0", "_HardwareRevision").isNull());
    EXPECT_EQ(log().destroyed.size(), 1u);
}
