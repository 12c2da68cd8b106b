#include "logix/logix_protocol.h"

#include "cip/epath.h"
#include "cip/status_map.h"
#include "libplctag.h"
#include "logix/tag_services.h"
#include "util/log.h"

#include <cstring>

namespace plctag::logix {

namespace {

int replyStatus(const cip::MrReply &r) { return cip::mapCipStatus(r.general, r.ext[0], r.extCount); }

// A masked write touches at most this many bytes of the element holding the bit.
constexpr size_t kMaxMask = 8;

} // namespace

bool boolArrayElement(std::string_view name, std::string *dwordName, int *bit)
{
    const size_t open = name.rfind('[');
    if (open == std::string_view::npos || open == 0 || name.back() != ']' || open + 2 >= name.size())
        return false;
    unsigned long index = 0;
    for (char c : name.substr(open + 1, name.size() - open - 2)) {
        if (c < '0' || c > '9' || index > 0xFFFFFFF)
            return false;
        index = index * 10 + unsigned(c - '0');
    }
    *dwordName = std::string(name.substr(0, open + 1)) + std::to_string(index / 32) + "]";
    *bit = int(index % 32);
    return true;
}

int SymbolicProtocol::compile(const TagSpec &spec, TagAddress *out) const
{
    cip::EncodedName enc;
    int rc = cip::encodeTagName(spec.name, &enc);
    if (rc != PLCTAG_STATUS_OK)
        return rc;
    // "@raw" is a special tag we do not offer; "@tags" and "@udt/" have protocols of their own.
    if (spec.name.size() > 0 && spec.name[0] == '@') {
        PLCTAG_LOG(1, 0, "special tag %.*s is not supported by this library", int(spec.name.size()), spec.name.data());
        return PLCTAG_ERR_UNSUPPORTED;
    }
    if (spec.elemCount < 0 || spec.elemCount > 0xFFFF)
        return PLCTAG_ERR_BAD_PARAM;
    if (enc.bit >= 0 && spec.elemCount != 1)
        return PLCTAG_ERR_BAD_PARAM;
    out->path = std::move(enc.path);
    out->bit = enc.bit;
    // The count is sent as given, except that Omron reads a variable named without an index
    // whole with a count of 1 (a count of N is refused there); "Var[i]" with a count of N gives
    // N elements from i, which the version variables (two or three bytes) rely on.
    out->elemCount = static_cast<uint16_t>(spec.elemCount);
    out->whole = !fragmented_ && spec.elemCount > 1 && spec.name.find('[') == std::string_view::npos;
    out->elemSize = 0;
    out->typeLen = 0;
    return PLCTAG_STATUS_OK;
}

int SymbolicProtocol::encodeRead(const TagAddress &addr, uint32_t offset, const RequestEnv &, wire::Writer &w) const
{
    if (fragmented_)
        writeReadTagFragmented(w, addr.path.data(), addr.path.size(), addr.elemCount, offset);
    else if (offset == 0)
        writeReadTag(w, addr.path.data(), addr.path.size(), addr.whole ? 1 : addr.elemCount);
    else
        return PLCTAG_ERR_TOO_LARGE;
    return PLCTAG_STATUS_OK;
}

int SymbolicProtocol::decodeRead(const TagAddress &, const uint8_t *reply, size_t n, ReadChunk *out) const
{
    cip::MrReply r;
    if (!cip::parseMrReply(reply, n, &r) || r.service != (fragmented_ ? cip::kReadTagFragmented : cip::kReadTag))
        return PLCTAG_ERR_BAD_REPLY;
    bool more = false;
    if (r.general == cip::kStatusPartialTransfer && fragmented_)
        more = true;
    else if (r.general != cip::kStatusSuccess)
        return replyStatus(r);
    ReadData d;
    if (!splitReadReply(r, &d))
        return PLCTAG_ERR_BAD_REPLY;
    if (more && d.size == 0)
        return PLCTAG_ERR_BAD_REPLY; // "more" without progress would never end
    out->data = d.data;
    out->size = d.size;
    out->more = more;
    out->type = d.type;
    out->typeLen = d.typeLen;
    return PLCTAG_STATUS_OK;
}

int SymbolicProtocol::encodeWrite(const TagAddress &addr, const uint8_t *data, size_t size, uint32_t offset,
                                  const RequestEnv &env, wire::Writer &w, size_t *consumed) const
{
    const uint8_t *path = addr.path.data();
    size_t pathLen = addr.path.size();
    if (addr.bit >= 0) {
        size_t byte = static_cast<size_t>(addr.bit) / 8;
        size_t mask = size < kMaxMask ? size : kMaxMask;
        if (byte >= mask)
            return PLCTAG_ERR_OUT_OF_BOUNDS;
        uint8_t orMask[kMaxMask] = {}, andMask[kMaxMask];
        std::memset(andMask, 0xFF, sizeof andMask);
        uint8_t bitMask = static_cast<uint8_t>(1u << (addr.bit % 8));
        if (data[byte] & bitMask)
            orMask[byte] = bitMask;
        else
            andMask[byte] = static_cast<uint8_t>(~bitMask);
        writeReadModifyWrite(w, path, pathLen, orMask, andMask, static_cast<uint16_t>(mask));
        *consumed = size;
        return PLCTAG_STATUS_OK;
    }
    if (addr.typeLen == 0)
        return PLCTAG_ERR_NO_DATA;
    size_t whole = writeTagOverhead(pathLen, addr.typeLen, false) + size;
    if (offset == 0 && whole <= env.maxRequest) {
        writeWriteTag(w, path, pathLen, addr.type, addr.typeLen, addr.elemCount, data, size);
        *consumed = size;
        return PLCTAG_STATUS_OK;
    }
    if (!fragmented_)
        return PLCTAG_ERR_TOO_LARGE;
    size_t overhead = writeTagOverhead(pathLen, addr.typeLen, true);
    if (env.maxRequest <= overhead + 8)
        return PLCTAG_ERR_TOO_LARGE;
    // Whole 8-byte groups keep every fragment on an element boundary of any atomic type.
    size_t chunk = (env.maxRequest - overhead) & ~static_cast<size_t>(7);
    size_t left = size - offset;
    if (chunk > left)
        chunk = left;
    writeWriteTagFragmented(w, path, pathLen, addr.type, addr.typeLen, addr.elemCount, offset, data + offset, chunk);
    *consumed = chunk;
    return PLCTAG_STATUS_OK;
}

int SymbolicProtocol::decodeWrite(const TagAddress &addr, const uint8_t *reply, size_t n) const
{
    cip::MrReply r;
    if (!cip::parseMrReply(reply, n, &r))
        return PLCTAG_ERR_BAD_REPLY;
    uint8_t expect = addr.bit >= 0 ? cip::kReadModifyWriteTag : 0;
    if (expect == 0)
        expect = r.service == cip::kWriteTagFragmented ? cip::kWriteTagFragmented : cip::kWriteTag;
    if (r.service != expect)
        return PLCTAG_ERR_BAD_REPLY;
    return replyStatus(r);
}

size_t SymbolicProtocol::replyBound(const TagAddress &addr, bool write, size_t lastReadBytes) const
{
    // An error reply: reply head and up to two extended status words.
    constexpr size_t kErrorReply = 4 + 4;
    if (write)
        return kErrorReply;
    if (addr.typeLen == 0 || lastReadBytes == 0)
        return 0; // not read yet
    size_t data = lastReadBytes;
    if (addr.type[0] == kTypeShortString)
        data = size_t(addr.elemCount) * 256; // a count byte and up to 255 characters each
    else if (addr.type[0] == kTypeString)
        return 0; // an Omron STRING's size is the controller's to choose
    const size_t ok = 4 + addr.typeLen + data;
    return ok > kErrorReply ? ok : kErrorReply;
}

size_t SymbolicProtocol::firstReadBound(const TagAddress &, size_t expectedBytes) const
{
    // Only a fragmented read that outgrows its estimate comes back partial and is continued.
    if (!fragmented_ || expectedBytes == 0)
        return 0;
    constexpr size_t kLongestType = 4; // a structure's: A0 02 and its handle
    constexpr size_t kWidestBitHolder = 4; // a bit tag reads its whole DINT
    return 4 + kLongestType + (expectedBytes > kWidestBitHolder ? expectedBytes : kWidestBitHolder);
}

bool SymbolicProtocol::sizeVaries(const uint8_t *type, size_t typeLen) const
{
    return typeLen > 0 && (type[0] == kTypeShortString || type[0] == kTypeString);
}

const Protocol &logixProtocol()
{
    static const SymbolicProtocol p(true);
    return p;
}

const Protocol &omronProtocol()
{
    static const SymbolicProtocol p(false);
    return p;
}

} // namespace plctag::logix
