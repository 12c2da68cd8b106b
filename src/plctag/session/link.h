// The I/O path of a session: its TCP socket, the eventfd that interrupts a wait on it, whole
// encapsulation messages out and in, and telling the awaited reply from anything else the
// peer sends. Used by the wire token's holder only, except tcpOpen(), wake() and halt().
#pragma once

#include "session/cancel.h"
#include "session/frame_buffer.h"
#include "util/capture.h"

#include <netinet/in.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace plctag {

class Protocol;

class Link {
public:
    // `key` names the session in log lines; `protocol` tells an answer to another request.
    Link(const std::string &key, const Protocol *protocol);
    ~Link();
    Link(const Link &) = delete;
    Link &operator=(const Link &) = delete;

    // What the reply being waited for looks like.
    struct Match {
        uint16_t command = 0;
        uint64_t context = 0;  // SendRRData
        uint16_t sequence = 0; // SendUnitData
        uint32_t toId = 0, otId = 0; // SendUnitData: the connection's ids
        const std::vector<uint8_t> *request = nullptr; // the message router request, for the family's own match
    };

    bool open() const { return fd_ >= 0; }
    bool tcpOpen() const { return tcpOpen_.load(); }
    // A TCP connect; *refused: the host answered with a reset. On failure the socket stays
    // until drop().
    int connect(const sockaddr_in &addr, Clock::time_point deadline, const Cancel &cancel, bool *refused);
    // The whole message, or why not; *sent counts what went out.
    int send(const std::vector<uint8_t> &message, size_t *sent, Clock::time_point deadline, const Cancel &cancel);
    // The reply `m` describes. Anything that ends the request drops the connection with it.
    int receive(const Match &m, std::vector<uint8_t> *reply, Clock::time_point deadline, const Cancel &cancel);
    // The pause between connect attempts: PLCTAG_ERR_ABORT when stopped before `until`.
    int pause(Clock::time_point until, const Cancel &cancel);
    // Idle for a while and the peer has closed meanwhile.
    bool closedWhileIdle();
    void drop();

    // Interrupts a wait in progress so that it re-checks its cancel.
    void wake();
    // While halted, every wait ends with PLCTAG_ERR_ABORT (the session is closing).
    void halt(bool on);
    bool stopRequested(const Cancel &cancel) const
    {
        return cancel.requested() || halted_.load(std::memory_order_acquire);
    }

private:
    // take(): a reply that is not this request's (a duplicate, a late one) and is skipped.
    static constexpr int kPassedOver = 2;
    // Ways a peer departs from the letter of the protocol that we accept, logged once each.
    enum : uint8_t { kHabitContext = 1, kHabitO2tId = 2, kHabitOffLayout = 4 };

    int waitIo(short events, Clock::time_point deadline, const Cancel &cancel);
    // One whole message read while `m` is awaited: its reply, or why it ends the request.
    int take(const Match &m, const uint8_t *p, size_t n, std::vector<uint8_t> *reply);
    int refuse(const char *why, const uint8_t *p, size_t n);
    int passOver(const char *why, const uint8_t *p, size_t n);
    void notePeer(uint8_t habit, const char *what);

    const std::string &key_;
    const Protocol *const protocol_;
    int fd_ = -1;
    int wakeFd_ = -1;
    std::atomic<bool> halted_{false};
    std::atomic<bool> tcpOpen_{false};
    FrameBuffer rx_;
    Capture::Flow flow_;
    Clock::time_point lastActivity_{};
    bool echoesContext_ = false; // once the peer echoed a sender context, every reply must carry its own
    uint8_t peerHabits_ = 0;     // kHabit* already logged for this session
};

} // namespace plctag
