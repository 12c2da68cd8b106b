#include "session/session.h"

#include "cip/cip.h"
#include "cip/status_map.h"
#include "encap/encap.h"
#include "libplctag.h"
#include "session/socket.h"
#include "util/log.h"

#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <random>

namespace plctag {

namespace {

constexpr size_t kSequenceBytes = 2; // counted in the connection size, not in the CIP message
constexpr uint16_t kRRDataTimeout = 1;
constexpr auto kFirstBackoff = std::chrono::milliseconds(100);
constexpr auto kMaxBackoff = std::chrono::milliseconds(2000);
// Below this idle time a closed peer is found by the next exchange itself.
constexpr auto kIdleCheck = std::chrono::milliseconds(2);

uint32_t nextConnectionId()
{
    static std::atomic<uint32_t> id{static_cast<uint32_t>(std::random_device{}())};
    return id.fetch_add(1) + 1;
}

uint16_t nextSerial()
{
    static std::atomic<uint16_t> s{static_cast<uint16_t>(std::random_device{}())};
    return static_cast<uint16_t>(s.fetch_add(1) + 1);
}

} // namespace

Session::Session(std::string key, SessionConfig cfg) : key_(std::move(key)), cfg_(std::move(cfg))
{
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    tx_.reserve(640);
    mr_.reserve(640);
    maxRequest_ = cfg_.connected ? cfg_.family->classicConnectionSize - kSequenceBytes : cfg_.family->unconnectedPayload;
    backoff_ = kFirstBackoff;
}

Session::~Session()
{
    close(Clock::now() + std::chrono::milliseconds(100));
    if (worker_.joinable()) {
        if (worker_.get_id() == std::this_thread::get_id())
            worker_.detach();
        else
            worker_.join();
    }
    drop();
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
}

bool Session::stopRequested(const Cancel &cancel) const
{
    return cancel.requested() || closingFlag_.load(std::memory_order_acquire);
}

void Session::wake()
{
    {
        std::lock_guard<std::mutex> l(m_);
        tokenCv_.notify_all();
    }
    if (wakeFd_ >= 0) {
        const uint64_t one = 1;
        (void)!::write(wakeFd_, &one, sizeof one);
    }
}

int Session::acquire(Clock::time_point deadline, const Cancel &cancel, bool forClose)
{
    std::unique_lock<std::mutex> l(m_);
    for (;;) {
        int rc = PLCTAG_STATUS_OK;
        if ((closing_ && !forClose) || cancel.requested())
            rc = PLCTAG_ERR_ABORT;
        else if (!wireBusy_) {
            wireBusy_ = true;
            return PLCTAG_STATUS_OK;
        } else if (Clock::now() >= deadline)
            rc = PLCTAG_ERR_TIMEOUT;
        if (rc != PLCTAG_STATUS_OK) {
            if (!wireBusy_)
                tokenCv_.notify_one(); // a free token this thread was woken for goes to the next waiter
            return rc;
        }
        tokenCv_.wait_until(l, deadline);
    }
}

void Session::release()
{
    std::lock_guard<std::mutex> l(m_);
    wireBusy_ = false;
    tokenCv_.notify_one();
}

int Session::transact(const std::vector<uint8_t> &request, std::vector<uint8_t> *reply, Clock::time_point deadline,
                      const Cancel &cancel)
{
    int rc = acquire(deadline, cancel, false);
    if (rc != PLCTAG_STATUS_OK)
        return rc;
    rc = exchange(request, reply, deadline, cancel);
    release();
    return rc;
}

void Session::drop()
{
    if (fd_ >= 0) {
        if (Capture *c = Capture::instance())
            c->closed(flow_);
        ::close(fd_);
        fd_ = -1;
    }
    handle_ = 0;
    connectedMsg_ = false;
    echoesContext_ = false;
    rx_.clear();
    tcpOpen_ = false;
}

int Session::waitIo(short events, Clock::time_point deadline, const Cancel &cancel)
{
    for (;;) {
        if (stopRequested(cancel))
            return PLCTAG_ERR_ABORT;
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero())
            return PLCTAG_ERR_TIMEOUT;
        const timespec ts = net::toTimespec(left);
        pollfd p[2] = {{fd_, events, 0}, {wakeFd_, POLLIN, 0}};
        const int n = ::ppoll(p, 2, &ts, nullptr); // a closed fd_ (-1) is skipped by poll
        if (n < 0 && errno != EINTR)
            return PLCTAG_ERR_BAD_CONNECTION;
        if (n <= 0)
            continue;
        if (p[1].revents & POLLIN) {
            uint64_t v;
            (void)!::read(wakeFd_, &v, sizeof v);
        }
        if (p[0].revents)
            return PLCTAG_STATUS_OK;
    }
}

