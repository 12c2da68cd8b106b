#include "cip/status_map.h"

#include "libplctag.h"

namespace plctag::cip {

namespace {

int mapConnectionFailure(uint16_t ext)
{
    switch (ext) {
    case 0x0100: return PLCTAG_ERR_DUPLICATE;      // connection in use
    case 0x0106: return PLCTAG_ERR_NOT_ALLOWED;    // ownership conflict
    case 0x0107:                                   // connection not found
    case 0x0110:
    case 0x0114:
    case 0x0115: return PLCTAG_ERR_NOT_FOUND;
    case 0x0113:                                   // out of connections
    case 0x011A: return PLCTAG_ERR_NO_RESOURCES;
    case 0x0203:                                   // connection timed out
    case 0x0204: return PLCTAG_ERR_TIMEOUT;        // unconnected request timed out
    case 0x0206: return PLCTAG_ERR_TOO_LARGE;      // message too large
    case 0x0301: return PLCTAG_ERR_NO_MEM;         // no buffer memory
    case 0x0311:                                   // port not available
    case 0x0800: return PLCTAG_ERR_BAD_DEVICE;     // network link offline
    case 0x0103:                                   // transport/trigger not supported
    case 0x0108:                                   // invalid connection type
    case 0x0109:                                   // invalid connection size
    case 0x0111:                                   // RPI not supported
    case 0x0112:
    case 0x0117:                                   // invalid connection point
    case 0x0118:
    case 0x0312:                                   // invalid link address
    case 0x0315:                                   // invalid segment in path
    case 0x0316: return PLCTAG_ERR_BAD_PARAM;
    default: return PLCTAG_ERR_REMOTE_ERR;
    }
}

} // namespace

int mapCipStatus(uint8_t general, uint16_t extended, unsigned extCount)
{
    switch (general) {
    case 0x00: return PLCTAG_STATUS_OK;
    case 0x01: return extCount ? mapConnectionFailure(extended) : PLCTAG_ERR_REMOTE_ERR;
    case 0x02: return PLCTAG_ERR_NO_RESOURCES;
    case 0x03: return PLCTAG_ERR_BAD_PARAM;
    case 0x04: return PLCTAG_ERR_NOT_FOUND;      // path segment error: unknown tag
    case 0x05: return PLCTAG_ERR_NOT_FOUND;      // path destination unknown: unknown symbol, index past the end
                                                 // (some servers answer an unknown tag so)
    case 0x06: return PLCTAG_ERR_TOO_LARGE;      // partial transfer outside a fragmented read
    case 0x07: return PLCTAG_ERR_BAD_CONNECTION; // connection lost
    case 0x08: return PLCTAG_ERR_UNSUPPORTED;    // service not supported
    case 0x09: return PLCTAG_ERR_BAD_DATA;       // invalid attribute value
    case 0x0A:
    case 0x0C:
    case 0x10: return PLCTAG_ERR_BAD_STATUS;     // attribute list error / state conflicts
    case 0x0B:
    case 0x0D:
    case 0x21: return PLCTAG_ERR_DUPLICATE;      // already in mode / object exists
    case 0x0E:
    case 0x0F:
    case 0x12:
    case 0x17:
    case 0x29: return PLCTAG_ERR_NOT_ALLOWED;    // not settable / privilege / fragmentation
    case 0x11:
    case 0x15:
    case 0x1A:
    case 0x1B: return PLCTAG_ERR_TOO_LARGE;      // reply or request too large
    case 0x13: return PLCTAG_ERR_TOO_SMALL;      // not enough data
    case 0x14: return PLCTAG_ERR_UNSUPPORTED;    // attribute not supported
    case 0x16: return PLCTAG_ERR_NOT_FOUND;      // object does not exist
    case 0x18:
    case 0x1C: return PLCTAG_ERR_NO_DATA;        // no stored attribute data
    case 0x19: return PLCTAG_ERR_REMOTE_ERR;     // store operation failure
    case 0x1D: return PLCTAG_ERR_BAD_DATA;       // invalid attribute value in list
    case 0x1E: return PLCTAG_ERR_PARTIAL;        // embedded service error
    case 0x20:
    case 0x25:
    case 0x26:
    case 0x27:
    case 0x28: return PLCTAG_ERR_BAD_PARAM;      // invalid parameter / path size / member
    case 0x22: return PLCTAG_ERR_BAD_REPLY;      // invalid reply received
    case 0xFF:
        if (extCount) {
            switch (extended) {
            case 0x2104:                         // offset beyond end of tag
            case 0x2105: return PLCTAG_ERR_OUT_OF_BOUNDS; // count/offset past the end
            case 0x2107: return PLCTAG_ERR_BAD_PARAM;     // type mismatch on write
            default: break;
            }
        }
        return PLCTAG_ERR_REMOTE_ERR;
    default: return PLCTAG_ERR_REMOTE_ERR;
    }
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
