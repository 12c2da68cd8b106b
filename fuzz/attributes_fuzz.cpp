// Configuration text that reaches the tag library: attribute strings, gateways, routes, tag
// names and PCCC data addresses. Every parser answers with a status; encoded results keep
// their invariants.
#include "attributes/attributes.h"
#include "cip/epath.h"
#include "pccc/pccc_address.h"

#include <libplctag.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

// Input: one selector byte, then the text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const std::string_view text(reinterpret_cast<const char *>(data + 1), size - 1);
    switch (data[0] % 4) {
    case 0: {
        plctag::Attributes a;
        if (a.parse(text) == PLCTAG_STATUS_OK) {
            if (const std::string *g = a.find("gateway"))
                plctag::parseGateway(*g);
            a.getInt("elem_count", 1);
            a.getInt("elem_size", 0);
        }
        break;
    }
    case 1: {
        std::vector<uint8_t> route;
        if (plctag::cip::encodeRoute(text, &route) == PLCTAG_STATUS_OK && route.size() > 4 * text.size() + 4)
            std::abort();
        break;
    }
    case 2: {
        plctag::cip::EncodedName name;
        if (plctag::cip::encodeTagName(text, &name) == PLCTAG_STATUS_OK &&
            (name.path.size() % 2 != 0 || name.path.empty() || name.path.size() > plctag::cip::kMaxEncodedName))
            std::abort();
        break;
    }
    default: {
        plctag::pccc::DataAddress a;
        if (plctag::pccc::parseDataAddress(text, &a) == PLCTAG_STATUS_OK && (a.bit > 15 || a.elemSize == 0))
            std::abort();
        break;
    }
    }
    return 0;
}