int Session::sendAll(const uint8_t *p, size_t n, size_t *sent, Clock::time_point deadline, const Cancel &cancel)
{
    *sent = 0;
    while (*sent < n) {
        const ssize_t w = ::send(fd_, p + *sent, n - *sent, MSG_NOSIGNAL);
        if (w > 0) {
            *sent += static_cast<size_t>(w);
            continue;
        }
        if (w < 0 && errno == EINTR)
            continue;
        if (w < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return PLCTAG_ERR_BAD_CONNECTION;
        const int rc = waitIo(POLLOUT, deadline, cancel);
        if (rc != PLCTAG_STATUS_OK)
            return rc;
    }
    if (Capture *c = Capture::instance())
        c->sent(flow_, p, n);
    return PLCTAG_STATUS_OK;
}

int Session::receive(const Match &m, std::vector<uint8_t> *reply, Clock::time_point deadline, const Cancel &cancel)
{
    bool waitFirst = true; // the reply cannot be there yet right after the request went out
    for (;;) {
        const uint8_t *p;
        size_t n;
        if (rx_.front(&p, &n)) {
            if (wire::loadLe(p, 2) == encap::kNop) {
                rx_.pop(); // either side may send NOP; it asks for nothing and answers nothing
                continue;
            }
            const int rc = take(m, p, n, reply);
            rx_.pop();
            if (rc == kPassedOver)
                continue;
            if (rc != PLCTAG_STATUS_OK) {
                drop();
                return rc;
            }
            lastActivity_ = Clock::now();
            return PLCTAG_STATUS_OK;
        }
        if (!waitFirst) {
            uint8_t *space = rx_.space(4096);
            const ssize_t got = ::recv(fd_, space, rx_.spaceSize(), 0);
            if (got > 0) {
                if (Capture *c = Capture::instance())
                    c->received(flow_, space, static_cast<size_t>(got));
                rx_.commit(static_cast<size_t>(got));
                continue;
            }
            if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
                PLCTAG_LOG(2, 0, "session %s: connection closed by the peer", key_.c_str());
                drop();
                return PLCTAG_ERR_BAD_CONNECTION;
            }
            if (errno == EINTR)
                continue;
        }
        waitFirst = false;
        const int rc = waitIo(POLLIN, deadline, cancel);
        if (rc != PLCTAG_STATUS_OK) {
            // A reply still on its way would later be taken for the next request's: the
            // connection goes with the request.
            if (rc != PLCTAG_ERR_BAD_CONNECTION)
                PLCTAG_LOG(2, 0, "session %s: request given up (%s), reconnecting", key_.c_str(),
                           plc_tag_decode_error(rc));
            drop();
            return rc;
        }
    }
}

bool Session::peerStillThere()
{
    uint8_t b;
    const ssize_t r = ::recv(fd_, &b, 1, MSG_PEEK | MSG_DONTWAIT);
    if (r > 0)
        return true;
    return r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
}

int Session::unconnected(std::vector<uint8_t> &mr, std::vector<uint8_t> *reply, Clock::time_point deadline,
                         const Cancel &cancel)
{
    Match m;
    m.command = encap::kSendRRData;
    m.context = ++context_;
    tx_.clear();
    wire::Writer w(tx_);
    const encap::Frame f = encap::beginSendRRData(w, handle_, m.context, kRRDataTimeout);
    w.bytes(mr.data(), mr.size());
    encap::endFrame(w, f);
    size_t sent;
    const int rc = sendAll(tx_.data(), tx_.size(), &sent, deadline, cancel);
    if (rc != PLCTAG_STATUS_OK) {
        drop();
        return rc;
    }
    return receive(m, reply, deadline, cancel);
}

