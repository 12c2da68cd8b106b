// One EtherNet/IP session to a gateway along a route: the TCP connection, RegisterSession,
// the class 3 connection (Forward Open) of connected families, and request/reply exchanges.
//
// Threads: a caller that has a request to make takes the session's wire token, writes the
// request to the socket itself and reads the reply itself, so a synchronous read costs one
// round trip and no thread hand-off. Other callers wait for the token on a condition
// variable. The session's own thread (started on first use) runs the operations started
// with timeout 0 the same way. Every wait ends at the caller's deadline (steady clock), on a
// cancel, or when the session closes; a cancel or a close wakes a holder blocked in poll
// through an eventfd.
//
// Packing (packing.cpp), on families that allow it: when the wire becomes free, the session's
// thread sends the operations queued by then together in one Multiple Service Packet.
#pragma once

#include "cip/multiple_service.h"
#include "families/families.h"
#include "session/frame_buffer.h"
#include "util/capture.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace plctag {

using Clock = std::chrono::steady_clock;

// Operations started with timeout 0 give up after this long.
constexpr auto kJobLimit = std::chrono::milliseconds(10000);

// Lets a waiting operation notice that it was aborted: it carries the generation the
// operation started under; any later value means "stop".
struct Cancel {
    const std::atomic<uint32_t> *generation = nullptr;
    uint32_t mine = 0;
    bool (*stop)(const void *context) = nullptr; // another reason to stop, e.g. a packet nobody awaits
    const void *context = nullptr;
    bool requested() const
    {
        return (generation && generation->load(std::memory_order_acquire) != mine) || (stop && stop(context));
    }
};

// Work for the session's thread: operations started with timeout 0.
class Job {
public:
    virtual ~Job() = default;
    virtual void runJob() = 0;
    virtual void cancelJob(int status) = 0; // the job will not run (session closed, no thread)

    // Packing, on sessions whose family allows it. startPacked offers the job's first request
    // for a Multiple Service Packet: Packed (request appended, the most bytes its reply may
    // take and a ticket set), Alone (nothing changed: run it with runJob) or Done (aborted).
    enum class Pack { Packed, Alone, Done };
    virtual Pack startPacked(std::vector<uint8_t> & /*request*/, size_t /*maxRequest*/, size_t * /*replyBound*/,
                             uint64_t * /*ticket*/)
    {
        return Pack::Alone;
    }
    // Its own reply out of the packet, or the status that ended the whole packet. The job
    // ends, or goes on alone (a partial read's next fragment).
    virtual void finishPacked(uint64_t /*ticket*/, int /*status*/, const uint8_t * /*reply*/, size_t /*n*/) {}
    // A started job that did not go out after all: true when it wants to be queued again.
    virtual bool requeue(uint64_t /*ticket*/) { return false; }
    // The job no longer waits for its reply (aborted, destroyed).
    virtual bool abandoned(uint64_t /*ticket*/) const { return false; }
};

struct SessionConfig {
    std::string host;
    int port = 44818;            // -1: unusable, every connect attempt fails
    std::vector<uint8_t> route;  // port segments of the path attribute
    const Family *family = nullptr;
    bool connected = true;       // class 3 messaging through Forward Open
    uint16_t maxPacked = 0;      // requests per Multiple Service Packet; 0 or 1: no packing
};

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
    size_t maxRequest() const { return maxRequest_.load(std::memory_order_relaxed); }

    // Queues a job for the session's thread.
    void post(std::shared_ptr<Job> job);
    // Wakes every wait of this session so that cancelled operations notice.
    void wake();
    // Stops the thread, sends Forward Close and UnRegisterSession, closes TCP. Idempotent;
    // later transactions fail with PLCTAG_ERR_ABORT.
    void close(Clock::time_point deadline);

    const std::string &key() const { return key_; }
    const SessionConfig &config() const { return cfg_; }
    bool tcpOpen() const { return tcpOpen_.load(); }

