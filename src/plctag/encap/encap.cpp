#include "encap/encap.h"

namespace plctag::encap {

void writeHeader(wire::Writer &w, const Header &h)
{
    w.u16(h.command);
    w.u16(h.length);
    w.u32(h.session);
    w.u32(h.status);
    w.u64(h.context);
    w.u32(h.options);
}

bool readHeader(wire::Reader &r, Header *h)
{
    h->command = r.u16();
    h->length = r.u16();
    h->session = r.u32();
    h->status = r.u32();
    h->context = r.u64();
    h->options = r.u32();
    return r.ok();
}

void writeRegisterSession(wire::Writer &w)
{
    Header h;
    h.command = kRegisterSession;
    h.length = 4;
    writeHeader(w, h);
    w.u16(1); // protocol version
    w.u16(0); // option flags
}

void writeUnRegisterSession(wire::Writer &w, uint32_t session)
{
    Header h;
    h.command = kUnRegisterSession;
    h.session = session;
    writeHeader(w, h);
}

Frame beginSendRRData(wire::Writer &w, uint32_t session, uint64_t context, uint16_t timeoutSec)
{
    Frame f;
    f.start = w.pos();
    Header h;
    h.command = kSendRRData;
    h.session = session;
    h.context = context;
    writeHeader(w, h);
    w.u32(0); // interface handle: CIP
    w.u16(timeoutSec);
    w.u16(2); // item count
    w.u16(kItemNullAddress);
    w.u16(0);
    w.u16(kItemUnconnectedData);
    f.itemLength = w.pos();
    w.u16(0);
    return f;
}

Frame beginSendUnitData(wire::Writer &w, uint32_t session, uint32_t connectionId, uint16_t sequence)
{
    Frame f;
    f.start = w.pos();
    Header h;
    h.command = kSendUnitData;
    h.session = session;
    writeHeader(w, h);
    w.u32(0); // interface handle
    w.u16(0); // timeout: must be 0 for connected data
    w.u16(2);
    w.u16(kItemConnectedAddress);
    w.u16(4);
    w.u32(connectionId);
    w.u16(kItemConnectedData);
    f.itemLength = w.pos();
    w.u16(0);
    w.u16(sequence); // counted in the item length
    return f;
}

void endFrame(wire::Writer &w, const Frame &f)
{
    size_t end = w.pos();
    w.patchU16(f.start + 2, static_cast<uint16_t>(end - f.start - kHeaderSize));
    w.patchU16(f.itemLength, static_cast<uint16_t>(end - f.itemLength - 2));
}

namespace {

// The layout of the standard: interface handle, timeout, then the items walked by length.
bool parseStandard(wire::Reader &r, CipPayload *out)
{
    r.u32(); // interface handle
    r.u16(); // timeout
    uint16_t count = r.u16();
    if (!r.ok() || count < 2)
        return false;
    bool haveAddress = false, haveData = false;
    out->connected = false;
    for (uint16_t i = 0; i < count; ++i) {
        uint16_t type = r.u16();
        uint16_t len = r.u16();
        wire::Reader item = r.sub(len);
        if (!r.ok())
            return false;
        switch (type) {
        case kItemNullAddress:
            if (len != 0)
                return false;
            haveAddress = true;
            break;
        case kItemConnectedAddress:
            out->connectionId = item.u32();
            if (!item.ok() || len != 4)
                return false;
            out->connected = true;
            haveAddress = true;
            break;
        case kItemUnconnectedData:
            if (haveData)
                return false;
            out->data = item.here();
            out->size = len;
            haveData = true;
            break;
        case kItemConnectedData:
            if (haveData || len < 2)
                return false;
            out->sequence = item.u16();
            out->data = item.here();
            out->size = len - 2u;
            haveData = true;
            break;
        default:
            break; // optional items (sockaddr etc.) are skipped by length
        }
    }
    if (!haveAddress || !haveData)
        return false;
    // Connected data must come with a connected address and vice versa.
    return out->connected == (out->header.command == kSendUnitData);
}

// A connected reply without the interface handle and timeout and with six stray bytes before
// the sequence count, so that the sequence count and the CIP reply sit at their usual offsets.
// Taken only when every length agrees with that layout.
bool parseOffLayout(const uint8_t *msg, size_t size, CipPayload *out)
{
    wire::Reader r(msg + kHeaderSize, size - kHeaderSize);
    if (out->header.command != kSendUnitData || r.u16() != 2 || r.u16() != kItemConnectedAddress || r.u16() != 4)
        return false;
    const uint32_t id = r.u32();
    if (r.u16() != kItemConnectedData)
        return false;
    const uint16_t len = r.u16();
    r.skip(kOffLayoutStray);
    if (!r.ok() || len < 2 || r.remaining() != len)
        return false;
    out->connected = true;
    out->offLayout = true;
    out->connectionId = id;
    out->sequence = r.u16();
    out->data = r.here();
    out->size = len - 2u;
    return true;
}

} // namespace

bool parseCipPayload(const uint8_t *msg, size_t size, CipPayload *out)
{
    wire::Reader r(msg, size);
    if (!readHeader(r, &out->header) || out->header.length != r.remaining())
        return false;
    if (out->header.command != kSendRRData && out->header.command != kSendUnitData)
        return false;
    out->offLayout = false;
    if (out->header.status != kStatusSuccess) {
        out->data = nullptr;
        out->size = 0;
        return true; // error replies may carry no CPF at all
    }
    if (parseStandard(r, out))
        return true;
    return parseOffLayout(msg, size, out);
}

} // namespace plctag::encap
