#pragma once
// Byte sequences written as hex text ("6f 00 27 00 ..."), as in the captures and the facts
// sheet, and printed the same way when an expectation fails.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

using Bytes = std::vector<uint8_t>;

// Hex digit pairs; spaces are ignored, so lines can be split and aligned by field.
inline Bytes hex(std::string_view text)
{
    Bytes out;
    int hi = -1;
    for (char c : text) {
        int v;
        if (c >= '0' && c <= '9')
            v = c - '0';
        else if (c >= 'a' && c <= 'f')
            v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            v = c - 'A' + 10;
        else
            continue;
        if (hi < 0) {
            hi = v;
        } else {
            out.push_back(static_cast<uint8_t>(hi << 4 | v));
            hi = -1;
        }
    }
    return out;
}

inline Bytes ascii(std::string_view s) { return Bytes(s.begin(), s.end()); }

inline Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline std::string toHex(const Bytes &b)
{
    std::string s;
    char buf[4];
    for (size_t i = 0; i < b.size(); ++i) {
        std::snprintf(buf, sizeof buf, i ? " %02x" : "%02x", b[i]);
        s += buf;
    }
    return s;
}

// gtest prints vectors of bytes as decimal lists; hex strings compare more readably.
#define EXPECT_BYTES(expected, actual) EXPECT_EQ(toHex(expected), toHex(actual))
