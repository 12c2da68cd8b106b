#include "fake_plctag.h"

#include <libplctag.h>

#include <cstring>
#include <mutex>
#include <sstream>

namespace fake_plctag {
namespace {

struct World {
    std::recursive_mutex mutex;
    std::map<std::string, Script> scripts;
    std::map<int, Tag> tags;
    std::vector<std::string> calls;
    std::map<int, std::string> errorNames;
    std::function<void(int)> readHook;
    int nextHandle = 100;
    int shutdowns = 0;
};

World &world()
{
    static World w;
    return w;
}

using Lock = std::lock_guard<std::recursive_mutex>;

void record(const std::string &call)
{
    world().calls.push_back(call);
}

std::string attribute(const std::string &attrs, const std::string &key)
{
    std::istringstream in(attrs);
    std::string part;
    while (std::getline(in, part, '&')) {
        const auto eq = part.find('=');
        if (eq != std::string::npos && part.substr(0, eq) == key)
            return part.substr(eq + 1);
    }
    return std::string();
}

Tag *find(int handle)
{
    auto it = world().tags.find(handle);
    if (it == world().tags.end() || !it->second.alive)
        return nullptr;
    return &it->second;
}

Script *scriptFor(const Tag &t)
{
    auto it = world().scripts.find(t.name);
    return it == world().scripts.end() ? nullptr : &it->second;
}

bool inRange(const Tag &t, int offset, int width)
{
    return offset >= 0 && offset + width <= static_cast<int>(t.buffer.size());
}

template <typename T>
T get(int32_t handle, int offset, T sentinel, const char *name)
{
    Lock l(world().mutex);
    record(std::string(name) + " " + std::to_string(handle) + " " + std::to_string(offset));
    Tag *t = find(handle);
    if (!t || !inRange(*t, offset, sizeof(T)))
        return sentinel;
    T v;
    std::memcpy(&v, t->buffer.data() + offset, sizeof(T));
    return v;
}

template <typename T>
int set(int32_t handle, int offset, T value, const char *name)
{
    Lock l(world().mutex);
    std::ostringstream s;
    s << name << " " << handle << " " << offset << " " << +value;
    record(s.str());
    Tag *t = find(handle);
    if (!t)
        return PLCTAG_ERR_NOT_FOUND;
    if (!inRange(*t, offset, sizeof(T)))
        return PLCTAG_ERR_OUT_OF_BOUNDS;
    std::memcpy(t->buffer.data() + offset, &value, sizeof(T));
    return PLCTAG_STATUS_OK;
}

const char *standardName(int status)
{
    switch (status) {
    case 1: return "PLCTAG_STATUS_PENDING";
    case 0: return "PLCTAG_STATUS_OK";
    case -1: return "PLCTAG_ERR_ABORT";
    case -2: return "PLCTAG_ERR_BAD_CONFIG";
    case -4: return "PLCTAG_ERR_BAD_DATA";
    case -11: return "PLCTAG_ERR_CREATE";
    case -17: return "PLCTAG_ERR_MUTEX_UNLOCK";
    case -19: return "PLCTAG_ERR_NOT_FOUND";
    case -27: return "PLCTAG_ERR_OUT_OF_BOUNDS";
    case -32: return "PLCTAG_ERR_TIMEOUT";
    case -33: return "PLCTAG_ERR_TOO_LARGE";
    default: return "Unknown error.";
    }
}

} // namespace

void reset()
{
    Lock l(world().mutex);
    World &w = world();
    w.scripts.clear();
    w.tags.clear();
    w.calls.clear();
    w.errorNames.clear();
    w.readHook = nullptr;
    w.nextHandle = 100;
    w.shutdowns = 0;
}

Script &script(const std::string &tagName)
{
    Lock l(world().mutex);
    return world().scripts[tagName];
}

std::vector<std::string> calls()
{
    Lock l(world().mutex);
    return world().calls;
}

std::vector<std::string> callsMatching(const std::string &prefix)
{
    Lock l(world().mutex);
    std::vector<std::string> out;
    for (const std::string &c : world().calls)
        if (c.compare(0, prefix.size(), prefix) == 0)
            out.push_back(c);
    return out;
}

void clearCalls()
{
    Lock l(world().mutex);
    world().calls.clear();
}

bool tag(int handle, Tag *out)
{
    Lock l(world().mutex);
    auto it = world().tags.find(handle);
    if (it == world().tags.end())
        return false;
    if (out)
        *out = it->second;
    return true;
}

std::vector<uint8_t> buffer(int handle)
{
    Lock l(world().mutex);
    auto it = world().tags.find(handle);
    return it == world().tags.end() ? std::vector<uint8_t>() : it->second.buffer;
}

int shutdownCount()
{
    Lock l(world().mutex);
    return world().shutdowns;
}

void setReadHook(std::function<void(int)> hook)
{
    Lock l(world().mutex);
    world().readHook = std::move(hook);
}

void setErrorName(int status, const char *name)
{
    Lock l(world().mutex);
    world().errorNames[status] = name ? name : "";
}

} // namespace fake_plctag

