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
        t->lockCv.notify_all(); // waiters in plc_tag_lock give up
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

bool isDword(const Tag &t)
{
    return t.addr.typeLen == 2 && t.addr.type[0] == 0xD3 && t.addr.type[1] == 0x00;
}

// A one-byte element of a Logix BOOL array ("Bits[37]") is a bit of the DWORD that holds it
// ("Bits[1]", bit 5): the initial read shows it by a DWORD coming back for one byte, or by an
// index past the DWORDs. The tag is then that bit tag; rc is the initial read's result.
int learnBoolArray(Tag &t, const std::string &name, int rc, Clock::time_point deadline)
{
    std::string dword;
    int bit = -1;
    const bool candidate = t.family->id == FamilyId::Logix && t.protocol == &logix::logixProtocol() &&
                           t.elemSize == 1 && t.elemCount == 1 && t.addr.bit < 0 &&
                           logix::boolArrayElement(name, &dword, &bit);
    if (!candidate || !(rc == PLCTAG_STATUS_OK ? isDword(t) : rc == PLCTAG_ERR_NOT_FOUND))
        return rc;
    TagAddress dwordAddr;
    TagSpec spec;
    spec.name = dword;
    if (t.protocol->compile(spec, &dwordAddr) != PLCTAG_STATUS_OK)
        return rc;
    dwordAddr.bit = bit;
    TagAddress saved;
    {
        std::lock_guard<std::mutex> l(t.m);
        saved = t.addr;
        t.addr = dwordAddr;
    }
    uint32_t gen = 0;
    beginOperation(t, &gen);
    const int again = runOperation(t, false, gen, deadline);
    std::lock_guard<std::mutex> l(t.m);
    if (again == PLCTAG_STATUS_OK && isDword(t))
        return PLCTAG_STATUS_OK;
    t.addr = saved;
    return rc;
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
    if (const std::string *name = attrs.find("name"))
        rc = learnBoolArray(*t, *name, rc, deadline);
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
