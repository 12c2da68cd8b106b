// Typed access to a tag's data buffer. Every call sets the tag's status, as the library's
// callers expect: OK when in range, OUT_OF_BOUNDS outside, NO_DATA before the first read.
#include "api/tag.h"

#include "buffer/strings.h"
#include "libplctag.h"
#include "wire/bytes.h"

#include <cfloat>
#include <cstring>

using namespace plctag;

namespace {

// Runs f on the tag's buffer under its lock; bad handles give `bad`.
template <typename R, typename F>
R withData(int32_t id, R bad, F f)
{
    TagPtr t = findTag(id);
    if (!t)
        return bad;
    std::lock_guard<std::mutex> l(t->m);
    return f(*t);
}

bool inRange(const Tag &t, int offset, size_t width)
{
    return offset >= 0 && static_cast<size_t>(offset) + width <= t.data.size();
}

// Logical little-endian value of `width` bytes through the family's byte order.
uint64_t load(const Tag &t, int offset, const uint8_t *order, size_t width)
{
    uint64_t v = 0;
    for (size_t i = 0; i < width; ++i)
        v |= uint64_t(t.data[size_t(offset) + order[i]]) << (8 * i);
    return v;
}

void store(Tag &t, int offset, const uint8_t *order, size_t width, uint64_t v)
{
    for (size_t i = 0; i < width; ++i)
        t.data[size_t(offset) + order[i]] = static_cast<uint8_t>(v >> (8 * i));
}

const uint8_t kIdentity8[8] = {0, 1, 2, 3, 4, 5, 6, 7};

const uint8_t *orderFor(const Tag &t, size_t width, bool isFloat)
{
    const buffer::ByteOrder &o = t.byteOrder;
    switch (width) {
    case 2: return o.int16;
    case 4: return isFloat ? o.float32 : o.int32;
    case 8: return isFloat ? o.float64 : o.int64;
    default: return kIdentity8;
    }
}

// Getter: the sentinel and a status when the value cannot be read.
template <typename T>
T get(int32_t id, int offset, T sentinel, bool isFloat = false)
{
    return withData<T>(id, sentinel, [&](Tag &t) -> T {
        if (!t.haveData) {
            t.status = PLCTAG_ERR_NO_DATA;
            return sentinel;
        }
        if (t.addr.bit >= 0) {
            // Bit tags: every integer getter gives the tag's own bit.
            const size_t byte = size_t(t.addr.bit) / 8;
            if (isFloat || byte >= t.data.size()) {
                t.status = isFloat ? PLCTAG_ERR_UNSUPPORTED : PLCTAG_ERR_OUT_OF_BOUNDS;
                return sentinel;
            }
            t.status = PLCTAG_STATUS_OK;
            return static_cast<T>((t.data[byte] >> (t.addr.bit % 8)) & 1);
        }
        if (!inRange(t, offset, sizeof(T))) {
            t.status = PLCTAG_ERR_OUT_OF_BOUNDS;
            return sentinel;
        }
        t.status = PLCTAG_STATUS_OK;
        const uint64_t raw = load(t, offset, orderFor(t, sizeof(T), isFloat), sizeof(T));
        T v;
        std::memcpy(&v, &raw, sizeof(T)); // little-endian host
        return v;
    });
}

template <typename T>
int set(int32_t id, int offset, T value, bool isFloat = false)
{
    return withData<int>(id, PLCTAG_ERR_NOT_FOUND, [&](Tag &t) -> int {
        if (!t.haveData)
            return t.status = PLCTAG_ERR_NO_DATA;
        if (t.addr.bit >= 0) {
            const size_t byte = size_t(t.addr.bit) / 8;
            if (isFloat)
                return t.status = PLCTAG_ERR_UNSUPPORTED;
            if (byte >= t.data.size())
                return t.status = PLCTAG_ERR_OUT_OF_BOUNDS;
            const uint8_t mask = static_cast<uint8_t>(1u << (t.addr.bit % 8));
            t.data[byte] = value ? (t.data[byte] | mask) : (t.data[byte] & ~mask);
            return t.status = PLCTAG_STATUS_OK;
        }
        if (!inRange(t, offset, sizeof(T)))
            return t.status = PLCTAG_ERR_OUT_OF_BOUNDS;
        uint64_t raw = 0;
        std::memcpy(&raw, &value, sizeof(T));
        store(t, offset, orderFor(t, sizeof(T), isFloat), sizeof(T), raw);
        return t.status = PLCTAG_STATUS_OK;
    });
}

// Strings are read and written in the layout the controller returned them in (the type
// code of its read reply), unless the attributes spelled a layout out.
template <typename F>
int stringCall(int32_t id, F f)
{
    return withData<int>(id, PLCTAG_ERR_NOT_FOUND, [&](Tag &t) -> int {
        if (t.addr.bit >= 0)
            return PLCTAG_ERR_UNSUPPORTED;
        if (!t.haveData)
            return PLCTAG_ERR_NO_DATA;
        if (t.stringsGiven)
            return f(t, t.strings);
        return f(t, buffer::layoutForType(t.strings, t.addr.type, t.addr.typeLen, t.data));
    });
}

} // namespace

