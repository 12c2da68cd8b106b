#pragma once
// One TCP client of a simulated controller: encapsulation commands, its registered session,
// its class 3 connections (Forward Open / Close) and the routing of Unconnected Send.

#include "tag_services.h"
#include "tag_store.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace absim {

// State every client of one controller shares. Guarded by the simulator's mutex.
struct Controller {
    Config config;
    TagStore store;
    std::atomic<int> cipConnections{0};
    uint32_t nextConnectionId = 0x20000001;
    uint32_t nextSessionHandle = 0x00010001;

    explicit Controller(const Config &c);
};

struct CipConnection {
    uint32_t otId = 0;    // we receive with it
    uint32_t toId = 0;    // we send with it
    uint16_t serial = 0;
    uint16_t vendor = 0;
    uint32_t originatorSerial = 0;
    size_t size = 0;      // negotiated connection size
    bool reachesCpu = true;
    bool answered = false;
    uint16_t lastSequence = 0;
    std::vector<uint8_t> lastReply;
};

class Session {
public:
    explicit Session(Controller &c) : c_(c) {}
    ~Session();

    enum class Result { Reply, Silent, Close, ReplyThenClose };
    // One whole encapsulation message (header and data).
    Result handle(const uint8_t *msg, size_t n, std::vector<uint8_t> *reply);
    size_t connections() const { return conns_.size(); }

private:
    std::vector<uint8_t> unconnected(const uint8_t *mr, size_t n);
    std::vector<uint8_t> forwardOpen(const uint8_t *mr, size_t n, bool large);
    std::vector<uint8_t> forwardClose(const uint8_t *mr, size_t n);
    std::vector<uint8_t> unconnectedSend(const uint8_t *mr, size_t n);
    bool connected(const uint8_t *cpf, size_t n, std::vector<uint8_t> *mrReply, uint32_t *toId, uint16_t *seq,
                   uint16_t *itemLength);
    CipTarget unconnectedTarget();

    Controller &c_;
    uint32_t handle_ = 0;
    uint64_t registerContext_ = 0; // what "stored-context" answers with
    bool unknownTag_ = false;      // the last unconnected request named a tag the controller lacks
    std::vector<CipConnection> conns_;
};

// Encapsulation over UDP: List Identity and List Services; status 0x0001 for the rest.
bool handleDatagram(const Controller &c, const uint8_t *msg, size_t n, std::vector<uint8_t> *reply);
std::vector<uint8_t> listIdentityData(const Config &c);

// Whether a route (port segments) reaches the CPU; otherwise the extended status of the failure.
bool routeReachesCpu(Personality p, const uint8_t *route, size_t n, uint16_t *ext);

} // namespace absim
