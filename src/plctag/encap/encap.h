// EtherNet/IP encapsulation: the 24-byte header, the commands a client sends, and the
// Common Packet Format items that carry CIP inside SendRRData / SendUnitData.
#pragma once

#include "wire/bytes.h"

#include <cstddef>
#include <cstdint>

namespace plctag::encap {

constexpr size_t kHeaderSize = 24;
constexpr uint16_t kDefaultPort = 44818;

enum Command : uint16_t {
    kNop = 0x0000,               // no reply
    kListServices = 0x0004,      // capability list
    kListIdentity = 0x0063,      // identity item; UDP or TCP
    kListInterfaces = 0x0064,    // optional
    kRegisterSession = 0x0065,   // opens the session; target assigns the handle
    kUnRegisterSession = 0x0066, // no reply; target closes TCP
    kSendRRData = 0x006F,        // unconnected (UCMM) request/reply
    kSendUnitData = 0x0070,      // connected (class 3) message, answered in kind
};

enum Status : uint32_t {
    kStatusSuccess = 0x0000,
    kStatusInvalidCommand = 0x0001,   // unsupported encapsulation command
    kStatusNoMemory = 0x0002,         // target out of sessions
    kStatusIncorrectData = 0x0003,    // poorly formed data
    kStatusInvalidSession = 0x0064,   // unknown session handle
    kStatusInvalidLength = 0x0065,    // length field wrong for the command
    kStatusUnsupportedVersion = 0x0069,
};

enum ItemType : uint16_t {
    kItemNullAddress = 0x0000,      // unconnected messages
    kItemListIdentity = 0x000C,     // ListIdentity reply
    kItemConnectedAddress = 0x00A1, // UDINT connection id
    kItemConnectedData = 0x00B1,    // UINT sequence count + CIP message
    kItemUnconnectedData = 0x00B2,  // CIP message router request/reply
    kItemSockaddrOT = 0x8000,       // class 0/1 only
    kItemSockaddrTO = 0x8001,
    kItemSequencedAddress = 0x8002,
};

struct Header {
    uint16_t command = 0;
    uint16_t length = 0; // bytes after the header
    uint32_t session = 0;
    uint32_t status = 0;
    uint64_t context = 0; // echoed by the target; we use it to match unconnected replies
    uint32_t options = 0;
};

void writeHeader(wire::Writer &w, const Header &h);
bool readHeader(wire::Reader &r, Header *h);

// RegisterSession request: protocol version 1, no options.
void writeRegisterSession(wire::Writer &w);
void writeUnRegisterSession(wire::Writer &w, uint32_t session);

// Framing of CIP inside the CPF. begin*() writes everything up to the CIP message and
// returns a mark; end*() patches the lengths once the message has been appended.
struct Frame {
    size_t start = 0;      // offset of the encapsulation header
    size_t itemLength = 0; // offset of the data item's length field
};
Frame beginSendRRData(wire::Writer &w, uint32_t session, uint64_t context, uint16_t timeoutSec);
Frame beginSendUnitData(wire::Writer &w, uint32_t session, uint32_t connectionId, uint16_t sequence);
void endFrame(wire::Writer &w, const Frame &f);

// A parsed SendRRData / SendUnitData reply: the data item's CIP bytes plus the connected
// address and sequence count when present.
struct CipPayload {
    Header header;
    bool connected = false;
    bool offLayout = false; // the connected layout below was read
    uint32_t connectionId = 0;
    uint16_t sequence = 0;
    const uint8_t *data = nullptr;
    size_t size = 0;
};
// Stray bytes some servers put between the connected data item's length and the sequence
// count, having left out the interface handle and timeout (6 bytes as well).
constexpr size_t kOffLayoutStray = 6;

// Parses one whole encapsulation message (header + length bytes). Walks the CPF items by
// their lengths; needs one address item and one data item. A connected reply that fails
// that is read in the off layout above when its lengths agree exactly. False when malformed.
bool parseCipPayload(const uint8_t *msg, size_t size, CipPayload *out);

} // namespace plctag::encap
