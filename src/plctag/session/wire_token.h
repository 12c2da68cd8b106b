// The right to use a session's connection: one request on the wire at a time. The holder
// writes its request and reads its reply itself; others wait here, each until its deadline.
#pragma once

#include "session/cancel.h"

#include <condition_variable>
#include <mutex>

namespace plctag {

class WireToken {
public:
    // PLCTAG_STATUS_OK once held; PLCTAG_ERR_ABORT on a cancel or after close() (unless
    // `forClose`: the close's own exchange), PLCTAG_ERR_TIMEOUT at the deadline.
    int acquire(Clock::time_point deadline, const Cancel &cancel, bool forClose);
    void release();
    // Later acquires fail, and every waiter is woken to see it.
    void close();
    // Every waiter re-checks its cancel.
    void wakeAll();

private:
    std::mutex m_;
    std::condition_variable cv_; // the token became free, or a wait must re-check
    bool busy_ = false;
    bool closing_ = false;
};

} // namespace plctag