using namespace fake_plctag;

extern "C" {

const char *plc_tag_decode_error(int err)
{
    Lock l(world().mutex);
    auto it = world().errorNames.find(err);
    return it != world().errorNames.end() ? it->second.c_str() : standardName(err);
}

int32_t plc_tag_create(const char *attrib_str, int timeout)
{
    Lock l(world().mutex);
    const std::string attrs = attrib_str ? attrib_str : "";
    record("create " + attrs + " timeout=" + std::to_string(timeout));
    Tag t;
    t.attributes = attrs;
    t.name = attribute(attrs, "name");
    const Script s = world().scripts[t.name];
    if (s.createResult < 0)
        return s.createResult;
    const int size = std::atoi(attribute(attrs, "elem_size").c_str()) * std::atoi(attribute(attrs, "elem_count").c_str());
    t.buffer = s.initial;
    if (static_cast<int>(t.buffer.size()) < size)
        t.buffer.resize(static_cast<size_t>(size), 0);
    const int handle = world().nextHandle++;
    world().tags[handle] = t;
    return handle;
}

void plc_tag_shutdown(void)
{
    Lock l(world().mutex);
    record("shutdown");
    ++world().shutdowns;
    for (auto &t : world().tags)
        t.second.alive = false;
}

int plc_tag_lock(int32_t tag)
{
    Lock l(world().mutex);
    record("lock " + std::to_string(tag));
    Tag *t = find(tag);
    if (!t)
        return PLCTAG_ERR_NOT_FOUND;
    Script *s = scriptFor(*t);
    if (s && s->lockResult != 0)
        return s->lockResult;
    ++t->lockDepth;
    return PLCTAG_STATUS_OK;
}

int plc_tag_unlock(int32_t tag)
{
    Lock l(world().mutex);
    record("unlock " + std::to_string(tag));
    Tag *t = find(tag);
    if (!t)
        return PLCTAG_ERR_NOT_FOUND;
    if (t->lockDepth == 0)
        return PLCTAG_ERR_MUTEX_UNLOCK;
    --t->lockDepth;
    return PLCTAG_STATUS_OK;
}

int plc_tag_abort(int32_t tag)
{
    Lock l(world().mutex);
    record("abort " + std::to_string(tag));
    return find(tag) ? PLCTAG_STATUS_OK : PLCTAG_ERR_NOT_FOUND;
}

int plc_tag_destroy(int32_t tag)
{
    Lock l(world().mutex);
    record("destroy " + std::to_string(tag));
    if (tag <= 0)
        return PLCTAG_ERR_NULL_PTR;
    Tag *t = find(tag);
    if (!t)
        return PLCTAG_ERR_NOT_FOUND;
    t->alive = false;
    return PLCTAG_STATUS_OK;
}

int plc_tag_read(int32_t tag, int timeout)
{
    std::function<void(int)> hook;
    int result;
    {
        Lock l(world().mutex);
        record("read " + std::to_string(tag) + " timeout=" + std::to_string(timeout));
        Tag *t = find(tag);
        if (!t)
            return PLCTAG_ERR_NOT_FOUND;
        Script *s = scriptFor(*t);
        result = s ? s->readResult : 0;
        if (result == 0 && s && !s->onRead.empty())
            t->buffer = s->onRead;
        hook = world().readHook;
    }
    if (hook)
        hook(tag);
    return result;
}

int plc_tag_status(int32_t tag)
{
    Lock l(world().mutex);
    record("status " + std::to_string(tag));
    if (tag < 0)
        return tag;
    Tag *t = find(tag);
    if (!t)
        return PLCTAG_ERR_NOT_FOUND;
    Script *s = scriptFor(*t);
    if (!s || s->statuses.empty())
        return PLCTAG_STATUS_OK;
    const size_t i = std::min(t->statusIndex, s->statuses.size() - 1);
    ++t->statusIndex;
    return s->statuses[i];
}

int plc_tag_write(int32_t tag, int timeout)
{
    Lock l(world().mutex);
    record("write " + std::to_string(tag) + " timeout=" + std::to_string(timeout));
    Tag *t = find(tag);
    if (!t)
        return PLCTAG_ERR_NOT_FOUND;
    Script *s = scriptFor(*t);
    return s ? s->writeResult : 0;
}

int plc_tag_get_size(int32_t tag)
{
    Lock l(world().mutex);
    Tag *t = find(tag);
    return t ? static_cast<int>(t->buffer.size()) : PLCTAG_ERR_NOT_FOUND;
}

int plc_tag_set_size(int32_t tag, int new_size)
{
    Lock l(world().mutex);
    record("set_size " + std::to_string(tag) + " " + std::to_string(new_size));
    Tag *t = find(tag);
    if (!t)
        return PLCTAG_ERR_NOT_FOUND;
    if (new_size < 0)
        return PLCTAG_ERR_BAD_PARAM;
    const int old = static_cast<int>(t->buffer.size());
    t->buffer.resize(static_cast<size_t>(new_size), 0);
    return old;
}

uint64_t plc_tag_get_uint64(int32_t t, int o) { return get<uint64_t>(t, o, UINT64_MAX, "get_uint64"); }
int plc_tag_set_uint64(int32_t t, int o, uint64_t v) { return set<uint64_t>(t, o, v, "set_uint64"); }
int64_t plc_tag_get_int64(int32_t t, int o) { return get<int64_t>(t, o, INT64_MIN, "get_int64"); }
int plc_tag_set_int64(int32_t t, int o, int64_t v) { return set<int64_t>(t, o, v, "set_int64"); }
uint32_t plc_tag_get_uint32(int32_t t, int o) { return get<uint32_t>(t, o, UINT32_MAX, "get_uint32"); }
int plc_tag_set_uint32(int32_t t, int o, uint32_t v) { return set<uint32_t>(t, o, v, "set_uint32"); }
int32_t plc_tag_get_int32(int32_t t, int o) { return get<int32_t>(t, o, INT32_MIN, "get_int32"); }
int plc_tag_set_int32(int32_t t, int o, int32_t v) { return set<int32_t>(t, o, v, "set_int32"); }
uint16_t plc_tag_get_uint16(int32_t t, int o) { return get<uint16_t>(t, o, UINT16_MAX, "get_uint16"); }
int plc_tag_set_uint16(int32_t t, int o, uint16_t v) { return set<uint16_t>(t, o, v, "set_uint16"); }
int16_t plc_tag_get_int16(int32_t t, int o) { return get<int16_t>(t, o, INT16_MIN, "get_int16"); }
int plc_tag_set_int16(int32_t t, int o, int16_t v) { return set<int16_t>(t, o, v, "set_int16"); }
uint8_t plc_tag_get_uint8(int32_t t, int o) { return get<uint8_t>(t, o, UINT8_MAX, "get_uint8"); }
int plc_tag_set_uint8(int32_t t, int o, uint8_t v) { return set<uint8_t>(t, o, v, "set_uint8"); }
int8_t plc_tag_get_int8(int32_t t, int o) { return get<int8_t>(t, o, INT8_MIN, "get_int8"); }
int plc_tag_set_int8(int32_t t, int o, int8_t v) { return set<int8_t>(t, o, v, "set_int8"); }
double plc_tag_get_float64(int32_t t, int o) { return get<double>(t, o, 2.2250738585072014e-308, "get_float64"); }
int plc_tag_set_float64(int32_t t, int o, double v) { return set<double>(t, o, v, "set_float64"); }
float plc_tag_get_float32(int32_t t, int o) { return get<float>(t, o, 1.17549435e-38f, "get_float32"); }
int plc_tag_set_float32(int32_t t, int o, float v) { return set<float>(t, o, v, "set_float32"); }

// Strings in the Logix layout: a 4-byte count, 82 characters, 2 pad bytes.
int plc_tag_get_string_length(int32_t tag, int off)
{
    Lock l(world().mutex);
    record("get_string_length " + std::to_string(tag) + " " + std::to_string(off));
    Tag *t = find(tag);
    if (!t)
        return PLCTAG_ERR_NOT_FOUND;
    if (!inRange(*t, off, 4))
        return PLCTAG_ERR_OUT_OF_BOUNDS;
    int32_t n;
    std::memcpy(&n, t->buffer.data() + off, 4);
    return n;
}

int plc_tag_get_string(int32_t tag, int off, char *buf, int len)
{
    Lock l(world().mutex);
    record("get_string " + std::to_string(tag) + " " + std::to_string(off) + " " + std::to_string(len));
    Tag *t = find(tag);
    if (!t)
        return PLCTAG_ERR_NOT_FOUND;
    if (!buf)
        return PLCTAG_ERR_NULL_PTR;
    std::memset(buf, 0, static_cast<size_t>(len));
    if (!inRange(*t, off, 4))
        return PLCTAG_ERR_OUT_OF_BOUNDS;
    int32_t n;
    std::memcpy(&n, t->buffer.data() + off, 4);
    n = std::min(n, len);
    if (n < 0 || !inRange(*t, off + 4, n))
        return PLCTAG_ERR_OUT_OF_BOUNDS;
    std::memcpy(buf, t->buffer.data() + off + 4, static_cast<size_t>(n));
    return PLCTAG_STATUS_OK;
}

int plc_tag_set_string(int32_t tag, int off, const char *s)
{
    Lock l(world().mutex);
    record("set_string " + std::to_string(tag) + " " + std::to_string(off) + " " + (s ? s : "(null)"));
    Tag *t = find(tag);
    if (!t)
        return PLCTAG_ERR_NOT_FOUND;
    Script *sc = scriptFor(*t);
    if (sc && sc->setStringResult != 0)
        return sc->setStringResult;
    if (!s)
        return PLCTAG_ERR_NULL_PTR;
    const int32_t n = static_cast<int32_t>(std::strlen(s));
    if (n > 82)
        return PLCTAG_ERR_TOO_LARGE;
    if (!inRange(*t, off, 88))
        return PLCTAG_ERR_BAD_CONFIG;
    std::memcpy(t->buffer.data() + off, &n, 4);
    std::memset(t->buffer.data() + off + 4, 0, 84);
    std::memcpy(t->buffer.data() + off + 4, s, static_cast<size_t>(n));
    return PLCTAG_STATUS_OK;
}

int plc_tag_get_string_capacity(int32_t tag, int)
{
    Lock l(world().mutex);
    return find(tag) ? 82 : PLCTAG_ERR_NOT_FOUND;
}
int plc_tag_get_string_total_length(int32_t tag, int off)
{
    Lock l(world().mutex);
    record("get_string_total_length " + std::to_string(tag) + " " + std::to_string(off));
    return find(tag) ? 88 : PLCTAG_ERR_NOT_FOUND;
}

} // extern "C"
