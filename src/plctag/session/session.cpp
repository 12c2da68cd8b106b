#include "session/session.h"

#include "cip/cip.h"
#include "cip/status_map.h"
#include "encap/encap.h"
#include "libplctag.h"
#include "util/log.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <thread>

namespace plctag {

namespace {

constexpr auto kRetryPause = std::chrono::milliseconds(200); // after a refused connect
constexpr size_t kSendUnitDataOverhead = 2;                  // sequence count inside the connection size

uint32_t nextConnectionId()
{
    static std::atomic<uint32_t> id{static_cast<uint32_t>(std::random_device{}()) | 1u};
    return id.fetch_add(2);
}

uint16_t nextSerial()
{
    static std::atomic<uint16_t> s{static_cast<uint16_t>(std::random_device{}())};
    return s.fetch_add(1);
}

int msLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(left > 60000 ? 60000 : left) + 1;
}

bool resolve(const std::string &host, int port, sockaddr_in *out)
{
    std::memset(out, 0, sizeof *out);
    out->sin_family = AF_INET;
    out->sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, host.c_str(), &out->sin_addr) == 1)
        return true;
    addrinfo hints{}, *res = nullptr;
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &res) != 0 || !res)
        return false;
    out->sin_addr = reinterpret_cast<sockaddr_in *>(res->ai_addr)->sin_addr;
    freeaddrinfo(res);
    return true;
}

} // namespace

Session::Session(std::string host, int port, std::vector<uint8_t> route, const Family *family)
    : host_(std::move(host)), port_(port), route_(std::move(route)), family_(family)
{
    if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0)
        wake_[0] = wake_[1] = -1;
    tx_.reserve(600);
    rx_.reserve(4200);
}

Session::~Session()
{
    drop();
    for (int fd : wake_)
        if (fd >= 0)
            ::close(fd);
}

void Session::wake()
{
    if (wake_[1] >= 0) {
        const char b = 1;
        (void)!::write(wake_[1], &b, 1);
    }
}

void Session::drop()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    session_ = 0;
    connectedMsg_ = false;
    rxUsed_ = 0;
    rx_.clear();
}

int Session::waitFor(short events, Clock::time_point deadline, const std::atomic<bool> *abort)
{
    for (;;) {
        if (abort && abort->load())
            return PLCTAG_ERR_ABORT;
        const int ms = msLeft(deadline);
        if (ms == 0)
            return PLCTAG_ERR_TIMEOUT;
        pollfd p[2] = {{fd_, events, 0}, {wake_[0], POLLIN, 0}};
        const int n = ::poll(p, wake_[0] >= 0 ? 2 : 1, ms);
        if (n < 0 && errno != EINTR)
            return PLCTAG_ERR_BAD_CONNECTION;
        if (n > 0 && (p[1].revents & POLLIN)) {
            char b[32];
            while (::read(wake_[0], b, sizeof b) > 0) {
            }
        }
        if (n > 0 && p[0].revents)
            return PLCTAG_STATUS_OK;
    }
}

