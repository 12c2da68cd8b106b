// Reads and writes of one tag: the request loop over fragments, on the caller's thread.
#include "api/tag.h"

#include "libplctag.h"
#include "util/log.h"

#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>

namespace plctag {

namespace {

// Per-thread scratch, so that tags carry no request buffers and the steady state allocates nothing.
struct Scratch {
    std::vector<uint8_t> request, reply, incoming, outgoing;
};

Scratch &scratch()
{
    thread_local Scratch s;
    return s;
}

constexpr auto kAsyncLimit = std::chrono::milliseconds(5000); // timeout-0 operations

// Reads the whole tag into `into`, learning the type field on the way.
int readInto(Tag &t, std::vector<uint8_t> &into, Clock::time_point deadline)
{
    Scratch &s = scratch();
    into.clear();
    uint32_t offset = 0;
    for (;;) {
        s.request.clear();
        wire::Writer w(s.request);
        RequestEnv env;
        env.maxRequest = t.session->maxRequest();
        int rc = t.protocol->encodeRead(t.addr, offset, env, w);
        if (rc != PLCTAG_STATUS_OK)
            return rc;
        rc = t.session->transact(s.request, &s.reply, deadline, &t.abort);
        if (rc != PLCTAG_STATUS_OK)
            return rc;
        ReadChunk c;
        rc = t.protocol->decodeRead(t.addr, s.reply.data(), s.reply.size(), &c);
        if (rc != PLCTAG_STATUS_OK)
            return rc;
        if (c.type && c.typeLen <= kMaxTypeBytes) {
            std::memcpy(t.addr.type, c.type, c.typeLen);
            t.addr.typeLen = static_cast<uint8_t>(c.typeLen);
        }
        into.insert(into.end(), c.data, c.data + c.size);
        // Families with a known size read in chunks until the tag is complete.
        const int expect = t.protocol->initialSize(t.addr);
        if (expect > 0 && into.size() > size_t(expect))
            return PLCTAG_ERR_TOO_LARGE;
        if (!c.more && (expect <= 0 || into.size() == size_t(expect)))
            return PLCTAG_STATUS_OK;
        offset += static_cast<uint32_t>(c.size);
    }
}

class Worker {
public:
    void post(std::function<void()> job)
    {
        std::lock_guard<std::mutex> l(m_);
        if (!thread_.joinable())
            thread_ = std::thread([this] { loop(); });
        jobs_.push_back(std::move(job));
        cv_.notify_one();
    }
    void stop()
    {
        {
            std::lock_guard<std::mutex> l(m_);
            stopping_ = true;
            cv_.notify_one();
        }
        if (thread_.joinable())
            thread_.join();
        std::lock_guard<std::mutex> l(m_);
        jobs_.clear();
        stopping_ = false;
    }

private:
    void loop()
    {
        std::unique_lock<std::mutex> l(m_);
        for (;;) {
            cv_.wait(l, [this] { return stopping_ || !jobs_.empty(); });
            if (stopping_)
                return;
            auto job = std::move(jobs_.front());
            jobs_.pop_front();
            l.unlock();
            job();
            l.lock();
        }
    }
    std::mutex m_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> jobs_;
    std::thread thread_;
    bool stopping_ = false;
};

Worker &worker()
{
    static Worker w;
    return w;
}

} // namespace

int runRead(Tag &t, Clock::time_point deadline)
{
    Scratch &s = scratch();
    const int rc = readInto(t, s.incoming, deadline);
    if (rc == PLCTAG_STATUS_OK) {
        std::lock_guard<std::mutex> l(t.m);
        t.data.assign(s.incoming.begin(), s.incoming.end());
        t.haveData = true;
    }
    return rc;
}

int runWrite(Tag &t, Clock::time_point deadline)
{
    Scratch &s = scratch();
    if (t.protocol->writeNeedsType() && t.addr.typeLen == 0 && t.addr.bit < 0) {
        // The write needs the controller's type field: learn it without touching the buffer.
        std::vector<uint8_t> ignored;
        const int rc = readInto(t, ignored, deadline);
        if (rc != PLCTAG_STATUS_OK)
            return rc;
    }
    {
        std::lock_guard<std::mutex> l(t.m);
        s.outgoing.assign(t.data.begin(), t.data.end());
    }
    size_t offset = 0;
    do {
        s.request.clear();
        wire::Writer w(s.request);
        RequestEnv env;
        env.maxRequest = t.session->maxRequest() ? t.session->maxRequest() : t.family->unconnectedPayload;
        size_t consumed = 0;
        int rc = t.protocol->encodeWrite(t.addr, s.outgoing.data(), s.outgoing.size(), static_cast<uint32_t>(offset),
                                         env, w, &consumed);
        if (rc != PLCTAG_STATUS_OK)
            return rc;
        rc = t.session->transact(s.request, &s.reply, deadline, &t.abort);
        if (rc != PLCTAG_STATUS_OK)
            return rc;
        rc = t.protocol->decodeWrite(t.addr, s.reply.data(), s.reply.size());
        if (rc != PLCTAG_STATUS_OK)
            return rc;
        if (consumed == 0)
            break;
        offset += consumed;
    } while (offset < s.outgoing.size());
    return PLCTAG_STATUS_OK;
}

void finish(Tag &t, int rc)
{
    std::lock_guard<std::mutex> l(t.m);
    t.status = rc;
    t.busy = false;
    t.done.notify_all();
}

void runAsync(const TagPtr &t, bool write)
{
    worker().post([t, write] {
        if (t->abort.load() || t->destroyed.load()) {
            finish(*t, PLCTAG_ERR_ABORT);
            return;
        }
        const Clock::time_point deadline = Clock::now() + kAsyncLimit;
        finish(*t, write ? runWrite(*t, deadline) : runRead(*t, deadline));
    });
}

void stopWorker()
{
    worker().stop();
}

} // namespace plctag
