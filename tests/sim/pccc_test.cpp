// Execute PCCC to SLC 500 / MicroLogix (typed logical commands) and PLC-5 (word range and
// read-modify-write): address forms, PCCC error replies, and the small connections of these
// families. The plain typed reads and writes are replayed from captures in
// capture_replay_test.cpp. Addresses 127.0.10.140-169.
#include "sim_fixture.h"

namespace simtest {
namespace {

class PcccTest : public SimTest {
protected:
    void begin(int octet, Personality p)
    {
        start(octet, p,
              {tagDef("N7", CipType::Int, {20}), tagDef("F8", CipType::Real, {10}), tagDef("ST18", CipType::String, {2}),
               tagDef("L19", CipType::Dint, {4})});
        c = connect();
    }
    // Execute PCCC with our requestor id; the reply echoes it.
    static Bytes request(const char *command) { return hex("4b 02 20 67 24 01 07 0d f0 be ba fe ca") + hex(command); }
    static std::string reply(const char *command)
    {
        return toHex(hex("cb 00 00 00 07 0d f0 be ba fe ca") + hex(command));
    }
    std::string pccc(const char *command) { return toHex(rr(c, request(command))); }
    Client c;
};

class SlcFamily : public PcccTest, public ::testing::WithParamInterface<std::pair<Personality, int>> {
protected:
    void begin(int test) { PcccTest::begin(GetParam().second + test, GetParam().first); }
};

TEST_P(SlcFamily, MaskedWritesAndEveryAddressForm)
{
    begin(0);
    ASSERT_TRUE(sim->setInt("B3", 0x0101, 0));
    EXPECT_EQ(pccc("0f 00 35 12 ab 02 03 85 00 00 20 00 20 00"), reply("4f 00 35 12")); // B3:0/5 := 1
    EXPECT_EQ(pccc("0f 00 36 12 ab 02 03 85 00 00 01 00 00 00"), reply("4f 00 36 12")); // B3:0/0 := 0
    EXPECT_EQ(sim->getInt("B3", 0), 0x0120);

    ASSERT_TRUE(sim->setInt("N7", -2, 3));
    EXPECT_EQ(pccc("0f 00 37 12 a1 02 07 89 03"), reply("4f 00 37 12 fe ff"));          // two address fields
    EXPECT_EQ(pccc("0f 00 38 12 a2 02 ff 07 00 89 03 00"), reply("4f 00 38 12 fe ff")); // file as ff lo hi
    EXPECT_EQ(pccc("0f 00 39 12 a9 02 07 89 04 39 30"), reply("4f 00 39 12"));
    EXPECT_EQ(sim->getInt("N7", 4), 12345);

    ASSERT_TRUE(sim->setInt("T4", 500, 2)); // T4:0.ACC is sub-element 2
    EXPECT_EQ(pccc("0f 00 3a 12 a2 02 04 86 00 02"), reply("4f 00 3a 12 f4 01"));
    EXPECT_EQ(pccc("0f 00 3b 12 a2 04 08 8a 02 00"), reply("4f 00 3b 12 00 00 00 00"));
}

TEST_P(SlcFamily, ErrorRepliesCarryStsAndExtSts)
{
    begin(1);
    EXPECT_EQ(pccc("0f 00 40 12 a2 02 28 89 00 00"), reply("4f f0 40 12 06"));       // no file 40
    EXPECT_EQ(pccc("0f 00 41 12 a2 02 07 89 14 00"), reply("4f f0 41 12 07"));       // N7:20 of 20
    EXPECT_EQ(pccc("0f 00 42 12 a2 04 07 89 13 00"), reply("4f f0 42 12 07"));       // N7:19 and one more
    EXPECT_EQ(pccc("0f 00 43 12 aa 04 07 89 13 00 01 00 02 00"), reply("4f f0 43 12 07"));
    EXPECT_EQ(pccc("0f 00 44 12 a2 02 08 89 00 00"), reply("4f 10 44 12"));          // F8 is not an N file
    EXPECT_EQ(pccc("0f 00 45 12 aa 02 07 89 00 00 01 00 02 00"), reply("4f 10 45 12")); // more data than said
    EXPECT_EQ(pccc("0f 00 46 12 68 00 00 01 00 06 07 00 01 00"), reply("4f f0 46 12 0e")); // a PLC-5 command
    EXPECT_EQ(pccc("06 00 47 12 03"), reply("46 f0 47 12 0e"));                     // reply CMD = CMD | 0x40
    EXPECT_EQ(sim->getInt("N7", 19), 0);
    EXPECT_EQ(sim->getInt("N7", 0), 0);
}

TEST_P(SlcFamily, SmallConnectionsOnlyAndConnectedPccc)
{
    begin(2);
    EXPECT_EQ(toHex(rr(c, forwardOpen(true, 500, {}))), "db 00 08 00");
    EXPECT_EQ(toHex(rr(c, forwardOpen(false, 257, {}))), "d4 00 01 02 09 01 00 01 01 01 0d f0 be ba fe ca 00 00");
    const Connection conn = open(c, {}, false, 256);
    ASSERT_TRUE(sim->setInt("N7", 1234, 0));
    EXPECT_EQ(toHex(unit(c, conn, request("0f 00 50 12 a2 02 07 89 00 00"))), reply("4f 00 50 12 d2 04"));
    EXPECT_EQ(toHex(unit(c, conn, request("0f 00 51 12 aa 02 07 89 01 00 2e fb"))), reply("4f 00 51 12"));
    EXPECT_EQ(sim->getInt("N7", 1), -1234);
}

INSTANTIATE_TEST_SUITE_P(Families, SlcFamily,
                         ::testing::Values(std::make_pair(Personality::Slc500, 140),
                                           std::make_pair(Personality::MicroLogix, 150)),
                         [](const ::testing::TestParamInfo<std::pair<Personality, int>> &i) {
                             return std::string(absim::personalityName(i.param.first));
                         });

using Plc5 = PcccTest;

TEST_F(Plc5, WordRangeReadModifyWriteAndErrors)
{
    begin(160, Personality::Plc5);
    // Both address forms: mask 0x07 with level 1 present, mask 0x06 without it.
    EXPECT_EQ(pccc("0f 00 01 00 00 00 00 02 00 07 00 07 05 2a 00 d6 ff"), reply("4f 00 01 00"));
    EXPECT_EQ(sim->getInt("N7", 5), 42);
    EXPECT_EQ(sim->getInt("N7", 6), -42);
    EXPECT_EQ(pccc("0f 00 02 00 01 00 00 02 00 06 07 05 04"), reply("4f 00 02 00 2a 00 d6 ff"));
    EXPECT_EQ(pccc("0f 00 03 00 01 01 00 02 00 06 07 05 02"), reply("4f 00 03 00 d6 ff")); // from word 1

    // Read-modify-write: AND mask, then OR mask, per word.
    EXPECT_EQ(pccc("0f 00 04 00 26 06 07 05 ff ff 00 01 00 ff 00 00"), reply("4f 00 04 00"));
    EXPECT_EQ(sim->getInt("N7", 5), 42 | 0x100);
    EXPECT_EQ(sim->getInt("N7", 6), -256);

    EXPECT_EQ(pccc("0f 00 05 00 01 00 00 01 00 06 28 00 02"), reply("4f f0 05 00 06"));    // no file 40
    EXPECT_EQ(pccc("0f 00 06 00 01 00 00 02 00 06 07 13 04"), reply("4f f0 06 00 07"));    // past N7:19
    EXPECT_EQ(pccc("0f 00 07 00 00 00 00 02 00 06 07 13 01 00 02 00"), reply("4f f0 07 00 07"));
    EXPECT_EQ(pccc("0f 00 08 00 01 00 00 01 00 06 07 00 03"), reply("4f 10 08 00"));       // odd byte count
    EXPECT_EQ(pccc("0f 00 09 00 01 00 00 01 00 07 01 07 00 02"), reply("4f 10 09 00"));    // level 1 not 0
    EXPECT_EQ(pccc("0f 00 0a 00 a2 02 07 89 00 00"), reply("4f f0 0a 00 0e"));             // an SLC command
    EXPECT_EQ(sim->getInt("N7", 19), 0);
}

} // namespace
} // namespace simtest
