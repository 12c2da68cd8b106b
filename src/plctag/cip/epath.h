// EPATH encoders: the route attribute ("1,0", "18,10.1.2.3,1,0") to port segments, and
// Logix-style tag names to symbolic + element segments.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace plctag::cip {

// "path" attribute to port segments. Empty input gives an empty route. Returns a PLCTAG
// status: OK, or PLCTAG_ERR_BAD_GATEWAY for anything that is not a valid route.
int encodeRoute(std::string_view path, std::vector<uint8_t> *out);

constexpr size_t kMaxEncodedName = 260;

struct EncodedName {
    std::vector<uint8_t> path; // padded EPATH, even length
    int bit = -1;              // trailing ".n" bit index, -1 when none
};
// Tag name to EPATH. Returns OK or PLCTAG_ERR_BAD_PARAM (bad syntax, too long).
int encodeTagName(std::string_view name, EncodedName *out);

} // namespace plctag::cip
