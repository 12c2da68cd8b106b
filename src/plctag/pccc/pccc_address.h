// PCCC data-table addresses as users of SLC 500, MicroLogix and PLC-5 controllers write them:
// N7:0, F8:1, B3:0/5, T4:0.ACC, C5:0.DN, ST9:0, L9:0, S:1, and N7:0[3] (element 3 further on).
#pragma once

#include <cstdint>
#include <string_view>

namespace plctag::pccc {

// File type codes of the SLC typed commands.
enum FileType : uint8_t {
    kOutput = 0x8B,
    kInput = 0x8C,
    kStatus = 0x84,
    kBit = 0x85,
    kTimer = 0x86,
    kCounter = 0x87,
    kControl = 0x88,
    kInteger = 0x89,
    kFloat = 0x8A,
    kString = 0x8D,
    kAscii = 0x8E,
    kBcd = 0x8F,
    kLong = 0x91,
};

struct DataAddress {
    uint8_t fileType = 0;
    uint16_t file = 0;
    uint16_t element = 0;
    uint16_t subElement = 0;
    int bit = -1;          // bit within the 2-byte word, or -1
    uint16_t elemSize = 0; // bytes one element (or the selected sub-element word) takes
};

// Returns a PLCTAG status: OK, BAD_PARAM for anything that is not such an address,
// OUT_OF_BOUNDS for a bit number past 15.
int parseDataAddress(std::string_view text, DataAddress *out);

} // namespace plctag::pccc
