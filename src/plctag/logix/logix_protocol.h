// Protocol for CIP symbolic tags: Logix and Micro800 (Read/Write Tag Fragmented) and
// Omron NJ/NX (plain Read/Write Tag, one element).
#pragma once

#include "protocol/protocol.h"

#include <string>
#include <string_view>

namespace plctag::logix {

class SymbolicProtocol final : public Protocol {
public:
    // fragmented: the controller has Read/Write Tag Fragmented (Omron has not).
    explicit SymbolicProtocol(bool fragmented) : fragmented_(fragmented) {}

    int compile(const TagSpec &spec, TagAddress *out) const override;
    int initialSize(const TagAddress &) const override { return -1; }
    bool writeNeedsType() const override { return true; }
    int encodeRead(const TagAddress &addr, uint32_t offset, const RequestEnv &env, wire::Writer &w) const override;
    int decodeRead(const TagAddress &addr, const uint8_t *reply, size_t n, ReadChunk *out) const override;
    int encodeWrite(const TagAddress &addr, const uint8_t *data, size_t size, uint32_t offset,
                    const RequestEnv &env, wire::Writer &w, size_t *consumed) const override;
    int decodeWrite(const TagAddress &addr, const uint8_t *reply, size_t n) const override;
    size_t replyBound(const TagAddress &addr, bool write, size_t lastReadBytes) const override;
    size_t firstReadBound(const TagAddress &addr, size_t expectedBytes) const override;
    // Counted strings (Micro800 SHORT_STRING, Omron STRING) are as long as their text.
    bool sizeVaries(const uint8_t *type, size_t typeLen) const override;

private:
    bool fragmented_;
};

const Protocol &logixProtocol();

// "Bits[37]" as an element of a Logix BOOL array, which the controller keeps as DWORDs: the
// containing DWORD's name ("Bits[1]") and the bit in it (5). False for other names.
bool boolArrayElement(std::string_view name, std::string *dwordName, int *bit);
const Protocol &omronProtocol();

} // namespace plctag::logix