int Session::sendAll(const uint8_t *p, size_t n, Clock::time_point deadline, const std::atomic<bool> *abort)
{
    while (n > 0) {
        const ssize_t w = ::send(fd_, p, n, MSG_NOSIGNAL);
        if (w > 0) {
            p += w;
            n -= static_cast<size_t>(w);
            continue;
        }
        if (w < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return PLCTAG_ERR_BAD_CONNECTION;
        const int rc = waitFor(POLLOUT, deadline, abort);
        if (rc != PLCTAG_STATUS_OK)
            return rc;
    }
    return PLCTAG_STATUS_OK;
}

// Reads until rx_ holds one whole frame at its start; returns its size through rxUsed_.
int Session::receiveFrame(Clock::time_point deadline, const std::atomic<bool> *abort)
{
    // Drop the frame handled last time, keep what followed it.
    if (rxUsed_ > 0) {
        rx_.erase(rx_.begin(), rx_.begin() + static_cast<long>(rxUsed_));
        rxUsed_ = 0;
    }
    for (;;) {
        if (rx_.size() >= encap::kHeaderSize) {
            const size_t total = encap::kHeaderSize + (size_t(rx_[2]) | size_t(rx_[3]) << 8);
            if (rx_.size() >= total) {
                rxUsed_ = total;
                return PLCTAG_STATUS_OK;
            }
        }
        uint8_t buf[8192];
        const ssize_t r = ::recv(fd_, buf, sizeof buf, 0);
        if (r > 0) {
            rx_.insert(rx_.end(), buf, buf + r);
            continue;
        }
        if (r == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            return PLCTAG_ERR_BAD_CONNECTION;
        const int rc = waitFor(POLLIN, deadline, abort);
        if (rc != PLCTAG_STATUS_OK)
            return rc;
    }
}

int Session::connect(Clock::time_point deadline, const std::atomic<bool> *abort)
{
    for (;;) {
        // A refused or failed attempt is retried after a pause, until the caller's deadline.
        if (Clock::now() < retryAt_) {
            if (retryAt_ >= deadline) {
                std::this_thread::sleep_until(deadline);
                return PLCTAG_ERR_TIMEOUT;
            }
            std::this_thread::sleep_until(retryAt_);
        }
        if (abort && abort->load())
            return PLCTAG_ERR_ABORT;
        if (Clock::now() >= deadline)
            return PLCTAG_ERR_TIMEOUT;
        sockaddr_in addr;
        if (!resolve(host_, port_, &addr)) {
            retryAt_ = Clock::now() + kRetryPause;
            continue;
        }
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd_ < 0)
            return PLCTAG_ERR_NO_RESOURCES;
        int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        int rc = PLCTAG_STATUS_OK;
        if (::connect(fd_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
            if (errno != EINPROGRESS) {
                rc = PLCTAG_ERR_BAD_CONNECTION;
            } else {
                rc = waitFor(POLLOUT, deadline, abort);
                int err = 0;
                socklen_t len = sizeof err;
                if (rc == PLCTAG_STATUS_OK && (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err))
                    rc = PLCTAG_ERR_BAD_CONNECTION;
            }
        }
        if (rc == PLCTAG_STATUS_OK) {
            tx_.clear();
            wire::Writer w(tx_);
            encap::writeRegisterSession(w);
            rc = sendAll(tx_.data(), tx_.size(), deadline, abort);
            if (rc == PLCTAG_STATUS_OK)
                rc = receiveFrame(deadline, abort);
            if (rc == PLCTAG_STATUS_OK) {
                wire::Reader r(rx_.data(), rxUsed_);
                encap::Header h;
                if (!encap::readHeader(r, &h) || h.command != encap::kRegisterSession || h.status != 0 || !h.session)
                    rc = PLCTAG_ERR_BAD_CONNECTION;
                else
                    session_ = h.session;
            }
        }
        if (rc == PLCTAG_STATUS_OK && family_->connected)
            rc = forwardOpen(deadline, abort);
        if (rc == PLCTAG_STATUS_OK) {
            if (!family_->connected)
                maxRequest_ = family_->unconnectedPayload;
            PLCTAG_LOG(2, 0, "session %s:%d open, %zu-byte requests", host_.c_str(), port_, maxRequest_.load());
            return rc;
        }
        drop();
        if (rc == PLCTAG_ERR_TIMEOUT || rc == PLCTAG_ERR_ABORT)
            return rc;
        if (rc != PLCTAG_ERR_BAD_CONNECTION)
            return rc; // the controller said no: a definite answer, not worth a retry
        retryAt_ = Clock::now() + kRetryPause;
    }
}

int Session::forwardOpen(Clock::time_point deadline, const std::atomic<bool> *abort)
{
    uint16_t size = family_->largeConnectionSize ? family_->largeConnectionSize : family_->classicConnectionSize;
    bool large = family_->largeConnectionSize != 0;
    for (int attempt = 0; attempt < 4; ++attempt) {
        mr_.clear();
        wire::Writer w(mr_);
        cip::ForwardOpenParams p;
        p.large = large;
        p.connectionSize = size;
        p.toConnectionId = nextConnectionId();
        p.connectionSerial = serial_ = nextSerial();
        p.route = route_.data();
        p.routeLen = route_.size();
        cip::writeForwardOpen(w, p);
        std::vector<uint8_t> reply;
        const int rc = exchange(mr_, ++context_, false, 0, &reply, deadline, abort);
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
            maxRequest_ = size - kSendUnitDataOverhead;
            return PLCTAG_STATUS_OK;
        }
        if (r.general == cip::kStatusServiceNotSupported && large) {
            large = false; // no Large Forward Open on this controller
            size = family_->classicConnectionSize;
            continue;
        }
        if (r.general == cip::kStatusConnectionFailure && r.extCount >= 2 &&
            r.ext[0] == cip::kExtInvalidConnectionSize && r.ext[1] > 16 && r.ext[1] < size) {
            size = r.ext[1]; // the size the target takes
            continue;
        }
        if (r.general == cip::kStatusConnectionFailure && r.extCount >= 1 && r.ext[0] == cip::kExtDuplicateConnection)
            continue; // a new serial and id on the next attempt
        return cip::mapCipStatus(r.general, r.ext[0], r.extCount);
    }
    return PLCTAG_ERR_OPEN;
}

int Session::exchange(std::vector<uint8_t> &mr, uint64_t context, bool connected, uint16_t sequence,
                      std::vector<uint8_t> *reply, Clock::time_point deadline, const std::atomic<bool> *abort)
{
    tx_.clear();
    wire::Writer w(tx_);
    encap::Frame f = connected ? encap::beginSendUnitData(w, session_, otId_, sequence)
                               : encap::beginSendRRData(w, session_, context, 5);
    w.bytes(mr.data(), mr.size());
    encap::endFrame(w, f);
    int rc = sendAll(tx_.data(), tx_.size(), deadline, abort);
    if (rc != PLCTAG_STATUS_OK)
        return rc;
    for (;;) {
        rc = receiveFrame(deadline, abort);
        if (rc != PLCTAG_STATUS_OK)
            return rc;
        encap::CipPayload pl;
        if (!encap::parseCipPayload(rx_.data(), rxUsed_, &pl))
            return PLCTAG_ERR_BAD_REPLY;
        if (pl.header.status != 0)
            return PLCTAG_ERR_REMOTE_ERR;
        // Stale replies of an aborted request are skipped.
        if (connected ? (!pl.connected || pl.sequence != sequence) : (pl.connected || pl.header.context != context))
            continue;
        reply->assign(pl.data, pl.data + pl.size);
        return PLCTAG_STATUS_OK;
    }
}

int Session::transact(const std::vector<uint8_t> &request, std::vector<uint8_t> *reply, Clock::time_point deadline,
                      const std::atomic<bool> *abort)
{
    std::unique_lock<std::timed_mutex> lock(wire_, std::defer_lock);
    if (!lock.try_lock_until(deadline))
        return PLCTAG_ERR_TIMEOUT;
    int rc = PLCTAG_STATUS_OK;
    if (fd_ < 0) {
        rc = connect(deadline, abort);
        if (rc != PLCTAG_STATUS_OK)
            return rc;
    }
    mr_.clear();
    if (!connectedMsg_ && family_->routeUnconnected && !route_.empty()) {
        wire::Writer w(mr_);
        cip::UnconnectedSendMark m = cip::beginUnconnectedSend(w);
        w.bytes(request.data(), request.size());
        cip::endUnconnectedSend(w, m, route_.data(), route_.size());
    } else {
        mr_.assign(request.begin(), request.end());
    }
    if (connectedMsg_)
        rc = exchange(mr_, 0, true, ++sequence_, reply, deadline, abort);
    else
        rc = exchange(mr_, ++context_, false, 0, reply, deadline, abort);
    if (rc != PLCTAG_STATUS_OK) {
        // The stream's state is unknown after a failure or a reply that never came: start afresh.
        PLCTAG_LOG(2, 0, "session %s:%d dropped: %s", host_.c_str(), port_, plc_tag_decode_error(rc));
        drop();
    }
    return rc;
}

void Session::close(Clock::time_point deadline)
{
    std::unique_lock<std::timed_mutex> lock(wire_, std::defer_lock);
    if (!lock.try_lock_until(deadline)) {
        if (fd_ >= 0)
            ::shutdown(fd_, SHUT_RDWR); // wakes the holder, which then drops the socket
        return;
    }
    if (fd_ >= 0 && connectedMsg_) {
        mr_.clear();
        wire::Writer w(mr_);
        cip::writeForwardClose(w, serial_, route_.data(), route_.size());
        std::vector<uint8_t> reply;
        exchange(mr_, ++context_, false, 0, &reply, deadline, nullptr);
    }
    if (fd_ >= 0 && session_) {
        tx_.clear();
        wire::Writer w(tx_);
        encap::writeUnRegisterSession(w, session_);
        sendAll(tx_.data(), tx_.size(), deadline, nullptr);
    }
    drop();
}

} // namespace plctag
