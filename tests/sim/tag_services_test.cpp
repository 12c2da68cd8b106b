// Logix tag services (Read / Write Tag, fragmented forms, Read-Modify-Write) and their error
// replies, then the Omron wire dialect.
// Addresses 127.0.10.90-129.
#include "sim_fixture.h"

namespace simtest {
namespace {

std::vector<std::string> steps(int n, int first, int step)
{
    std::vector<std::string> v;
    for (int i = 0; i < n; ++i)
        v.push_back(std::to_string(first + step * i));
    return v;
}

class LogixTags : public SimTest {
protected:
    void begin(int octet, bool large = false)
    {
        start(octet, Personality::ControlLogix,
              {tagDef("Small", CipType::Sint, {}, {"-5"}), tagDef("Mid", CipType::Int, {}, {"-1234"}),
               tagDef("Counter", CipType::Dint, {}, {"12345"}), tagDef("Big", CipType::Lint, {}, {"-1099511627776"}),
               tagDef("Temp", CipType::Real, {}, {"3.25"}), tagDef("Dbl", CipType::Lreal, {}, {"2.718281828459045"}),
               tagDef("Flag", CipType::Bool, {}, {"1"}), tagDef("A", CipType::Dint, {}, {"42"}),
               tagDef("Arr", CipType::Dint, {10}, steps(10, 101, 1)), tagDef("Grid", CipType::Int, {2, 3}, steps(6, 10, 1)),
               tagDef("Large", CipType::Dint, {1000}, steps(1000, 1, 3)), tagDef("Text", CipType::String, {}, {"hello plc"}),
               tagDef("Program:Main.Speed", CipType::Dint, {}, {"77"})});
        c = connect();
        conn = open(c, hex("01 00"), large, large ? 4002 : 504);
    }
    // Request and expected reply, each as hex.
    void expectReplies(const std::vector<std::pair<const char *, const char *>> &cases)
    {
        for (const auto &rq : cases)
            EXPECT_EQ(toHex(unit(c, conn, hex(rq.first))), toHex(hex(rq.second))) << rq.first;
    }
    Client c;
    Connection conn;
};

// The scalar reads and writes of the captures are replayed in capture_replay_test.cpp.
TEST_F(LogixTags, ReadTagLaysOutEveryTypeAndIndexForm)
{
    begin(90);
    expectReplies({
        {"4c 04 91 05 'Small' 00 01 00", "cc 00 00 00 c2 00 fb"},
        {"4c 03 91 03 'Mid' 00 01 00", "cc 00 00 00 c3 00 2e fb"},
        {"4c 05 91 07 'COUNTER' 00 01 00", "cc 00 00 00 c4 00 39 30 00 00"}, // names are case-insensitive
        {"4c 03 91 04 'Flag' 01 00", "cc 00 00 00 c1 00 ff"}, // true before v30
        {"4c 04 91 03 'Arr' 00 28 02 03 00", "cc 00 00 00 c4 00 67 00 00 00 68 00 00 00 69 00 00 00"},
        {"4c 06 91 05 'Large' 00 29 00 2c 01 01 00", "cc 00 00 00 c4 00 85 03 00 00"},         // [300] 16-bit
        {"4c 07 91 05 'Large' 00 2a 00 e7 03 00 00 01 00", "cc 00 00 00 c4 00 b6 0b 00 00"}, // [999] 32-bit
        {"4c 05 91 04 'Grid' 28 01 28 02 01 00", "cc 00 00 00 c3 00 0f 00"},                 // [1,2]
        {"4c 0b 91 0c 'Program:Main' 91 05 'Speed' 00 01 00", "cc 00 00 00 c4 00 4d 00 00 00"},
        // By symbol instance (tags count from 1 in the order configured), in its scope only.
        {"4c 03 20 6b 25 00 03 00 01 00", "cc 00 00 00 c4 00 39 30 00 00"},
        {"4c 04 20 6b 25 00 09 00 28 02 01 00", "cc 00 00 00 c4 00 67 00 00 00"},
        {"4c 0a 91 0c 'Program:Main' 20 6b 25 00 0d 00 01 00", "cc 00 00 00 c4 00 4d 00 00 00"},
        {"4c 03 20 6b 25 00 0d 00 01 00", "cc 00 05 01 00 00"},
        // The symbol list: the attributes in the order asked, from the start instance on; the
        // program is a system symbol of the controller scope and lists its own tags.
        {"55 03 20 6b 25 00 0a 00 03 00 01 00 02 00 08 00",
         "d5 00 00 00 0a 00 00 00 04 00 'Grid' c3 40 02 00 00 00 03 00 00 00 00 00 00 00"
         "            0b 00 00 00 05 00 'Large' c4 20 e8 03 00 00 00 00 00 00 00 00 00 00"
         "            0c 00 00 00 04 00 'Text' ce 8f 00 00 00 00 00 00 00 00 00 00 00 00"
         "            0e 00 00 00 0c 00 'Program:Main' 68 10 00 00 00 00 00 00 00 00 00 00 00 00"},
        {"55 0a 91 0c 'Program:Main' 20 6b 25 00 00 00 04 00 02 00 07 00 08 00 01 00",
         "d5 00 00 00 0d 00 00 00 c4 00 04 00 00 00 00 00 00 00 00 00 00 00 00 00 05 00 'Speed'"},
        {"55 09 91 0b 'Program:Aux' 00 20 6b 25 00 00 00 01 00 01 00", "d5 00 04 01 00 00"},
    });
    const Bytes text = unit(c, conn, hex("4c 03 91 04 'Text' 01 00"));
    EXPECT_EQ(toHex(text), toHex(hex("cc 00 00 00 a0 02 ce 0f 09 00 00 00 'hello plc'") + Bytes(75, 0)));
}

TEST_F(LogixTags, RefusedRequestsChangeNothing)
{
    begin(92);
    expectReplies({
        {"4d 05 91 07 'Counter' 00 c3 00 01 00 01 00", "cd 00 ff 01 07 21"},       // INT into a DINT
        {"4d 05 91 07 'Counter' 00 c4 00 01 00 01 00", "cd 00 13 00"},             // two of four bytes
        {"4d 03 91 04 'Text' a0 02 ce 0e 01 00 00 00 00 00", "cd 00 ff 01 07 21"}, // another structure
        {"4d 06 91 09 'NoSuchTag' 00 c4 00 01 00 01 00 00 00", "cd 00 04 01 00 00"},
        {"4d 04 91 03 'Arr' 00 28 0a c4 00 01 00 01 00 00 00", "cd 00 05 01 00 00"}, // index 10 of 10
        {"4d 04 91 03 'Arr' 00 28 09 c4 00 02 00 01 00 00 00 01 00 00 00", "cd 00 ff 01 05 21"},
        {"4c 06 91 09 'NoSuchTag' 00 01 00", "cc 00 04 01 00 00"},
        {"4c 04 91 03 'Arr' 00 28 0a 01 00", "cc 00 05 01 00 00"},
        {"4c 06 91 07 'Counter' 00 28 00 01 00", "cc 00 05 01 00 00"}, // a scalar has no elements
        {"4c 04 91 04 'Grid' 28 01 01 00", "cc 00 05 01 00 00"},      // every dimension is needed
        {"4c 04 91 03 'Arr' 00 28 08 03 00", "cc 00 ff 01 05 21"},
        {"4c 05 91 07 'Counter' 00", "cc 00 13 00"},          // no element count
        {"4c 09 91 07 'Counter' 00 01 00", "cc 00 26 01 00 00"}, // path longer than the request
        {"4f 05 91 07 'Counter' 00 01 00", "cf 00 08 00"},          // no such service for a tag
    });
    EXPECT_EQ(sim->getInt("Counter"), 12345);
    EXPECT_EQ(sim->getInt("Small"), -5);
    EXPECT_EQ(sim->getInt("Arr", 9), 110);
    EXPECT_EQ(sim->getString("Text"), "hello plc");
}

TEST_F(LogixTags, LargeConnectionTakesLargeWriteFragments)
{
    begin(94, true);
    // Write Tag Fragmented in two pieces, as the captures show (3976 bytes, then 24).
    Bytes image;
    for (uint32_t i = 0; i < 1000; ++i)
        image = image + le32(2 * i);
    const Bytes head = hex("53 04 91 05 'Large' 00 c4 00 e8 03");
    EXPECT_EQ(toHex(unit(c, conn, head + le32(0) + slice(image, 0, 3976))), "d3 00 00 00");
    EXPECT_EQ(sim->getInt("Large", 993), 2 * 993);
    EXPECT_EQ(sim->getInt("Large", 994), 1 + 3 * 994); // not yet written
    EXPECT_EQ(toHex(unit(c, conn, head + le32(3976) + slice(image, 3976))), "d3 00 00 00");
    EXPECT_EQ(sim->getInt("Large", 0), 0);
    EXPECT_EQ(sim->getInt("Large", 500), 1000);
    EXPECT_EQ(sim->getInt("Large", 999), 1998);
    EXPECT_EQ(toHex(unit(c, conn, head + le32(3996) + le32(7) + le32(7))), "d3 00 ff 01 04 21");
    EXPECT_EQ(sim->getInt("Large", 999), 1998);
}

class OmronTags : public SimTest {
protected:
    void begin(int octet)
    {
        start(octet, Personality::OmronNJ,
              {tagDef("Name", CipType::String, {}, {"world wide"}), tagDef("Small", CipType::Sint, {}, {"-5"}),
               tagDef("Flag", CipType::Bool, {}, {"1"}), tagDef("Words", CipType::Int, {4}, {"1", "2", "3", "4"})});
        c = connect();
        conn = open(c, {}, true, 1996);
    }
    Client c;
    Connection conn;
};

TEST_F(OmronTags, TwoByteCountStringsAndPaddedBytes)
{
    begin(111);
    EXPECT_EQ(toHex(unit(c, conn, hex("4c 03 91 04 'Name' 01 00"))), toHex(hex("cc 00 00 00 d0 00 0a 00 'world wide'")));
    EXPECT_EQ(toHex(unit(c, conn, hex("4d 03 91 04 'Name' d0 00 01 00 03 00 'abc'"))), "cd 00 00 00"); // no pad
    EXPECT_EQ(sim->getString("Name"), "abc");
    EXPECT_EQ(toHex(unit(c, conn, hex("4c 04 91 05 'Small' 00 01 00"))), "cc 00 00 00 c2 00 fb 00");
    EXPECT_EQ(toHex(unit(c, conn, hex("4c 03 91 04 'Flag' 01 00"))), "cc 00 00 00 c1 00 01 00");
    EXPECT_EQ(toHex(unit(c, conn, hex("4d 04 91 05 'Small' 00 c2 00 01 00 07 00"))), "cd 00 00 00");
    EXPECT_EQ(toHex(unit(c, conn, hex("4c 04 91 05 'Words' 00 01 00"))), "cc 00 00 00 c3 00 01 00 02 00 03 00 04 00");
    EXPECT_EQ(toHex(unit(c, conn, hex("4c 05 91 05 'Words' 00 28 02 02 00"))), "cc 00 00 00 c3 00 03 00 04 00");
    EXPECT_EQ(toHex(unit(c, conn, hex("52 04 91 05 'Words' 00 01 00 00 00 00 00"))), "d2 00 08 00");
    EXPECT_EQ(toHex(unit(c, conn, hex("0a 02 20 02 24 01 01 00 04 00 4c 04 91 05 'Small' 00 01 00"))),
              "8a 00 00 00 01 00 04 00 cc 00 00 00 c2 00 07 00");
}

} // namespace
} // namespace simtest
