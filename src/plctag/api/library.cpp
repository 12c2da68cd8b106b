// The C API's life cycle calls: create, read, write, status, abort, lock, destroy, shutdown.
// Handles count up from 11 and are never reused; sessions are shared per gateway and route.
#include "api/tag.h"

#include "attributes/attributes.h"
#include "cip/epath.h"
#include "libplctag.h"
#include "util/log.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <unordered_map>

namespace plctag {

void stopWorker();

namespace {

constexpr auto kCloseLimit = std::chrono::milliseconds(500); // Forward Close on the last tag's destroy

struct SessionEntry {
    std::shared_ptr<Session> session;
    int tags = 0;
};

struct Library {
    std::mutex m;
    std::unordered_map<int32_t, TagPtr> tags;
    int32_t next = 11;
    std::map<std::string, SessionEntry> sessions;
    uint64_t privateSessions = 0;
};

Library &lib()
{
    static Library *l = new Library; // never destroyed: callers may outlive static destructors
    return *l;
}

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

void releaseSession(const TagPtr &t)
{
    std::shared_ptr<Session> closing;
    {
        std::lock_guard<std::mutex> l(lib().m);
        auto it = lib().sessions.find(t->sessionKey);
        if (it != lib().sessions.end() && --it->second.tags <= 0) {
            closing = it->second.session;
            lib().sessions.erase(it);
        }
    }
    if (closing)
        closing->close(Clock::now() + kCloseLimit);
}

Clock::time_point after(int ms)
{
    return Clock::now() + std::chrono::milliseconds(ms);
}

// Waits for an operation started elsewhere to end, within the deadline.
bool awaitIdle(Tag &t, Clock::time_point deadline)
{
    std::unique_lock<std::mutex> l(t.m);
    return t.done.wait_until(l, deadline, [&] { return !t.busy.load(); });
}

} // namespace

TagPtr findTag(int32_t id)
{
    std::lock_guard<std::mutex> l(lib().m);
    auto it = lib().tags.find(id);
    return it == lib().tags.end() ? nullptr : it->second;
}

} // namespace plctag

using namespace plctag;

