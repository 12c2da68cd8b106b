#include "cip/epath.h"

#include "libplctag.h"

#include <cctype>

namespace plctag::cip {

namespace {

std::string_view trim(std::string_view s)
{
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

bool parseDecimal(std::string_view s, unsigned long max, unsigned long *out)
{
    if (s.empty() || s.size() > 10)
        return false;
    unsigned long v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + static_cast<unsigned long>(c - '0');
    }
    if (v > max)
        return false;
    *out = v;
    return true;
}

bool isIpv4(std::string_view s)
{
    int parts = 0;
    size_t i = 0;
    while (i <= s.size()) {
        size_t dot = s.find('.', i);
        std::string_view part = s.substr(i, dot == std::string_view::npos ? std::string_view::npos : dot - i);
        unsigned long v;
        if (!parseDecimal(part, 255, &v) || part.size() > 3)
            return false;
        ++parts;
        if (dot == std::string_view::npos)
            break;
        i = dot + 1;
    }
    return parts == 4;
}

void putSymbol(std::vector<uint8_t> &out, std::string_view sym)
{
    out.push_back(0x91);
    out.push_back(static_cast<uint8_t>(sym.size()));
    out.insert(out.end(), sym.begin(), sym.end());
    if (sym.size() & 1)
        out.push_back(0);
}

void putElement(std::vector<uint8_t> &out, unsigned long idx)
{
    if (idx <= 0xFF) {
        out.push_back(0x28);
        out.push_back(static_cast<uint8_t>(idx));
    } else if (idx <= 0xFFFF) {
        out.push_back(0x29);
        out.push_back(0);
        out.push_back(static_cast<uint8_t>(idx));
        out.push_back(static_cast<uint8_t>(idx >> 8));
    } else {
        out.push_back(0x2A);
        out.push_back(0);
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<uint8_t>(idx >> (8 * i)));
    }
}

bool symbolStart(char c)
{
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == ':' || c == '@';
}
bool symbolChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == ':';
}

} // namespace

int encodeRoute(std::string_view path, std::vector<uint8_t> *out)
{
    out->clear();
    if (trim(path).empty())
        return PLCTAG_STATUS_OK;
    std::vector<std::string_view> items;
    size_t i = 0;
    for (;;) {
        size_t comma = path.find(',', i);
        items.push_back(trim(path.substr(i, comma == std::string_view::npos ? std::string_view::npos : comma - i)));
        if (comma == std::string_view::npos)
            break;
        i = comma + 1;
    }
    for (size_t k = 0; k < items.size(); ++k) {
        unsigned long v;
        if (!parseDecimal(items[k], 255, &v))
            return PLCTAG_ERR_BAD_GATEWAY;
        if (v <= 15) {
            out->push_back(static_cast<uint8_t>(v));
            continue;
        }
        // 18 / 19: port 2 / 3 with an IP address as extended link address.
        if ((v != 18 && v != 19) || k + 1 >= items.size() || !isIpv4(items[k + 1]))
            return PLCTAG_ERR_BAD_GATEWAY;
        std::string_view ip = items[++k];
        out->push_back(static_cast<uint8_t>(0x10 | (v - 16)));
        out->push_back(static_cast<uint8_t>(ip.size()));
        out->insert(out->end(), ip.begin(), ip.end());
        if (ip.size() & 1)
            out->push_back(0);
    }
    // Port segments pair up into whole words; a dangling port has no link.
    if (out->size() & 1) {
        out->clear();
        return PLCTAG_ERR_BAD_GATEWAY;
    }
    return PLCTAG_STATUS_OK;
}

int encodeTagName(std::string_view name, EncodedName *out)
{
    out->path.clear();
    out->bit = -1;
    size_t i = 0, n = name.size();
    if (n == 0)
        return PLCTAG_ERR_BAD_PARAM;
    for (;;) {
        // Bit index: a final ".digits" after at least one symbol.
        if (i < n && std::isdigit(static_cast<unsigned char>(name[i]))) {
            if (out->path.empty())
                return PLCTAG_ERR_BAD_PARAM;
            unsigned long bit;
            if (!parseDecimal(name.substr(i), 65535, &bit))
                return PLCTAG_ERR_BAD_PARAM;
            out->bit = static_cast<int>(bit);
            break;
        }
        if (i >= n || !symbolStart(name[i]))
            return PLCTAG_ERR_BAD_PARAM;
        size_t s = i++; // the first character may be one (@) that may not follow
        while (i < n && symbolChar(name[i]))
            ++i;
        if (i - s > 255)
            return PLCTAG_ERR_BAD_PARAM;
        putSymbol(out->path, name.substr(s, i - s));
        if (i < n && name[i] == '[') {
            size_t close = name.find(']', i);
            if (close == std::string_view::npos)
                return PLCTAG_ERR_BAD_PARAM;
            std::string_view inside = name.substr(i + 1, close - i - 1);
            int dims = 0;
            size_t j = 0;
            for (;;) {
                size_t comma = inside.find(',', j);
                unsigned long idx;
                std::string_view part =
                    trim(inside.substr(j, comma == std::string_view::npos ? std::string_view::npos : comma - j));
                if (!parseDecimal(part, 0xFFFFFFFFul, &idx) || ++dims > 3)
                    return PLCTAG_ERR_BAD_PARAM;
                putElement(out->path, idx);
                if (comma == std::string_view::npos)
                    break;
                j = comma + 1;
            }
            i = close + 1;
        }
        if (i == n)
            break;
        if (name[i] != '.')
            return PLCTAG_ERR_BAD_PARAM;
        if (++i == n)
            return PLCTAG_ERR_BAD_PARAM; // trailing dot
    }
    if (out->path.size() > kMaxEncodedName)
        return PLCTAG_ERR_BAD_PARAM;
    return PLCTAG_STATUS_OK;
}

} // namespace plctag::cip
