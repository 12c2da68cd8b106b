#pragma once
// Byte sequences written as hex text ("6f 00 27 00 ..."), as in the captures and the facts
// sheet, and printed the same way when an expectation fails.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using Bytes = std::vector<uint8_t>;

// Hex digit pairs, and quoted ASCII taken byte for byte ("4c 05 91 07 'Counter' 00"); anything
// else is ignored, so lines can be split and aligned by field.
inline Bytes hex(std::string_view text)
{
    Bytes out;
    int hi = -1;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\'') {
            for (++i; i < text.size() && text[i] != '\''; ++i)
                out.push_back(static_cast<uint8_t>(text[i]));
            continue;
        }
        const int v = c >= '0' && c <= '9' ? c - '0' : (c | 0x20) >= 'a' && (c | 0x20) <= 'f' ? (c | 0x20) - 'a' + 10 : -1;
        if (v < 0)
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
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < b.size(); ++i) {
        if (i)
            s += ' ';
        s += digits[b[i] >> 4];
        s += digits[b[i] & 15];
    }
    return s;
}

// gtest prints vectors of bytes as decimal lists; hex strings compare more readably.
#define EXPECT_BYTES(expected, actual) EXPECT_EQ(toHex(expected), toHex(actual))
