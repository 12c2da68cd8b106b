// Logix symbolic tag services (Read/Write Tag, their fragmented forms, Read-Modify-Write)
// as message router requests, and the decoding of their replies.
#pragma once

#include "cip/cip.h"
#include "wire/bytes.h"

#include <cstddef>
#include <cstdint>

namespace plctag::logix {

// CIP data type codes carried in the type field of reads and writes.
enum TypeCode : uint8_t {
    kTypeBool = 0xC1,
    kTypeSint = 0xC2,
    kTypeInt = 0xC3,
    kTypeDint = 0xC4,
    kTypeLint = 0xC5,
    kTypeUsint = 0xC6,
    kTypeUint = 0xC7,
    kTypeUdint = 0xC8,
    kTypeUlint = 0xC9,
    kTypeReal = 0xCA,
    kTypeLreal = 0xCB,
    kTypeString = 0xD0,      // UINT length + chars (Omron)
    kTypeDword = 0xD3,       // also Logix BOOL arrays
    kTypeShortString = 0xDA, // USINT length + chars (Micro800)
    kTypeAbbrevStruct = 0xA0, // followed by a length byte and the structure handle
    kTypeAbbrevArray = 0xA1,
    kTypeStruct = 0xA2,
    kTypeArray = 0xA3,
};

// Longest type field we keep: 0xA0..0xA3 types carry 2 + byte[1] bytes.
constexpr size_t kMaxTypeBytes = 16;

void writeReadTag(wire::Writer &w, const uint8_t *path, size_t pathLen, uint16_t count);
void writeReadTagFragmented(wire::Writer &w, const uint8_t *path, size_t pathLen, uint16_t count, uint32_t offset);
void writeWriteTag(wire::Writer &w, const uint8_t *path, size_t pathLen, const uint8_t *type, size_t typeLen,
                   uint16_t count, const uint8_t *data, size_t dataLen);
void writeWriteTagFragmented(wire::Writer &w, const uint8_t *path, size_t pathLen, const uint8_t *type,
                             size_t typeLen, uint16_t count, uint32_t offset, const uint8_t *data, size_t dataLen);
// Sets the bits that are 1 in orMask and clears those that are 0 in andMask.
void writeReadModifyWrite(wire::Writer &w, const uint8_t *path, size_t pathLen, const uint8_t *orMask,
                          const uint8_t *andMask, uint16_t maskSize);

// Request bytes before the data of a Write Tag (Fragmented) request.
inline size_t writeTagOverhead(size_t pathLen, size_t typeLen, bool fragmented)
{
    return 2 + pathLen + typeLen + 2 + (fragmented ? 4 : 0);
}

// Data of a Read Tag (Fragmented) reply: its type field and the value bytes.
struct ReadData {
    const uint8_t *type = nullptr;
    size_t typeLen = 0;
    const uint8_t *data = nullptr;
    size_t size = 0;
};
// Splits a successful (or 0x06 partial) read reply into type and data. False if the type
// field does not fit.
bool splitReadReply(const cip::MrReply &reply, ReadData *out);

} // namespace plctag::logix
