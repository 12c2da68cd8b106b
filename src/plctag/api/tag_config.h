// From a parsed attribute string to a tag's settings and its session's key and settings.
#pragma once

#include "api/tag.h"
#include "attributes/attributes.h"

#include <string>

namespace plctag {

struct TagConfig {
    SessionConfig session;
    std::string sessionKey;
    bool shareSession = true;
};

// Fills t (family, protocol, address, layouts, options) and cfg. Returns a PLCTAG status:
// the checks and their codes follow libplctag's order (protocol, plc, path, name, others).
int configureTag(const Attributes &attrs, Tag *t, TagConfig *cfg);

// "3210"-style byte order for a value of n bytes; the status libplctag gives a bad one.
int parseByteOrder(const std::string &text, size_t n, uint8_t *out);

} // namespace plctag
