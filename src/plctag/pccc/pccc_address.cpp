#include "pccc/pccc_address.h"

#include "libplctag.h"

#include <cctype>
#include <string>

namespace plctag::pccc {

namespace {

struct FileKind {
    const char *letters;
    uint8_t type;
    uint16_t size;
    int defaultFile; // O:, I:, S: may omit the number
};

// Longest letters first, so that ST is not read as S.
const FileKind kKinds[] = {
    {"ST", kString, 84, -1}, {"N", kInteger, 2, -1}, {"B", kBit, 2, -1},     {"I", kInput, 2, 1},
    {"O", kOutput, 2, 0},    {"S", kStatus, 2, 2},   {"D", kBcd, 2, -1},     {"F", kFloat, 4, -1},
    {"L", kLong, 4, -1},     {"T", kTimer, 6, -1},   {"C", kCounter, 6, -1}, {"R", kControl, 6, -1},
    {"A", kAscii, 1, -1},
};

struct Field {
    uint8_t type;
    const char *name;
    int sub; // sub-element word, or -1 for a status bit of word 0
    int bit;
};

const Field kFields[] = {
    {kTimer, "EN", 0, 15},   {kTimer, "TT", 0, 14},   {kTimer, "DN", 0, 13},   {kTimer, "CON", 0, -1},
    {kTimer, "PRE", 1, -1},  {kTimer, "ACC", 2, -1},  {kCounter, "CU", 0, 15}, {kCounter, "CD", 0, 14},
    {kCounter, "DN", 0, 13}, {kCounter, "OV", 0, 12}, {kCounter, "UN", 0, 11}, {kCounter, "CON", 0, -1},
    {kCounter, "PRE", 1, -1}, {kCounter, "ACC", 2, -1}, {kControl, "EN", 0, 15}, {kControl, "DN", 0, 13},
    {kControl, "CON", 0, -1}, {kControl, "LEN", 1, -1}, {kControl, "POS", 2, -1}, {kString, "LEN", 0, -1},
};

bool number(std::string_view &s, unsigned long *out)
{
    size_t i = 0;
    unsigned long v = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
        v = v * 10 + unsigned(s[i] - '0');
        if (v > 65535)
            return false;
        ++i;
    }
    if (i == 0)
        return false;
    *out = v;
    s.remove_prefix(i);
    return true;
}

bool startsWithNoCase(std::string_view s, const char *p)
{
    size_t i = 0;
    for (; p[i]; ++i)
        if (i >= s.size() || std::toupper(static_cast<unsigned char>(s[i])) != p[i])
            return false;
    return true;
}

} // namespace

int parseDataAddress(std::string_view s, DataAddress *out)
{
    const FileKind *kind = nullptr;
    for (const FileKind &k : kKinds)
        if (startsWithNoCase(s, k.letters)) {
            kind = &k;
            s.remove_prefix(std::char_traits<char>::length(k.letters));
            break;
        }
    if (!kind)
        return PLCTAG_ERR_BAD_PARAM;
    DataAddress a;
    a.fileType = kind->type;
    a.elemSize = kind->size;
    unsigned long v;
    if (!s.empty() && s[0] == ':') {
        if (kind->defaultFile < 0)
            return PLCTAG_ERR_BAD_PARAM;
        a.file = static_cast<uint16_t>(kind->defaultFile);
    } else if (number(s, &v)) {
        a.file = static_cast<uint16_t>(v);
    } else {
        return PLCTAG_ERR_BAD_PARAM;
    }
    if (s.empty() || s[0] != ':')
        return PLCTAG_ERR_BAD_PARAM;
    s.remove_prefix(1);
    if (!number(s, &v))
        return PLCTAG_ERR_BAD_PARAM;
    a.element = static_cast<uint16_t>(v);
    // "[k]": k elements further on, as an array range is written.
    if (!s.empty() && s[0] == '[') {
        s.remove_prefix(1);
        if (!number(s, &v) || s.empty() || s[0] != ']' || a.element + v > 65535)
            return PLCTAG_ERR_BAD_PARAM;
        a.element = static_cast<uint16_t>(a.element + v);
        s.remove_prefix(1);
    }
    if (!s.empty() && s[0] == '.') {
        s.remove_prefix(1);
        const Field *field = nullptr;
        for (const Field &f : kFields)
            if (f.type == a.fileType && startsWithNoCase(s, f.name) &&
                s.size() >= std::char_traits<char>::length(f.name)) {
                const size_t n = std::char_traits<char>::length(f.name);
                if (s.size() == n || s[n] == '/') {
                    field = &f;
                    s.remove_prefix(n);
                    break;
                }
            }
        if (!field)
            return PLCTAG_ERR_BAD_PARAM;
        a.subElement = static_cast<uint16_t>(field->sub);
        a.elemSize = 2;
        a.bit = field->bit;
    }
    if (!s.empty() && s[0] == '/') {
        s.remove_prefix(1);
        if (a.elemSize != 2 || a.bit >= 0 || !number(s, &v))
            return PLCTAG_ERR_BAD_PARAM;
        if (v > 15)
            return PLCTAG_ERR_OUT_OF_BOUNDS;
        a.bit = static_cast<int>(v);
    }
    if (!s.empty())
        return PLCTAG_ERR_BAD_PARAM;
    *out = a;
    return PLCTAG_STATUS_OK;
}

} // namespace plctag::pccc
