#include "session/connection.h"

#include "cip/cip.h"
#include "cip/status_map.h"
#include "encap/encap.h"
#include "libplctag.h"
#include "session/socket.h"
#include "util/log.h"

#include <random>

namespace plctag {

namespace {

constexpr size_t kSequenceBytes = 2; // counted in the connection size, not in the CIP message
constexpr uint16_t kRRDataTimeout = 1;
constexpr auto kFirstBackoff = std::chrono::milliseconds(100);
constexpr auto kMaxBackoff = std::chrono::milliseconds(2000);

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

Connection::Connection(const std::string &key, const SessionConfig &cfg, Link &link)
    : key_(key), cfg_(cfg), link_(link), backoff_(kFirstBackoff)
{
    tx_.reserve(640);
    mr_.reserve(640);
    maxRequest_ = cfg_.connected ? cfg_.family->classicConnectionSize - kSequenceBytes : cfg_.family->unconnectedPayload;
}

void Connection::drop()
{
    link_.drop();
    handle_ = 0;
    connectedMsg_ = false;
}

int Connection::unconnected(std::vector<uint8_t> &mr, std::vector<uint8_t> *reply, Clock::time_point deadline,
                            const Cancel &cancel)
{
    Link::Match m;
    m.command = encap::kSendRRData;
    m.context = ++context_;
    tx_.clear();
    wire::Writer w(tx_);
    const encap::Frame f = encap::beginSendRRData(w, handle_, m.context, kRRDataTimeout);
    w.bytes(mr.data(), mr.size());
    encap::endFrame(w, f);
    size_t sent;
    const int rc = link_.send(tx_, &sent, deadline, cancel);
    if (rc != PLCTAG_STATUS_OK) {
        drop();
        return rc;
    }
    return link_.receive(m, reply, deadline, cancel);
}

int Connection::forwardOpen(Clock::time_point deadline, const Cancel &cancel)
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

int Connection::attempt(Clock::time_point deadline, const Cancel &cancel, bool *reached)
{
    *reached = false;
    handle_ = 0;
    connectedMsg_ = false;
    sockaddr_in addr;
    if (cfg_.port <= 0 || !net::resolveIpv4(cfg_.host, cfg_.port, &addr))
        return PLCTAG_ERR_BAD_GATEWAY;
    int rc = link_.connect(addr, deadline, cancel, &refused_);
    if (rc != PLCTAG_STATUS_OK)
        return rc;
    *reached = true;

    tx_.clear();
    wire::Writer w(tx_);
    encap::writeRegisterSession(w);
    size_t sent;
    rc = link_.send(tx_, &sent, deadline, cancel);
    if (rc != PLCTAG_STATUS_OK)
        return rc;
    Link::Match m;
    m.command = encap::kRegisterSession;
    std::vector<uint8_t> reply;
    rc = link_.receive(m, &reply, deadline, cancel);
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

int Connection::establish(Clock::time_point deadline, const Cancel &cancel)
{
    for (;;) {
        // Failed TCP connects are repeated after a growing pause until the caller's deadline:
        // an unreachable controller ends as a timeout, as callers expect. A host that refused
        // the connection (up, but no service) has answered: the caller hears so at once, and
        // until the pause is over every caller does, without waiting for it.
        if (refused_ && Clock::now() < retryAt_)
            return PLCTAG_ERR_BAD_CONNECTION;
        if (Clock::now() < retryAt_ && link_.pause(retryAt_ < deadline ? retryAt_ : deadline, cancel) != PLCTAG_STATUS_OK)
            return PLCTAG_ERR_ABORT;
        if (link_.stopRequested(cancel))
            return PLCTAG_ERR_ABORT;
        if (Clock::now() >= deadline)
            return PLCTAG_ERR_TIMEOUT;
        bool answered = false;
        const int rc = attempt(deadline, cancel, &answered);
        if (rc == PLCTAG_STATUS_OK) {
            refused_ = false;
            backoff_ = kFirstBackoff;
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

int Connection::open(Clock::time_point deadline, const Cancel &cancel)
{
    return link_.open() ? PLCTAG_STATUS_OK : establish(deadline, cancel);
}

int Connection::exchange(const std::vector<uint8_t> &request, std::vector<uint8_t> *reply,
                         Clock::time_point deadline, const Cancel &cancel)
{
    for (int tries = 0;; ++tries) {
        if (!link_.open()) {
            const int rc = establish(deadline, cancel);
            if (rc != PLCTAG_STATUS_OK)
                return rc;
        } else if (link_.closedWhileIdle()) {
            PLCTAG_LOG(2, 0, "session %s: closed while idle, reconnecting", key_.c_str());
            drop();
            continue;
        }
        Link::Match m;
        m.request = &request;
        tx_.clear();
        wire::Writer w(tx_);
        encap::Frame f;
        const bool routed = !connectedMsg_ && cfg_.family->routeUnconnected && !cfg_.route.empty();
        if (connectedMsg_) {
            m.command = encap::kSendUnitData;
            m.sequence = ++sequence_;
            m.toId = toId_;
            m.otId = otId_;
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
        const int rc = link_.send(tx_, &sent, deadline, cancel);
        if (rc != PLCTAG_STATUS_OK) {
            if (rc == PLCTAG_ERR_BAD_CONNECTION && sent == 0 && tries == 0) {
                drop(); // nothing of the request left: a fresh connection may still carry it
                continue;
            }
            if (sent > 0 || rc == PLCTAG_ERR_BAD_CONNECTION)
                drop(); // a partial message would garble the stream
            return rc;
        }
        const int got = link_.receive(m, reply, deadline, cancel);
        if (got == PLCTAG_STATUS_OK && routed)
            return routeStatus(*reply);
        return got;
    }
}

int Connection::routeStatus(const std::vector<uint8_t> &reply)
{
    // Read Tag Fragmented shares the service code of Unconnected Send, but a tag service never
    // answers "connection failure": that comes from a hop on the route.
    cip::MrReply r;
    if (cip::parseMrReply(reply.data(), reply.size(), &r) && r.service == cip::kUnconnectedSend &&
        r.general == cip::kStatusConnectionFailure && cip::isRouteFailure(r.general, r.ext[0], r.extCount)) {
        PLCTAG_LOG(2, 0, "session %s: Unconnected Send refused on the route: 0x%02x/0x%04x", key_.c_str(), r.general,
                   r.ext[0]);
        return PLCTAG_ERR_BAD_GATEWAY;
    }
    return PLCTAG_STATUS_OK;
}

void Connection::close(Clock::time_point deadline)
{
    if (!link_.open())
        return;
    if (connectedMsg_) {
        mr_.clear();
        wire::Writer w(mr_);
        cip::writeForwardClose(w, serial_, cfg_.route.data(), cfg_.route.size());
        std::vector<uint8_t> reply;
        if (unconnected(mr_, &reply, deadline, Cancel()) != PLCTAG_STATUS_OK)
            PLCTAG_LOG(2, 0, "session %s: no reply to Forward Close", key_.c_str());
    }
    if (link_.open() && handle_) {
        tx_.clear();
        wire::Writer w(tx_);
        encap::writeUnRegisterSession(w, handle_);
        size_t sent;
        link_.send(tx_, &sent, deadline, Cancel());
    }
    drop();
}

} // namespace plctag
