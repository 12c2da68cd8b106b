// PCCC: data-table address parsing, and the Execute PCCC requests and replies of the SLC 500 /
// MicroLogix (typed logical, three address fields) and PLC-5 (word range) dialects, against
// the libplctag captures (slc500-*, micrologix-*, plc5-*: the SLC and MicroLogix requests are
// byte-identical) and the facts sheet's layouts.
#include "hex.h"

#include "libplctag.h"
#include "pccc/pccc_address.h"
#include "pccc/pccc_protocol.h"

#include <gtest/gtest.h>

using namespace plctag;
using pccc::DataAddress;

namespace {

DataAddress parse(const char *text)
{
    DataAddress a;
    EXPECT_EQ(pccc::parseDataAddress(text, &a), PLCTAG_STATUS_OK) << text;
    return a;
}

int parseStatus(const char *text)
{
    DataAddress a;
    return pccc::parseDataAddress(text, &a);
}

TagAddress compile(const Protocol &p, const char *name, int count = 1)
{
    TagSpec spec;
    spec.name = name;
    spec.elemCount = count;
    TagAddress a;
    EXPECT_EQ(p.compile(spec, &a), PLCTAG_STATUS_OK) << name;
    return a;
}

Bytes read(const Protocol &p, const TagAddress &a, uint32_t offset = 0)
{
    Bytes out;
    wire::Writer w(out);
    EXPECT_EQ(p.encodeRead(a, offset, RequestEnv{}, w), PLCTAG_STATUS_OK);
    return out;
}

Bytes write(const Protocol &p, const TagAddress &a, const Bytes &data, uint32_t offset = 0, size_t *consumed = nullptr)
{
    Bytes out;
    wire::Writer w(out);
    size_t n = 0;
    EXPECT_EQ(p.encodeWrite(a, data.data(), data.size(), offset, RequestEnv{}, w, &n), PLCTAG_STATUS_OK);
    if (consumed)
        *consumed = n;
    return out;
}

// Execute PCCC to class 0x67 instance 1, our requestor id, CMD 0x0F, STS 0.
const Bytes kHead = hex("4b 02 20 67 24 01 07 3d f3 45 43 50 21 0f 00");

// The TNS (bytes 15-16) comes from a counter in both libplctag (steps of 2) and ours (steps
// of 1), so it differs from the capture's; everything else must match. Returns our TNS.
uint16_t expectPcccRequest(const Bytes &captured, const Bytes &ours)
{
    EXPECT_EQ(ours.size(), captured.size());
    if (ours.size() < 17 || captured.size() < 17)
        return 0;
    EXPECT_BYTES(Bytes(captured.begin(), captured.begin() + 15), Bytes(ours.begin(), ours.begin() + 15));
    EXPECT_BYTES(Bytes(captured.begin() + 17, captured.end()), Bytes(ours.begin() + 17, ours.end()));
    return static_cast<uint16_t>(ours[15] | ours[16] << 8);
}

} // namespace