private:
    // What the reply being waited for looks like.
    struct Match {
        uint16_t command = 0;
        uint64_t context = 0;  // SendRRData
        uint16_t sequence = 0; // SendUnitData
        const std::vector<uint8_t> *request = nullptr; // the message router request, for the family's own match
    };
    // take(): a reply that is not this request's (a duplicate, a late one) and is skipped.
    static constexpr int kPassedOver = 2;

    int acquire(Clock::time_point deadline, const Cancel &cancel, bool forClose);
    void release();
    int exchange(const std::vector<uint8_t> &request, std::vector<uint8_t> *reply, Clock::time_point deadline,
                 const Cancel &cancel);
    int establish(Clock::time_point deadline, const Cancel &cancel);
    // One connect: TCP, RegisterSession, Forward Open. *reached: TCP came up, so whatever
    // failed after it was the controller's answer.
    int attempt(Clock::time_point deadline, const Cancel &cancel, bool *reached);
    int forwardOpen(Clock::time_point deadline, const Cancel &cancel);
    int unconnected(std::vector<uint8_t> &mr, std::vector<uint8_t> *reply, Clock::time_point deadline,
                    const Cancel &cancel);
    int sendAll(const uint8_t *p, size_t n, size_t *sent, Clock::time_point deadline, const Cancel &cancel);
    int receive(const Match &m, std::vector<uint8_t> *reply, Clock::time_point deadline, const Cancel &cancel);
    // One whole message read while `m` is awaited: its reply, or why it ends the request.
    int take(const Match &m, const uint8_t *p, size_t n, std::vector<uint8_t> *reply);
    int refuse(const char *why, const uint8_t *p, size_t n);
    int passOver(const char *why, const uint8_t *p, size_t n);
    // Ways a peer departs from the letter of the protocol that we accept, logged once each.
    enum : uint8_t { kHabitContext = 1, kHabitO2tId = 2, kHabitOffLayout = 4 };
    bool echoesContext_ = false; // once the peer echoed a sender context, every reply must carry its own
    void notePeer(uint8_t habit, const char *what);
    // The status of an Unconnected Send reply: BAD_GATEWAY when a hop refused the route.
    int routeStatus(const std::vector<uint8_t> &reply);
    int waitIo(short events, Clock::time_point deadline, const Cancel &cancel);
    bool stopRequested(const Cancel &cancel) const;
    bool peerStillThere();
    void drop();
    void workerLoop();
    void growJobs(); // under m_
    // Packing (session/packing.cpp): the session's thread sends what is queued in one packet.
    void runPacked();
    std::shared_ptr<Job> popJob();
    void pushFront(std::shared_ptr<Job> job);
    bool packs() const { return cfg_.maxPacked > 1 && !packRefused_.load(std::memory_order_relaxed); }

    const std::string key_;
    const SessionConfig cfg_;
    int wakeFd_ = -1;

    // Guarded by m_.
    std::mutex m_;
    std::condition_variable tokenCv_; // the wire token became free, or a wait must re-check
    std::condition_variable jobCv_;
    bool wireBusy_ = false;
    bool closing_ = false;
    std::vector<std::shared_ptr<Job>> jobs_; // ring buffer
    size_t jobHead_ = 0, jobCount_ = 0;
    std::thread worker_;
    std::atomic<bool> closingFlag_{false}; // closing_, readable without m_ by the token holder

    // Owned by the token holder.
    int fd_ = -1;
    uint32_t handle_ = 0;      // encapsulation session handle
    bool connectedMsg_ = false;
    uint32_t otId_ = 0, toId_ = 0;
    uint16_t serial_ = 0;
    uint16_t sequence_ = 0;
    uint64_t context_ = 0;
    Clock::time_point retryAt_{};
    bool refused_ = false; // the last connect was refused (RST): callers are told until retryAt_
    Clock::duration backoff_{};
    Clock::time_point lastActivity_{};
    uint8_t peerHabits_ = 0; // kHabit* already logged for this session
    std::vector<uint8_t> tx_, mr_;
    FrameBuffer rx_;
    Capture::Flow flow_;

    // The packet being built; the session's thread's own.
    struct Member {
        std::shared_ptr<Job> job;
        uint64_t ticket = 0;
        size_t end = 0; // of its request in packBodies_
        size_t replyBound = 0;
    };
    std::vector<Member> members_;
    std::vector<cip::Span> packSpans_;
    std::vector<uint8_t> packBodies_, packRequest_, packReply_;
    std::atomic<bool> packRefused_{false}; // the controller answered a packet with 0x08

    std::atomic<size_t> maxRequest_{0};
    std::atomic<bool> tcpOpen_{false};
};

} // namespace plctag
