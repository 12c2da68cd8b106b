// Multiple Service Packet (0x0A to the Message Router): several message router requests in
// one, and their replies in one. Pure codec; what goes together is the session's choice.
#pragma once

#include "wire/bytes.h"

#include <cstddef>
#include <cstdint>

namespace plctag::cip {

struct Span {
    const uint8_t *data = nullptr;
    size_t size = 0;
};

// Bytes a packet of n members adds to the sum of their requests: service, path size, the
// Message Router path, count and one offset per member.
constexpr size_t multipleServiceRequestOverhead(size_t n) { return 2 + 4 + 2 + 2 * n; }
// The same for the reply: reply head without extended status, count and offsets.
constexpr size_t multipleServiceReplyOverhead(size_t n) { return 4 + 2 + 2 * n; }

// Writes the packet carrying requests[0..n). Offsets count from the count field.
void writeMultipleService(wire::Writer &w, const Span *requests, size_t n);

// Splits the data of a Multiple Service Packet reply (MrReply::data, whatever its general
// status) into exactly n embedded replies. False when the count differs or an offset points
// outside the data or backwards.
bool splitMultipleService(const uint8_t *data, size_t size, Span *replies, size_t n);

} // namespace plctag::cip
