// plc_tag_lock / plc_tag_unlock: a recursive per-tag lock that only cooperating callers use;
// no other call waits for it.
#include "api/tag.h"

#include "libplctag.h"

using namespace plctag;

extern "C" {

int plc_tag_lock(int32_t id)
{
    TagPtr t = findTag(id);
    if (!t)
        return PLCTAG_ERR_NOT_FOUND;
    std::unique_lock<std::mutex> l(t->m);
    const std::thread::id me = std::this_thread::get_id();
    if (t->depth > 0 && t->owner == me) {
        ++t->depth;
        return PLCTAG_STATUS_OK;
    }
    // No time limit, as libplctag's; a destroy releases the waiters.
    if (t->depth > 0 && !t->gone) {
        if (!t->lockCv)
            t->lockCv = std::make_unique<std::condition_variable>();
        t->lockCv->wait(l, [&] { return t->depth == 0 || t->gone; });
    }
    if (t->gone)
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
    std::lock_guard<std::mutex> l(t->m);
    if (t->depth == 0 || t->owner != std::this_thread::get_id())
        return PLCTAG_ERR_MUTEX_UNLOCK;
    if (--t->depth == 0) {
        t->owner = std::thread::id();
        if (t->lockCv)
            t->lockCv->notify_one();
    }
    return PLCTAG_STATUS_OK;
}

} // extern "C"
