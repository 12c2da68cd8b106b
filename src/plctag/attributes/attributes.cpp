#include "attributes/attributes.h"

#include "libplctag.h"

#include <cctype>
#include <cstdlib>

namespace plctag {

namespace {
std::string_view trimSpaces(std::string_view s)
{
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

bool parseLong(const std::string &s, long *out)
{
    const char *b = s.c_str();
    char *end = nullptr;
    long v = std::strtol(b, &end, 0);
    if (end == b)
        return false;
    *out = v;
    return true;
}
} // namespace

int Attributes::parse(std::string_view text)
{
    kv_.clear();
    size_t i = 0;
    while (i <= text.size()) {
        size_t amp = text.find('&', i);
        std::string_view seg = text.substr(i, amp == std::string_view::npos ? std::string_view::npos : amp - i);
        i = amp == std::string_view::npos ? text.size() + 1 : amp + 1;
        if (seg.empty())
            continue;
        size_t eq = seg.find('=');
        if (eq == std::string_view::npos)
            return PLCTAG_ERR_BAD_DATA;
        std::string_view key = trimSpaces(seg.substr(0, eq));
        std::string_view value = seg.substr(eq + 1);
        if (key.empty() || value.empty())
            return PLCTAG_ERR_BAD_DATA;
        bool replaced = false;
        for (auto &kv : kv_) {
            if (kv.first == key) {
                kv.second = std::string(value);
                replaced = true;
            }
        }
        if (!replaced)
            kv_.emplace_back(std::string(key), std::string(value));
    }
    return PLCTAG_STATUS_OK;
}

const std::string *Attributes::find(std::string_view key) const
{
    for (const auto &kv : kv_) {
        if (kv.first == key)
            return &kv.second;
    }
    return nullptr;
}

long Attributes::getInt(std::string_view key, long def) const
{
    const std::string *v = find(key);
    long out;
    if (!v || !parseLong(*v, &out))
        return def;
    return out;
}

Gateway parseGateway(const std::string &text)
{
    Gateway g;
    size_t colon = text.rfind(':');
    if (colon == std::string::npos) {
        g.host = text;
        return g;
    }
    g.host = text.substr(0, colon);
    long port;
    if (!parseLong(text.substr(colon + 1), &port) || port <= 0 || port > 65535)
        g.port = -1;
    else
        g.port = static_cast<int>(port);
    return g;
}

} // namespace plctag
