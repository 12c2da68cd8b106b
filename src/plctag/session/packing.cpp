// Packing: when the wire is free, the session's thread takes whatever operations are queued
// and sends their first requests in one Multiple Service Packet, as many as fit the
// connection both ways (requests as encoded, replies at the most each member says its reply
// may take). Nothing waits for more to arrive: a packet holds what was queued when the wire
// became free. A packet of one goes out as the plain request.
#include "session/session.h"

#include "cip/cip.h"
#include "cip/multiple_service.h"
#include "cip/status_map.h"
#include "libplctag.h"
#include "util/log.h"

namespace plctag {

std::shared_ptr<Job> Session::popJob()
{
    std::lock_guard<std::mutex> l(m_);
    if (jobCount_ == 0 || closing_)
        return nullptr;
    std::shared_ptr<Job> job = std::move(jobs_[jobHead_]);
    jobHead_ = (jobHead_ + 1) % jobs_.size();
    --jobCount_;
    return job;
}

void Session::pushFront(std::shared_ptr<Job> job)
{
    std::lock_guard<std::mutex> l(m_);
    if (jobCount_ == jobs_.size())
        growJobs();
    jobHead_ = (jobHead_ + jobs_.size() - 1) % jobs_.size();
    jobs_[jobHead_] = std::move(job);
    ++jobCount_;
}

void Session::runPacked()
{
    // The token first: what queues while another request holds the wire goes in this packet.
    if (acquire(Clock::now() + kJobLimit, Cancel(), false) != PLCTAG_STATUS_OK) {
        if (std::shared_ptr<Job> job = popJob())
            job->runJob(); // it meets the same closed session or busy wire and says so
        return;
    }
    // Connected first, so that the packet is sized by the connection it goes out on (a Large
    // Forward Open's, not the classic default), and the set-up is made once for all it carries.
    const Clock::time_point deadline = Clock::now() + kJobLimit;
    int rc = fd_ < 0 ? establish(deadline, Cancel()) : PLCTAG_STATUS_OK;
    const size_t limit = maxRequest();
    members_.clear();
    packBodies_.clear();
    size_t requestBytes = 0, replyBytes = 0;
    std::shared_ptr<Job> alone;
    while (members_.size() < cfg_.maxPacked) {
        std::shared_ptr<Job> job = popJob();
        if (!job)
            break;
        const size_t begin = packBodies_.size();
        size_t bound = 0;
        uint64_t ticket = 0;
        const Job::Pack p = job->startPacked(packBodies_, limit, &bound, &ticket);
        if (p == Job::Pack::Done)
            continue;
        if (p == Job::Pack::Alone) {
            if (members_.empty())
                alone = std::move(job);
            else
                pushFront(std::move(job)); // keeps its place: first after this packet
            break;
        }
        const size_t request = packBodies_.size() - begin;
        const size_t n = members_.size() + 1;
        if (!members_.empty() &&
            (cip::multipleServiceRequestOverhead(n) + requestBytes + request > limit ||
             cip::multipleServiceReplyOverhead(n) + replyBytes + bound > limit)) {
            packBodies_.resize(begin);
            if (job->requeue(ticket))
                pushFront(std::move(job));
            break;
        }
        requestBytes += request;
        replyBytes += bound;
        members_.push_back({std::move(job), ticket, packBodies_.size(), bound});
    }
    if (members_.empty()) {
        release();
        if (alone)
            alone->runJob();
        return;
    }
    if (rc != PLCTAG_STATUS_OK) {
        release();
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
        rc = exchange(packBodies_, &packReply_, deadline, cancel);
        release();
        members_[0].job->finishPacked(members_[0].ticket, rc, packReply_.data(), packReply_.size());
        members_.clear();
        return;
    }

    packSpans_.clear();
    size_t begin = 0;
    for (const Member &m : members_) {
        packSpans_.push_back({packBodies_.data() + begin, m.end - begin});
        begin = m.end;
    }
    packRequest_.clear();
    wire::Writer w(packRequest_);
    cip::writeMultipleService(w, packSpans_.data(), packSpans_.size());
    rc = exchange(packRequest_, &packReply_, deadline, cancel);
    release();

    cip::MrReply r;
    if (rc == PLCTAG_STATUS_OK) {
        if (!cip::parseMrReply(packReply_.data(), packReply_.size(), &r) || r.service != cip::kMultipleServicePacket)
            rc = PLCTAG_ERR_BAD_REPLY;
        else if (cip::splitMultipleService(r.data, r.size, packSpans_.data(), members_.size()))
            rc = PLCTAG_STATUS_OK; // each member's own status is in its reply
        else if (r.general == cip::kStatusServiceNotSupported) {
            // A controller without Multiple Service Packet: from now on one request at a time.
            PLCTAG_LOG(2, 0, "session %s: Multiple Service Packet refused, packing off", key_.c_str());
            packRefused_ = true;
            for (size_t i = members_.size(); i-- > 0;)
                if (members_[i].job->requeue(members_[i].ticket))
                    pushFront(std::move(members_[i].job));
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
            m.job->finishPacked(m.ticket, rc, packSpans_[i].data, packSpans_[i].size);
        else
            m.job->finishPacked(m.ticket, rc, nullptr, 0);
    }
    members_.clear();
}

} // namespace plctag
