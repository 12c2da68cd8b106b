#include "cip/status_map.h"

#include "libplctag.h"

#include <cstddef>

namespace plctag::cip {

namespace {

struct Mapping {
    uint16_t code;
    int status;
};

// General status 0x01 by its extended status.
const Mapping kConnectionFailures[] = {
    {0x0100, PLCTAG_ERR_DUPLICATE},    // connection in use
    {0x0106, PLCTAG_ERR_NOT_ALLOWED},  // ownership conflict
    {0x0107, PLCTAG_ERR_NOT_FOUND},    // connection not found
    {0x0110, PLCTAG_ERR_NOT_FOUND},    {0x0114, PLCTAG_ERR_NOT_FOUND}, {0x0115, PLCTAG_ERR_NOT_FOUND},
    {0x0113, PLCTAG_ERR_NO_RESOURCES}, // out of connections
    {0x011A, PLCTAG_ERR_NO_RESOURCES},
    {0x0203, PLCTAG_ERR_TIMEOUT},      // connection timed out
    {0x0204, PLCTAG_ERR_TIMEOUT},      // unconnected request timed out
    {0x0206, PLCTAG_ERR_TOO_LARGE},    // message too large
    {0x0301, PLCTAG_ERR_NO_MEM},       // no buffer memory
    {0x0311, PLCTAG_ERR_BAD_DEVICE},   // port not available
    {0x0800, PLCTAG_ERR_BAD_DEVICE},   // network link offline
    {0x0103, PLCTAG_ERR_BAD_PARAM},    // transport/trigger not supported
    {0x0108, PLCTAG_ERR_BAD_PARAM},    // invalid connection type
    {0x0109, PLCTAG_ERR_BAD_PARAM},    // invalid connection size
    {0x0111, PLCTAG_ERR_BAD_PARAM},    // RPI not supported
    {0x0112, PLCTAG_ERR_BAD_PARAM},
    {0x0117, PLCTAG_ERR_BAD_PARAM},    // invalid connection point
    {0x0118, PLCTAG_ERR_BAD_PARAM},
    {0x0312, PLCTAG_ERR_BAD_PARAM},    // invalid link address
    {0x0315, PLCTAG_ERR_BAD_PARAM},    // invalid segment in path
    {0x0316, PLCTAG_ERR_BAD_PARAM},
};

// General status 0xFF by its extended status.
const Mapping kGeneralErrors[] = {
    {0x2104, PLCTAG_ERR_OUT_OF_BOUNDS}, // offset beyond end of tag
    {0x2105, PLCTAG_ERR_OUT_OF_BOUNDS}, // count/offset past the end
    {0x2107, PLCTAG_ERR_BAD_PARAM},     // type mismatch on write
};

// By general status; 0x01 and 0xFF look at the extended status as well.
const Mapping kGeneral[] = {
    {0x00, PLCTAG_STATUS_OK},
    {0x02, PLCTAG_ERR_NO_RESOURCES},
    {0x03, PLCTAG_ERR_BAD_PARAM},
    {0x04, PLCTAG_ERR_NOT_FOUND},      // path segment error: unknown tag
    {0x05, PLCTAG_ERR_NOT_FOUND},      // path destination unknown: unknown symbol, index past the end
                                       // (some servers answer an unknown tag so)
    {0x06, PLCTAG_ERR_TOO_LARGE},      // partial transfer outside a fragmented read
    {0x07, PLCTAG_ERR_BAD_CONNECTION}, // connection lost
    {0x08, PLCTAG_ERR_UNSUPPORTED},    // service not supported
    {0x09, PLCTAG_ERR_BAD_DATA},       // invalid attribute value
    {0x0A, PLCTAG_ERR_BAD_STATUS},     // attribute list error / state conflicts
    {0x0C, PLCTAG_ERR_BAD_STATUS},     {0x10, PLCTAG_ERR_BAD_STATUS},
    {0x0B, PLCTAG_ERR_DUPLICATE},      // already in mode / object exists
    {0x0D, PLCTAG_ERR_DUPLICATE},      {0x21, PLCTAG_ERR_DUPLICATE},
    {0x0E, PLCTAG_ERR_NOT_ALLOWED},    // not settable / privilege / fragmentation
    {0x0F, PLCTAG_ERR_NOT_ALLOWED},    {0x12, PLCTAG_ERR_NOT_ALLOWED}, {0x17, PLCTAG_ERR_NOT_ALLOWED},
    {0x29, PLCTAG_ERR_NOT_ALLOWED},
    {0x11, PLCTAG_ERR_TOO_LARGE},      // reply or request too large
    {0x15, PLCTAG_ERR_TOO_LARGE},      {0x1A, PLCTAG_ERR_TOO_LARGE},   {0x1B, PLCTAG_ERR_TOO_LARGE},
    {0x13, PLCTAG_ERR_TOO_SMALL},      // not enough data
    {0x14, PLCTAG_ERR_UNSUPPORTED},    // attribute not supported
    {0x16, PLCTAG_ERR_NOT_FOUND},      // object does not exist
    {0x18, PLCTAG_ERR_NO_DATA},        // no stored attribute data
    {0x1C, PLCTAG_ERR_NO_DATA},
    {0x19, PLCTAG_ERR_REMOTE_ERR},     // store operation failure
    {0x1D, PLCTAG_ERR_BAD_DATA},       // invalid attribute value in list
    {0x1E, PLCTAG_ERR_PARTIAL},        // embedded service error
    {0x20, PLCTAG_ERR_BAD_PARAM},      // invalid parameter / path size / member
    {0x25, PLCTAG_ERR_BAD_PARAM},      {0x26, PLCTAG_ERR_BAD_PARAM},   {0x27, PLCTAG_ERR_BAD_PARAM},
    {0x28, PLCTAG_ERR_BAD_PARAM},
    {0x22, PLCTAG_ERR_BAD_REPLY},      // invalid reply received
};

// Anything a table does not hold is the controller's own error.
template <size_t N>
int lookUp(const Mapping (&table)[N], uint16_t code)
{
    for (const Mapping &m : table)
        if (m.code == code)
            return m.status;
    return PLCTAG_ERR_REMOTE_ERR;
}

} // namespace

int mapCipStatus(uint8_t general, uint16_t extended, unsigned extCount)
{
    if (general == 0x01)
        return extCount ? lookUp(kConnectionFailures, extended) : PLCTAG_ERR_REMOTE_ERR;
    if (general == 0xFF)
        return extCount ? lookUp(kGeneralErrors, extended) : PLCTAG_ERR_REMOTE_ERR;
    return lookUp(kGeneral, general);
}

bool isRouteFailure(uint8_t general, uint16_t extended, unsigned extCount)
{
    if (general == 0x04 || general == 0x05)
        return true; // path segment error / path destination unknown
    if (general != 0x01 || extCount == 0)
        return false;
    switch (extended) {
    case 0x0204: // unconnected request timed out: nothing answered behind the hop
    case 0x0311: // port not available
    case 0x0312: // invalid link address: an empty slot
    case 0x0315: // invalid segment in the path
    case 0x0316: return true; // path and connection not equal
    default: return false;
    }
}

int mapForwardOpenStatus(uint8_t general, uint16_t extended, unsigned extCount)
{
    return isRouteFailure(general, extended, extCount) ? PLCTAG_ERR_BAD_GATEWAY : PLCTAG_ERR_OPEN;
}

} // namespace plctag::cip
