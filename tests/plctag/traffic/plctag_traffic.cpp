// Drives every request kind of the tag library against simulated controllers, so that a
// capture of its traffic (AB_PLCTAG_PCAP) can be checked by an independent dissector.
//
//   plctag_traffic <manifest>
//
// Each operation is checked here (values read back); the manifest lists, one per line, the
// requests the operations put on the wire as "<server ip> cip <service> <symbol,segments>"
// or "<server ip> pccc <function> <file> <file type>", all numbers in decimal; the outer
// Unconnected Send and the Connection Manager services carry no symbol.
// Exit status 0 only when every operation succeeded.
#include "sim_helper.h"

#include <libplctag.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

using absim::CipType;
using absim::Personality;
using plctag_test::tagDef;

namespace {

constexpr int kTimeout = 5000;
int gFailures = 0;
std::set<std::string> gExpected;

void expectCip(const char *ip, int service, const char *symbols)
{
    gExpected.insert(std::string(ip) + " cip " + std::to_string(service) + " " + symbols);
}

void expectPccc(const char *ip, int function, int file, int fileType)
{
    gExpected.insert(std::string(ip) + " pccc " + std::to_string(function) + " " + std::to_string(file) + " " +
                     std::to_string(fileType));
}

bool check(bool ok, const char *what, int rc = 0)
{
    if (!ok) {
        std::fprintf(stderr, "FAILED: %s (%d %s)\n", what, rc, plc_tag_decode_error(rc));
        ++gFailures;
    }
    return ok;
}

int32_t create(const std::string &attrs)
{
    const int32_t h = plc_tag_create(attrs.c_str(), kTimeout);
    check(h > 0, attrs.c_str(), h);
    return h;
}

bool ok(int rc, const char *what) { return check(rc == PLCTAG_STATUS_OK, what, rc); }

std::string cipAttrs(const char *ip, const char *plc, const char *path, const char *name, int count = 1)
{
    std::string s = std::string("protocol=ab_eip&gateway=") + ip + "&plc=" + plc + "&name=" + name +
                    "&elem_count=" + std::to_string(count);
    if (path)
        s += std::string("&path=") + path;
    return s;
}

// Logix over a Large Forward Open connection: scalars, a 4000-byte array read and written in
// fragments, a program-scope tag, an array element, a bit, a STRING; then the same controller
// over unconnected messaging (Unconnected Send along the path).
void logix(const char *ip)
{
    std::string error;
    auto sim = plctag_test::startSimulator(
        ip, Personality::ControlLogix,
        {tagDef("Counter", CipType::Dint, {}, {"12345"}), tagDef("Temp", CipType::Real, {}, {"3.25"}),
         tagDef("Large", CipType::Dint, {1000}), tagDef("Program:MainProgram.Speed", CipType::Int, {}, {"77"}),
         tagDef("Arr", CipType::Dint, {10}, {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"}),
         tagDef("Text", CipType::String), tagDef("Small", CipType::Sint, {}, {"7"})},
        &error);
    if (!check(sim != nullptr, error.c_str()))
        return;

    int32_t h = create(cipAttrs(ip, "ControlLogix", "1,0", "Counter"));
    if (h > 0) {
        check(plc_tag_get_int32(h, 0) == 12345, "Counter initial");
        plc_tag_set_int32(h, 0, -123456);
        ok(plc_tag_write(h, kTimeout), "Counter write");
        ok(plc_tag_read(h, kTimeout), "Counter read");
        check(plc_tag_get_int32(h, 0) == -123456, "Counter read back");
        plc_tag_destroy(h);
    }
    expectCip(ip, 0x52, "Counter");
    expectCip(ip, 0x4D, "Counter");

    h = create(cipAttrs(ip, "ControlLogix", "1,0", "Temp"));
    if (h > 0) {
        check(plc_tag_get_float32(h, 0) == 3.25f, "Temp initial");
        plc_tag_set_float32(h, 0, -2.5f);
        ok(plc_tag_write(h, kTimeout), "Temp write");
        check(sim->getDouble("Temp") == -2.5, "Temp in the controller");
        plc_tag_destroy(h);
    }
    expectCip(ip, 0x52, "Temp");
    expectCip(ip, 0x4D, "Temp");

    h = create(cipAttrs(ip, "ControlLogix", "1,0", "Large", 1000));
    if (h > 0) {
        check(plc_tag_get_size(h) == 4000, "Large size");
        for (int i = 0; i < 1000; ++i)
            plc_tag_set_int32(h, i * 4, 1 + 3 * i);
        ok(plc_tag_write(h, kTimeout), "Large write");
        check(sim->getInt("Large", 999) == 2998, "Large in the controller");
        ok(plc_tag_read(h, kTimeout), "Large read");
        check(plc_tag_get_int32(h, 3996) == 2998, "Large read back");
        plc_tag_destroy(h);
    }
    expectCip(ip, 0x52, "Large");
    expectCip(ip, 0x53, "Large");

    h = create(cipAttrs(ip, "ControlLogix", "1,0", "Program:MainProgram.Speed"));
    if (h > 0) {
        check(plc_tag_get_int16(h, 0) == 77, "Speed initial");
        plc_tag_set_int16(h, 0, -300);
        ok(plc_tag_write(h, kTimeout), "Speed write");
        check(sim->getInt("Program:MainProgram.Speed") == -300, "Speed in the controller");
        plc_tag_destroy(h);
    }
    expectCip(ip, 0x52, "Program:MainProgram,Speed");
    expectCip(ip, 0x4D, "Program:MainProgram,Speed");

    h = create(cipAttrs(ip, "ControlLogix", "1,0", "Arr[3]", 2));
    if (h > 0) {
        check(plc_tag_get_int32(h, 0) == 3 && plc_tag_get_int32(h, 4) == 4, "Arr[3..4]");
        plc_tag_destroy(h);
    }
    expectCip(ip, 0x52, "Arr");

    h = create(cipAttrs(ip, "ControlLogix", "1,0", "Counter.5"));
    if (h > 0) {
        plc_tag_set_bit(h, 0, 1);
        ok(plc_tag_write(h, kTimeout), "Counter.5 write");
        check((*sim->getInt("Counter") & 0x20) != 0, "Counter bit 5 in the controller");
        plc_tag_destroy(h);
    }
    expectCip(ip, 0x4E, "Counter");

    h = create(cipAttrs(ip, "ControlLogix", "1,0", "Text"));
    if (h > 0) {
        ok(plc_tag_set_string(h, 0, "hello plc"), "Text set_string");
        ok(plc_tag_write(h, kTimeout), "Text write");
        ok(plc_tag_read(h, kTimeout), "Text read");
        char buf[32] = {0};
        plc_tag_get_string(h, 0, buf, sizeof buf - 1);
        check(std::strcmp(buf, "hello plc") == 0, "Text read back");
        plc_tag_destroy(h);
    }
    expectCip(ip, 0x52, "Text");
    expectCip(ip, 0x4D, "Text");

    // Unconnected: every request goes inside an Unconnected Send (0x52 to the Connection
    // Manager, no symbol of its own) along the route 1,0.
    h = create(cipAttrs(ip, "ControlLogix", "1,0", "Small") + "&use_connected_msg=0&share_session=0");
    if (h > 0) {
        check(plc_tag_get_int8(h, 0) == 7, "Small initial");
        plc_tag_set_int8(h, 0, -5);
        ok(plc_tag_write(h, kTimeout), "Small write");
        check(sim->getInt("Small") == -5, "Small in the controller");
        plc_tag_destroy(h);
    }
    expectCip(ip, 0x52, "");
    expectCip(ip, 0x52, "Small");
    expectCip(ip, 0x4D, "Small");

    // Forward Open, Forward Close of the connected session.
    expectCip(ip, 0x5B, "");
    expectCip(ip, 0x4E, "");
    plc_tag_shutdown();
}

// A controller without Large Forward Open: the classic Forward Open after the 0x08 refusal.
void flexLogix(const char *ip)
{
    std::string error;
    auto sim = plctag_test::startSimulator(ip, Personality::FlexLogix,
                                           {tagDef("Counter", CipType::Dint, {}, {"5"})}, &error);
    if (!check(sim != nullptr, error.c_str()))
        return;
    const int32_t h = create(cipAttrs(ip, "flexlogix", "1,0", "Counter"));
    if (h > 0) {
        check(plc_tag_get_int32(h, 0) == 5, "FlexLogix Counter");
        plc_tag_destroy(h);
    }
    expectCip(ip, 0x5B, "");
    expectCip(ip, 0x54, "");
    expectCip(ip, 0x52, "Counter");
    expectCip(ip, 0x4E, "");
    plc_tag_shutdown();
}

void micro800(const char *ip)
{
    std::string error;
    auto sim = plctag_test::startSimulator(
        ip, Personality::Micro800,
        {tagDef("Counter", CipType::Dint, {}, {"0"}), tagDef("Text", CipType::String, {}, {"m8"})}, &error);
    if (!check(sim != nullptr, error.c_str()))
        return;
    int32_t h = create(cipAttrs(ip, "Micro800", nullptr, "Counter"));
    if (h > 0) {
        plc_tag_set_int32(h, 0, 987654);
        ok(plc_tag_write(h, kTimeout), "Micro800 Counter write");
        check(sim->getInt("Counter") == 987654, "Micro800 Counter in the controller");
        plc_tag_destroy(h);
    }
    h = create(cipAttrs(ip, "Micro800", nullptr, "Text"));
    if (h > 0) {
        ok(plc_tag_set_string(h, 0, "micro800 str"), "Micro800 set_string");
        ok(plc_tag_write(h, kTimeout), "Micro800 Text write");
        check(sim->getString("Text") == std::string("micro800 str"), "Micro800 Text in the controller");
        plc_tag_destroy(h);
    }
    expectCip(ip, 0x5B, "");
    expectCip(ip, 0x54, "");
    expectCip(ip, 0x52, "Counter");
    expectCip(ip, 0x4D, "Counter");
    expectCip(ip, 0x52, "Text");
    expectCip(ip, 0x4D, "Text");
    expectCip(ip, 0x4E, "");
    plc_tag_shutdown();
}

void omron(const char *ip)
{
    std::string error;
    auto sim = plctag_test::startSimulator(
        ip, Personality::OmronNJ,
        {tagDef("Counter", CipType::Dint, {}, {"0"}), tagDef("Text", CipType::String, {}, {"omron text"})}, &error);
    if (!check(sim != nullptr, error.c_str()))
        return;
    int32_t h = create(cipAttrs(ip, "omron-njnx", "1,0", "Counter"));
    if (h > 0) {
        plc_tag_set_int32(h, 0, -42);
        ok(plc_tag_write(h, kTimeout), "Omron Counter write");
        ok(plc_tag_read(h, kTimeout), "Omron Counter read");
        check(plc_tag_get_int32(h, 0) == -42, "Omron Counter read back");
        plc_tag_destroy(h);
    }
    h = create(cipAttrs(ip, "omron-njnx", "1,0", "Text"));
    if (h > 0) {
        char buf[32] = {0};
        plc_tag_get_string(h, 0, buf, sizeof buf - 1);
        check(std::strcmp(buf, "omron text") == 0, "Omron Text");
        ok(plc_tag_set_string(h, 0, "short"), "Omron set_string");
        ok(plc_tag_write(h, kTimeout), "Omron Text write");
        check(sim->getString("Text") == std::string("short"), "Omron Text in the controller");
        plc_tag_destroy(h);
    }
    expectCip(ip, 0x5B, "");
    expectCip(ip, 0x4C, "Counter");
    expectCip(ip, 0x4D, "Counter");
    expectCip(ip, 0x4C, "Text");
    expectCip(ip, 0x4D, "Text");
    expectCip(ip, 0x4E, "");
    plc_tag_shutdown();
}

std::string pcccAttrs(const char *ip, const char *plc, const char *name, int count = 1)
{
    return std::string("protocol=ab_eip&gateway=") + ip + "&plc=" + plc + "&name=" + name +
           "&elem_count=" + std::to_string(count);
}

// SLC 500 / MicroLogix typed logical reads (0xA2), writes (0xAA) and masked bit writes (0xAB).
void slc(const char *ip, Personality p, const char *plc, bool longs)
{
    std::string error;
    auto sim = plctag_test::startSimulator(ip, p, {}, &error);
    if (!check(sim != nullptr, error.c_str()))
        return;
    sim->setInt("N7", 1234, 0);
    int32_t h = create(pcccAttrs(ip, plc, "N7:0", 10));
    if (h > 0) {
        check(plc_tag_get_int16(h, 0) == 1234, "N7:0");
        for (int i = 0; i < 10; ++i)
            plc_tag_set_int16(h, i * 2, static_cast<int16_t>(i % 2 ? -(i + 1) : i + 1));
        ok(plc_tag_write(h, kTimeout), "N7:0 x10 write");
        check(sim->getInt("N7", 9) == -10, "N7:9 in the controller");
        plc_tag_destroy(h);
    }
    h = create(pcccAttrs(ip, plc, "F8:1"));
    if (h > 0) {
        plc_tag_set_float32(h, 0, -2.75f);
        ok(plc_tag_write(h, kTimeout), "F8:1 write");
        check(sim->getDouble("F8", 1) == -2.75, "F8:1 in the controller");
        plc_tag_destroy(h);
    }
    h = create(pcccAttrs(ip, plc, "ST9:0"));
    if (h > 0) {
        ok(plc_tag_set_string(h, 0, "slc string"), "ST9:0 set_string");
        ok(plc_tag_write(h, kTimeout), "ST9:0 write");
        check(sim->getString("ST9", 0) == std::string("slc string"), "ST9:0 in the controller");
        plc_tag_destroy(h);
    }
    h = create(pcccAttrs(ip, plc, "B3:0/5"));
    if (h > 0) {
        plc_tag_set_bit(h, 0, 1);
        ok(plc_tag_write(h, kTimeout), "B3:0/5 write");
        check(sim->getInt("B3", 0) == 0x20, "B3:0/5 in the controller");
        plc_tag_destroy(h);
    }
    h = create(pcccAttrs(ip, plc, "T4:0.ACC"));
    if (h > 0) {
        plc_tag_set_int16(h, 0, 500);
        ok(plc_tag_write(h, kTimeout), "T4:0.ACC write");
        check(sim->getInt("T4", 2) == 500, "T4:0.ACC in the controller");
        plc_tag_destroy(h);
    }
    expectCip(ip, 0x4B, "");
    expectPccc(ip, 0xA2, 7, 0x89);
    expectPccc(ip, 0xAA, 7, 0x89);
    expectPccc(ip, 0xA2, 8, 0x8A);
    expectPccc(ip, 0xAA, 8, 0x8A);
    expectPccc(ip, 0xA2, 9, 0x8D);
    expectPccc(ip, 0xAA, 9, 0x8D);
    expectPccc(ip, 0xA2, 3, 0x85);
    expectPccc(ip, 0xAB, 0, 0); // tshark shows no address fields for the masked write
    expectPccc(ip, 0xA2, 4, 0x86);
    expectPccc(ip, 0xAA, 4, 0x86);
    if (longs) {
        h = create(pcccAttrs(ip, plc, "L10:0"));
        if (h > 0) {
            plc_tag_set_int32(h, 0, -100000);
            ok(plc_tag_write(h, kTimeout), "L10:0 write");
            check(sim->getInt("L10", 0) == -100000, "L10:0 in the controller");
            plc_tag_destroy(h);
        }
        expectPccc(ip, 0xA2, 10, 0x91);
        expectPccc(ip, 0xAA, 10, 0x91);
    }
    plc_tag_shutdown();
}

// PLC-5 word range reads (0x01), writes (0x00) and read-modify-write of one bit (0x26).
// tshark shows no file number or type for these function codes: the manifest gives 0 0.
void plc5(const char *ip)
{
    std::string error;
    auto sim = plctag_test::startSimulator(ip, Personality::Plc5, {}, &error);
    if (!check(sim != nullptr, error.c_str()))
        return;
    sim->setInt("N7", 4321, 0);
    int32_t h = create(pcccAttrs(ip, "plc5", "N7:0", 5));
    if (h > 0) {
        check(plc_tag_get_int16(h, 0) == 4321, "PLC-5 N7:0");
        const int16_t v[5] = {11, -22, 33, -44, 55};
        for (int i = 0; i < 5; ++i)
            plc_tag_set_int16(h, i * 2, v[i]);
        ok(plc_tag_write(h, kTimeout), "PLC-5 N7:0 x5 write");
        check(sim->getInt("N7", 4) == 55, "PLC-5 N7:4 in the controller");
        plc_tag_destroy(h);
    }
    h = create(pcccAttrs(ip, "plc5", "F8:1"));
    if (h > 0) {
        plc_tag_set_float32(h, 0, 3.5f);
        ok(plc_tag_write(h, kTimeout), "PLC-5 F8:1 write");
        check(sim->getDouble("F8", 1) == 3.5, "PLC-5 F8:1 in the controller");
        plc_tag_destroy(h);
    }
    h = create(pcccAttrs(ip, "plc5", "B3:0/5"));
    if (h > 0) {
        plc_tag_set_bit(h, 0, 1);
        ok(plc_tag_write(h, kTimeout), "PLC-5 B3:0/5 write");
        check(sim->getInt("B3", 0) == 0x20, "PLC-5 B3:0/5 in the controller");
        plc_tag_destroy(h);
    }
    expectCip(ip, 0x4B, "");
    expectPccc(ip, 0x01, 0, 0);
    expectPccc(ip, 0x00, 0, 0);
    expectPccc(ip, 0x26, 0, 0);
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
    flexLogix("127.0.20.201");
    micro800("127.0.20.202");
    omron("127.0.20.203");
    slc("127.0.20.204", Personality::Slc500, "slc500", false);
    slc("127.0.20.205", Personality::MicroLogix, "micrologix", true);
    plc5("127.0.20.206");

    FILE *m = std::fopen(argv[1], "w");
    if (!m) {
        std::perror(argv[1]);
        return 2;
    }
    for (const std::string &line : gExpected)
        std::fprintf(m, "%s\n", line.c_str());
    std::fclose(m);
    if (gFailures)
        std::fprintf(stderr, "%d operation(s) failed\n", gFailures);
    return gFailures ? 1 : 0;
}
