// Little-endian cursor reader and appending writer: the one place that knows byte order.
// Every EtherNet/IP, CIP and PCCC field goes through these; a reader that runs past its end
// stops advancing, returns zeros and remembers the failure, so decoders check ok() once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace plctag::wire {

class Reader {
public:
    Reader() = default;
    Reader(const uint8_t *data, size_t size) : p_(data), n_(size) {}
    explicit Reader(const std::vector<uint8_t> &v) : p_(v.data()), n_(v.size()) {}

    bool ok() const { return ok_; }
    size_t pos() const { return pos_; }
    size_t size() const { return n_; }
    size_t remaining() const { return ok_ ? n_ - pos_ : 0; }
    const uint8_t *here() const { return p_ + pos_; }

    uint8_t u8() { return static_cast<uint8_t>(take(1)); }
    uint16_t u16() { return static_cast<uint16_t>(take(2)); }
    uint32_t u32() { return static_cast<uint32_t>(take(4)); }
    uint64_t u64() { return take(8); }
    uint16_t u16be()
    {
        uint16_t v = u16();
        return static_cast<uint16_t>((v >> 8) | (v << 8));
    }
    uint32_t u32be()
    {
        uint32_t v = u32();
        return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
    }

    // Returns a pointer to the next n bytes and steps over them, or nullptr when short.
    const uint8_t *bytes(size_t n)
    {
        if (!need(n))
            return nullptr;
        const uint8_t *r = p_ + pos_;
        pos_ += n;
        return r;
    }
    bool skip(size_t n) { return bytes(n) != nullptr || n == 0; }
    // A reader over the next n bytes; this one steps past them.
    Reader sub(size_t n)
    {
        const uint8_t *b = bytes(n);
        return b ? Reader(b, n) : failed();
    }

private:
    static Reader failed()
    {
        Reader r;
        r.ok_ = false;
        return r;
    }
    bool need(size_t n)
    {
        if (!ok_ || n > n_ - pos_) {
            ok_ = false;
            return false;
        }
        return true;
    }
    uint64_t take(size_t n)
    {
        if (!need(n))
            return 0;
        uint64_t v = 0;
        for (size_t i = 0; i < n; ++i)
            v |= static_cast<uint64_t>(p_[pos_ + i]) << (8 * i);
        pos_ += n;
        return v;
    }

    const uint8_t *p_ = nullptr;
    size_t n_ = 0;
    size_t pos_ = 0;
    bool ok_ = true;
};

// Appends to a caller-owned vector, so a buffer reserved once is reused without allocating.
class Writer {
public:
    explicit Writer(std::vector<uint8_t> &out) : v_(out) {}

    size_t pos() const { return v_.size(); }
    std::vector<uint8_t> &buffer() { return v_; }

    void u8(uint8_t x) { v_.push_back(x); }
    void u16(uint16_t x) { put(x, 2); }
    void u32(uint32_t x) { put(x, 4); }
    void u64(uint64_t x) { put(x, 8); }
    void u16be(uint16_t x)
    {
        v_.push_back(static_cast<uint8_t>(x >> 8));
        v_.push_back(static_cast<uint8_t>(x));
    }
    void u32be(uint32_t x)
    {
        u16be(static_cast<uint16_t>(x >> 16));
        u16be(static_cast<uint16_t>(x));
    }
    void bytes(const void *p, size_t n)
    {
        const uint8_t *b = static_cast<const uint8_t *>(p);
        v_.insert(v_.end(), b, b + n);
    }
    void zeros(size_t n) { v_.insert(v_.end(), n, 0); }

    // Back-patching of length fields written before their content was known.
    void patchU8(size_t at, uint8_t x) { v_[at] = x; }
    void patchU16(size_t at, uint16_t x)
    {
        v_[at] = static_cast<uint8_t>(x);
        v_[at + 1] = static_cast<uint8_t>(x >> 8);
    }

private:
    void put(uint64_t x, size_t n)
    {
        for (size_t i = 0; i < n; ++i)
            v_.push_back(static_cast<uint8_t>(x >> (8 * i)));
    }
    std::vector<uint8_t> &v_;
};

// Plain little-endian loads/stores on raw memory, for tag buffers.
inline uint64_t loadLe(const uint8_t *p, size_t n)
{
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i)
        v |= static_cast<uint64_t>(p[i]) << (8 * i);
    return v;
}
inline void storeLe(uint8_t *p, uint64_t v, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

} // namespace plctag::wire
