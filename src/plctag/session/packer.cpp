#include "session/packer.h"

#include "cip/cip.h"
#include "cip/status_map.h"
#include "libplctag.h"
#include "util/log.h"

namespace plctag {

void Packer::runBatch()
{
    // The token first: what queues while another request holds the wire goes in this packet.
    if (token_.acquire(Clock::now() + kJobLimit, Cancel(), false) != PLCTAG_STATUS_OK) {
        if (std::shared_ptr<Job> job = jobs_.pop())
            job->runJob(); // it meets the same closed session or busy wire and says so
        return;
    }
    // Connected first, so that the packet is sized by the connection it goes out on (a Large
    // Forward Open's, not the classic default), and the set-up is made once for all it carries.
    const Clock::time_point deadline = Clock::now() + kJobLimit;
    int rc = connection_.open(deadline, Cancel());
    const size_t limit = connection_.maxRequest();
    members_.clear();
    bodies_.clear();
    size_t requestBytes = 0, replyBytes = 0;
    std::shared_ptr<Job> alone;
    while (members_.size() < maxPacked_) {
        std::shared_ptr<Job> job = jobs_.pop();
        if (!job)
            break;
        const size_t begin = bodies_.size();
        size_t bound = 0;
        uint64_t ticket = 0;
        const Job::Pack p = job->startPacked(bodies_, limit, &bound, &ticket);
        if (p == Job::Pack::Done)
            continue;
        if (p == Job::Pack::Alone) {
            if (members_.empty())
                alone = std::move(job);
            else
                jobs_.pushFront(std::move(job)); // keeps its place: first after this packet
            break;
        }
        const size_t request = bodies_.size() - begin;
        const size_t n = members_.size() + 1;
        if (!members_.empty() &&
            (cip::multipleServiceRequestOverhead(n) + requestBytes + request > limit ||
             cip::multipleServiceReplyOverhead(n) + replyBytes + bound > limit)) {
            bodies_.resize(begin);
            if (job->requeue(ticket))
                jobs_.pushFront(std::move(job));
            break;
        }
        requestBytes += request;
        replyBytes += bound;
        members_.push_back({std::move(job), ticket, bodies_.size(), bound});
    }
    if (members_.empty()) {
        token_.release();
        if (alone)
            alone->runJob();
        return;
    }
    if (rc != PLCTAG_STATUS_OK) {
        token_.release();
        for (Member &m : members_)
            m.job->finishPacked(m.ticket, rc, nullptr, 0);
        members_.clear();
        return;
    }

    Cancel cancel;
    // A packet is given up once no member waits for its reply any more.
    cancel.stop = [](const void *context) {
        for (const Member &m : *static_cast<const std::vector<Member> *>(context))
            if (!m.job->abandoned(m.ticket))
                return false;
        return true;
    };
    cancel.context = &members_;
    if (members_.size() == 1) {
        rc = connection_.exchange(bodies_, &reply_, deadline, cancel);
        token_.release();
        members_[0].job->finishPacked(members_[0].ticket, rc, reply_.data(), reply_.size());
        members_.clear();
        return;
    }

    spans_.clear();
    size_t begin = 0;
    for (const Member &m : members_) {
        spans_.push_back({bodies_.data() + begin, m.end - begin});
        begin = m.end;
    }
    request_.clear();
    wire::Writer w(request_);
    cip::writeMultipleService(w, spans_.data(), spans_.size());
    rc = connection_.exchange(request_, &reply_, deadline, cancel);
    token_.release();

    cip::MrReply r;
    if (rc == PLCTAG_STATUS_OK) {
        if (!cip::parseMrReply(reply_.data(), reply_.size(), &r) || r.service != cip::kMultipleServicePacket)
            rc = PLCTAG_ERR_BAD_REPLY;
        else if (cip::splitMultipleService(r.data, r.size, spans_.data(), members_.size()))
            rc = PLCTAG_STATUS_OK; // each member's own status is in its reply
        else if (r.general == cip::kStatusServiceNotSupported) {
            // A controller without Multiple Service Packet: from now on one request at a time.
            PLCTAG_LOG(2, 0, "session %s: Multiple Service Packet refused, packing off", key_.c_str());
            refused_ = true;
            for (size_t i = members_.size(); i-- > 0;)
                if (members_[i].job->requeue(members_[i].ticket))
                    jobs_.pushFront(std::move(members_[i].job));
            members_.clear();
            return;
        } else if (r.general != cip::kStatusSuccess)
            rc = cip::mapCipStatus(r.general, r.ext[0], r.extCount);
        else
            rc = PLCTAG_ERR_BAD_REPLY;
    }
    for (size_t i = 0; i < members_.size(); ++i) {
        Member &m = members_[i];
        if (rc == PLCTAG_STATUS_OK)
            m.job->finishPacked(m.ticket, rc, spans_[i].data, spans_[i].size);
        else
            m.job->finishPacked(m.ticket, rc, nullptr, 0);
    }
    members_.clear();
}

} // namespace plctag
