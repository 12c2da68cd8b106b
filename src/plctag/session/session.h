// One EtherNet/IP session to a gateway along a route, made of parts that each do one thing:
//   WireToken  (wire_token.h)  one request on the wire at a time;
//   Link       (link.h)        the socket, its wake eventfd, framing and reply matching;
//   Connection (connection.h)  connect with backoff, RegisterSession, Forward Open/Close,
//                              framing each request for the connection it goes out on;
//   JobQueue   (job_queue.h)   the session's thread and the operations queued for it;
//   Packer     (packer.h)      Multiple Service Packets of what is queued, where allowed.
//
// Threads: a caller that has a request to make takes the session's wire token, writes the
// request to the socket itself and reads the reply itself, so a synchronous read costs one
// round trip and no thread hand-off; only the token's holder touches the link and the
// connection. Other callers wait for the token on a condition variable. The session's own
// thread (started on first use) runs the operations started with timeout 0 the same way, or
// hands what is queued to the packer. Every wait ends at the caller's deadline (steady
// clock), on a cancel, or when the session closes; a cancel or a close wakes a holder blocked
// in poll through the link's eventfd.
#pragma once

#include "session/cancel.h"
#include "session/connection.h"
#include "session/job_queue.h"
#include "session/link.h"
#include "session/packer.h"
#include "session/wire_token.h"

#include <memory>
#include <string>
#include <vector>

namespace plctag {

class Session {
public:
    Session(std::string key, SessionConfig cfg);
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    // Sends one message router request and waits for its reply, connecting first when
    // needed. Returns a PLCTAG status; on success `reply` holds the message router reply.
    int transact(const std::vector<uint8_t> &request, std::vector<uint8_t> *reply, Clock::time_point deadline,
                 const Cancel &cancel);

    // Bytes a message router request may take: the negotiated size once connected, else the
    // family's default for this kind of messaging.
    size_t maxRequest() const { return connection_.maxRequest(); }

    // Queues a job for the session's thread.
    void post(std::shared_ptr<Job> job) { jobs_.post(std::move(job)); }
    // Wakes every wait of this session so that cancelled operations notice.
    void wake();
    // Stops the thread, sends Forward Close and UnRegisterSession, closes TCP. Idempotent;
    // later transactions fail with PLCTAG_ERR_ABORT.
    void close(Clock::time_point deadline);

    const std::string &key() const { return key_; }
    const SessionConfig &config() const { return cfg_; }
    bool tcpOpen() const { return link_.tcpOpen(); }

private:
    // In order of construction; the thread (jobs_) ends before the parts it uses go.
    const std::string key_;
    const SessionConfig cfg_;
    WireToken token_;
    Link link_;
    Connection connection_;
    Packer packer_;
    JobQueue jobs_;
};

} // namespace plctag
