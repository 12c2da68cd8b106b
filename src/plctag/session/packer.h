// Packing, on families that allow it: when the wire is free, the session's thread takes
// whatever operations are queued and sends their first requests in one Multiple Service
// Packet, as many as fit the connection both ways (requests as encoded, replies at the most
// each member says its reply may take). Nothing waits for more to arrive: a packet holds what
// was queued when the wire became free. A packet of one goes out as the plain request.
#pragma once

#include "cip/multiple_service.h"
#include "session/connection.h"
#include "session/job_queue.h"
#include "session/wire_token.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace plctag {

class Packer final : public JobQueue::Batcher {
public:
    Packer(const std::string &key, uint16_t maxPacked, JobQueue &jobs, WireToken &token, Connection &connection)
        : key_(key), maxPacked_(maxPacked), jobs_(jobs), token_(token), connection_(connection)
    {
    }

    // Until the controller refuses a packet: then one request at a time for good.
    bool batching() const override { return maxPacked_ > 1 && !refused_.load(std::memory_order_relaxed); }
    // One packet of what is queued now; the session's thread only.
    void runBatch() override;

private:
    struct Member {
        std::shared_ptr<Job> job;
        uint64_t ticket = 0;
        size_t end = 0; // of its request in bodies_
        size_t replyBound = 0;
    };

    const std::string &key_;
    const uint16_t maxPacked_;
    JobQueue &jobs_;
    WireToken &token_;
    Connection &connection_;

    std::vector<Member> members_;
    std::vector<cip::Span> spans_;
    std::vector<uint8_t> bodies_, request_, reply_;
    std::atomic<bool> refused_{false}; // the controller answered a packet with 0x08
};

} // namespace plctag
