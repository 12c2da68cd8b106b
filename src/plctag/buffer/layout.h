// How a family lays out strings and multi-byte values in a tag's data buffer.
#pragma once

#include <cstdint>

namespace plctag::buffer {

struct StringLayout {
    bool defined = false;
    uint8_t countBytes = 0;    // bytes of the leading length word (0 = not counted)
    bool fixedLength = false;  // every string occupies totalLength bytes
    uint16_t maxCapacity = 0;  // characters; 0 = only the current length is known
    uint16_t totalLength = 0;  // fixed layouts: bytes per string slot
    uint8_t padBytes = 0;
    bool zeroTerminated = false; // counted in the reported total length
    bool byteSwapped = false;    // characters stored pairwise swapped (PCCC)
};

// Logix STRING structure: DINT length, 82 characters, 2 pad bytes = 88.
inline constexpr StringLayout kLogixString{true, 4, true, 82, 88, 2, false, false};
// SHORT_STRING (CIP type 0xDA): one length byte, then the characters.
inline constexpr StringLayout kShortString{true, 1, false, 255, 0, 0, false, false};
// CIP STRING (type 0xD0): UINT length, then the characters. It grows with what is written,
// so its capacity is what the count can say (kept to a signed INT, as for Omron's count).
inline constexpr StringLayout kCipString{true, 2, false, 0x7FFF, 0, 0, false, false};

// For each value width, which buffer byte holds logical (little-endian) byte i.
struct ByteOrder {
    uint8_t int16[2] = {0, 1};
    uint8_t int32[4] = {0, 1, 2, 3};
    uint8_t int64[8] = {0, 1, 2, 3, 4, 5, 6, 7};
    uint8_t float32[4] = {0, 1, 2, 3};
    uint8_t float64[8] = {0, 1, 2, 3, 4, 5, 6, 7};
};

} // namespace plctag::buffer
