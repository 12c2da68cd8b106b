// CIP Message Router framing and the Connection Manager services a client needs:
// Forward Open (classic and large), Forward Close and Unconnected Send.
#pragma once

#include "wire/bytes.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace plctag::cip {

enum Service : uint8_t {
    kGetAttributesAll = 0x01,
    kMultipleServicePacket = 0x0A,
    kGetAttributeSingle = 0x0E,
    kReadTag = 0x4C,              // Logix symbolic read
    kWriteTag = 0x4D,
    kReadModifyWriteTag = 0x4E,   // same code as Forward Close; the path tells them apart
    kForwardClose = 0x4E,
    kReadTagFragmented = 0x52,    // same code as Unconnected Send
    kUnconnectedSend = 0x52,
    kWriteTagFragmented = 0x53,
    kForwardOpen = 0x54,
    kLargeForwardOpen = 0x5B,
    kExecutePccc = 0x4B,
    kReplyFlag = 0x80,            // set in every reply's service byte
};

enum GeneralStatus : uint8_t {
    kStatusSuccess = 0x00,
    kStatusConnectionFailure = 0x01,   // details in the extended status
    kStatusResourceUnavailable = 0x02,
    kStatusInvalidParameterValue = 0x03,
    kStatusPathSegmentError = 0x04,    // Logix: unknown tag name
    kStatusPathDestinationUnknown = 0x05,
    kStatusPartialTransfer = 0x06,     // fragmented reads: more data follows
    kStatusConnectionLost = 0x07,
    kStatusServiceNotSupported = 0x08,
    kStatusGeneralError = 0xFF,        // Logix puts the reason in the extended status
};

// Connection Manager extended statuses the client reacts to.
enum ExtendedStatus : uint16_t {
    kExtDuplicateConnection = 0x0100,  // retry with a new serial
    kExtInvalidConnectionSize = 0x0109, // second word: the size the target takes
};

// Message router request prefix for the Connection Manager (class 6, instance 1).
constexpr uint8_t kConnectionManagerPath[] = {0x20, 0x06, 0x24, 0x01};
// Message router object (class 2, instance 1): the end of every connection path.
constexpr uint8_t kMessageRouterPath[] = {0x20, 0x02, 0x24, 0x01};

struct MrReply {
    uint8_t service = 0; // without the reply flag
    uint8_t general = 0;
    uint8_t extCount = 0; // in 16-bit words
    uint16_t ext[2] = {0, 0};
    const uint8_t *data = nullptr; // after the extended status
    size_t size = 0;
};
// Parses a message router reply; false when it is too short for its own status fields.
bool parseMrReply(const uint8_t *p, size_t n, MrReply *out);

// Writes "service, path words, path". The path must have even length (padded EPATH).
void writeRequestHead(wire::Writer &w, uint8_t service, const uint8_t *path, size_t pathLen);

// Parameters of one Forward Open. Fields fixed by our client identity live in the .cpp.
struct ForwardOpenParams {
    bool large = true;          // 0x5B with 32-bit network parameters, else 0x54
    uint16_t connectionSize = 4002;
    uint32_t toConnectionId = 0; // chosen by us; the target sends with it
    uint16_t connectionSerial = 0;
    const uint8_t *route = nullptr; // port segments before the message router
    size_t routeLen = 0;
};
constexpr uint16_t kOriginatorVendor = 0xF33D;
constexpr uint32_t kOriginatorSerial = 0x21504345;

void writeForwardOpen(wire::Writer &w, const ForwardOpenParams &p);

struct ForwardOpenResult {
    uint32_t otConnectionId = 0; // we send with this one
    uint32_t toConnectionId = 0;
    uint16_t connectionSerial = 0;
};
// Decodes a successful Forward Open reply's data (MrReply::data).
bool parseForwardOpenReply(const MrReply &reply, ForwardOpenResult *out);

void writeForwardClose(wire::Writer &w, uint16_t connectionSerial, const uint8_t *route, size_t routeLen);

// Unconnected Send wrapper around an embedded request: write the prefix, append the
// embedded request, then the suffix (pad, route).
struct UnconnectedSendMark {
    size_t lengthField = 0;
};
UnconnectedSendMark beginUnconnectedSend(wire::Writer &w);
void endUnconnectedSend(wire::Writer &w, const UnconnectedSendMark &m, const uint8_t *route, size_t routeLen);

} // namespace plctag::cip
