#include "logix/tag_list.h"

#include "cip/cip.h"
#include "cip/epath.h"
#include "cip/status_map.h"
#include "libplctag.h"

#include <cctype>
#include <vector>

namespace plctag::logix {

namespace {

bool startsWithNoCase(std::string_view s, std::string_view prefix)
{
    if (s.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

constexpr std::string_view kListName = "@tags";
constexpr std::string_view kProgramPrefix = "Program:";

} // namespace

bool parseTagListName(std::string_view name, std::string_view *program)
{
    if (name.size() == kListName.size() && startsWithNoCase(name, kListName)) {
        *program = {};
        return true;
    }
    const size_t suffix = kListName.size() + 1; // ".@tags"
    if (name.size() <= kProgramPrefix.size() + suffix || !startsWithNoCase(name, kProgramPrefix))
        return false;
    const std::string_view tail = name.substr(name.size() - suffix);
    if (tail[0] != '.' || !startsWithNoCase(tail.substr(1), kListName))
        return false;
    *program = name.substr(0, name.size() - suffix);
    return program->find('.') == std::string_view::npos;
}

void writeSymbolListRequest(wire::Writer &w, const uint8_t *scopePath, size_t scopeLen, uint32_t startInstance)
{
    std::vector<uint8_t> path(scopePath, scopePath + scopeLen);
    wire::Writer p(path);
    p.u8(0x20); // 8-bit class
    p.u8(kSymbolClass);
    if (startInstance <= 0xFFFF) {
        p.u8(0x25); // 16-bit instance, pad byte
        p.u8(0x00);
        p.u16(static_cast<uint16_t>(startInstance));
    } else {
        p.u8(0x26); // 32-bit instance, pad byte
        p.u8(0x00);
        p.u32(startInstance);
    }
    cip::writeRequestHead(w, kGetInstanceAttributeList, path.data(), path.size());
    w.u16(4);
    w.u16(kAttrType);
    w.u16(kAttrElementSize);
    w.u16(kAttrDimensions);
    w.u16(kAttrName);
}

bool scanSymbolEntries(const uint8_t *data, size_t n, uint32_t *last)
{
    wire::Reader r(data, n);
    uint64_t floor = 0;
    while (r.ok() && r.remaining() > 0) {
        const uint32_t instance = r.u32();
        r.skip(2 + 2 + 12);
        r.skip(r.u16());
        if (!r.ok() || instance < floor)
            return false;
        floor = uint64_t(instance) + 1;
        *last = instance;
    }
    return r.ok();
}

int TagListProtocol::compile(const TagSpec &spec, TagAddress *out) const
{
    std::string_view program;
    if (!parseTagListName(spec.name, &program))
        return PLCTAG_ERR_BAD_PARAM;
    out->path.clear();
    if (!program.empty()) {
        cip::EncodedName enc;
        const int rc = cip::encodeTagName(program, &enc);
        if (rc != PLCTAG_STATUS_OK || enc.bit >= 0)
            return PLCTAG_ERR_BAD_PARAM;
        out->path = std::move(enc.path);
    }
    out->bit = -1;
    out->elemCount = 1;
    out->elemSize = 0;
    out->typeLen = 0;
    return PLCTAG_STATUS_OK;
}

// The read's offset is the instance the request starts at: 0, then one past the last entry.
int TagListProtocol::encodeRead(const TagAddress &addr, uint32_t offset, const RequestEnv &, wire::Writer &w) const
{
    writeSymbolListRequest(w, addr.path.data(), addr.path.size(), offset);
    return PLCTAG_STATUS_OK;
}

int TagListProtocol::decodeRead(const TagAddress &, const uint8_t *reply, size_t n, ReadChunk *out) const
{
    cip::MrReply r;
    if (!cip::parseMrReply(reply, n, &r) || r.service != kGetInstanceAttributeList)
        return PLCTAG_ERR_BAD_REPLY;
    const bool more = r.general == cip::kStatusPartialTransfer;
    if (!more && r.general != cip::kStatusSuccess)
        return cip::mapCipStatus(r.general, r.ext[0], r.extCount);
    uint32_t last = 0;
    if (!scanSymbolEntries(r.data, r.size, &last))
        return PLCTAG_ERR_BAD_REPLY;
    if (more && (r.size == 0 || last == UINT32_MAX))
        return PLCTAG_ERR_BAD_REPLY; // "more" without progress would never end
    out->data = r.data;
    out->size = r.size;
    out->more = more;
    out->nextOffset = more ? last + 1 : 0;
    return PLCTAG_STATUS_OK;
}

const Protocol &tagListProtocol()
{
    static const TagListProtocol p;
    return p;
}

} // namespace plctag::logix
