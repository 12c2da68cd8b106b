// Tag life cycle: plc_tag_create (attribute string to tag and session), plc_tag_destroy and
// plc_tag_shutdown.
#include "api/tag.h"

#include "api/tag_config.h"
#include "attributes/attributes.h"
#include "libplctag.h"
#include "logix/logix_protocol.h"
#include "util/log.h"

#include <cstdlib>
#include <mutex>

namespace plctag {

namespace {

constexpr auto kCloseLimit = std::chrono::milliseconds(500); // Forward Close of each session at shutdown

void retire(const TagPtr &t)
{
    cancelOperation(*t, PLCTAG_ERR_ABORT);
    {
        std::lock_guard<std::mutex> l(t->m);
        t->gone = true;
        if (t->lockCv)
            t->lockCv->notify_all(); // waiters in plc_tag_lock give up
    }
}

void registerExitHandler()
{
    static std::once_flag once;
    std::call_once(once, [] { std::atexit(plc_tag_shutdown); });
}

} // namespace

} // namespace plctag

using namespace plctag;

namespace {

// A one-byte element of a Logix array may be a bit of a BOOL array's DWORD: the initial read
// tells (settleBoolArray), with the DWORD's address ready here.
void prepareBoolArrayProbe(Tag &t, const std::string &name)
{
    std::string dword;
    int bit = -1;
    if (t.family->id != FamilyId::Logix || t.protocol != &logix::logixProtocol() || t.elemSize != 1 ||
        t.elemCount != 1 || t.addr.bit >= 0 || !logix::boolArrayElement(name, &dword, &bit))
        return;
    auto probe = std::make_unique<BoolArrayProbe>();
    TagSpec spec;
    spec.name = dword;
    if (t.protocol->compile(spec, &probe->other) != PLCTAG_STATUS_OK)
        return;
    probe->other.bit = bit;
    t.boolProbe = std::move(probe);
}

} // namespace

extern "C" {

int32_t plc_tag_create(const char *attrib_str, int timeout)
{
    if (shuttingDown())
        return PLCTAG_ERR_NOT_ALLOWED;
    if (timeout < 0)
        return PLCTAG_ERR_BAD_PARAM;
    if (!attrib_str || !*attrib_str)
        return PLCTAG_ERR_TOO_SMALL;
    Attributes attrs;
    if (attrs.parse(attrib_str) != PLCTAG_STATUS_OK)
        return PLCTAG_ERR_BAD_DATA;
    auto t = std::make_shared<Tag>();
    TagConfig cfg;
    int rc = configureTag(attrs, t.get(), &cfg);
    if (rc != PLCTAG_STATUS_OK)
        return rc;
    if (const std::string *name = attrs.find("name"))
        prepareBoolArrayProbe(*t, *name);
    registerExitHandler();
    t->session = attachSession(cfg.sessionKey, cfg.session, cfg.shareSession);
    const int32_t id = addTag(t);
    PLCTAG_LOG(3, id, "created %s", attrib_str);

    // The initial read: it connects, learns the size and type, and proves the tag exists.
    uint32_t gen = 0;
    beginOperation(*t, &gen);
    if (timeout == 0) {
        startAsync(t, false, gen);
        return id;
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout);
    rc = runOperation(*t, false, gen, deadline);
    if (rc != PLCTAG_STATUS_OK) {
        PLCTAG_LOG(2, id, "initial read failed: %s", plc_tag_decode_error(rc));
        plc_tag_destroy(id);
        return rc;
    }
    return id;
}

int plc_tag_destroy(int32_t id)
{
    if (id <= 0 || id >= 0x0FFFFFFF)
        return PLCTAG_ERR_NULL_PTR;
    TagPtr t = removeTag(id);
    if (!t)
        return PLCTAG_ERR_NOT_FOUND;
    retire(t);
    detachSession(t->session);
    PLCTAG_LOG(3, id, "destroyed");
    return PLCTAG_STATUS_OK;
}

void plc_tag_shutdown(void)
{
    setShuttingDown(true);
    for (const TagPtr &t : removeAllTags())
        retire(t);
    const Clock::time_point deadline = Clock::now() + kCloseLimit;
    for (const auto &s : removeAllSessions())
        s->close(deadline);
    setShuttingDown(false);
}

} // extern "C"
