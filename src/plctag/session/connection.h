// Setting up and tearing down a session's connection: TCP connect with a growing pause
// after failures, RegisterSession, the class 3 connection (Forward Open) of connected
// families, and their close; and framing each message router request for the connection it
// goes out on. Used by the wire token's holder only.
#pragma once

#include "families/families.h"
#include "session/cancel.h"
#include "session/link.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace plctag {

struct SessionConfig {
    std::string host;
    int port = 44818;            // -1: unusable, every connect attempt fails
    std::vector<uint8_t> route;  // port segments of the path attribute
    const Family *family = nullptr;
    bool connected = true;       // class 3 messaging through Forward Open
    uint16_t maxPacked = 0;      // requests per Multiple Service Packet; 0 or 1: no packing
};

class Connection {
public:
    Connection(const std::string &key, const SessionConfig &cfg, Link &link);

    // Connects unless connected.
    int open(Clock::time_point deadline, const Cancel &cancel);
    // Sends one message router request and waits for its reply, connecting first when
    // needed. On success `reply` holds the message router reply.
    int exchange(const std::vector<uint8_t> &request, std::vector<uint8_t> *reply, Clock::time_point deadline,
                 const Cancel &cancel);
    // Forward Close and UnRegisterSession when connected, then TCP closes.
    void close(Clock::time_point deadline);

    // The negotiated size once connected, else the family's default for this kind of messaging.
    size_t maxRequest() const { return maxRequest_.load(std::memory_order_relaxed); }

private:
    int establish(Clock::time_point deadline, const Cancel &cancel);
    // One connect: TCP, RegisterSession, Forward Open. *reached: TCP came up, so whatever
    // failed after it was the controller's answer.
    int attempt(Clock::time_point deadline, const Cancel &cancel, bool *reached);
    int forwardOpen(Clock::time_point deadline, const Cancel &cancel);
    int unconnected(std::vector<uint8_t> &mr, std::vector<uint8_t> *reply, Clock::time_point deadline,
                    const Cancel &cancel);
    // The status of an Unconnected Send reply: BAD_GATEWAY when a hop refused the route.
    int routeStatus(const std::vector<uint8_t> &reply);
    void drop();

    const std::string &key_;
    const SessionConfig &cfg_;
    Link &link_;

    // What the controller gave this connection; valid while the link is open.
    uint32_t handle_ = 0; // encapsulation session handle
    bool connectedMsg_ = false;
    uint32_t otId_ = 0, toId_ = 0;
    uint16_t serial_ = 0;
    uint16_t sequence_ = 0;
    uint64_t context_ = 0;
    std::atomic<size_t> maxRequest_{0};

    // After a failed connect.
    Clock::time_point retryAt_{};
    bool refused_ = false; // the last connect was refused (RST): callers are told until retryAt_
    Clock::duration backoff_{};

    std::vector<uint8_t> tx_, mr_;
};

} // namespace plctag
