#include "session/wire_token.h"

#include "libplctag.h"

namespace plctag {

int WireToken::acquire(Clock::time_point deadline, const Cancel &cancel, bool forClose)
{
    std::unique_lock<std::mutex> l(m_);
    for (;;) {
        int rc = PLCTAG_STATUS_OK;
        if ((closing_ && !forClose) || cancel.requested())
            rc = PLCTAG_ERR_ABORT;
        else if (!busy_) {
            busy_ = true;
            return PLCTAG_STATUS_OK;
        } else if (Clock::now() >= deadline)
            rc = PLCTAG_ERR_TIMEOUT;
        if (rc != PLCTAG_STATUS_OK) {
            if (!busy_)
                cv_.notify_one(); // a free token this thread was woken for goes to the next waiter
            return rc;
        }
        cv_.wait_until(l, deadline);
    }
}

void WireToken::release()
{
    std::lock_guard<std::mutex> l(m_);
    busy_ = false;
    cv_.notify_one();
}

void WireToken::close()
{
    std::lock_guard<std::mutex> l(m_);
    closing_ = true;
    cv_.notify_all();
}

void WireToken::wakeAll()
{
    std::lock_guard<std::mutex> l(m_);
    cv_.notify_all();
}

} // namespace plctag
