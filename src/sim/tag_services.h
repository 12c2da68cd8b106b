#pragma once
// Message router requests that reach the controller's CPU: Logix tag services, Multiple
// Service Packet and the identity object. Pure over bytes and the tag store.

#include "tag_store.h"

#include <cstdint>
#include <vector>

namespace absim {

struct CipTarget {
    Personality personality;
    TagStore *store;
    const Identity *identity;
    size_t replyLimit; // bytes a message router reply may take
    bool *unknownTag = nullptr; // set when the request names a tag or data file the controller lacks
};

// Builds the reply to one message router request (never empty).
std::vector<uint8_t> handleCpuRequest(const CipTarget &target, const uint8_t *req, size_t n);

// A reply with no data: service | 0x80, status, extended status words.
std::vector<uint8_t> statusReply(uint8_t service, uint8_t general, std::vector<uint16_t> ext = {});

} // namespace absim
