#include "logix/udt_template.h"

#include "cip/cip.h"
#include "cip/status_map.h"
#include "libplctag.h"

namespace plctag::logix {

namespace {

constexpr uint8_t kGetAttributeList = 0x03;
constexpr uint8_t kReadTemplate = 0x4C;
constexpr uint8_t kTemplateClass = 0x6C;
constexpr std::string_view kUdtPrefix = "@udt/";
constexpr size_t kHeader = 14;

// The read's offset carries its progress: 0 asks for the attributes; after them it is the
// definition size in words (high half) and the template bytes received so far (low half).
uint32_t progress(uint32_t words, uint32_t received) { return words << 16 | received; }

uint16_t templateId(const TagAddress &addr) { return uint16_t(addr.path[4] | addr.path[5] << 8); }

} // namespace

bool parseUdtName(std::string_view name, uint16_t *id)
{
    if (name.size() <= kUdtPrefix.size() || name.size() > kUdtPrefix.size() + 4 ||
        name.substr(0, kUdtPrefix.size()) != kUdtPrefix)
        return false;
    unsigned v = 0;
    for (char c : name.substr(kUdtPrefix.size())) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + unsigned(c - '0');
    }
    if (v > 0x0FFF)
        return false;
    *id = uint16_t(v);
    return true;
}

int UdtProtocol::compile(const TagSpec &spec, TagAddress *out) const
{
    uint16_t id = 0;
    if (!parseUdtName(spec.name, &id))
        return PLCTAG_ERR_BAD_PARAM;
    out->path = {0x20, kTemplateClass, 0x25, 0x00, uint8_t(id), uint8_t(id >> 8)};
    out->bit = -1;
    out->elemCount = 1;
    out->elemSize = 0;
    out->typeLen = 0;
    return PLCTAG_STATUS_OK;
}

int UdtProtocol::encodeRead(const TagAddress &addr, uint32_t offset, const RequestEnv &, wire::Writer &w) const
{
    if (offset == 0) {
        cip::writeRequestHead(w, kGetAttributeList, addr.path.data(), addr.path.size());
        for (uint16_t v : {4, 4, 5, 2, 1}) // count, then the attributes in the order decoded
            w.u16(v);
        return PLCTAG_STATUS_OK;
    }
    const uint32_t words = offset >> 16, received = offset & 0xFFFF;
    // A controller holds words * 4 - 20 template bytes; ask for just what is left of them.
    if (words * 4 < 20 + received)
        return PLCTAG_ERR_BAD_REPLY;
    cip::writeRequestHead(w, kReadTemplate, addr.path.data(), addr.path.size());
    w.u32(received);
    w.u16(uint16_t(words * 4 - 20 - received));
    return PLCTAG_STATUS_OK;
}

int UdtProtocol::decodeRead(const TagAddress &addr, const uint8_t *reply, size_t n, ReadChunk *out) const
{
    cip::MrReply r;
    if (!cip::parseMrReply(reply, n, &r))
        return PLCTAG_ERR_BAD_REPLY;
    if (r.service == kGetAttributeList) {
        if (r.general != cip::kStatusSuccess)
            return cip::mapCipStatus(r.general, r.ext[0], r.extCount);
        // count; then id, status, value for 4 (UDINT), 5 (UDINT), 2 (UINT), 1 (UINT).
        wire::Reader in(r.data, r.size);
        in.skip(2 + 4);
        const uint32_t words = in.u32();
        in.skip(4);
        const uint32_t bytes = in.u32();
        in.skip(4);
        const uint16_t members = in.u16();
        in.skip(4);
        const uint16_t handle = in.u16();
        if (!in.ok() || words <= 5 || words * 4 - 20 > 0xFFFF)
            return PLCTAG_ERR_BAD_REPLY;
        // Built here; the caller copies it before it decodes the next reply.
        thread_local uint8_t header[kHeader];
        size_t at = 0;
        auto put = [&](uint32_t v, size_t width) {
            for (size_t i = 0; i < width; ++i)
                header[at++] = uint8_t(v >> (8 * i));
        };
        put(templateId(addr), 2);
        put(words, 4);
        put(bytes, 4);
        put(members, 2);
        put(handle, 2);
        out->data = header;
        out->size = kHeader;
        out->more = true;
        out->nextOffset = progress(words, 0);
        return PLCTAG_STATUS_OK;
    }
    if (r.service != kReadTemplate)
        return PLCTAG_ERR_BAD_REPLY;
    const bool more = r.general == cip::kStatusPartialTransfer;
    if (!more && r.general != cip::kStatusSuccess)
        return cip::mapCipStatus(r.general, r.ext[0], r.extCount);
    if (more && r.size == 0)
        return PLCTAG_ERR_BAD_REPLY; // "more" without progress would never end
    out->data = r.data;
    out->size = r.size;
    out->more = more;
    out->nextOffset = 0; // the offset grows by the bytes received: the low half of the progress
    return PLCTAG_STATUS_OK;
}

const Protocol &udtProtocol()
{
    static const UdtProtocol p;
    return p;
}

} // namespace plctag::logix