int Session::forwardOpen(Clock::time_point deadline, const Cancel &cancel)
{
    const Family &fam = *cfg_.family;
    bool large = fam.largeConnectionSize != 0;
    uint16_t size = large ? fam.largeConnectionSize : fam.classicConnectionSize;
    std::vector<uint8_t> reply;
    for (int attempt = 0; attempt < 6; ++attempt) {
        mr_.clear();
        wire::Writer w(mr_);
        cip::ForwardOpenParams p;
        p.large = large;
        p.connectionSize = size;
        p.toConnectionId = toId_ = nextConnectionId();
        p.connectionSerial = serial_ = nextSerial();
        p.route = cfg_.route.data();
        p.routeLen = cfg_.route.size();
        cip::writeForwardOpen(w, p);
        int rc = unconnected(mr_, &reply, deadline, cancel);
        if (rc != PLCTAG_STATUS_OK)
            return rc;
        cip::MrReply r;
        if (!cip::parseMrReply(reply.data(), reply.size(), &r))
            return PLCTAG_ERR_BAD_REPLY;
        if (r.general == cip::kStatusSuccess) {
            cip::ForwardOpenResult res;
            if (!cip::parseForwardOpenReply(r, &res))
                return PLCTAG_ERR_BAD_REPLY;
            otId_ = res.otConnectionId;
            connectedMsg_ = true;
            sequence_ = 0;
            maxRequest_ = size - kSequenceBytes;
            return PLCTAG_STATUS_OK;
        }
        PLCTAG_LOG(2, 0, "session %s: %s Forward Open of %u bytes refused: 0x%02x/0x%04x", key_.c_str(),
                   large ? "Large" : "classic", size, r.general, r.ext[0]);
        if (r.general == cip::kStatusServiceNotSupported && large) {
            large = false; // no Large Forward Open on this controller
            size = fam.classicConnectionSize;
            continue;
        }
        if (r.general == cip::kStatusConnectionFailure && r.extCount >= 2 &&
            r.ext[0] == cip::kExtInvalidConnectionSize && r.ext[1] >= 16 && r.ext[1] < size) {
            size = r.ext[1]; // the size the target takes
            if (!large && size > 511)
                size = 511;
            continue;
        }
        if (r.general == cip::kStatusConnectionFailure && r.extCount >= 1 && r.ext[0] == cip::kExtDuplicateConnection)
            continue; // a new serial and id on the next attempt
        return cip::mapForwardOpenStatus(r.general, r.ext[0], r.extCount);
    }
    return PLCTAG_ERR_OPEN;
}

int Session::attempt(Clock::time_point deadline, const Cancel &cancel, bool *reached)
{
    *reached = false;
    sockaddr_in addr;
    if (cfg_.port <= 0 || !net::resolveIpv4(cfg_.host, cfg_.port, &addr))
        return PLCTAG_ERR_BAD_GATEWAY;
    fd_ = net::openTcp();
    if (fd_ < 0)
        return PLCTAG_ERR_NO_RESOURCES;
    refused_ = false;
    int rc = net::startConnect(fd_, addr, &refused_);
    if (rc == PLCTAG_STATUS_PENDING) {
        rc = waitIo(POLLOUT, deadline, cancel);
        if (rc == PLCTAG_STATUS_OK)
            rc = net::connectResult(fd_, &refused_);
    }
    if (rc != PLCTAG_STATUS_OK)
        return rc;
    tcpOpen_ = true;
    *reached = true;
    if (Capture *c = Capture::instance())
        c->opened(flow_, fd_);

    tx_.clear();
    wire::Writer w(tx_);
    encap::writeRegisterSession(w);
    size_t sent;
    rc = sendAll(tx_.data(), tx_.size(), &sent, deadline, cancel);
    if (rc != PLCTAG_STATUS_OK)
        return rc;
    Match m;
    m.command = encap::kRegisterSession;
    std::vector<uint8_t> reply;
    rc = receive(m, &reply, deadline, cancel);
    if (rc != PLCTAG_STATUS_OK)
        return rc;
    wire::Reader r(reply.data(), reply.size());
    encap::Header h;
    if (!encap::readHeader(r, &h) || h.status != encap::kStatusSuccess || h.session == 0)
        return PLCTAG_ERR_BAD_CONNECTION;
    handle_ = h.session;
    if (cfg_.connected)
        return forwardOpen(deadline, cancel);
    maxRequest_ = cfg_.family->unconnectedPayload;
    return PLCTAG_STATUS_OK;
}

