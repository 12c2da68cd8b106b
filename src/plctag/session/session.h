// One EtherNet/IP session to a gateway along a route: the TCP connection, RegisterSession,
// the class 3 connection (Forward Open) for connected families, and request/reply
// transactions. The calling thread does its own socket I/O while it holds the wire, so a
// synchronous read costs one round trip and no thread hand-off.
#pragma once

#include "families/families.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace plctag {

using Clock = std::chrono::steady_clock;

class Session {
public:
    Session(std::string host, int port, std::vector<uint8_t> route, const Family *family);
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    // Sends one message router request and waits for its reply (connecting first when
    // needed). `abort` is checked whenever the wait wakes; wake() wakes it. Returns a
    // PLCTAG status; on success `reply` holds the message router reply.
    int transact(const std::vector<uint8_t> &request, std::vector<uint8_t> *reply, Clock::time_point deadline,
                 const std::atomic<bool> *abort);

    // Bytes a message router request may take on this session (known once connected).
    size_t maxRequest() const { return maxRequest_.load(); }
    const Family *family() const { return family_; }
    void wake();

    // Forward Close and TCP close, bounded by the deadline.
    void close(Clock::time_point deadline);

    const std::string &host() const { return host_; }
    int port() const { return port_; }
    const std::vector<uint8_t> &route() const { return route_; }

private:
    int connect(Clock::time_point deadline, const std::atomic<bool> *abort);
    int forwardOpen(Clock::time_point deadline, const std::atomic<bool> *abort);
    int exchange(std::vector<uint8_t> &out, uint64_t context, bool connected, uint16_t sequence,
                 std::vector<uint8_t> *reply, Clock::time_point deadline, const std::atomic<bool> *abort);
    int sendAll(const uint8_t *p, size_t n, Clock::time_point deadline, const std::atomic<bool> *abort);
    int receiveFrame(Clock::time_point deadline, const std::atomic<bool> *abort);
    int waitFor(short events, Clock::time_point deadline, const std::atomic<bool> *abort);
    void drop();

    const std::string host_;
    const int port_;
    const std::vector<uint8_t> route_;
    const Family *family_;

    std::timed_mutex wire_; // one request on the wire at a time
    int fd_ = -1;
    int wake_[2] = {-1, -1};
    uint32_t session_ = 0;
    bool connectedMsg_ = false;
    uint32_t otId_ = 0;
    uint16_t serial_ = 0;
    uint16_t sequence_ = 0;
    uint64_t context_ = 0;
    std::atomic<size_t> maxRequest_{0};
    Clock::time_point retryAt_{};
    std::vector<uint8_t> tx_, rx_, mr_;
    size_t rxUsed_ = 0; // bytes of rx_ that belong to the next frames
};

} // namespace plctag
