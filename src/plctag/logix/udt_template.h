// The "@udt/<id>" tag of Logix: a structure type's template. Its read is Get Attribute List on
// the Template object (attributes 4, 5, 2, 1), then Read Template until the controller has
// sent the whole definition. The buffer is laid out as libplctag lays it out: UINT id, UDINT
// definition words, UDINT structure bytes, UINT member count, UINT handle, then the template
// bytes as the controller sent them (member records, the type name, the member names).
#pragma once

#include "protocol/protocol.h"

#include <cstdint>
#include <string_view>

namespace plctag::logix {

// "@udt/<decimal id>", id 0..4095; false for any other name.
bool parseUdtName(std::string_view name, uint16_t *id);

class UdtProtocol final : public ReadOnlyProtocol {
public:
    int compile(const TagSpec &spec, TagAddress *out) const override;
    int encodeRead(const TagAddress &addr, uint32_t offset, const RequestEnv &env, wire::Writer &w) const override;
    int decodeRead(const TagAddress &addr, const uint8_t *reply, size_t n, ReadChunk *out) const override;
};

const Protocol &udtProtocol();

} // namespace plctag::logix
