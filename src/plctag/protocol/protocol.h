// The seam between a tag and its controller family's request format. A Protocol turns a
// tag name into an address at create time, and builds and decodes the message router
// requests of reads and writes. The session layer carries them; it never looks inside.
// CIP symbolic families (Logix, Micro800, Omron) live in logix/; PCCC families (SLC 500,
// MicroLogix, PLC-5) plug in here through their own Protocol.
#pragma once

#include "libplctag.h"
#include "wire/bytes.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace plctag {

constexpr size_t kMaxTypeBytes = 16;

// What a protocol compiled from the tag's attributes; owned by the tag.
struct TagAddress {
    std::vector<uint8_t> path; // CIP: EPATH of the name; PCCC: encoded data-file address
    int32_t bit = -1;          // bit tags: the bit within the buffer, else -1
    uint16_t elemCount = 1;
    bool whole = false;        // Omron: an array named without an index is read whole, count 1
    uint16_t elemSize = 0;     // known element size (PCCC file types), 0 = learnt from reads
    uint8_t fileType = 0;      // PCCC file type code
    uint8_t typeLen = 0;       // CIP type field learnt from the last read (writes reuse it)
    uint8_t type[kMaxTypeBytes] = {};
};

struct TagSpec {
    std::string_view name;
    int elemCount = 1;
    int elemSize = 0;
};

struct RequestEnv {
    size_t maxRequest = 0;  // bytes this message router request may take
    uint16_t sequence = 0;  // per-session transaction number (PCCC TNS)
};

struct ReadChunk {
    const uint8_t *data = nullptr; // bytes for the buffer at the request's offset
    size_t size = 0;
    bool more = false;             // another request at offset + size follows
    const uint8_t *type = nullptr; // type field to remember, if any
    size_t typeLen = 0;
    uint32_t nextOffset = 0;       // non-zero: the next request's offset, when not offset + size
};

class Protocol {
public:
    virtual ~Protocol() = default;
    // Returns a PLCTAG status (BAD_PARAM for a name the family cannot address).
    virtual int compile(const TagSpec &spec, TagAddress *out) const = 0;
    // Buffer size right after creation, or -1 when only the first read tells.
    virtual int initialSize(const TagAddress &addr) const = 0;
    // Whether writes need the type field from a read first.
    virtual bool writeNeedsType() const = 0;

    virtual int encodeRead(const TagAddress &addr, uint32_t offset, const RequestEnv &env,
                           wire::Writer &w) const = 0;
    virtual int decodeRead(const TagAddress &addr, const uint8_t *reply, size_t n, ReadChunk *out) const = 0;
    // Encodes the request carrying data[offset...]; *consumed = data bytes it carries.
    virtual int encodeWrite(const TagAddress &addr, const uint8_t *data, size_t size, uint32_t offset,
                            const RequestEnv &env, wire::Writer &w, size_t *consumed) const = 0;
    virtual int decodeWrite(const TagAddress &addr, const uint8_t *reply, size_t n) const = 0;
    // The most bytes the reply to a write, or to a read's first request, may take, given the
    // data bytes the last read returned; 0 when not known, and the request is not packed.
    virtual size_t replyBound(const TagAddress & /*addr*/, bool /*write*/, size_t /*lastReadBytes*/) const
    {
        return 0;
    }
    // The same for a tag's first read, whose type is not known yet, given the data bytes its
    // attributes promise; 0 when a reply larger than that could not be continued.
    virtual size_t firstReadBound(const TagAddress & /*addr*/, size_t /*expectedBytes*/) const { return 0; }
    // Whether a read's size follows the value (strings counted by value, lists) rather than
    // the tag, so that it is not held to the size of the first read.
    virtual bool sizeVaries(const uint8_t * /*type*/, size_t /*typeLen*/) const { return false; }
    // Whether a message router reply answers this request, beyond what the session matches
    // (a transaction number of the family's own); one that does not is passed over.
    virtual bool answers(const uint8_t * /*request*/, size_t /*rn*/, const uint8_t * /*reply*/, size_t /*n*/) const
    {
        return true;
    }
};

// A special tag that is only read (a tag list, a template): no fixed size, no type to send back,
// and never written.
class ReadOnlyProtocol : public Protocol {
public:
    int initialSize(const TagAddress &) const override { return -1; }
    bool writeNeedsType() const override { return false; }
    int encodeWrite(const TagAddress &, const uint8_t *, size_t, uint32_t, const RequestEnv &, wire::Writer &,
                    size_t *) const override
    {
        return PLCTAG_ERR_NOT_ALLOWED;
    }
    int decodeWrite(const TagAddress &, const uint8_t *, size_t) const override { return PLCTAG_ERR_BAD_REPLY; }
};

} // namespace plctag
