#include "api/tag_config.h"

#include "cip/epath.h"
#include "libplctag.h"
#include "logix/logix_protocol.h"
#include "logix/tag_list.h"
#include "logix/udt_template.h"
#include "util/log.h"

#include <algorithm>
#include <cctype>

namespace plctag {

namespace {

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

int stringOverrides(const Attributes &a, buffer::StringLayout *l, bool *given)
{
    static const char *const keys[] = {"str_is_counted", "str_is_fixed_length", "str_is_zero_terminated",
                                       "str_is_byte_swapped", "str_count_word_bytes", "str_max_capacity",
                                       "str_total_length", "str_pad_bytes"};
    bool any = false;
    for (const char *k : keys)
        any = any || a.find(k);
    *given = any;
    if (!any)
        return PLCTAG_STATUS_OK;
    const bool counted = a.getInt("str_is_counted", l->countBytes ? 1 : 0) != 0;
    const long cw = a.getInt("str_count_word_bytes", l->countBytes);
    if (cw != 0 && cw != 1 && cw != 2 && cw != 4 && cw != 8)
        return PLCTAG_ERR_BAD_PARAM;
    const long cap = a.getInt("str_max_capacity", l->maxCapacity);
    const long total = a.getInt("str_total_length", l->totalLength);
    const long pad = a.getInt("str_pad_bytes", l->padBytes);
    if (cap < 0 || cap > 0xFFFF || total < 0 || total > 0xFFFF || pad < 0 || pad > 255)
        return PLCTAG_ERR_BAD_PARAM;
    l->defined = true;
    l->countBytes = static_cast<uint8_t>(counted ? cw : 0);
    l->fixedLength = a.getInt("str_is_fixed_length", l->fixedLength) != 0;
    l->zeroTerminated = a.getInt("str_is_zero_terminated", l->zeroTerminated) != 0;
    l->byteSwapped = a.getInt("str_is_byte_swapped", l->byteSwapped) != 0;
    l->maxCapacity = static_cast<uint16_t>(cap);
    l->totalLength = static_cast<uint16_t>(total);
    l->padBytes = static_cast<uint8_t>(pad);
    if (counted && l->countBytes == 0)
        return PLCTAG_ERR_BAD_PARAM;
    if (l->fixedLength && l->totalLength == 0)
        return PLCTAG_ERR_BAD_PARAM;
    return PLCTAG_STATUS_OK;
}

int byteOrders(const Attributes &a, buffer::ByteOrder *o)
{
    struct {
        const char *key;
        uint8_t *order;
        size_t n;
    } const fields[] = {{"int16_byte_order", o->int16, 2},   {"int32_byte_order", o->int32, 4},
                        {"int64_byte_order", o->int64, 8},   {"float32_byte_order", o->float32, 4},
                        {"float64_byte_order", o->float64, 8}};
    for (const auto &f : fields) {
        if (const std::string *v = a.find(f.key)) {
            const int rc = parseByteOrder(*v, f.n, f.order);
            if (rc != PLCTAG_STATUS_OK)
                return rc;
        }
    }
    return PLCTAG_STATUS_OK;
}

} // namespace

int parseByteOrder(const std::string &text, size_t n, uint8_t *out)
{
    if (text.size() < n)
        return PLCTAG_ERR_TOO_SMALL;
    if (text.size() > n)
        return PLCTAG_ERR_TOO_LARGE;
    uint8_t tmp[8];
    bool seen[8] = {};
    for (size_t i = 0; i < n; ++i) {
        const int d = text[i] - '0';
        if (d < 0 || static_cast<size_t>(d) >= n || seen[d])
            return PLCTAG_ERR_BAD_DATA;
        seen[d] = true;
        tmp[i] = static_cast<uint8_t>(d);
    }
    std::copy(tmp, tmp + n, out);
    return PLCTAG_STATUS_OK;
}

int configureTag(const Attributes &a, Tag *t, TagConfig *cfg)
{
    const std::string *protocol = a.find("protocol");
    if (!protocol || (*protocol != "ab_eip" && *protocol != "ab-eip"))
        return PLCTAG_ERR_BAD_PARAM;
    const std::string *plc = a.find("plc");
    if (!plc)
        plc = a.find("cpu");
    const Family *family = plc ? findFamily(*plc) : nullptr;
    if (!family || !family->protocol)
        return PLCTAG_ERR_CREATE;
    const long debug = a.getInt("debug", 0);
    if (debug > 0)
        gDebugLevel = static_cast<int>(debug > 5 ? 5 : debug);

    const std::string *path = a.find("path");
    if (family->pathRequired && !path)
        return PLCTAG_ERR_BAD_PARAM;
    std::vector<uint8_t> route;
    if (path && cip::encodeRoute(*path, &route) != PLCTAG_STATUS_OK)
        return PLCTAG_ERR_BAD_GATEWAY;
    if (path && family->id == FamilyId::Micro800)
        PLCTAG_LOG(2, 0, "a Micro800 takes no path; using \"%s\" anyway", path->c_str());

    const std::string *name = a.find("name");
    if (!name)
        return PLCTAG_ERR_BAD_PARAM;
    t->family = family;
    t->protocol = family->protocol;
    t->strings = family->strings;
    std::string_view program;
    uint16_t udt = 0;
    if (family->protocol == &logix::logixProtocol() && logix::parseTagListName(*name, &program)) {
        t->protocol = &logix::tagListProtocol();
        t->strings = logix::kSymbolNameLayout;
    } else if (family->id == FamilyId::Logix && logix::parseUdtName(*name, &udt)) {
        t->protocol = &logix::udtProtocol();
    }
    t->byteOrder = family->byteOrder;
    t->elemCount = static_cast<int>(a.getInt("elem_count", 1));
    t->elemSize = static_cast<int>(a.getInt("elem_size", 0));
    TagSpec spec;
    spec.name = *name;
    spec.elemCount = t->elemCount;
    spec.elemSize = t->elemSize;
    int rc = t->protocol->compile(spec, &t->addr);
    if (rc != PLCTAG_STATUS_OK)
        return rc;
    const int initial = t->protocol->initialSize(t->addr);
    if (initial >= 0) {
        t->data.assign(static_cast<size_t>(initial), 0); // PCCC: sized by the file type
        t->haveData = true;
    }

    const long group = a.getInt("connection_group_id", 0);
    if (group < 0 || group > 32767)
        return PLCTAG_ERR_OUT_OF_BOUNDS;
    t->connectionGroup = static_cast<int>(group);
    const long cache = a.getInt("read_cache_ms", 0);
    t->readCacheMs = cache < 0 ? 0 : static_cast<int>(cache);
    // Not implemented: refused rather than taken and never acted on (a program waiting for
    // automatic reads would wait for ever). 0 is the default and asks for nothing.
    const long syncRead = a.getInt("auto_sync_read_ms", 0), syncWrite = a.getInt("auto_sync_write_ms", 0);
    if (syncRead < 0 || syncWrite < 0)
        return PLCTAG_ERR_BAD_PARAM;
    for (const char *key : {"auto_sync_read_ms", "auto_sync_write_ms", "elem_type"}) {
        if (a.find(key) && (std::string(key) == "elem_type" || a.getInt(key, 0) != 0)) {
            PLCTAG_LOG(1, 0, "attribute %s is not supported by this library", key);
            return PLCTAG_ERR_UNSUPPORTED;
        }
    }
    rc = stringOverrides(a, &t->strings, &t->stringsGiven);
    if (rc != PLCTAG_STATUS_OK)
        return rc;
    rc = byteOrders(a, &t->byteOrder);
    if (rc != PLCTAG_STATUS_OK)
        return rc;

    // Only Logix may be asked for unconnected messaging; the others need their connection.
    bool connected = family->connected;
    if (family->id == FamilyId::Logix && a.getInt("use_connected_msg", 1) == 0)
        connected = false;
    const std::string *gateway = a.find("gateway");
    const Gateway gw = parseGateway(gateway ? *gateway : std::string());
    cfg->session.host = gw.host;
    cfg->session.port = gw.port;
    cfg->session.route = std::move(route);
    cfg->session.family = family;
    cfg->session.connected = connected;
    const bool packing = a.getInt("allow_packing", 1) != 0;
    cfg->session.maxPacked = packing ? family->maxPacked : 0;
    cfg->shareSession = a.getInt("share_session", 1) != 0;
    cfg->sessionKey = lower(gateway ? *gateway : std::string()) + '|' + (path ? *path : std::string()) + '|' +
                      std::to_string(group) + '|' + family->name + (connected ? "|c" : "|u") + (packing ? "" : "|1");
    return PLCTAG_STATUS_OK;
}

} // namespace plctag
