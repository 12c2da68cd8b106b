#include "fake_plctag.h"

#include <libplctag.h>

#include <algorithm>
#include <cstring>

namespace fake_plctag {
namespace {
Script g_script;
Log g_log;
} // namespace

void reset(const Script &script)
{
    g_script = script;
    g_log = Log();
}

const Log &log() { return g_log; }

} // namespace fake_plctag

using fake_plctag::g_log;
using fake_plctag::g_script;

extern "C" {

int32_t plc_tag_create(const char *attrib_str, int timeout)
{
    g_log.created.emplace_back(attrib_str);
    g_log.createTimeouts.push_back(timeout);
    return g_script.createResult;
}

int plc_tag_read(int32_t, int timeout)
{
    g_log.readTimeouts.push_back(timeout);
    return g_script.readResult;
}

uint8_t plc_tag_get_uint8(int32_t, int offset)
{
    return offset >= 0 && static_cast<size_t>(offset) < g_script.bytes.size() ? g_script.bytes[offset] : 0;
}

int plc_tag_get_string_length(int32_t, int) { return g_script.stringLength; }

int plc_tag_get_string(int32_t, int, char *buffer, int buffer_length)
{
    g_log.stringBufferSize = buffer_length;
    if (g_script.getStringResult != PLCTAG_STATUS_OK)
        return g_script.getStringResult;
    std::memcpy(buffer, g_script.text.data(), std::min<size_t>(g_script.text.size(), buffer_length - 1));
    return PLCTAG_STATUS_OK;
}

int plc_tag_destroy(int32_t tag)
{
    g_log.destroyed.push_back(tag);
    return PLCTAG_STATUS_OK;
}

} // extern "C"
