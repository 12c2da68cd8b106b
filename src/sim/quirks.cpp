#include "quirks.h"

#include <cstring>
#include <string>

namespace absim {

namespace {

constexpr size_t kHeader = 24;
constexpr size_t kReadLimit490 = 4 + 2 + 488; // reply head, type, data

struct QuirkName {
    const char *name;
    bool Quirks::*flag;
};

const QuirkName kQuirkNames[] = {
    {"stored-context", &Quirks::storedContext}, {"o2t-id", &Quirks::o2tId},
    {"off-layout-cpf", &Quirks::offLayoutCpf},  {"fragment-490", &Quirks::fragment490},
    {"cip-strings", &Quirks::cipStrings},       {"unknown-tag-closes", &Quirks::unknownTagCloses},
};

} // namespace

bool enableQuirk(const std::string &name, Quirks *out)
{
    for (const QuirkName &q : kQuirkNames)
        if (name == q.name) {
            out->*q.flag = true;
            return true;
        }
    return false;
}

size_t quirkReplyLimit(const Quirks &q, size_t limit)
{
    return q.fragment490 && limit > kReadLimit490 ? kReadLimit490 : limit;
}

void offLayoutReply(std::vector<uint8_t> &reply, uint16_t requestItemLength)
{
    // Standard: handle(4) timeout(2) count(2) A1 item(8) B1 type(2) length(2) sequence...
    // Off layout: count(2) A1 item(8) B1 type(2) length(2) 00 00 b1 00 <request length>(2) sequence...
    constexpr size_t kItems = kHeader + 6;
    if (reply.size() < kItems + 14)
        return;
    std::memmove(reply.data() + kHeader, reply.data() + kItems, 14);
    const uint8_t stray[6] = {0x00, 0x00, 0xB1, 0x00, uint8_t(requestItemLength & 0xFF), uint8_t(requestItemLength >> 8)};
    std::memcpy(reply.data() + kHeader + 14, stray, sizeof stray);
}

} // namespace absim
