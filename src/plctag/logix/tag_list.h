// Tag listing: the "@tags" and "Program:<name>.@tags" tags of Logix and Micro800. Their read
// is Get Instance Attribute List on the Symbol class, continued from the last instance + 1
// while the controller answers "partial". The buffer holds the replies' entries back to back,
// in the layout libplctag gives these tags: UDINT instance, UINT symbol type, UINT element
// size, 3 x UDINT dimensions, UINT name length, the name's bytes.
#pragma once

#include "buffer/layout.h"
#include "protocol/protocol.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace plctag::logix {

constexpr uint8_t kGetInstanceAttributeList = 0x55;
constexpr uint8_t kSymbolClass = 0x6B;

// Attributes asked for, in reply order: symbol type, element size, dimensions, name.
enum SymbolAttribute : uint16_t {
    kAttrName = 1,        // UINT length + characters, no pad
    kAttrType = 2,        // UINT symbol type word
    kAttrElementSize = 7, // UINT bytes per element
    kAttrDimensions = 8,  // 3 x UDINT
};

// Bytes of one entry before its name's characters.
constexpr size_t kSymbolEntryFixed = 4 + 2 + 2 + 12 + 2;

// A name is a listing tag: "@tags" (program empty) or "Program:<name>.@tags" (program is
// "Program:<name>"). Case-insensitive.
bool parseTagListName(std::string_view name, std::string_view *program);

// Request for the symbols of a scope from startInstance on. scopePath: empty (controller)
// or the program's symbolic segment.
void writeSymbolListRequest(wire::Writer &w, const uint8_t *scopePath, size_t scopeLen, uint32_t startInstance);

// Checks that data is whole entries with rising instances. *last: the last entry's instance
// (unchanged when there is none).
bool scanSymbolEntries(const uint8_t *data, size_t n, uint32_t *last);

// Names in the listing buffer: UINT count, then the characters.
constexpr buffer::StringLayout kSymbolNameLayout{true, 2, false, 0, 0, 0, false, false};

class TagListProtocol final : public ReadOnlyProtocol {
public:
    int compile(const TagSpec &spec, TagAddress *out) const override;
    int encodeRead(const TagAddress &addr, uint32_t offset, const RequestEnv &env, wire::Writer &w) const override;
    int decodeRead(const TagAddress &addr, const uint8_t *reply, size_t n, ReadChunk *out) const override;
    bool sizeVaries(const uint8_t *, size_t) const override { return true; }
};

const Protocol &tagListProtocol();

} // namespace plctag::logix
