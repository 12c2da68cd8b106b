#pragma once
// Little-endian reading and writing for the server side, kept apart from the client's codecs.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace absim {

class In {
public:
    In(const uint8_t *p, size_t n) : p_(p), n_(n) {}
    bool ok() const { return ok_; }
    size_t left() const { return ok_ ? n_ - pos_ : 0; }
    size_t pos() const { return pos_; }
    const uint8_t *here() const { return p_ + pos_; }
    uint8_t u8() { return static_cast<uint8_t>(get(1)); }
    uint16_t u16() { return static_cast<uint16_t>(get(2)); }
    uint32_t u32() { return static_cast<uint32_t>(get(4)); }
    uint64_t u64() { return get(8); }
    const uint8_t *take(size_t n)
    {
        if (!ok_ || n_ - pos_ < n) {
            ok_ = false;
            return nullptr;
        }
        const uint8_t *r = p_ + pos_;
        pos_ += n;
        return r;
    }

private:
    uint64_t get(size_t n)
    {
        const uint8_t *b = take(n);
        uint64_t v = 0;
        for (size_t i = 0; b && i < n; ++i)
            v |= uint64_t(b[i]) << (8 * i);
        return v;
    }
    const uint8_t *p_;
    size_t n_;
    size_t pos_ = 0;
    bool ok_ = true;
};

struct Out {
    std::vector<uint8_t> b;
    void u8(uint8_t v) { b.push_back(v); }
    void u16(uint16_t v) { put(v, 2); }
    void u32(uint32_t v) { put(v, 4); }
    void u64(uint64_t v) { put(v, 8); }
    void be16(uint16_t v)
    {
        b.push_back(uint8_t(v >> 8));
        b.push_back(uint8_t(v));
    }
    void bytes(const void *p, size_t n)
    {
        const uint8_t *s = static_cast<const uint8_t *>(p);
        b.insert(b.end(), s, s + n);
    }
    void bytes(const std::vector<uint8_t> &v) { b.insert(b.end(), v.begin(), v.end()); }
    void patch16(size_t at, uint16_t v)
    {
        b[at] = uint8_t(v);
        b[at + 1] = uint8_t(v >> 8);
    }
    size_t size() const { return b.size(); }

private:
    void put(uint64_t v, size_t n)
    {
        for (size_t i = 0; i < n; ++i)
            b.push_back(uint8_t(v >> (8 * i)));
    }
};

} // namespace absim