int Session::establish(Clock::time_point deadline, const Cancel &cancel)
{
    for (;;) {
        // Failed TCP connects are repeated after a growing pause until the caller's deadline:
        // an unreachable controller ends as a timeout, as callers expect. A host that refused
        // the connection (up, but no service) has answered: the caller hears so at once, and
        // until the pause is over every caller does, without waiting for it.
        if (refused_ && Clock::now() < retryAt_)
            return PLCTAG_ERR_BAD_CONNECTION;
        if (Clock::now() < retryAt_) {
            const Clock::time_point until = retryAt_ < deadline ? retryAt_ : deadline;
            while (Clock::now() < until) {
                const int rc = waitIo(0, until, cancel);
                if (rc == PLCTAG_ERR_ABORT)
                    return rc;
            }
        }
        if (stopRequested(cancel))
            return PLCTAG_ERR_ABORT;
        if (Clock::now() >= deadline)
            return PLCTAG_ERR_TIMEOUT;
        bool answered = false;
        const int rc = attempt(deadline, cancel, &answered);
        if (rc == PLCTAG_STATUS_OK) {
            refused_ = false;
            backoff_ = kFirstBackoff;
            lastActivity_ = Clock::now();
            PLCTAG_LOG(3, 0, "session %s open, %zu-byte requests, %s", key_.c_str(), maxRequest_.load(),
                       connectedMsg_ ? "connected" : "unconnected");
            return rc;
        }
        // Once TCP is up, the controller has answered (a refusal, an error status, a reply we
        // cannot read) or closed the connection on a request: asking again would only earn the
        // same answer, so the caller hears it now.
        drop();
        if (rc == PLCTAG_ERR_ABORT || rc == PLCTAG_ERR_TIMEOUT)
            return rc;
        if (answered) {
            PLCTAG_LOG(2, 0, "session %s: connect refused by the controller (%s)", key_.c_str(),
                       plc_tag_decode_error(rc));
            return rc;
        }
        PLCTAG_LOG(2, 0, "session %s: connect attempt failed (%s%s)", key_.c_str(), plc_tag_decode_error(rc),
                   refused_ ? ", refused" : "");
        retryAt_ = Clock::now() + backoff_;
        backoff_ = backoff_ * 2 > kMaxBackoff ? Clock::duration(kMaxBackoff) : backoff_ * 2;
        if (refused_)
            return PLCTAG_ERR_BAD_CONNECTION;
    }
}

int Session::exchange(const std::vector<uint8_t> &request, std::vector<uint8_t> *reply, Clock::time_point deadline,
                      const Cancel &cancel)
{
    for (int tries = 0;; ++tries) {
        if (fd_ < 0) {
            const int rc = establish(deadline, cancel);
            if (rc != PLCTAG_STATUS_OK)
                return rc;
        } else if (Clock::now() - lastActivity_ > kIdleCheck && !peerStillThere()) {
            PLCTAG_LOG(2, 0, "session %s: closed while idle, reconnecting", key_.c_str());
            drop();
            continue;
        }
        Match m;
        m.request = &request;
        tx_.clear();
        wire::Writer w(tx_);
        encap::Frame f;
        const bool routed = !connectedMsg_ && cfg_.family->routeUnconnected && !cfg_.route.empty();
        if (connectedMsg_) {
            m.command = encap::kSendUnitData;
            m.sequence = ++sequence_;
            f = encap::beginSendUnitData(w, handle_, otId_, m.sequence);
            w.bytes(request.data(), request.size());
        } else {
            m.command = encap::kSendRRData;
            m.context = ++context_;
            f = encap::beginSendRRData(w, handle_, m.context, kRRDataTimeout);
            if (routed) {
                const cip::UnconnectedSendMark us = cip::beginUnconnectedSend(w);
                w.bytes(request.data(), request.size());
                cip::endUnconnectedSend(w, us, cfg_.route.data(), cfg_.route.size());
            } else {
                w.bytes(request.data(), request.size());
            }
        }
        encap::endFrame(w, f);
        size_t sent = 0;
        const int rc = sendAll(tx_.data(), tx_.size(), &sent, deadline, cancel);
        if (rc != PLCTAG_STATUS_OK) {
            if (rc == PLCTAG_ERR_BAD_CONNECTION && sent == 0 && tries == 0) {
                drop(); // nothing of the request left: a fresh connection may still carry it
                continue;
            }
            if (sent > 0 || rc == PLCTAG_ERR_BAD_CONNECTION)
                drop(); // a partial message would garble the stream
            return rc;
        }
        lastActivity_ = Clock::now();
        const int got = receive(m, reply, deadline, cancel);
        if (got == PLCTAG_STATUS_OK && routed)
            return routeStatus(*reply);
        return got;
    }
}

