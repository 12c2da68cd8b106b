#pragma once
// How each server habit of Quirks bends a reply. Pure over bytes, so that the session only
// decides when a habit applies.

#include "absim/simulator.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace absim {

// Encapsulation status of an unconnected request naming an unknown tag ("unknown-tag-closes").
constexpr uint32_t kQuirkUnknownTagStatus = 0x0008;

// The bytes a read reply may take under "fragment-490": 488 data bytes after a 2-byte type.
size_t quirkReplyLimit(const Quirks &q, size_t limit);

// Rewrites a well-formed SendUnitData reply in the off layout: the item count right after the
// header, and the request's connected data item length in the six stray bytes. The
// encapsulation length stays what it was.
void offLayoutReply(std::vector<uint8_t> &reply, uint16_t requestItemLength);

} // namespace absim