extern "C" {

void plc_tag_set_debug_level(int level)
{
    gDebugLevel = level;
}

int plc_tag_check_lib_version(int major, int minor, int patch)
{
    if (major != PLCTAG_VERSION_MAJOR)
        return PLCTAG_ERR_UNSUPPORTED;
    if (minor > PLCTAG_VERSION_MINOR || (minor == PLCTAG_VERSION_MINOR && patch > PLCTAG_VERSION_PATCH))
        return PLCTAG_ERR_UNSUPPORTED;
    return PLCTAG_STATUS_OK;
}

int32_t plc_tag_create(const char *attrib_str, int timeout)
{
    if (timeout < 0)
        return PLCTAG_ERR_BAD_PARAM;
    if (!attrib_str || !*attrib_str)
        return PLCTAG_ERR_TOO_SMALL;
    Attributes attrs;
    if (attrs.parse(attrib_str) != PLCTAG_STATUS_OK)
        return PLCTAG_ERR_BAD_DATA;
    const std::string *protocol = attrs.find("protocol");
    if (!protocol || (*protocol != "ab_eip" && *protocol != "ab-eip"))
        return PLCTAG_ERR_BAD_PARAM;
    const std::string *plc = attrs.find("plc");
    if (!plc)
        plc = attrs.find("cpu");
    const Family *family = plc ? findFamily(*plc) : nullptr;
    if (!family || !family->protocol)
        return PLCTAG_ERR_CREATE;
    const std::string *path = attrs.find("path");
    if (family->pathRequired && !path)
        return PLCTAG_ERR_BAD_PARAM;
    std::vector<uint8_t> route;
    if (path && cip::encodeRoute(*path, &route) != PLCTAG_STATUS_OK)
        return PLCTAG_ERR_BAD_GATEWAY;
    const std::string *name = attrs.find("name");
    if (!name)
        return PLCTAG_ERR_BAD_PARAM;
    const long debug = attrs.getInt("debug", 0);
    if (debug > 0)
        gDebugLevel = static_cast<int>(debug);

    auto t = std::make_shared<Tag>();
    t->family = family;
    t->protocol = family->protocol;
    t->elemCount = static_cast<int>(attrs.getInt("elem_count", 1));
    t->elemSize = static_cast<int>(attrs.getInt("elem_size", 0));
    TagSpec spec;
    spec.name = *name;
    spec.elemCount = t->elemCount;
    spec.elemSize = t->elemSize;
    int rc = t->protocol->compile(spec, &t->addr);
    if (rc != PLCTAG_STATUS_OK)
        return rc;
    const int initial = t->protocol->initialSize(t->addr);
    if (initial >= 0) {
        t->data.assign(static_cast<size_t>(initial), 0);
        t->haveData = true;
    }

    const std::string *gatewayText = attrs.find("gateway");
    const Gateway gw = parseGateway(gatewayText ? *gatewayText : std::string());
    const bool shared = attrs.getInt("share_session", 1) != 0;
    {
        std::lock_guard<std::mutex> l(lib().m);
        t->sessionKey = lower(gatewayText ? *gatewayText : std::string()) + '|' + (path ? *path : std::string()) +
                        '|' + family->name;
        if (!shared)
            t->sessionKey += "|private" + std::to_string(++lib().privateSessions);
        SessionEntry &e = lib().sessions[t->sessionKey];
        if (!e.session)
            e.session = std::make_shared<Session>(gw.host, gw.port, route, family);
        ++e.tags;
        t->session = e.session;
        t->id = lib().next;
        lib().next = lib().next >= 0x0FFFFFFE ? 11 : lib().next + 1;
        lib().tags.emplace(t->id, t);
    }
    PLCTAG_LOG(3, t->id, "created %s", attrib_str);

    // The initial read: it connects, learns the size and type, and proves the tag exists.
    t->busy = true;
    if (timeout == 0) {
        runAsync(t, false);
        return t->id;
    }
    rc = runRead(*t, after(timeout));
    finish(*t, rc);
    if (rc != PLCTAG_STATUS_OK) {
        plc_tag_destroy(t->id);
        return rc;
    }
    return t->id;
}

int plc_tag_read(int32_t id, int timeout)
{
    TagPtr t = findTag(id);
    if (!t)
        return PLCTAG_ERR_NOT_FOUND;
    if (timeout < 0)
        return PLCTAG_ERR_BAD_PARAM;
    if (t->busy.exchange(true))
        return PLCTAG_ERR_BUSY;
    t->abort = false;
    {
        std::lock_guard<std::mutex> l(t->m);
        t->status = PLCTAG_STATUS_PENDING;
    }
    if (timeout == 0) {
        runAsync(t, false);
        return PLCTAG_STATUS_PENDING;
    }
    const int rc = runRead(*t, after(timeout));
    finish(*t, rc);
    return rc;
}

int plc_tag_write(int32_t id, int timeout)
{
    TagPtr t = findTag(id);
    if (!t)
        return PLCTAG_ERR_NOT_FOUND;
    if (timeout < 0)
        return PLCTAG_ERR_BAD_PARAM;
    if (t->busy.exchange(true))
        return PLCTAG_ERR_BUSY;
    t->abort = false;
    {
        std::lock_guard<std::mutex> l(t->m);
        t->status = PLCTAG_STATUS_PENDING;
    }
    if (timeout == 0) {
        runAsync(t, true);
        return PLCTAG_STATUS_PENDING;
    }
    const int rc = runWrite(*t, after(timeout));
    finish(*t, rc);
    return rc;
}

int plc_tag_status(int32_t id)
{
    if (id < 0)
        return id;
    TagPtr t = findTag(id);
    if (!t)
        return PLCTAG_ERR_NOT_FOUND;
    if (t->busy.load())
        return PLCTAG_STATUS_PENDING;
    std::lock_guard<std::mutex> l(t->m);
    return t->status;
}

int plc_tag_abort(int32_t id)
{
    TagPtr t = findTag(id);
    if (!t)
        return PLCTAG_ERR_NOT_FOUND;
    if (t->busy.load()) {
        t->abort = true;
        t->session->wake();
    }
    return PLCTAG_STATUS_OK;
}

int plc_tag_destroy(int32_t id)
{
    if (id <= 0 || id >= 0x0FFFFFFF)
        return PLCTAG_ERR_NULL_PTR;
    TagPtr t;
    {
        std::lock_guard<std::mutex> l(lib().m);
        auto it = lib().tags.find(id);
        if (it == lib().tags.end())
            return PLCTAG_ERR_NOT_FOUND;
        t = it->second;
        lib().tags.erase(it);
    }
    t->destroyed = true;
    if (t->busy.load()) {
        t->abort = true;
        t->session->wake();
        awaitIdle(*t, Clock::now() + kCloseLimit);
    }
    {
        std::lock_guard<std::mutex> l(t->lockM);
        t->lockCv.notify_all(); // waiters in plc_tag_lock give up
    }
    releaseSession(t);
    return PLCTAG_STATUS_OK;
}

void plc_tag_shutdown(void)
{
    std::vector<TagPtr> tags;
    std::vector<std::shared_ptr<Session>> sessions;
    {
        std::lock_guard<std::mutex> l(lib().m);
        for (auto &kv : lib().tags)
            tags.push_back(kv.second);
        lib().tags.clear();
        for (auto &kv : lib().sessions)
            sessions.push_back(kv.second.session);
        lib().sessions.clear();
    }
    for (const TagPtr &t : tags) {
        t->destroyed = true;
        t->abort = true;
        t->session->wake();
        std::lock_guard<std::mutex> l(t->lockM);
        t->lockCv.notify_all();
    }
    const Clock::time_point deadline = Clock::now() + kCloseLimit;
    for (const auto &s : sessions)
        s->close(deadline);
    stopWorker();
}

int plc_tag_lock(int32_t id)
{
    TagPtr t = findTag(id);
    if (!t)
        return PLCTAG_ERR_NOT_FOUND;
    std::unique_lock<std::mutex> l(t->lockM);
    const std::thread::id me = std::this_thread::get_id();
    if (t->depth > 0 && t->owner == me) {
        ++t->depth;
        return PLCTAG_STATUS_OK;
    }
    t->lockCv.wait(l, [&] { return t->depth == 0 || t->destroyed.load(); });
    if (t->destroyed.load())
        return PLCTAG_ERR_NOT_FOUND;
    t->owner = me;
    t->depth = 1;
    return PLCTAG_STATUS_OK;
}

int plc_tag_unlock(int32_t id)
{
    TagPtr t = findTag(id);
    if (!t)
        return PLCTAG_ERR_NOT_FOUND;
    std::lock_guard<std::mutex> l(t->lockM);
    if (t->depth == 0 || t->owner != std::this_thread::get_id())
        return PLCTAG_ERR_MUTEX_UNLOCK;
    if (--t->depth == 0) {
        t->owner = std::thread::id();
        t->lockCv.notify_one();
    }
    return PLCTAG_STATUS_OK;
}

int plc_tag_get_int_attribute(int32_t id, const char *name, int def)
{
    if (!name)
        return def;
    const std::string n = lower(name);
    if (id == 0) {
        if (n == "version_major")
            return PLCTAG_VERSION_MAJOR;
        if (n == "version_minor")
            return PLCTAG_VERSION_MINOR;
        if (n == "version_patch")
            return PLCTAG_VERSION_PATCH;
        if (n == "debug" || n == "debug_level")
            return gDebugLevel.load();
        return def;
    }
    TagPtr t = findTag(id);
    if (!t)
        return def;
    std::lock_guard<std::mutex> l(t->m);
    if (n == "size")
        return static_cast<int>(t->data.size());
    if (n == "elem_count")
        return t->elemCount;
    if (n == "elem_size")
        return t->haveData && t->elemCount > 0 ? static_cast<int>(t->data.size()) / t->elemCount : t->elemSize;
    if (n == "bit_num")
        return t->addr.bit;
    t->status = PLCTAG_ERR_UNSUPPORTED;
    return def;
}

int plc_tag_set_int_attribute(int32_t id, const char *name, int value)
{
    if (id == 0 && name && lower(name) == "debug") {
        gDebugLevel = value;
        return PLCTAG_STATUS_OK;
    }
    return findTag(id) ? PLCTAG_ERR_UNSUPPORTED : PLCTAG_ERR_NOT_FOUND;
}

} // extern "C"
