// Requests a client might send a simulated controller: a stream of encapsulation messages on
// one TCP session, and single UDP datagrams. The server answers or closes, never reads past a
// message, and its replies are well-formed encapsulation messages.
#include "session.h"
#include "tag_services.h"

#include <absim/simulator.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr size_t kHeader = 24;

absim::Config configFor(uint8_t sel)
{
    static const absim::Personality kAll[] = {
        absim::Personality::ControlLogix, absim::Personality::Micro800, absim::Personality::OmronNJ,
        absim::Personality::Slc500,       absim::Personality::Plc5,     absim::Personality::FlexLogix,
        absim::Personality::MicroLogix,   absim::Personality::CompactLogix};
    absim::Config c;
    c.personality = kAll[sel % 8];
    c.identity = absim::defaultIdentity(c.personality);
    auto tag = [&](const char *name, absim::CipType t, std::vector<uint32_t> dims) {
        absim::TagDef d;
        d.name = name;
        d.type = t;
        d.dims = std::move(dims);
        c.tags.push_back(d);
    };
    if (c.personality != absim::Personality::Slc500 && c.personality != absim::Personality::Plc5 &&
        c.personality != absim::Personality::MicroLogix) {
        tag("Counter", absim::CipType::Dint, {});
        tag("Values", absim::CipType::Dint, {1000});
        tag("Grid", absim::CipType::Int, {3, 4, 5});
        tag("Name", absim::CipType::String, {});
        tag("Program:Main.Speed", absim::CipType::Real, {});
        tag("Flags", absim::CipType::Bool, {64});
    }
    return c;
}

void checkReply(const std::vector<uint8_t> &r)
{
    if (r.size() < kHeader || r.size() != kHeader + (size_t(r[2]) | size_t(r[3]) << 8))
        std::abort();
}

} // namespace

// Input: a selector byte (personality, UDP or TCP), then messages. Each message's length is
// taken from its header and clipped to the input, so truncated messages reach the parser
// too. After RegisterSession the session handle the server gave is put into later messages
// (when the selector asks for it), so the fuzzer reaches the connected services.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t sel = data[0];
    absim::Controller controller(configFor(sel));
    size_t pos = 1;
    std::vector<uint8_t> reply;

    if (sel & 0x10) {
        absim::handleDatagram(controller, data + pos, size - pos, &reply);
        if (!reply.empty())
            checkReply(reply);
        return 0;
    }

    absim::Session session(controller);
    uint32_t handle = 0;
    std::vector<uint8_t> msg;
    while (pos < size) {
        size_t n = size - pos;
        if (n >= kHeader) {
            const size_t want = kHeader + (size_t(data[pos + 2]) | size_t(data[pos + 3]) << 8);
            if (want < n)
                n = want;
        }
        msg.assign(data + pos, data + pos + n); // exact size, so ASan sees any over-read
        pos += n;
        if ((sel & 0x20) && handle && msg.size() >= 8)
            std::memcpy(msg.data() + 4, &handle, 4);
        reply.clear();
        const absim::Session::Result r = session.handle(msg.data(), msg.size(), &reply);
        if (r == absim::Session::Result::Close)
            break;
        if (r == absim::Session::Result::Reply) {
            checkReply(reply);
            if (reply[0] == 0x65 && reply[1] == 0x00)
                std::memcpy(&handle, reply.data() + 4, 4);
        }
    }
    return 0;
}
