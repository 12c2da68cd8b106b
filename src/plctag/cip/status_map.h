// CIP general / extended status to the PLCTAG status a caller sees.
#pragma once

#include <cstdint>

namespace plctag::cip {

// general 0 maps to PLCTAG_STATUS_OK. extCount is the number of extended words
// supplied (the first one is used).
int mapCipStatus(uint8_t general, uint16_t extended, unsigned extCount);

// Whether a connection manager status says the route does not lead anywhere: no such port,
// nothing at that link address, a bad path segment, or no answer from the hop behind it.
bool isRouteFailure(uint8_t general, uint16_t extended, unsigned extCount);

// A refused Forward Open: PLCTAG_ERR_BAD_GATEWAY for a route failure, else PLCTAG_ERR_OPEN.
int mapForwardOpenStatus(uint8_t general, uint16_t extended, unsigned extCount);

} // namespace plctag::cip
