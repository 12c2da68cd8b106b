// CIP general / extended status to the PLCTAG status a caller sees.
#pragma once

#include <cstdint>

namespace plctag::cip {

// general 0 maps to PLCTAG_STATUS_OK. extCount is the number of extended words
// supplied (the first one is used).
int mapCipStatus(uint8_t general, uint16_t extended, unsigned extCount);

} // namespace plctag::cip
