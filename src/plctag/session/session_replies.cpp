// Telling the awaited reply from anything else the peer sends: what is taken, what a deviating
// peer is forgiven (logged once), and what ends the request at once.
#include "session/session.h"

#include "cip/cip.h"
#include "cip/status_map.h"
#include "encap/encap.h"
#include "libplctag.h"
#include "protocol/protocol.h"
#include "util/log.h"

namespace plctag {

int Session::refuse(const char *why, const uint8_t *p, size_t n)
{
    PLCTAG_LOG(2, 0, "session %s: %s; reply refused", key_.c_str(), why);
    PLCTAG_LOG_BYTES(2, 0, "refused reply", p, n);
    return PLCTAG_ERR_BAD_REPLY;
}

int Session::passOver(const char *why, const uint8_t *p, size_t n)
{
    PLCTAG_LOG(3, 0, "session %s: %s; passed over", key_.c_str(), why);
    PLCTAG_LOG_BYTES(4, 0, "passed over", p, n);
    return kPassedOver;
}

void Session::notePeer(uint8_t habit, const char *what)
{
    if (peerHabits_ & habit)
        return;
    peerHabits_ |= habit;
    PLCTAG_LOG(4, 0, "session %s: the peer %s; taken, as only one request is in flight", key_.c_str(), what);
}

int Session::take(const Match &m, const uint8_t *p, size_t n, std::vector<uint8_t> *reply)
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
        if (pl.connectionId != toId_) {
            if (pl.connectionId != otId_)
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
    const Protocol *protocol = cfg_.family ? cfg_.family->protocol : nullptr;
    if (m.request && protocol && !protocol->answers(m.request->data(), m.request->size(), pl.data, pl.size))
        return passOver("an answer to another request", p, n);
    reply->assign(pl.data, pl.data + pl.size);
    return PLCTAG_STATUS_OK;
}

int Session::routeStatus(const std::vector<uint8_t> &reply)
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

} // namespace plctag
