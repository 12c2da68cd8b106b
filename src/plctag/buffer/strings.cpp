#include "buffer/strings.h"

#include "libplctag.h"
#include "wire/bytes.h"

#include <cstring>

namespace plctag::buffer {

namespace {

// Character i sits at this position after the count word (PCCC swaps pairs).
size_t charPos(const StringLayout &l, size_t i) { return l.byteSwapped ? (i ^ 1u) : i; }

bool countFits(const StringLayout &l, const std::vector<uint8_t> &buf, int offset)
{
    return offset >= 0 && static_cast<size_t>(offset) + l.countBytes <= buf.size();
}

// The count word; 2-byte counts are signed as in the controllers' INT, 4-byte as DINT.
long readCount(const StringLayout &l, const std::vector<uint8_t> &buf, int offset)
{
    uint64_t raw = wire::loadLe(buf.data() + offset, l.countBytes);
    switch (l.countBytes) {
    case 1: return static_cast<long>(raw);
    case 2: return static_cast<int16_t>(raw);
    case 4: return static_cast<int32_t>(raw);
    default: return static_cast<long>(raw);
    }
}

int currentLength(const StringLayout &l, const std::vector<uint8_t> &buf, int offset)
{
    if (!l.defined)
        return PLCTAG_ERR_UNSUPPORTED;
    if (l.countBytes == 0) {
        if (offset < 0 || static_cast<size_t>(offset) > buf.size())
            return PLCTAG_ERR_OUT_OF_BOUNDS;
        const void *nul = std::memchr(buf.data() + offset, 0, buf.size() - offset);
        return static_cast<int>(nul ? static_cast<const uint8_t *>(nul) - (buf.data() + offset)
                                    : static_cast<long>(buf.size() - offset));
    }
    if (!countFits(l, buf, offset))
        return PLCTAG_ERR_OUT_OF_BOUNDS;
    long n = readCount(l, buf, offset);
    return n < 0 ? PLCTAG_ERR_BAD_DATA : static_cast<int>(n);
}

} // namespace

StringLayout layoutForType(const StringLayout &family, const uint8_t *type, size_t typeLen,
                           const std::vector<uint8_t> &buf)
{
    if (typeLen != 2 || type[1] != 0)
        return family;
    if (type[0] == 0xDA)
        return kShortString;
    if (type[0] != 0xD0)
        return family;
    if (family.countBytes == 2 && !family.fixedLength)
        return family; // already a UINT-counted layout (Omron's)
    // A Logix structure's DINT count is at most 82, which a CIP STRING's UINT count and
    // first two characters only make when those characters are NULs.
    const size_t slot = kLogixString.totalLength;
    if (!buf.empty() && buf.size() % slot == 0 && wire::loadLe(buf.data(), 4) <= kLogixString.maxCapacity)
        return kLogixString;
    return kCipString;
}

int stringLength(const StringLayout &l, const std::vector<uint8_t> &buf, int offset)
{
    return currentLength(l, buf, offset);
}

int stringCapacity(const StringLayout &l, const std::vector<uint8_t> &buf, int offset)
{
    if (!l.defined)
        return PLCTAG_ERR_UNSUPPORTED;
    if (l.maxCapacity)
        return l.maxCapacity;
    return currentLength(l, buf, offset);
}

int stringTotalLength(const StringLayout &l, const std::vector<uint8_t> &buf, int offset)
{
    int len = currentLength(l, buf, offset);
    if (len < 0)
        return len;
    int chars = l.fixedLength ? l.maxCapacity : len;
    return l.countBytes + chars + (l.zeroTerminated ? 1 : 0) + l.padBytes;
}

int getString(const StringLayout &l, const std::vector<uint8_t> &buf, int offset, char *out, int len)
{
    if (!out)
        return PLCTAG_ERR_NULL_PTR;
    int cur = currentLength(l, buf, offset);
    if (cur < 0)
        return cur;
    if (len <= 0)
        return PLCTAG_ERR_BAD_PARAM;
    std::memset(out, 0, static_cast<size_t>(len));
    size_t n = static_cast<size_t>(cur < len ? cur : len);
    size_t base = static_cast<size_t>(offset) + l.countBytes;
    // Swapped pairs need the whole pair present.
    size_t need = l.byteSwapped ? ((n + 1) & ~static_cast<size_t>(1)) : n;
    if (base + need > buf.size())
        return PLCTAG_ERR_OUT_OF_BOUNDS;
    for (size_t i = 0; i < n; ++i)
        out[i] = static_cast<char>(buf[base + charPos(l, i)]);
    return PLCTAG_STATUS_OK;
}

int setString(const StringLayout &l, std::vector<uint8_t> &buf, int offset, const char *s)
{
    if (!s)
        return PLCTAG_ERR_NULL_PTR;
    if (!l.defined)
        return PLCTAG_ERR_UNSUPPORTED;
    if (offset < 0)
        return PLCTAG_ERR_OUT_OF_BOUNDS;
    size_t len = std::strlen(s);
    size_t off = static_cast<size_t>(offset);
    size_t cw = l.countBytes;
    if (l.fixedLength) {
        if (len > l.maxCapacity)
            return PLCTAG_ERR_TOO_LARGE;
        if (off + cw + l.maxCapacity + (l.zeroTerminated ? 1 : 0) > buf.size())
            return PLCTAG_ERR_BAD_CONFIG;
        uint8_t *p = buf.data() + off + cw;
        std::memset(p, 0, l.maxCapacity);
        for (size_t i = 0; i < len; ++i)
            p[charPos(l, i)] = static_cast<uint8_t>(s[i]);
    } else {
        // Counted and variable: the string occupies cw + length bytes on the wire; the
        // bytes after it (further elements) move with it.
        uint64_t countMax = cw >= 8 ? ~0ull : (1ull << (8 * cw)) - 1;
        if (cw == 2)
            countMax = 0x7FFF; // the count is a signed INT
        if (cw == 0 || len > countMax || (l.maxCapacity && len > l.maxCapacity))
            return PLCTAG_ERR_TOO_LARGE;
        if (off > buf.size())
            return PLCTAG_ERR_OUT_OF_BOUNDS;
        size_t oldLen = 0;
        if (off + cw <= buf.size()) {
            long c = readCount(l, buf, offset);
            oldLen = c < 0 ? 0 : static_cast<size_t>(c);
            if (off + cw + oldLen > buf.size())
                oldLen = buf.size() - off - cw;
        } else {
            buf.resize(off + cw, 0);
        }
        size_t oldEnd = off + cw + oldLen, newEnd = off + cw + len;
        if (newEnd > oldEnd) {
            buf.insert(buf.begin() + static_cast<long>(oldEnd), newEnd - oldEnd, 0);
        } else if (newEnd < oldEnd) {
            buf.erase(buf.begin() + static_cast<long>(newEnd), buf.begin() + static_cast<long>(oldEnd));
        }
        for (size_t i = 0; i < len; ++i)
            buf[off + cw + charPos(l, i)] = static_cast<uint8_t>(s[i]);
    }
    wire::storeLe(buf.data() + off, len, cw);
    return PLCTAG_STATUS_OK;
}

} // namespace plctag::buffer