TEST(PcccAddress, SlcDataFiles)
{
    struct Case {
        const char *text;
        uint8_t type;
        uint16_t file, element, sub;
        int bit;
        uint16_t size;
    };
    const Case cases[] = {
        {"N7:0", 0x89, 7, 0, 0, -1, 2},       {"n7:12", 0x89, 7, 12, 0, -1, 2},
        {"F8:1", 0x8A, 8, 1, 0, -1, 4},       {"L9:0", 0x91, 9, 0, 0, -1, 4},
        {"ST9:0", 0x8D, 9, 0, 0, -1, 84},     {"B3:0/5", 0x85, 3, 0, 0, 5, 2},
        {"N7:0/15", 0x89, 7, 0, 0, 15, 2},    {"T4:0.ACC", 0x86, 4, 0, 2, -1, 2},
        {"T4:0.PRE", 0x86, 4, 0, 1, -1, 2},   {"T4:1.DN", 0x86, 4, 1, 0, 13, 2},
        {"T4:0.CON/13", 0x86, 4, 0, 0, 13, 2}, {"C5:0.PRE", 0x87, 5, 0, 1, -1, 2},
        {"C5:2.ACC", 0x87, 5, 2, 2, -1, 2},   {"C5:0.OV", 0x87, 5, 0, 0, 12, 2},
        {"R6:0.POS", 0x88, 6, 0, 2, -1, 2},   {"S:1", 0x84, 2, 1, 0, -1, 2},
        {"I1:0", 0x8C, 1, 0, 0, -1, 2},       {"O:3", 0x8B, 0, 3, 0, -1, 2},
        {"N7:0[3]", 0x89, 7, 3, 0, -1, 2},    {"N255:300", 0x89, 255, 300, 0, -1, 2},
        {"T4:0", 0x86, 4, 0, 0, -1, 6},       {"A10:3", 0x8E, 10, 3, 0, -1, 1},
    };
    for (const Case &c : cases) {
        const DataAddress a = parse(c.text);
        EXPECT_EQ(a.fileType, c.type) << c.text;
        EXPECT_EQ(a.file, c.file) << c.text;
        EXPECT_EQ(a.element, c.element) << c.text;
        EXPECT_EQ(a.subElement, c.sub) << c.text;
        EXPECT_EQ(a.bit, c.bit) << c.text;
        EXPECT_EQ(a.elemSize, c.size) << c.text;
    }
}

TEST(PcccAddress, RejectsWhatIsNoDataFileAddress)
{
    for (const char *bad : {"", "N7", "N7:", "N:0", "Q7:0", "N7:x", "N7-0", "F8:0/1", "T4:0/13", "T4:0.XYZ",
                            "N7:0.ACC", "B3:0/", "N7:0 ", "N70000:0", "N7:0[", "N7:0[1", "T4:0.DN/3", "ST9:0.X",
                            "B3/21"}) // bit-file numbering without an element: not taken, as by libplctag
        EXPECT_EQ(parseStatus(bad), PLCTAG_ERR_BAD_PARAM) << '"' << bad << '"';
    EXPECT_EQ(parseStatus("B3:0/16"), PLCTAG_ERR_OUT_OF_BOUNDS);
}

TEST(SlcPccc, ReadsAndWritesAsCaptured)
{
    const Protocol &slc = pccc::slcProtocol();
    // slc500-n7-0.txt: read N7:0 (2 bytes), write 1234.
    const TagAddress n7 = compile(slc, "N7:0");
    EXPECT_EQ(slc.initialSize(n7), 2);
    const uint16_t t1 = expectPcccRequest(hex("4b 02 20 67 24 01 07 3d f3 45 43 50 21 0f 00 ac bf a2 02 07 89 00 00"),
                                          read(slc, n7));
    const uint16_t t2 = expectPcccRequest(
        hex("4b 02 20 67 24 01 07 3d f3 45 43 50 21 0f 00 ae bf aa 02 07 89 00 00 d2 04"),
        write(slc, n7, hex("d2 04")));
    EXPECT_EQ(uint16_t(t2 - t1), 1) << "a new transaction number per request";
    // slc500-n7-0-count10.txt, slc500-f8-1.txt, slc500-l19-0.txt, slc500-st18-0.txt.
    const Bytes ten = hex("01 00 fe ff 03 00 fc ff 05 00 fa ff 07 00 f8 ff 09 00 f6 ff");
    const TagAddress n7x10 = compile(slc, "N7:0", 10);
    expectPcccRequest(cat({kHead, hex("00 00 a2 14 07 89 00 00")}), read(slc, n7x10));
    expectPcccRequest(cat({kHead, hex("00 00 aa 14 07 89 00 00"), ten}), write(slc, n7x10, ten));
    const TagAddress f8 = compile(slc, "F8:1");
    expectPcccRequest(cat({kHead, hex("00 00 a2 04 08 8a 01 00")}), read(slc, f8));
    expectPcccRequest(cat({kHead, hex("00 00 aa 04 08 8a 01 00 00 00 30 c0")}), write(slc, f8, hex("00 00 30 c0")));
    expectPcccRequest(cat({kHead, hex("00 00 a2 04 13 91 00 00")}), read(slc, compile(slc, "L19:0")));
    const TagAddress st = compile(slc, "ST18:0");
    expectPcccRequest(cat({kHead, hex("00 00 a2 54 12 8d 00 00")}), read(slc, st));
    const Bytes text = cat({hex("0a 00 6c 73 20 63 74 73 69 72 67 6e"), Bytes(72, 0)});
    expectPcccRequest(cat({kHead, hex("00 00 aa 54 12 8d 00 00"), text}), write(slc, st, text));
}

