// Process-wide state of the C API: the handle table and the shared sessions.
#include "api/handle_table.h"
#include "api/tag.h"

#include <map>
#include <vector>

namespace plctag {

namespace {

constexpr int32_t kFirstHandle = 11;
constexpr int32_t kHandleMask = 0x0FFFFFFF; // handles stay below it, as libplctag's do

struct SessionEntry {
    std::shared_ptr<Session> session;
    int users = 0;
};

struct Library {
    std::mutex m;
    HandleTable<TagPtr> tags;
    int32_t next = kFirstHandle;
    std::map<std::string, SessionEntry> sessions;
    uint64_t privateSessions = 0;
    std::atomic<bool> shuttingDown{false};
};

Library &lib()
{
    static Library *l = new Library; // never destroyed: callers may outlive static destructors
    return *l;
}

} // namespace

TagPtr findTag(int32_t id)
{
    Library &L = lib();
    std::lock_guard<std::mutex> l(L.m);
    const TagPtr *t = L.tags.find(id);
    return t ? *t : nullptr;
}

int32_t addTag(const TagPtr &t)
{
    Library &L = lib();
    std::lock_guard<std::mutex> l(L.m);
    for (;;) {
        const int32_t id = L.next;
        L.next = L.next + 1 >= kHandleMask ? kFirstHandle : L.next + 1;
        if (!L.tags.find(id)) {
            t->id = id;
            L.tags.insert(id, t);
            return id;
        }
    }
}

TagPtr removeTag(int32_t id)
{
    Library &L = lib();
    std::lock_guard<std::mutex> l(L.m);
    return L.tags.take(id);
}

std::vector<TagPtr> removeAllTags()
{
    Library &L = lib();
    std::lock_guard<std::mutex> l(L.m);
    return L.tags.takeAll();
}

std::shared_ptr<Session> attachSession(const std::string &key, const SessionConfig &cfg, bool shared)
{
    Library &L = lib();
    std::lock_guard<std::mutex> l(L.m);
    const std::string k = shared ? key : key + "|private:" + std::to_string(++L.privateSessions);
    SessionEntry &e = L.sessions[k];
    if (!e.session)
        e.session = std::make_shared<Session>(k, cfg);
    ++e.users;
    return e.session;
}

void detachSession(const std::shared_ptr<Session> &s)
{
    if (!s)
        return;
    std::shared_ptr<Session> closing;
    {
        Library &L = lib();
        std::lock_guard<std::mutex> l(L.m);
        auto it = L.sessions.find(s->key());
        if (it == L.sessions.end() || it->second.session != s)
            return;
        if (--it->second.users <= 0) {
            closing = std::move(it->second.session);
            L.sessions.erase(it);
        }
    }
    // Forward Close round trip and thread join, outside the library lock.
    if (closing)
        closing->close(Clock::now() + std::chrono::milliseconds(500));
}

std::vector<std::shared_ptr<Session>> removeAllSessions()
{
    Library &L = lib();
    std::lock_guard<std::mutex> l(L.m);
    std::vector<std::shared_ptr<Session>> all;
    for (auto &kv : L.sessions)
        all.push_back(std::move(kv.second.session));
    L.sessions.clear();
    return all;
}

bool shuttingDown()
{
    return lib().shuttingDown.load();
}

void setShuttingDown(bool on)
{
    lib().shuttingDown = on;
}

} // namespace plctag
