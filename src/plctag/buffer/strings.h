// String functions over a tag's data buffer, for a family's StringLayout. Pure: they see
// only the layout and the bytes, so every rule is testable without a tag.
#pragma once

#include "buffer/layout.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace plctag::buffer {

// The layout of the strings in a read reply whose type field is `type`: 0xDA is a
// SHORT_STRING, 0xD0 a CIP STRING unless its bytes are whole Logix STRING structures (some
// servers label those 0xD0), anything else (the STRING structure's handle) the family's.
StringLayout layoutForType(const StringLayout &family, const uint8_t *type, size_t typeLen,
                           const std::vector<uint8_t> &buf);

// Each returns a PLCTAG status (negative) or the value asked for.
int stringLength(const StringLayout &l, const std::vector<uint8_t> &buf, int offset);
int stringCapacity(const StringLayout &l, const std::vector<uint8_t> &buf, int offset);
int stringTotalLength(const StringLayout &l, const std::vector<uint8_t> &buf, int offset);
// Zero-fills out[0..len), copies min(len, length) characters; no NUL when len <= length.
int getString(const StringLayout &l, const std::vector<uint8_t> &buf, int offset, char *out, int len);
// Fixed layouts write in place; counted variable ones resize the buffer around the string.
int setString(const StringLayout &l, std::vector<uint8_t> &buf, int offset, const char *s);

} // namespace plctag::buffer
