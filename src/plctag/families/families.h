// Per-controller-family defaults, chosen from the "plc" attribute.
#pragma once

#include "buffer/layout.h"

#include <cstdint>
#include <string_view>

namespace plctag {

class Protocol;

enum class FamilyId : uint8_t { Logix, Micro800, Omron, Plc5, Slc500, MicroLogix, LogixPccc };

struct Family {
    FamilyId id;
    const char *name;
    bool connected;               // class 3 connection through Forward Open
    bool pathRequired;            // create fails without a path
    bool routeUnconnected;        // unconnected requests go through Unconnected Send along the path
    uint16_t largeConnectionSize; // Large Forward Open size tried first; 0 = classic only
    uint16_t classicConnectionSize;
    uint16_t unconnectedPayload;  // UCMM message limit
    uint16_t maxPacked;           // requests per Multiple Service Packet; 0: one request at a time
    buffer::StringLayout strings;
    buffer::ByteOrder byteOrder;
    const Protocol *protocol;     // request/reply codec; nullptr while unsupported
    const char *why;              // the reason for these defaults
};

// Case-insensitive lookup of a plc attribute value (including aliases); nullptr if unknown.
const Family *findFamily(std::string_view plc);
const Family &family(FamilyId id);

} // namespace plctag