void Session::growJobs()
{
    // Keeps the order.
    std::vector<std::shared_ptr<Job>> bigger(jobs_.empty() ? 16 : jobs_.size() * 2);
    for (size_t i = 0; i < jobCount_; ++i)
        bigger[i] = std::move(jobs_[(jobHead_ + i) % jobs_.size()]);
    jobs_.swap(bigger);
    jobHead_ = 0;
}

void Session::post(std::shared_ptr<Job> job)
{
    std::unique_lock<std::mutex> l(m_);
    if (closing_) {
        l.unlock();
        job->cancelJob(PLCTAG_ERR_ABORT);
        return;
    }
    if (jobCount_ == jobs_.size())
        growJobs();
    jobs_[(jobHead_ + jobCount_) % jobs_.size()] = std::move(job);
    ++jobCount_;
    if (!worker_.joinable()) {
        try {
            worker_ = std::thread([this] { workerLoop(); });
        } catch (...) {
            std::shared_ptr<Job> j = std::move(jobs_[(jobHead_ + jobCount_ - 1) % jobs_.size()]);
            --jobCount_;
            l.unlock();
            j->cancelJob(PLCTAG_ERR_THREAD_CREATE);
            return;
        }
    }
    jobCv_.notify_one();
}

void Session::workerLoop()
{
    // The thread batches what callers queue: waking up, it must not take the CPU from a caller
    // still queueing, or every packet holds one request.
    sched_param batch{};
    ::pthread_setschedparam(::pthread_self(), SCHED_BATCH, &batch);
    std::unique_lock<std::mutex> l(m_);
    for (;;) {
        jobCv_.wait(l, [this] { return closing_ || jobCount_ > 0; });
        if (closing_)
            break;
        if (packs()) {
            l.unlock();
            runPacked();
            l.lock();
            continue;
        }
        std::shared_ptr<Job> job = std::move(jobs_[jobHead_]);
        jobHead_ = (jobHead_ + 1) % jobs_.size();
        --jobCount_;
        l.unlock();
        job->runJob();
        job.reset();
        l.lock();
    }
    std::vector<std::shared_ptr<Job>> left;
    for (; jobCount_ > 0; --jobCount_, jobHead_ = (jobHead_ + 1) % jobs_.size())
        left.push_back(std::move(jobs_[jobHead_]));
    l.unlock();
    for (auto &j : left)
        j->cancelJob(PLCTAG_ERR_ABORT);
}

void Session::close(Clock::time_point deadline)
{
    {
        std::lock_guard<std::mutex> l(m_);
        if (closing_)
            return;
        closing_ = true;
        closingFlag_ = true;
        jobCv_.notify_all();
        tokenCv_.notify_all();
    }
    wake();
    if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id())
        worker_.join();
    // The holder of the wire, if any, sees the close and lets go.
    if (acquire(deadline, Cancel(), true) != PLCTAG_STATUS_OK)
        return;
    if (fd_ >= 0) {
        // The close itself must not be cut short by the closing flag.
        closingFlag_ = false;
        if (connectedMsg_) {
            mr_.clear();
            wire::Writer w(mr_);
            cip::writeForwardClose(w, serial_, cfg_.route.data(), cfg_.route.size());
            std::vector<uint8_t> reply;
            if (unconnected(mr_, &reply, deadline, Cancel()) != PLCTAG_STATUS_OK)
                PLCTAG_LOG(2, 0, "session %s: no reply to Forward Close", key_.c_str());
        }
        if (fd_ >= 0 && handle_) {
            tx_.clear();
            wire::Writer w(tx_);
            encap::writeUnRegisterSession(w, handle_);
            size_t sent;
            sendAll(tx_.data(), tx_.size(), &sent, deadline, Cancel());
        }
        closingFlag_ = true;
        drop();
    }
    release();
}

} // namespace plctag