TEST(SlcPccc, BitWritesAndWideAddressFields)
{
    const Protocol &slc = pccc::slcProtocol();
    // Masked write, as in the facts sheet: B3:0/5 := 1 is mask 0x0020, value 0x0020.
    const TagAddress b = compile(slc, "B3:0/5");
    expectPcccRequest(cat({kHead, hex("00 00 ab 02 03 85 00 00 20 00 20 00")}), write(slc, b, hex("20 00")));
    expectPcccRequest(cat({kHead, hex("00 00 ab 02 03 85 00 00 20 00 00 00")}), write(slc, b, hex("df ff")));
    // A timer's accumulator is sub-element 2; numbers past 254 take FF lo hi.
    expectPcccRequest(cat({kHead, hex("00 00 a2 02 04 86 00 02")}), read(slc, compile(slc, "T4:0.ACC")));
    expectPcccRequest(cat({kHead, hex("00 00 a2 02 ff ff 00 89 ff 2c 01 00")}), read(slc, compile(slc, "N255:300")));
}

TEST(SlcPccc, LongTablesGoInElementAlignedChunks)
{
    const Protocol &slc = pccc::slcProtocol();
    // 200 integers: 236 bytes (118 elements) per request at most, the next one at element 118.
    const TagAddress a = compile(slc, "N7:0", 200);
    expectPcccRequest(cat({kHead, hex("00 00 a2 ec 07 89 00 00")}), read(slc, a, 0));
    expectPcccRequest(cat({kHead, hex("00 00 a2 a4 07 89 76 00")}), read(slc, a, 236));
    size_t consumed = 0;
    write(slc, a, Bytes(400, 1), 0, &consumed);
    EXPECT_EQ(consumed, 236u);
    // Strings (84 bytes): two per request.
    const TagAddress st = compile(slc, "ST9:0", 3);
    expectPcccRequest(cat({kHead, hex("00 00 a2 a8 09 8d 00 00")}), read(slc, st, 0));
    expectPcccRequest(cat({kHead, hex("00 00 a2 54 09 8d 02 00")}), read(slc, st, 168));
}

TEST(Plc5Pccc, WordRangeReadsAndWritesAsCaptured)
{
    const Protocol &plc5 = pccc::plc5Protocol();
    // plc5-n7-0.txt: offset 0, total 1 word, address 06 07 00 (levels file and element),
    // byte count 2; write 4321.
    const TagAddress n7 = compile(plc5, "N7:0");
    expectPcccRequest(hex("4b 02 20 67 24 01 07 3d f3 45 43 50 21 0f 00 f6 0b 01 00 00 01 00 06 07 00 02"),
                      read(plc5, n7));
    expectPcccRequest(hex("4b 02 20 67 24 01 07 3d f3 45 43 50 21 0f 00 f8 0b 00 00 00 01 00 06 07 00 e1 10"),
                      write(plc5, n7, hex("e1 10")));
    // plc5-n7-0-count5.txt.
    const TagAddress n7x5 = compile(plc5, "N7:0", 5);
    const Bytes five = hex("0b 00 ea ff 21 00 d4 ff 37 00");
    expectPcccRequest(cat({kHead, hex("00 00 01 00 00 05 00 06 07 00 0a")}), read(plc5, n7x5));
    expectPcccRequest(cat({kHead, hex("00 00 00 00 00 05 00 06 07 00"), five}), write(plc5, n7x5, five));
    // A float is two words; a sub-element adds the fourth level (mask 0x0E).
    expectPcccRequest(cat({kHead, hex("00 00 01 00 00 02 00 06 08 01 04")}), read(plc5, compile(plc5, "F8:1")));
    expectPcccRequest(cat({kHead, hex("00 00 01 00 00 01 00 0e 04 00 02 02")}), read(plc5, compile(plc5, "T4:0.ACC")));
    expectPcccRequest(cat({kHead, hex("00 00 01 00 00 01 00 06 ff 2c 01 00 02")}), read(plc5, compile(plc5, "N300:0")));
}

