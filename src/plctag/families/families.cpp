#include "families/families.h"

#include "logix/logix_protocol.h"
#include "pccc/pccc_protocol.h"

#include <cctype>

namespace plctag {

namespace {

using buffer::ByteOrder;
using buffer::StringLayout;

using buffer::kLogixString;
using buffer::kShortString; // Micro800 strings
// Omron STRING: UINT length then the characters; reported with a terminating NUL.
constexpr StringLayout kOmronString{true, 2, false, 0, 0, 0, true, false};
// PCCC ST element: UINT length, 82 characters swapped in pairs = 84.
constexpr StringLayout kPcccString{true, 2, true, 82, 84, 0, false, true};

constexpr ByteOrder kLittleEndian{};
// No count limit of its own: the connection size bounds a packet.
constexpr uint16_t kPackBySize = 0xFFFF;
// PLC-5 keeps REALs word-swapped.
constexpr ByteOrder kPlc5Order{{0, 1}, {0, 1, 2, 3}, {0, 1, 2, 3, 4, 5, 6, 7}, {2, 3, 0, 1}, {0, 1, 2, 3, 4, 5, 6, 7}};

const Family kFamilies[] = {
    {FamilyId::Logix, "ControlLogix", true, true, true, 4002, 508, 508, kPackBySize, kLogixString, kLittleEndian,
     &logix::logixProtocol(),
     "CPU sits behind a backplane (path 1,slot is mandatory); v20+ takes Large Forward Open with 4002 bytes, "
     "older firmware and FlexLogix answer 0x08 and get the classic 508-byte connection; queued requests go "
     "out in Multiple Service Packets up to the connection size (a reply that still overflows comes back "
     "as a partial read and is continued)"},
    {FamilyId::Micro800, "Micro800", true, false, false, 4002, 508, 508, 0, kShortString, kLittleEndian,
     &logix::logixProtocol(),
     "addressed directly on its own port (no route; a given path still goes into the Forward Open); "
     "rejects Multiple Service Packet (0x08), so one request at a time; strings are SHORT_STRING"},
    {FamilyId::Omron, "Omron NJ/NX", true, true, true, 1996, 508, 502, 32, kOmronString, kLittleEndian,
     &logix::omronProtocol(),
     "messages up to 1994 bytes on a large connection; no fragmented services, so a tag is one element "
     "read with Read Tag; STRING is a UINT-counted CIP string; packs conservatively: at most 32 services, "
     "and only requests whose whole reply size is known (no STRING reads), since a reply that does not fit "
     "is not continued"},
    {FamilyId::Plc5, "PLC-5", false, false, false, 0, 0, 244, 0, kPcccString, kPlc5Order, &pccc::plc5Protocol(),
     "PCCC through Execute PCCC, unconnected, 244-byte payloads, one request at a time; REALs word-swapped"},
    {FamilyId::Slc500, "SLC 500", false, false, false, 0, 0, 244, 0, kPcccString, kLittleEndian,
     &pccc::slcProtocol(),
     "PCCC through Execute PCCC, unconnected, 244-byte payloads, one request at a time"},
    {FamilyId::MicroLogix, "MicroLogix", false, false, false, 0, 0, 244, 0, kPcccString, kLittleEndian,
     &pccc::slcProtocol(), "same PCCC command set as SLC 500"},
    {FamilyId::LogixPccc, "Logix PCCC", false, false, true, 0, 0, 244, 0, kPcccString, kLittleEndian,
     &pccc::plc5Protocol(), "PLC-5 style data-table access to a Logix CPU, routed with Unconnected Send"},
};

struct Alias {
    const char *name;
    FamilyId id;
};

const Alias kAliases[] = {
    {"controllogix", FamilyId::Logix}, {"contrologix", FamilyId::Logix}, {"compactlogix", FamilyId::Logix},
    {"clgx", FamilyId::Logix},         {"lgx", FamilyId::Logix},         {"logix", FamilyId::Logix},
    // Dropped by libplctag 2.x; FlexLogix speaks the Logix protocol with the classic connection.
    {"flexlogix", FamilyId::Logix},    {"flgx", FamilyId::Logix},
    {"micro800", FamilyId::Micro800},  {"micrologix800", FamilyId::Micro800}, {"mlgx800", FamilyId::Micro800},
    {"omron-njnx", FamilyId::Omron},   {"omron-nj", FamilyId::Omron},    {"omron-nx", FamilyId::Omron},
    {"njnx", FamilyId::Omron},         {"nx1p2", FamilyId::Omron},
    {"plc5", FamilyId::Plc5},          {"plc", FamilyId::Plc5},
    {"slc500", FamilyId::Slc500},      {"slc", FamilyId::Slc500},
    {"micrologix", FamilyId::MicroLogix}, {"mlgx", FamilyId::MicroLogix},
    {"lgxpccc", FamilyId::LogixPccc},  {"logixpccc", FamilyId::LogixPccc}, {"lgxplc5", FamilyId::LogixPccc},
    {"logixplc5", FamilyId::LogixPccc}, {"lgx-pccc", FamilyId::LogixPccc}, {"logix-pccc", FamilyId::LogixPccc},
    {"lgx-plc5", FamilyId::LogixPccc}, {"logix-plc5", FamilyId::LogixPccc},
};

bool equalsNoCase(std::string_view a, const char *b)
{
    size_t i = 0;
    for (; i < a.size(); ++i) {
        if (b[i] == 0 || std::tolower(static_cast<unsigned char>(a[i])) != b[i])
            return false;
    }
    return b[i] == 0;
}

} // namespace

const Family &family(FamilyId id) { return kFamilies[static_cast<size_t>(id)]; }

const Family *findFamily(std::string_view plc)
{
    for (const Alias &a : kAliases) {
        if (equalsNoCase(plc, a.name))
            return &family(a.id);
    }
    return nullptr;
}

} // namespace plctag