extern "C" {

int plc_tag_get_size(int32_t id)
{
    return withData<int>(id, PLCTAG_ERR_NOT_FOUND, [](Tag &t) {
        t.status = PLCTAG_STATUS_OK;
        return static_cast<int>(t.data.size());
    });
}

int plc_tag_set_size(int32_t id, int size)
{
    if (size < 0)
        return findTag(id) ? PLCTAG_ERR_BAD_PARAM : PLCTAG_ERR_NOT_FOUND;
    return withData<int>(id, PLCTAG_ERR_NOT_FOUND, [&](Tag &t) {
        if (size == 0)
            return t.status = PLCTAG_ERR_NO_MEM;
        const int old = static_cast<int>(t.data.size());
        t.data.resize(static_cast<size_t>(size), 0);
        t.haveData = true;
        t.status = PLCTAG_STATUS_OK;
        return old;
    });
}

int plc_tag_get_bit(int32_t id, int bit)
{
    return withData<int>(id, PLCTAG_ERR_NOT_FOUND, [&](Tag &t) -> int {
        if (!t.haveData)
            return t.status = PLCTAG_ERR_NO_DATA;
        const int n = t.addr.bit >= 0 ? t.addr.bit : bit;
        if (n < 0 || size_t(n) / 8 >= t.data.size())
            return t.status = PLCTAG_ERR_OUT_OF_BOUNDS;
        t.status = PLCTAG_STATUS_OK;
        return (t.data[size_t(n) / 8] >> (n % 8)) & 1;
    });
}

int plc_tag_set_bit(int32_t id, int bit, int value)
{
    return withData<int>(id, PLCTAG_ERR_NOT_FOUND, [&](Tag &t) -> int {
        if (!t.haveData)
            return t.status = PLCTAG_ERR_NO_DATA;
        const int n = t.addr.bit >= 0 ? t.addr.bit : bit;
        if (n < 0 || size_t(n) / 8 >= t.data.size())
            return t.status = PLCTAG_ERR_OUT_OF_BOUNDS;
        const uint8_t mask = static_cast<uint8_t>(1u << (n % 8));
        uint8_t &b = t.data[size_t(n) / 8];
        b = value ? (b | mask) : (b & ~mask);
        return t.status = PLCTAG_STATUS_OK;
    });
}

uint64_t plc_tag_get_uint64(int32_t t, int o) { return get<uint64_t>(t, o, UINT64_MAX); }
int64_t plc_tag_get_int64(int32_t t, int o) { return get<int64_t>(t, o, INT64_MIN); }
uint32_t plc_tag_get_uint32(int32_t t, int o) { return get<uint32_t>(t, o, UINT32_MAX); }
int32_t plc_tag_get_int32(int32_t t, int o) { return get<int32_t>(t, o, INT32_MIN); }
uint16_t plc_tag_get_uint16(int32_t t, int o) { return get<uint16_t>(t, o, UINT16_MAX); }
int16_t plc_tag_get_int16(int32_t t, int o) { return get<int16_t>(t, o, INT16_MIN); }
uint8_t plc_tag_get_uint8(int32_t t, int o) { return get<uint8_t>(t, o, UINT8_MAX); }
int8_t plc_tag_get_int8(int32_t t, int o) { return get<int8_t>(t, o, INT8_MIN); }
double plc_tag_get_float64(int32_t t, int o) { return get<double>(t, o, DBL_MIN, true); }
float plc_tag_get_float32(int32_t t, int o) { return get<float>(t, o, FLT_MIN, true); }

int plc_tag_set_uint64(int32_t t, int o, uint64_t v) { return set(t, o, v); }
int plc_tag_set_int64(int32_t t, int o, int64_t v) { return set(t, o, v); }
int plc_tag_set_uint32(int32_t t, int o, uint32_t v) { return set(t, o, v); }
int plc_tag_set_int32(int32_t t, int o, int32_t v) { return set(t, o, v); }
int plc_tag_set_uint16(int32_t t, int o, uint16_t v) { return set(t, o, v); }
int plc_tag_set_int16(int32_t t, int o, int16_t v) { return set(t, o, v); }
int plc_tag_set_uint8(int32_t t, int o, uint8_t v) { return set(t, o, v); }
int plc_tag_set_int8(int32_t t, int o, int8_t v) { return set(t, o, v); }
int plc_tag_set_float64(int32_t t, int o, double v) { return set(t, o, v, true); }
int plc_tag_set_float32(int32_t t, int o, float v) { return set(t, o, v, true); }

int plc_tag_get_raw_bytes(int32_t id, int offset, uint8_t *buffer, int length)
{
    return withData<int>(id, PLCTAG_ERR_NOT_FOUND, [&](Tag &t) -> int {
        if (!buffer)
            return t.status = PLCTAG_ERR_NULL_PTR;
        if (length <= 0)
            return t.status = PLCTAG_ERR_BAD_PARAM;
        if (!inRange(t, offset, size_t(length)))
            return t.status = PLCTAG_ERR_OUT_OF_BOUNDS;
        std::memcpy(buffer, t.data.data() + offset, size_t(length));
        return t.status = PLCTAG_STATUS_OK;
    });
}

int plc_tag_set_raw_bytes(int32_t id, int offset, uint8_t *buffer, int length)
{
    return withData<int>(id, PLCTAG_ERR_NOT_FOUND, [&](Tag &t) -> int {
        if (!buffer)
            return t.status = PLCTAG_ERR_NULL_PTR;
        if (length <= 0)
            return t.status = PLCTAG_ERR_BAD_PARAM;
        if (!inRange(t, offset, size_t(length)))
            return t.status = PLCTAG_ERR_OUT_OF_BOUNDS;
        std::memcpy(t.data.data() + offset, buffer, size_t(length));
        return t.status = PLCTAG_STATUS_OK;
    });
}

int plc_tag_get_string_length(int32_t id, int offset)
{
    return stringCall(id, [&](Tag &t, const buffer::StringLayout &l) { return buffer::stringLength(l, t.data, offset); });
}

int plc_tag_get_string_capacity(int32_t id, int offset)
{
    return stringCall(id, [&](Tag &t, const buffer::StringLayout &l) { return buffer::stringCapacity(l, t.data, offset); });
}

int plc_tag_get_string_total_length(int32_t id, int offset)
{
    return stringCall(id, [&](Tag &t, const buffer::StringLayout &l) { return buffer::stringTotalLength(l, t.data, offset); });
}

int plc_tag_get_string(int32_t id, int offset, char *out, int length)
{
    if (!out)
        return findTag(id) ? PLCTAG_ERR_NULL_PTR : PLCTAG_ERR_NOT_FOUND;
    return stringCall(id, [&](Tag &t, const buffer::StringLayout &l) {
        const int rc = buffer::getString(l, t.data, offset, out, length);
        t.status = rc < 0 ? rc : PLCTAG_STATUS_OK;
        return rc;
    });
}

int plc_tag_set_string(int32_t id, int offset, const char *s)
{
    if (!s)
        return findTag(id) ? PLCTAG_ERR_NULL_PTR : PLCTAG_ERR_NOT_FOUND;
    return stringCall(id, [&](Tag &t, const buffer::StringLayout &l) {
        const int rc = buffer::setString(l, t.data, offset, s);
        t.status = rc < 0 ? rc : PLCTAG_STATUS_OK;
        return rc;
    });
}

} // extern "C"