TEST(Plc5Pccc, BitWritesAreReadModifyWrite)
{
    const Protocol &plc5 = pccc::plc5Protocol();
    // 0x26: address, AND mask (0 clears), OR mask (1 sets).
    const TagAddress b = compile(plc5, "B3:0/5");
    expectPcccRequest(cat({kHead, hex("00 00 26 06 03 00 ff ff 20 00")}), write(plc5, b, hex("20 00")));
    expectPcccRequest(cat({kHead, hex("00 00 26 06 03 00 df ff 00 00")}), write(plc5, b, hex("00 00")));
}

TEST(PcccReply, DataStatusAndMalformedReplies)
{
    const Protocol &slc = pccc::slcProtocol();
    const TagAddress a = compile(slc, "N7:0");
    ReadChunk c;
    // slc500-n7-0.txt: the read back of 1234.
    const Bytes ok = hex("cb 00 00 00 07 3d f3 45 43 50 21 4f 00 b0 bf d2 04");
    ASSERT_EQ(slc.decodeRead(a, ok.data(), ok.size(), &c), PLCTAG_STATUS_OK);
    EXPECT_BYTES(hex("d2 04"), Bytes(c.data, c.data + c.size));
    EXPECT_FALSE(c.more);
    // plc5-n7-0.txt: the PLC-5 reply has the same shape.
    const Bytes plc5 = hex("cb 00 00 00 07 3d f3 45 43 50 21 4f 00 fa 0b e1 10");
    ASSERT_EQ(pccc::plc5Protocol().decodeRead(a, plc5.data(), plc5.size(), &c), PLCTAG_STATUS_OK);
    EXPECT_BYTES(hex("e1 10"), Bytes(c.data, c.data + c.size));
    // The facts sheet's examples, with another requestor id: value 123; STS F0 / EXT 06.
    const Bytes other = hex("cb 00 00 00 07 0d f0 be ba fe ca 4f 00 34 12 7b 00");
    ASSERT_EQ(slc.decodeRead(a, other.data(), other.size(), &c), PLCTAG_STATUS_OK);
    EXPECT_BYTES(hex("7b 00"), Bytes(c.data, c.data + c.size));

    struct Case {
        const char *reply;
        int expect;
    };
    const Case cases[] = {
        {"cb 00 00 00 07 0d f0 be ba fe ca 4f f0 34 12 06", PLCTAG_ERR_REMOTE_ERR},
        {"cb 00 00 00 07 3d f3 45 43 50 21 4f 10 34 12", PLCTAG_ERR_REMOTE_ERR},
        {"cb 00 08 00", PLCTAG_ERR_UNSUPPORTED},
        {"cb 00 00 00 07 3d f3 45 43 50 21 4f 00 34 12", PLCTAG_ERR_TOO_SMALL}, // read without data
        {"cb 00 00 00 07 3d f3 45 43 50 21 0f 00 34 12 d2 04", PLCTAG_ERR_BAD_REPLY}, // not CMD|0x40
        {"cb 00 00 00 07 3d f3 45", PLCTAG_ERR_BAD_REPLY},                          // requestor id cut
        {"cb 00 00 00 00 4f 00 34 12 d2 04", PLCTAG_ERR_BAD_REPLY},                 // id length 0
        {"cc 00 00 00 07 3d f3 45 43 50 21 4f 00 34 12 d2 04", PLCTAG_ERR_BAD_REPLY}, // not Execute PCCC
    };
    for (const Case &k : cases) {
        const Bytes r = hex(k.reply);
        EXPECT_EQ(slc.decodeRead(a, r.data(), r.size(), &c), k.expect) << k.reply;
    }
    // A write reply: status only (slc500-n7-0.txt).
    const Bytes w = hex("cb 00 00 00 07 3d f3 45 43 50 21 4f 00 ae bf");
    EXPECT_EQ(slc.decodeWrite(a, w.data(), w.size()), PLCTAG_STATUS_OK);
}
