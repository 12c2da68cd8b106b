// The attribute string of plc_tag_create: "key=value&key=value".
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace plctag {

class Attributes {
public:
    // Returns PLCTAG_STATUS_OK, or PLCTAG_ERR_BAD_DATA for a segment without '=' or with an
    // empty key or value. Empty segments ("&&", a trailing '&') are skipped; keys are
    // trimmed and case-sensitive, values kept verbatim; a repeated key: the last one wins.
    int parse(std::string_view text);

    const std::string *find(std::string_view key) const;
    // strtol(value, 0): hex and octal prefixes, trailing junk ignored; no digits -> def.
    long getInt(std::string_view key, long def) const;

private:
    std::vector<std::pair<std::string, std::string>> kv_;
};

struct Gateway {
    std::string host;
    int port = 44818; // -1 when the ":port" part is not a number
};
Gateway parseGateway(const std::string &text);

} // namespace plctag
