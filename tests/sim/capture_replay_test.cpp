// Real exchanges between third-party clients and servers (captures/*.txt), replayed against
// the simulator configured as the captured server was: every client line is sent as captured,
// every server line must come back byte for byte. Substituted are only the fields the captures
// document as chosen per run (session handle, the server's O->T connection id, the server's IP
// address in List Identity) and where the captured servers part from the protocol facts: the
// sender context, which ab_server does not echo; the timeout word of SendRRData/SendUnitData
// replies, which both servers echo (0 here); and the connected reply's address item, where
// cpppo puts its own O->T id instead of the originator's T->O id. Addresses 127.0.10.170-199.
#include "sim_fixture.h"

#include <cctype>
#include <fstream>
#include <functional>
#include <map>

namespace simtest {
namespace {

struct Line {
    bool fromClient;
    Bytes bytes;
};

std::vector<Line> loadCapture(const std::string &file)
{
    std::ifstream in(std::string(SIM_CAPTURES_DIR) + "/" + file);
    std::vector<Line> lines;
    for (std::string s; std::getline(in, s);)
        if (s.size() > 2 && (s[0] == '>' || s[0] == '<'))
            lines.push_back({s[0] == '>', hex(s.c_str() + 2)});
    return lines;
}

void put32(Bytes &b, size_t at, uint32_t v)
{
    for (size_t i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

struct Replay {
    const char *file;
    Personality personality;
    int octet;
    std::vector<absim::TagDef> tags;
    std::function<void(absim::Simulator &)> after; // what the writes left behind
    std::optional<absim::Identity> identity;
};

std::vector<absim::TagDef> dataFiles(std::vector<std::string> n7 = {})
{
    return {tagDef("N7", CipType::Int, {20}, std::move(n7)), tagDef("F8", CipType::Real, {10}),
            tagDef("ST18", CipType::String, {2}), tagDef("L19", CipType::Dint, {4})};
}

void PrintTo(const Replay &r, std::ostream *os)
{
    *os << r.file;
}

class CaptureReplay : public SimTest, public ::testing::WithParamInterface<Replay> {
};

TEST_P(CaptureReplay, AnswersAsTheCapturedServer)
{
    const Replay &r = GetParam();
    const std::vector<Line> lines = loadCapture(r.file);
    ASSERT_GE(lines.size(), 2u) << r.file;
    start(r.octet, r.personality, r.tags, r.identity);
    const bool udp = std::string(r.file).find("-udp") != std::string::npos;

    Tcp tcp;
    if (!udp) {
        ASSERT_TRUE(tcp.connect(address));
    }
    uint32_t theirSession = 0, ourSession = 0;
    std::map<uint32_t, uint32_t> connectionIds; // captured server's O->T id to ours
    std::map<uint32_t, uint32_t> replyIds;      // captured server's O->T id to the client's T->O id
    Bytes context, lastRequest;
    for (size_t n = 0; n < lines.size(); ++n) {
        Bytes b = lines[n].bytes;
        const uint16_t command = rd16(b, 0);
        if (theirSession && rd32(b, 4) == theirSession)
            put32(b, 4, ourSession);
        if (lines[n].fromClient) {
            if (command == 0x70 && connectionIds.count(rd32(b, 36)))
                put32(b, 36, connectionIds[rd32(b, 36)]);
            context = slice(b, 12, 8);
            if (udp) {
                lastRequest = b;
            } else {
                ASSERT_TRUE(tcp.send(b));
            }
            continue;
        }
        const std::optional<Bytes> got = udp ? udpExchange(address, lastRequest) : tcp.message();
        ASSERT_TRUE(got.has_value()) << r.file << " line " << n + 4 << ": no reply";
        const Bytes &actual = *got;
        if (command == 0x65 && !theirSession) {
            theirSession = rd32(b, 4);
            ourSession = rd32(actual, 4);
            put32(b, 4, ourSession);
        }
        std::copy(context.begin(), context.end(), b.begin() + 12);
        if ((command == 0x6F || command == 0x70) && b.size() >= 30)
            b[28] = b[29] = 0;
        if (command == 0x6F && b.size() >= 52 && (b[40] == 0xDB || b[40] == 0xD4) && b[42] == 0) {
            connectionIds[rd32(b, 44)] = rd32(actual, 44);
            replyIds[rd32(b, 44)] = rd32(b, 48);
            put32(b, 44, rd32(actual, 44));
        }
        if (command == 0x70 && b.size() >= 40 && replyIds.count(rd32(b, 36)))
            put32(b, 36, replyIds[rd32(b, 36)]);
        if (command == 0x63)
            std::copy(actual.begin() + 36, actual.begin() + 40, b.begin() + 36); // the server's address
        EXPECT_EQ(toHex(actual), toHex(b)) << r.file << " line " << n + 4;
    }
    if (r.after)
        r.after(*sim);
}

auto intIs(const char *name, std::vector<int64_t> values)
{
    return [=](absim::Simulator &s) {
        for (size_t i = 0; i < values.size(); ++i)
            EXPECT_EQ(s.getInt(name, i), values[i]) << name << "[" << i << "]";
    };
}

const auto kN7Alternating = intIs("N7", {1, -2, 3, -4, 5, -6, 7, -8, 9, -10});
const auto kF8 = [](absim::Simulator &s) { EXPECT_EQ(s.getDouble("F8", 1), -2.75); };
const auto kST18 = [](absim::Simulator &s) { EXPECT_EQ(s.getString("ST18", 0), "slc string"); };

const absim::Identity kCpppo{1, 14, 54, 20, 11, 0x3160, 0x006C061A, "1756-L61/B LOGIX5561", 0xFF};
const absim::Identity kOpener{1, 12, 65001, 2, 3, 0x0000, 0x075BCD15, "OpENer PC", 0x00};

INSTANTIATE_TEST_SUITE_P(
    Captures, CaptureReplay,
    ::testing::Values(
        Replay{"logix-read-dint.txt", Personality::ControlLogix, 170, {tagDef("Counter", CipType::Dint, {}, {"12345"})}, {}, {}},
        Replay{"logix-write-dint.txt", Personality::ControlLogix, 171, {tagDef("Counter", CipType::Dint, {}, {"12345"})},
               intIs("Counter", {-123456}), {}},
        Replay{"logix-read-dint-array10.txt", Personality::ControlLogix, 172,
               {tagDef("Arr", CipType::Dint, {10}, {"101", "102", "103", "104", "105", "106", "107", "108", "109", "110"})},
               {}, {}},
        Replay{"logix-read-real.txt", Personality::ControlLogix, 173, {tagDef("Temp", CipType::Real, {}, {"3.25"})}, {}, {}},
        Replay{"logix-read-lreal.txt", Personality::ControlLogix, 174,
               {tagDef("Dbl", CipType::Lreal, {}, {"2.718281828459045"})}, {}, {}},
        Replay{"logix-read-lint.txt", Personality::ControlLogix, 175,
               {tagDef("Big", CipType::Lint, {}, {"-1099511627776"})}, {}, {}},
        Replay{"logix-write-int.txt", Personality::ControlLogix, 177, {tagDef("Mid", CipType::Int, {}, {"300"})},
               intIs("Mid", {-1234}), {}},
        Replay{"slc500-n7-0.txt", Personality::Slc500, 178, dataFiles(), intIs("N7", {1234}), {}},
        Replay{"slc500-n7-0-count10.txt", Personality::Slc500, 179, dataFiles({"1234"}), kN7Alternating, {}},
        Replay{"slc500-f8-1.txt", Personality::Slc500, 180, dataFiles(), kF8, {}},
        Replay{"slc500-st18-0.txt", Personality::Slc500, 181, dataFiles(), kST18, {}},
        Replay{"slc500-l19-0.txt", Personality::Slc500, 182, dataFiles(), intIs("L19", {-100000}), {}},
        Replay{"micrologix-n7-0.txt", Personality::MicroLogix, 183, dataFiles(), intIs("N7", {1234}), {}},
        Replay{"micrologix-n7-0-count10.txt", Personality::MicroLogix, 184, dataFiles({"1234"}), kN7Alternating, {}},
        Replay{"micrologix-f8-1.txt", Personality::MicroLogix, 185, dataFiles(), kF8, {}},
        Replay{"micrologix-st18-0.txt", Personality::MicroLogix, 186, dataFiles(), kST18, {}},
        Replay{"micrologix-l19-0.txt", Personality::MicroLogix, 187, dataFiles(), intIs("L19", {-100000}), {}},
        Replay{"plc5-n7-0.txt", Personality::Plc5, 188, dataFiles(), intIs("N7", {4321}), {}},
        Replay{"plc5-n7-0-count5.txt", Personality::Plc5, 189, dataFiles({"4321"}), intIs("N7", {11, -22, 33, -44, 55}),
               {}},
        Replay{"cpppo-list-identity-udp.txt", Personality::ControlLogix, 190, {}, {}, kCpppo},
        Replay{"cpppo-list-identity-tcp.txt", Personality::ControlLogix, 191, {}, {}, kCpppo},
        Replay{"opener-list-identity-udp.txt", Personality::ControlLogix, 192, {}, {}, kOpener},
        Replay{"opener-list-identity-tcp.txt", Personality::ControlLogix, 193, {}, {}, kOpener}),
    [](const ::testing::TestParamInfo<Replay> &i) {
        std::string name;
        for (const char *p = i.param.file; *p && *p != '.'; ++p)
            name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
        return name;
    });

} // namespace
} // namespace simtest
