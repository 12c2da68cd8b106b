#include "session/link.h"

#include "encap/encap.h"
#include "libplctag.h"
#include "protocol/protocol.h"
#include "session/socket.h"
#include "util/log.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace plctag {

namespace {

// Below this idle time a closed peer is found by the next exchange itself.
constexpr auto kIdleCheck = std::chrono::milliseconds(2);

} // namespace

Link::Link(const std::string &key, const Protocol *protocol) : key_(key), protocol_(protocol)
{
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

Link::~Link()
{
    drop();
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
}

void Link::wake()
{
    if (wakeFd_ >= 0) {
        const uint64_t one = 1;
        (void)!::write(wakeFd_, &one, sizeof one);
    }
}

void Link::halt(bool on)
{
    halted_ = on;
    if (on)
        wake();
}

void Link::drop()
{
    if (fd_ >= 0) {
        if (Capture *c = Capture::instance())
            c->closed(flow_);
        ::close(fd_);
        fd_ = -1;
    }
    echoesContext_ = false;
    rx_.clear();
    tcpOpen_ = false;
}

int Link::waitIo(short events, Clock::time_point deadline, const Cancel &cancel)
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

int Link::pause(Clock::time_point until, const Cancel &cancel)
{
    while (Clock::now() < until)
        if (waitIo(0, until, cancel) == PLCTAG_ERR_ABORT)
            return PLCTAG_ERR_ABORT;
    return PLCTAG_STATUS_OK;
}

int Link::connect(const sockaddr_in &addr, Clock::time_point deadline, const Cancel &cancel, bool *refused)
{
    fd_ = net::openTcp();
    if (fd_ < 0)
        return PLCTAG_ERR_NO_RESOURCES;
    *refused = false;
    int rc = net::startConnect(fd_, addr, refused);
    if (rc == PLCTAG_STATUS_PENDING) {
        rc = waitIo(POLLOUT, deadline, cancel);
        if (rc == PLCTAG_STATUS_OK)
            rc = net::connectResult(fd_, refused);
    }
    if (rc != PLCTAG_STATUS_OK)
        return rc;
    tcpOpen_ = true;
    if (Capture *c = Capture::instance())
        c->opened(flow_, fd_);
    return PLCTAG_STATUS_OK;
}

int Link::send(const std::vector<uint8_t> &message, size_t *sent, Clock::time_point deadline, const Cancel &cancel)
{
    const uint8_t *p = message.data();
    const size_t n = message.size();
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
    lastActivity_ = Clock::now();
    return PLCTAG_STATUS_OK;
}

int Link::receive(const Match &m, std::vector<uint8_t> *reply, Clock::time_point deadline, const Cancel &cancel)
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

bool Link::closedWhileIdle()
{
    if (Clock::now() - lastActivity_ <= kIdleCheck)
        return false;
    uint8_t b;
    const ssize_t r = ::recv(fd_, &b, 1, MSG_PEEK | MSG_DONTWAIT);
    if (r > 0)
        return false;
    return !(r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR));
}

int Link::refuse(const char *why, const uint8_t *p, size_t n)
{
    PLCTAG_LOG(2, 0, "session %s: %s; reply refused", key_.c_str(), why);
    PLCTAG_LOG_BYTES(2, 0, "refused reply", p, n);
    return PLCTAG_ERR_BAD_REPLY;
}

int Link::passOver(const char *why, const uint8_t *p, size_t n)
{
    PLCTAG_LOG(3, 0, "session %s: %s; passed over", key_.c_str(), why);
    PLCTAG_LOG_BYTES(4, 0, "passed over", p, n);
    return kPassedOver;
}

void Link::notePeer(uint8_t habit, const char *what)
{
    if (peerHabits_ & habit)
        return;
    peerHabits_ |= habit;
    PLCTAG_LOG(4, 0, "session %s: the peer %s; taken, as only one request is in flight", key_.c_str(), what);
}

int Link::take(const Match &m, const uint8_t *p, size_t n, std::vector<uint8_t> *reply)
{
    encap::Header h;
    wire::Reader hr(p, n);
    encap::readHeader(hr, &h);
    if (h.status != encap::kStatusSuccess) {
        PLCTAG_LOG(2, 0, "session %s: encapsulation status 0x%x", key_.c_str(), h.status);
        PLCTAG_LOG_BYTES(2, 0, "error reply", p, n);
        return PLCTAG_ERR_REMOTE_ERR; // the session is no good any more
    }
    if (h.command != m.command)
        return refuse("a reply of another command", p, n);
    if (m.command == encap::kRegisterSession) {
        reply->assign(p, p + n);
        return PLCTAG_STATUS_OK;
    }
    encap::CipPayload pl;
    if (!encap::parseCipPayload(p, n, &pl))
        return refuse("malformed", p, n);
    // Only one request is ever in flight on the wire, and a timed-out one takes its
    // connection with it, so a reply of the right command is this request's or a repeat of
    // an earlier one (a peer or a network that sends a reply twice): a repeat is passed over.
    if (m.command == encap::kSendUnitData) {
        const uint16_t behind = static_cast<uint16_t>(m.sequence - pl.sequence);
        if (behind != 0 && behind < 0x8000)
            return passOver("an old sequence count", p, n);
        if (behind != 0)
            return refuse("another sequence count", p, n);
        if (pl.connectionId != m.toId) {
            if (pl.connectionId != m.otId)
                return refuse("an unknown connection id", p, n);
            notePeer(kHabitO2tId, "answers with the O->T connection id");
        }
        if (pl.offLayout)
            notePeer(kHabitOffLayout, "sends connected replies without interface handle and timeout");
    } else if (pl.header.context == m.context) {
        echoesContext_ = true;
    } else if (echoesContext_) {
        return passOver("another request's sender context", p, n);
    } else {
        notePeer(kHabitContext, "does not echo the sender context");
    }
    if (m.request && protocol_ && !protocol_->answers(m.request->data(), m.request->size(), pl.data, pl.size))
        return passOver("an answer to another request", p, n);
    reply->assign(pl.data, pl.data + pl.size);
    return PLCTAG_STATUS_OK;
}

} // namespace plctag
