#include "pccc/pccc_protocol.h"

#include "cip/cip.h"
#include "cip/status_map.h"
#include "libplctag.h"
#include "pccc/pccc_address.h"

#include <atomic>
#include <cstring>

namespace plctag::pccc {

namespace {

constexpr uint8_t kPcccObjectPath[] = {0x20, 0x67, 0x24, 0x01};
// Requestor id: length (counting itself), our vendor id and serial number.
constexpr uint8_t kRequestorId[] = {0x07, 0x3D, 0xF3, 0x45, 0x43, 0x50, 0x21};
constexpr uint8_t kTypedCommand = 0x0F;
constexpr uint8_t kReplyCommand = 0x4F;

enum Function : uint8_t {
    kSlcRead = 0xA2,
    kSlcWrite = 0xAA,
    kSlcMaskedWrite = 0xAB,
    kPlc5WordRead = 0x01,
    kPlc5WordWrite = 0x00,
    kPlc5ReadModifyWrite = 0x26,
};

uint16_t nextTns()
{
    static std::atomic<uint16_t> tns{0x1000};
    return tns.fetch_add(1);
}

// The parsed address sits in TagAddress::path as file, element, sub-element (LE words).
struct Fields {
    uint16_t file, element, sub;
};

Fields fieldsOf(const TagAddress &a)
{
    auto word = [&](size_t i) { return static_cast<uint16_t>(a.path[i] | a.path[i + 1] << 8); };
    return {word(0), word(2), word(4)};
}

void field(wire::Writer &w, uint16_t v)
{
    if (v < 255) {
        w.u8(static_cast<uint8_t>(v));
    } else {
        w.u8(0xFF);
        w.u16(v);
    }
}

void head(wire::Writer &w, uint8_t fnc)
{
    cip::writeRequestHead(w, cip::kExecutePccc, kPcccObjectPath, sizeof kPcccObjectPath);
    w.bytes(kRequestorId, sizeof kRequestorId);
    w.u8(kTypedCommand);
    w.u8(0); // STS
    w.u16(nextTns());
    w.u8(fnc);
}

// SLC: byte count, file, type, element, sub-element.
void slcAddress(wire::Writer &w, const TagAddress &a, uint8_t bytes, uint16_t elementOffset)
{
    const Fields f = fieldsOf(a);
    w.u8(bytes);
    field(w, f.file);
    w.u8(a.fileType);
    field(w, static_cast<uint16_t>(f.element + elementOffset));
    field(w, f.sub);
}

// PLC-5 logical binary address: levels 2 (file), 3 (element) and 4 (sub-element) when used.
void plc5Address(wire::Writer &w, const TagAddress &a)
{
    const Fields f = fieldsOf(a);
    const bool sub = f.sub != 0;
    w.u8(sub ? 0x0E : 0x06);
    field(w, f.file);
    field(w, f.element);
    if (sub)
        field(w, f.sub);
}

size_t chunkFor(const TagAddress &a, size_t left)
{
    const size_t per = a.elemSize ? kMaxData / a.elemSize * a.elemSize : kMaxData;
    const size_t chunk = per ? per : kMaxData;
    return left < chunk ? left : chunk;
}

// Strips the CIP and PCCC headers off a reply; *data / *size get what follows the TNS.
int openReply(const uint8_t *reply, size_t n, const uint8_t **data, size_t *size)
{
    cip::MrReply r;
    if (!cip::parseMrReply(reply, n, &r) || r.service != cip::kExecutePccc)
        return PLCTAG_ERR_BAD_REPLY;
    if (r.general != cip::kStatusSuccess)
        return cip::mapCipStatus(r.general, r.ext[0], r.extCount);
    wire::Reader in(r.data, r.size);
    const uint8_t idLen = in.u8();
    if (!in.ok() || idLen < 1 || !in.skip(idLen - 1u))
        return PLCTAG_ERR_BAD_REPLY;
    const uint8_t cmd = in.u8();
    const uint8_t sts = in.u8();
    in.u16(); // TNS
    if (!in.ok() || cmd != kReplyCommand)
        return PLCTAG_ERR_BAD_REPLY;
    if (sts != 0) {
        // Every PCCC error, STS or EXT STS (STS 0xF0), is the controller's verdict on the
        // request: REMOTE_ERR, as libplctag reports it.
        return PLCTAG_ERR_REMOTE_ERR;
    }
    *data = in.here();
    *size = in.remaining();
    return PLCTAG_STATUS_OK;
}

} // namespace

int PcccProtocol::compile(const TagSpec &spec, TagAddress *out) const
{
    DataAddress a;
    const int rc = parseDataAddress(spec.name, &a);
    if (rc != PLCTAG_STATUS_OK)
        return rc;
    if (spec.elemCount < 1 || spec.elemCount > 0xFFFF || (a.bit >= 0 && spec.elemCount != 1))
        return PLCTAG_ERR_BAD_PARAM;
    // PLC-5 has no long-integer files, and its word-range commands carry no file type: the
    // request would read or write whatever file has the number.
    if (dialect_ == Dialect::Plc5 && a.fileType == kLong)
        return PLCTAG_ERR_BAD_PARAM;
    out->path = {uint8_t(a.file), uint8_t(a.file >> 8),           uint8_t(a.element),
                 uint8_t(a.element >> 8), uint8_t(a.subElement), uint8_t(a.subElement >> 8)};
    out->fileType = a.fileType;
    out->elemSize = a.elemSize;
    out->elemCount = static_cast<uint16_t>(spec.elemCount);
    out->bit = a.bit;
    return PLCTAG_STATUS_OK;
}

int PcccProtocol::encodeRead(const TagAddress &a, uint32_t offset, const RequestEnv &, wire::Writer &w) const
{
    const size_t total = size_t(a.elemCount) * a.elemSize;
    if (offset >= total && total > 0)
        return PLCTAG_ERR_OUT_OF_BOUNDS;
    const size_t chunk = chunkFor(a, total - offset);
    if (dialect_ == Dialect::Slc) {
        head(w, kSlcRead);
        slcAddress(w, a, static_cast<uint8_t>(chunk), static_cast<uint16_t>(offset / a.elemSize));
    } else {
        head(w, kPlc5WordRead);
        w.u16(static_cast<uint16_t>(offset / 2)); // packet offset, words
        w.u16(static_cast<uint16_t>(total / 2));  // total words
        plc5Address(w, a);
        w.u8(static_cast<uint8_t>(chunk));
    }
    return PLCTAG_STATUS_OK;
}

int PcccProtocol::decodeRead(const TagAddress &a, const uint8_t *reply, size_t n, ReadChunk *out) const
{
    const uint8_t *data = nullptr;
    size_t size = 0;
    const int rc = openReply(reply, n, &data, &size);
    if (rc != PLCTAG_STATUS_OK)
        return rc;
    if (size == 0)
        return PLCTAG_ERR_TOO_SMALL;
    // The next request starts at the element after the last one received: a part of an
    // element would be asked for again and joined to itself.
    if (a.elemSize && size % a.elemSize != 0)
        return PLCTAG_ERR_BAD_DATA;
    out->data = data;
    out->size = size;
    out->type = nullptr;
    out->typeLen = 0;
    // The caller asks for the next chunk at offset + size while the tag is not complete.
    out->more = false;
    return PLCTAG_STATUS_OK;
}

int PcccProtocol::encodeWrite(const TagAddress &a, const uint8_t *data, size_t size, uint32_t offset,
                              const RequestEnv &, wire::Writer &w, size_t *consumed) const
{
    if (a.bit >= 0) {
        // One bit of a word: only that bit changes in the controller.
        if (size < 2)
            return PLCTAG_ERR_TOO_SMALL;
        const uint16_t mask = static_cast<uint16_t>(1u << a.bit);
        const uint16_t value = static_cast<uint16_t>((data[0] | data[1] << 8) & mask);
        if (dialect_ == Dialect::Slc) {
            head(w, kSlcMaskedWrite);
            slcAddress(w, a, 2, 0);
            w.u16(mask);
            w.u16(value);
        } else {
            head(w, kPlc5ReadModifyWrite);
            plc5Address(w, a);
            w.u16(static_cast<uint16_t>(value ? 0xFFFF : ~mask)); // AND: 0 clears
            w.u16(value);                                         // OR: 1 sets
        }
        *consumed = size;
        return PLCTAG_STATUS_OK;
    }
    const size_t chunk = chunkFor(a, size - offset);
    if (dialect_ == Dialect::Slc) {
        head(w, kSlcWrite);
        slcAddress(w, a, static_cast<uint8_t>(chunk), static_cast<uint16_t>(offset / a.elemSize));
    } else {
        head(w, kPlc5WordWrite);
        w.u16(static_cast<uint16_t>(offset / 2));
        w.u16(static_cast<uint16_t>(size / 2));
        plc5Address(w, a);
    }
    w.bytes(data + offset, chunk);
    *consumed = chunk;
    return PLCTAG_STATUS_OK;
}

int PcccProtocol::decodeWrite(const TagAddress &, const uint8_t *reply, size_t n) const
{
    const uint8_t *data = nullptr;
    size_t size = 0;
    return openReply(reply, n, &data, &size);
}

bool PcccProtocol::answers(const uint8_t *request, size_t rn, const uint8_t *reply, size_t n) const
{
    // Request: service, path size (words), path, requestor id, command, STS, TNS.
    if (rn < 2)
        return true;
    const size_t id = 2 + size_t(request[1]) * 2;
    if (id >= rn || id + request[id] + 4 > rn)
        return true; // not a request of ours: nothing to compare
    const size_t tnsAt = id + request[id] + 2;
    cip::MrReply r;
    if (!cip::parseMrReply(reply, n, &r) || r.general != cip::kStatusSuccess || r.size < 1 ||
        r.data[0] != request[id] || size_t(r.data[0]) + 4 > r.size)
        return true; // an error or malformed reply is the decoder's to judge, at once
    const size_t replyTns = size_t(r.data[0]) + 2;
    return r.data[replyTns] == request[tnsAt] && r.data[replyTns + 1] == request[tnsAt + 1];
}

const Protocol &slcProtocol()
{
    static const PcccProtocol p(PcccProtocol::Dialect::Slc);
    return p;
}

const Protocol &plc5Protocol()
{
    static const PcccProtocol p(PcccProtocol::Dialect::Plc5);
    return p;
}

} // namespace plctag::pccc
