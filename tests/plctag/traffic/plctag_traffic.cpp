// Drives every request kind of the tag library against simulated controllers, so that a
// capture of its traffic (AB_PLCTAG_PCAP) can be checked by an independent dissector.
//
//   plctag_traffic <manifest>
//
// Every operation is checked here (the controller holds what was written, the read back
// matches). The manifest lists the requests they put on the wire, one kind per line:
// "<server> cip <service> <symbol,segments>" (Connection Manager services and the outer
// Unconnected Send carry no symbol) or "<server> pccc <function> <file> <file type>", numbers
// in decimal. Exit status 0 only when every operation succeeded.
#include "sim_helper.h"

#include <libplctag.h>

#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <vector>

using absim::CipType;
using absim::Personality;
using plctag_test::tagDef;

namespace {

constexpr int kTimeout = 5000;
int gFailures = 0;
std::set<std::string> gExpected;

bool check(bool ok, const std::string &what, int rc = 0)
{
    if (!ok) {
        std::fprintf(stderr, "FAILED: %s (%d %s)\n", what.c_str(), rc, plc_tag_decode_error(rc));
        ++gFailures;
    }
    return ok;
}

void expectCip(const char *ip, int service, const char *symbols = "")
{
    gExpected.insert(std::string(ip) + " cip " + std::to_string(service) + " " + symbols);
}

struct Pccc {
    int function, file, fileType; // tshark shows no address for 0xAB and the PLC-5 functions: 0 0
};

void expectPccc(const char *ip, Pccc p)
{
    expectCip(ip, 0x4B);
    gExpected.insert(std::string(ip) + " pccc " + std::to_string(p.function) + " " + std::to_string(p.file) + " " +
                     std::to_string(p.fileType));
}

std::unique_ptr<absim::Simulator> simulator(const char *ip, Personality p, std::vector<absim::TagDef> tags = {})
{
    std::string error;
    auto sim = plctag_test::startSimulator(ip, p, std::move(tags), &error);
    check(sim != nullptr, std::string(ip) + ": " + error);
    return sim;
}

std::string attrs(const char *ip, const char *plc, const char *path, const char *name, int count = 1)
{
    std::string s = std::string("protocol=ab_eip&gateway=") + ip + "&plc=" + plc + "&name=" + name +
                    "&elem_count=" + std::to_string(count);
    return path ? s + "&path=" + path : s;
}

// Creates the tag (its initial read), lets `set` change the buffer, writes it, asks the
// controller whether it holds the value, reads it back and compares the whole buffer.
void roundTrip(const std::string &a, const std::function<void(int32_t)> &set, const std::function<bool()> &held)
{
    const int32_t h = plc_tag_create(a.c_str(), kTimeout);
    if (!check(h > 0, "create " + a, h))
        return;
    set(h);
    std::vector<uint8_t> sent(static_cast<size_t>(plc_tag_get_size(h)));
    plc_tag_get_raw_bytes(h, 0, sent.data(), static_cast<int>(sent.size()));
    int rc = plc_tag_write(h, kTimeout);
    check(rc == PLCTAG_STATUS_OK, "write " + a, rc);
    check(held(), "value in the controller after writing " + a);
    plc_tag_set_raw_bytes(h, 0, std::vector<uint8_t>(sent.size(), 0x5a).data(), static_cast<int>(sent.size()));
    rc = plc_tag_read(h, kTimeout);
    check(rc == PLCTAG_STATUS_OK, "read " + a, rc);
    std::vector<uint8_t> back(sent.size());
    plc_tag_get_raw_bytes(h, 0, back.data(), static_cast<int>(back.size()));
    check(back == sent, "read back of " + a);
    plc_tag_destroy(h);
}

// Logix over a Large Forward Open connection: scalars, a 4000-byte array read and written in
// fragments, a program-scope tag, a bit, a STRING; then unconnected messaging (Unconnected
// Send along the path) and error replies.
void logix(const char *ip)
{
    auto sim = simulator(ip, Personality::ControlLogix,
                         {tagDef("Counter", CipType::Dint, {}, {"12345"}), tagDef("Temp", CipType::Real),
                          tagDef("Large", CipType::Dint, {1000}), tagDef("Program:MainProgram.Speed", CipType::Int),
                          tagDef("Arr", CipType::Dint, {10}), tagDef("Text", CipType::String),
                          tagDef("Small", CipType::Sint)});
    if (!sim)
        return;
    auto lgx = [&](const char *name, int count = 1) { return attrs(ip, "ControlLogix", "1,0", name, count); };
    roundTrip(lgx("Counter"), [](int32_t h) { plc_tag_set_int32(h, 0, -123456); },
              [&] { return sim->getInt("Counter") == -123456; });
    roundTrip(lgx("Temp"), [](int32_t h) { plc_tag_set_float32(h, 0, -2.5f); },
              [&] { return sim->getDouble("Temp") == -2.5; });
    roundTrip(lgx("Large", 1000),
              [](int32_t h) {
                  for (int i = 0; i < 1000; ++i)
                      plc_tag_set_int32(h, 4 * i, 1 + 3 * i);
              },
              [&] { return sim->getInt("Large", 999) == 2998; });
    roundTrip(lgx("Program:MainProgram.Speed"), [](int32_t h) { plc_tag_set_int16(h, 0, -300); },
              [&] { return sim->getInt("Program:MainProgram.Speed") == -300; });
    roundTrip(lgx("Arr[3]", 2), [](int32_t h) { plc_tag_set_int32(h, 4, 44); },
              [&] { return sim->getInt("Arr", 4) == 44; });
    roundTrip(lgx("Counter.5"), [](int32_t h) { plc_tag_set_bit(h, 0, 1); },
              [&] { return (*sim->getInt("Counter") & 0x20) != 0; });
    roundTrip(lgx("Text"), [](int32_t h) { plc_tag_set_string(h, 0, "hello plc"); },
              [&] { return sim->getString("Text") == std::string("hello plc"); });
    for (const char *s : {"Counter", "Temp", "Program:MainProgram,Speed", "Text"}) {
        expectCip(ip, 0x52, s);
        expectCip(ip, 0x4D, s);
    }
    expectCip(ip, 0x52, "Large");
    expectCip(ip, 0x53, "Large");
    expectCip(ip, 0x52, "Arr");
    expectCip(ip, 0x4D, "Arr");
    expectCip(ip, 0x4E, "Counter");
    expectCip(ip, 0x5B);
    expectCip(ip, 0x4E); // Forward Close

    roundTrip(lgx("Small") + "&use_connected_msg=0&share_session=0", [](int32_t h) { plc_tag_set_int8(h, 0, -5); },
              [&] { return sim->getInt("Small") == -5; });
    expectCip(ip, 0x52); // the Unconnected Send around each request
    expectCip(ip, 0x52, "Small");
    expectCip(ip, 0x4D, "Small");

    int rc = plc_tag_create(lgx("NoSuchTag").c_str(), kTimeout);
    check(rc == PLCTAG_ERR_NOT_FOUND, "NoSuchTag is not found", rc);
    rc = plc_tag_create(lgx("Arr[8]", 5).c_str(), kTimeout);
    check(rc < 0, "Arr[8] x5 runs past the end", rc);
    rc = plc_tag_create(attrs(ip, "ControlLogix", "1,3", "Counter").c_str(), 250); // Forward Open refused
    check(rc == PLCTAG_ERR_BAD_GATEWAY, "nothing in slot 3", rc);
    expectCip(ip, 0x52, "NoSuchTag");
    plc_tag_shutdown();
}

// Two tags over each family's own connection: FlexLogix and Micro800 have no Large Forward
// Open (the classic one follows the 0x08); Omron reads with plain Read Tag, and its
// UINT-counted string changes length.
void counterAndText(const char *ip, Personality p, const char *plc, const char *path)
{
    const bool omron = p == Personality::OmronNJ;
    auto sim = simulator(ip, p, {tagDef("Counter", CipType::Dint), tagDef("Text", CipType::String, {}, {"omron text"})});
    if (!sim)
        return;
    const std::string text = omron ? "short" : "micro800 str";
    roundTrip(attrs(ip, plc, path, "Counter"), [](int32_t h) { plc_tag_set_int32(h, 0, -987654); },
              [&] { return sim->getInt("Counter") == -987654; });
    roundTrip(attrs(ip, plc, path, "Text"), [&](int32_t h) { plc_tag_set_string(h, 0, text.c_str()); },
              [&] { return sim->getString("Text") == text; });
    for (const char *s : {"Counter", "Text"}) {
        expectCip(ip, omron ? 0x4C : 0x52, s);
        expectCip(ip, 0x4D, s);
    }
    expectCip(ip, 0x5B);
    if (!omron)
        expectCip(ip, 0x54);
    expectCip(ip, 0x4E);
    plc_tag_shutdown();
}

// SLC 500 / MicroLogix typed logical reads (0xA2), writes (0xAA), masked bit writes (0xAB);
// PLC-5 word range reads (0x01), writes (0x00), bit read-modify-write (0x26).
void pccc(const char *ip, Personality p, const char *plc)
{
    auto sim = simulator(ip, p);
    if (!sim)
        return;
    const bool slc = p != Personality::Plc5;
    auto tag = [&](const char *name, int count = 1) { return attrs(ip, plc, nullptr, name, count); };
    const Pccc read = {0x01, 0, 0}, write = {0x00, 0, 0};
    auto rw = [&](int file, int type) {
        expectPccc(ip, slc ? Pccc{0xA2, file, type} : read);
        expectPccc(ip, slc ? Pccc{0xAA, file, type} : write);
    };
    roundTrip(tag("N7:0", 10),
              [](int32_t h) {
                  for (int i = 0; i < 10; ++i)
                      plc_tag_set_int16(h, 2 * i, static_cast<int16_t>(i % 2 ? -i : i));
              },
              [&] { return sim->getInt("N7", 9) == -9; });
    rw(7, 0x89);
    roundTrip(tag("F8:1"), [](int32_t h) { plc_tag_set_float32(h, 0, -2.75f); },
              [&] { return sim->getDouble("F8", 1) == -2.75; });
    rw(8, 0x8A);
    roundTrip(tag("ST9:0"), [](int32_t h) { plc_tag_set_string(h, 0, "slc string"); },
              [&] { return sim->getString("ST9", 0) == std::string("slc string"); });
    rw(9, 0x8D);
    roundTrip(tag("T4:0.ACC"), [](int32_t h) { plc_tag_set_int16(h, 0, 500); },
              [&] { return sim->getInt("T4", 2) == 500; });
    rw(4, 0x86);
    roundTrip(tag("B3:0/5"), [](int32_t h) { plc_tag_set_bit(h, 0, 1); }, [&] { return sim->getInt("B3", 0) == 0x20; });
    expectPccc(ip, slc ? Pccc{0xA2, 3, 0x85} : read);
    expectPccc(ip, slc ? Pccc{0xAB, 0, 0} : Pccc{0x26, 0, 0});
    if (p == Personality::MicroLogix) {
        roundTrip(tag("L10:0"), [](int32_t h) { plc_tag_set_int32(h, 0, -100000); },
                  [&] { return sim->getInt("L10", 0) == -100000; });
        rw(10, 0x91);
    }
    // Error replies: a file the controller does not have, an element past the end.
    const int rc = plc_tag_create(tag(slc ? "N40:0" : "N7:500").c_str(), kTimeout);
    check(rc == PLCTAG_ERR_REMOTE_ERR, "no such data", rc);
    expectPccc(ip, slc ? Pccc{0xA2, 40, 0x89} : read);
    plc_tag_shutdown();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <manifest>\n", argv[0]);
        return 2;
    }
    logix("127.0.20.200");
    counterAndText("127.0.20.201", Personality::FlexLogix, "flexlogix", "1,0");
    counterAndText("127.0.20.202", Personality::Micro800, "Micro800", nullptr);
    counterAndText("127.0.20.203", Personality::OmronNJ, "omron-njnx", "1,0");
    pccc("127.0.20.204", Personality::Slc500, "slc500");
    pccc("127.0.20.205", Personality::MicroLogix, "micrologix");
    pccc("127.0.20.206", Personality::Plc5, "plc5");

    FILE *m = std::fopen(argv[1], "w");
    if (!m) {
        std::perror(argv[1]);
        return 2;
    }
    for (const std::string &line : gExpected)
        std::fprintf(m, "%s\n", line.c_str());
    std::fclose(m);
    if (gFailures)
        std::fprintf(stderr, "%d check(s) failed\n", gFailures);
    return gFailures ? 1 : 0;
}
