// Structures as a Logix controller lays them out, checked over the wire against published
// layouts: the template object's attributes and data, member offsets and hidden BOOL hosts,
// whole-structure and member access, BOOL arrays as DWORD arrays. Addresses 127.21.1.x.
#include "sim_fixture.h"

namespace simtest {
namespace {

using absim::MemberDef;
using absim::StructDef;

std::vector<StructDef> types()
{
    return {
        {"STRUCT_A", {{"limit4", "BOOL", {}}, {"limit7", "BOOL", {}}, {"travel", "DINT", {}}, {"errors", "SINT", {}},
                      {"wear", "REAL", {}}}},
        {"STRUCT_B", {{"pilot_on", "BOOL", {}}, {"hourlyCount", "INT", {12}}, {"rate", "REAL", {}}}},
        {"MotorData", {{"Speed", "REAL", {}}, {"Running", "BOOL", {}}, {"Fault", "BOOL", {}},
                       {"Counts", "DINT", {4}}, {"In", "Inner", {}}}},
        {"Inner", {{"A", "DINT", {}}, {"B", "REAL", {}}}},
        {"ManyBOOLFieldsUDT", {{"b0", "BOOL", {}}, {"b1", "BOOL", {}}, {"b2", "BOOL", {}}, {"b3", "BOOL", {}},
                               {"b4", "BOOL", {}}, {"b5", "BOOL", {}}, {"b6", "BOOL", {}}, {"b7", "BOOL", {}},
                               {"b8", "BOOL", {}}}},
        {"Holder", {{"Name", "STRING", {}}, {"Alarms", "BOOL", {64}}, {"Big", "LINT", {}}}},
    };
}

class Structures : public SimTest {
protected:
    void begin(int octet, uint8_t revMajor = 20)
    {
        absim::Config cfg;
        cfg.address = "127.21.1." + std::to_string(octet);
        cfg.identity.revMajor = revMajor;
        cfg.types = types();
        absim::TagDef motor = tagDef("Motor", CipType::Dint);
        motor.structure = "MotorData";
        motor.memberValues = {{"Speed", "1.5"}, {"Running", "1"}, {"Counts[0]", "1"}, {"Counts[1]", "2"},
                              {"Counts[2]", "3"}, {"Counts[3]", "4"}, {"In.A", "7"}, {"In.B", "2"}};
        absim::TagDef a = tagDef("StructA", CipType::Dint);
        a.structure = "STRUCT_A";
        a.memberValues = {{"limit4", "1"}, {"limit7", "1"}, {"travel", "0x55"}, {"errors", "0x77"}, {"wear", "10.7"}};
        absim::TagDef pumps = tagDef("Pumps", CipType::Dint, {3});
        pumps.structure = "Inner";
        pumps.memberValues = {{"[2].B", "2.5"}};
        cfg.tags = {motor, a, pumps, tagDef("Flags", CipType::Bool, {64}, {"0", "1"}),
                    tagDef("Flag", CipType::Bool, {}, {"1"})};
        start(cfg);
        c = connect();
        conn = open(c, hex("01 00"));
    }
    Bytes ask(const char *request) { return unit(c, conn, hex(request)); }
    Client c;
    Connection conn;
};

// Template id (in configuration order from 0x100), size, definition words, member count, and
// the template data as far as it is published (records, name, member names).
TEST_F(Structures, TemplatesMatchTheControllerLayout)
{
    begin(1);
    const struct {
        const char *id;
        const char *size, *words, *members;
        const char *data;
    } rows[] = {
        // PM020's STRUCT_B, byte for byte: host SINT, BOOL bit 0, INT[12] on 4 bytes, REAL.
        {"01 01", "20 00 00 00", "1e 00 00 00", "04 00",
         "00 00 c2 00 00 00 00 00  00 00 c1 00 00 00 00 00  0c 00 c3 20 04 00 00 00  00 00 ca 00 1c 00 00 00"
         "'STRUCT_B;nEBECEAHA' 00 'ZZZZZZZZZZSTRUCT_B0' 00 'pilot_on' 00 'hourlyCount' 00 'rate' 00"},
        // Two BOOLs share a host, the DINT array after them starts on 4 bytes, the nested
        // structure's record carries its template id.
        {"02 01", "20 00 00 00", "25 00 00 00", "06 00",
         "00 00 ca 00 00 00 00 00  00 00 c2 00 04 00 00 00  00 00 c1 00 04 00 00 00  01 00 c1 00 04 00 00 00"
         "04 00 c4 20 08 00 00 00  00 00 03 81 18 00 00 00"
         "'MotorData;nHAEBECECEAEA' 00 'Speed' 00 'ZZZZZZZZZZMotorData1' 00 'Running' 00 'Fault' 00 'Counts' 00 'In' 00"},
        // A ninth BOOL in a row opens the next host, right after the first; the host names
        // carry the first ten characters of the type name.
        {"04 01", "04 00 00 00", "", "0b 00",
         "00 00 c2 00 00 00 00 00  00 00 c1 00 00 00 00 00  01 00 c1 00 00 00 00 00  02 00 c1 00 00 00 00 00"
         "03 00 c1 00 00 00 00 00  04 00 c1 00 00 00 00 00  05 00 c1 00 00 00 00 00  06 00 c1 00 00 00 00 00"
         "07 00 c1 00 00 00 00 00  00 00 c2 00 01 00 00 00  00 00 c1 00 01 00 00 00"
         "'ManyBOOLFieldsUDT;nEBECECECECECECECECEBEC' 00 'ZZZZZZZZZZManyBOOLFi0' 00"},
        // STRING at 0 (88 bytes), a BOOL[64] as two DWORDs on 4 bytes, LINT at 8-byte offset,
        // the size rounded to 4 only.
        {"05 01", "68 00 00 00", "", "03 00",
         "00 00 ce 8f 00 00 00 00  02 00 d3 20 58 00 00 00  00 00 c5 00 60 00 00 00"},
        // The predefined STRING: bare name, 15 words.
        {"ce 0f", "58 00 00 00", "0f 00 00 00", "02 00",
         "00 00 c4 00 00 00 00 00  52 00 c2 20 04 00 00 00 'ASCIISTRING82' 00 'LEN' 00 'DATA' 00"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.id);
        // Get Attribute List 4, 5, 2, 1, in the order asked and with their fixed widths.
        const Bytes attrs = ask((std::string("03 03 20 6c 25 00 ") + row.id + " 04 00 04 00 05 00 02 00 01 00").c_str());
        ASSERT_EQ(attrs.size(), 34u) << toHex(attrs);
        EXPECT_EQ(toHex(slice(attrs, 0, 8)), toHex(hex("83 00 00 00 04 00 04 00")));
        if (*row.words) {
            EXPECT_EQ(toHex(slice(attrs, 10, 4)), toHex(hex(row.words)));
        }
        EXPECT_EQ(toHex(slice(attrs, 18, 4)), toHex(hex(row.size)));
        EXPECT_EQ(toHex(slice(attrs, 26, 2)), toHex(hex(row.members)));
        const uint32_t words = rd32(attrs, 10);
        // Read Template as libplctag asks for it: the whole held definition, names complete.
        const Bytes expected = hex(row.data);
        const uint16_t count = uint16_t(words * 4 - 20);
        const Bytes data = ask((std::string("4c 03 20 6c 25 00 ") + row.id + " 00 00 00 00 " + toHex(le16(count))).c_str());
        ASSERT_EQ(data.size(), 4u + count) << toHex(data);
        EXPECT_EQ(toHex(slice(data, 0, 4)), toHex(hex("cc 00 00 00")));
        EXPECT_EQ(toHex(slice(data, 4, expected.size())), toHex(expected));
    }
    // An unknown template, an unsupported attribute, an offset past the end.
    EXPECT_EQ(toHex(ask("4c 03 20 6c 25 00 99 09 00 00 00 00 10 00")), toHex(hex("cc 00 05 01 00 00")));
    EXPECT_EQ(toHex(ask("03 03 20 6c 25 00 ce 0f 01 00 09 00")), toHex(hex("83 00 0a 00 01 00 09 00 14 00")));
    EXPECT_EQ(toHex(ask("4c 03 20 6c 25 00 ce 0f 28 00 00 00 04 00")), toHex(hex("cc 00 ff 01 04 21")));
}

// Whole structures, members, array-of-structure elements and BOOL arrays, request and reply.
TEST_F(Structures, MembersAndWholeStructuresTravelInTheTemplateLayout)
{
    begin(2);
    const std::string motorHandle = toHex(slice(ask("03 03 20 6c 25 00 02 01 01 00 01 00"), 10, 2));
    const std::string innerHandle = toHex(slice(ask("03 03 20 6c 25 00 03 01 01 00 01 00"), 10, 2));
    const std::string whole = "cc 00 00 00 a0 02 " + motorHandle +
                              " 00 00 c0 3f 01 00 00 00 01 00 00 00 02 00 00 00 03 00 00 00 04 00 00 00"
                              " 07 00 00 00 00 00 00 40";
    const struct {
        std::string request, reply;
    } rows[] = {
        {"4c 04 91 05 'Motor' 00 01 00", whole},
        {"4c 08 91 05 'Motor' 00 91 05 'Speed' 00 01 00", "cc 00 00 00 ca 00 00 00 c0 3f"},
        {"4c 09 91 05 'Motor' 00 91 07 'Running' 00 01 00", "cc 00 00 00 c1 00 ff"}, // before v30: 0xFF
        {"4c 08 91 05 'Motor' 00 91 05 'fault' 00 01 00", "cc 00 00 00 c1 00 00"},
        {"4c 09 91 05 'Motor' 00 91 06 'Counts' 28 02 02 00", "cc 00 00 00 c4 00 03 00 00 00 04 00 00 00"},
        {"4c 06 91 05 'Motor' 00 91 02 'In' 01 00", "cc 00 00 00 a0 02 " + innerHandle + " 07 00 00 00 00 00 00 40"},
        {"4c 07 91 05 'Pumps' 00 28 02 91 01 'B' 00 01 00", "cc 00 00 00 ca 00 00 00 20 40"},
        {"4c 05 91 05 'Pumps' 00 28 01 02 00", "cc 00 00 00 a0 02 " + innerHandle + " 00 00 00 00 00 00 00 00"
                                                                              " 00 00 00 00 00 00 20 40"},
        {"4c 05 91 05 'Pumps' 00 28 01 03 00", "cc 00 ff 01 05 21"}, // past the array's end
        {"4c 08 91 05 'Motor' 00 91 05 'Nope!' 00 01 00", "cc 00 04 01 00 00"},
        {"4c 05 91 05 'Pumps' 00 28 03 01 00", "cc 00 05 01 00 00"},
        // PM020's STRUCT_A read whole: two BOOLs in one host byte, pads on the wire.
        {"4c 05 91 07 'StructA' 00 01 00", "cc 00 00 00 a0 02 " + toHex(slice(ask("03 03 20 6c 25 00 00 01 01 00 01 00"), 10, 2)) +
                                               " 03 00 00 00 55 00 00 00 77 00 00 00 33 33 2b 41"},
        // BOOL arrays: DWORD-indexed, type 0xD3; listed as a DWORD array of two.
        {"4c 05 91 05 'Flags' 00 28 00 01 00", "cc 00 00 00 d3 00 02 00 00 00"},
        {"4c 05 91 05 'Flags' 00 28 02 01 00", "cc 00 05 01 00 00"},
        {"4c 03 91 04 'Flag' 01 00", "cc 00 00 00 c1 00 ff"},
        // Writes: a member, a BOOL member (only its bit), a bit of the BOOL array by 0x4E, a
        // whole structure with a wrong handle, a SINT member with libplctag's pad byte.
        {"4d 08 91 05 'Motor' 00 91 05 'Speed' 00 ca 00 01 00 00 00 20 41", "cd 00 00 00"},
        {"4d 08 91 05 'Motor' 00 91 05 'Fault' 00 c1 00 01 00 01", "cd 00 00 00"},
        {"4d 09 91 05 'Motor' 00 91 07 'Running' 00 c1 00 01 00 00", "cd 00 00 00"},
        {"4e 05 91 05 'Flags' 00 28 01 04 00 20 00 00 00 ff ff ff ff", "ce 00 00 00"},
        {"4d 04 91 05 'Motor' 00 a0 02 00 00 01 00" + toHex(Bytes(32, 0)), "cd 00 ff 01 07 21"},
        {"4d 09 91 07 'StructA' 00 91 06 'errors' c2 00 01 00 fb 00", "cd 00 00 00"},
        // pycomm3 sends its write twice in one request: what follows the first is passed over.
        {"4d 09 91 07 'StructA' 00 91 06 'errors' c2 00 01 00 fb 4d 09 91 07 'StructA' 00 91 06 'errors' c2 00 01 00 fb",
         "cd 00 00 00"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(toHex(ask(row.request.c_str())), toHex(hex(row.reply.c_str()))) << row.request;
    EXPECT_EQ(sim->getDouble("Motor.Speed"), 10.0);
    EXPECT_EQ(sim->getInt("Motor.Fault"), 1);
    EXPECT_EQ(sim->getInt("Motor.Running"), 0);
    EXPECT_EQ(sim->getInt("Motor.Counts", 3), 4);
    EXPECT_EQ(sim->getInt("StructA.errors"), -5);
    EXPECT_EQ(sim->getInt("Flags", 1), 0x20);
    EXPECT_EQ(sim->getInt("Flags", 0), 0x02);
    // The tag list: structure bit and template id, element size = structure size; DWORDs.
    const Bytes list = ask("55 03 20 6b 25 00 00 00 03 00 01 00 02 00 07 00");
    EXPECT_NE(toHex(list).find(toHex(hex("05 00 'Motor' 02 81 20 00"))), std::string::npos) << toHex(list);
    EXPECT_NE(toHex(list).find(toHex(hex("05 00 'Pumps' 03 a1 08 00"))), std::string::npos) << toHex(list);
    EXPECT_NE(toHex(list).find(toHex(hex("05 00 'Flags' d3 20 04 00"))), std::string::npos) << toHex(list);
}

TEST_F(Structures, BoolReadsAsOneFromVersion30On)
{
    begin(3, 32);
    EXPECT_EQ(toHex(ask("4c 09 91 05 'Motor' 00 91 07 'Running' 00 01 00")), toHex(hex("cc 00 00 00 c1 00 01")));
    EXPECT_EQ(toHex(ask("4c 03 91 04 'Flag' 01 00")), toHex(hex("cc 00 00 00 c1 00 01")));
}

} // namespace
} // namespace simtest
