// Library and tag attributes: plc_tag_get/set_int_attribute, the debug level and the
// version check.
#include "api/tag.h"

#include "libplctag.h"
#include "util/log.h"

#include <algorithm>
#include <cctype>
#include <string>

using namespace plctag;

namespace {

std::string lower(const char *s)
{
    std::string r(s);
    std::transform(r.begin(), r.end(), r.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return r;
}

} // namespace

extern "C" {

void plc_tag_set_debug_level(int level)
{
    gDebugLevel = level < PLCTAG_DEBUG_NONE ? PLCTAG_DEBUG_NONE : level > PLCTAG_DEBUG_SPEW ? PLCTAG_DEBUG_SPEW : level;
}

int plc_tag_check_lib_version(int major, int minor, int patch)
{
    if (major != PLCTAG_VERSION_MAJOR)
        return PLCTAG_ERR_UNSUPPORTED;
    if (minor > PLCTAG_VERSION_MINOR || (minor == PLCTAG_VERSION_MINOR && patch > PLCTAG_VERSION_PATCH))
        return PLCTAG_ERR_UNSUPPORTED;
    return PLCTAG_STATUS_OK;
}

int plc_tag_get_int_attribute(int32_t id, const char *attrib_name, int default_value)
{
    if (!attrib_name)
        return default_value;
    const std::string n = lower(attrib_name);
    if (id == 0) {
        if (n == "version_major")
            return PLCTAG_VERSION_MAJOR;
        if (n == "version_minor")
            return PLCTAG_VERSION_MINOR;
        if (n == "version_patch")
            return PLCTAG_VERSION_PATCH;
        if (n == "debug" || n == "debug_level")
            return gDebugLevel.load();
        return default_value;
    }
    TagPtr t = findTag(id);
    if (!t)
        return default_value;
    std::lock_guard<std::mutex> l(t->m);
    int v;
    if (n == "size")
        v = static_cast<int>(t->data.size());
    else if (n == "elem_count")
        v = t->elemCount;
    else if (n == "elem_size")
        v = t->haveData && t->elemCount > 0 ? static_cast<int>(t->data.size()) / t->elemCount : t->elemSize;
    else if (n == "elem_type")
        v = t->addr.fileType; // PCCC: the file type code; Logix: 0, as no elem_type is taken
    else if (n == "bit_num")
        v = t->addr.bit;
    else if (n == "read_cache_ms")
        v = t->readCacheMs;
    else if (n == "auto_sync_read_ms" || n == "auto_sync_write_ms")
        v = 0; // not implemented: never anything but off
    else if (n == "connection_group_id")
        v = t->connectionGroup;
    else {
        t->status = PLCTAG_ERR_UNSUPPORTED;
        return default_value;
    }
    t->status = PLCTAG_STATUS_OK;
    return v;
}

int plc_tag_set_int_attribute(int32_t id, const char *attrib_name, int new_value)
{
    if (!attrib_name)
        return PLCTAG_ERR_NULL_PTR;
    const std::string n = lower(attrib_name);
    if (id == 0) {
        if ((n == "debug" || n == "debug_level") && new_value >= PLCTAG_DEBUG_NONE && new_value <= PLCTAG_DEBUG_SPEW) {
            gDebugLevel = new_value;
            return PLCTAG_STATUS_OK;
        }
        return PLCTAG_ERR_UNSUPPORTED;
    }
    TagPtr t = findTag(id);
    if (!t)
        return PLCTAG_ERR_NOT_FOUND;
    std::lock_guard<std::mutex> l(t->m);
    const bool autoSync = n == "auto_sync_read_ms" || n == "auto_sync_write_ms";
    if (n != "read_cache_ms" && !autoSync)
        return t->status = PLCTAG_ERR_UNSUPPORTED;
    if (new_value < 0)
        return t->status = PLCTAG_ERR_OUT_OF_BOUNDS;
    if (autoSync) {
        if (new_value == 0)
            return t->status = PLCTAG_STATUS_OK;
        PLCTAG_LOG(1, id, "attribute %s is not supported by this library", n.c_str());
        return t->status = PLCTAG_ERR_UNSUPPORTED;
    }
    t->readCacheMs = new_value;
    t->cacheUntil = Clock::time_point{};
    return t->status = PLCTAG_STATUS_OK;
}

} // extern "C"
