// Execute PCCC replies to reads and writes of SLC 500 / MicroLogix and PLC-5 addresses:
// decoders return a status or data inside the reply and never a byte outside the reply.
#include "pccc/pccc_protocol.h"
#include "protocol/protocol.h"

#include <cstdint>
#include <cstdlib>

namespace {

constexpr const char *kAddresses[] = {"N7:0", "F8:1", "B3:0/5", "ST9:0", "T4:0.ACC", "L19:0", "C5:2.PRE", "N7:10"};

} // namespace

// Input: one selector byte (dialect, address, count, read or write), then the reply.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t sel = data[0];
    const uint8_t *reply = data + 1;
    const size_t n = size - 1;
    const plctag::Protocol &proto = (sel & 1) ? plctag::pccc::plc5Protocol() : plctag::pccc::slcProtocol();

    plctag::TagAddress addr;
    plctag::TagSpec spec;
    spec.name = kAddresses[(sel >> 1) & 7];
    spec.elemCount = 1 + ((sel >> 5) & 3) * 5;
    if (proto.compile(spec, &addr) != 0)
        return 0;
    if (sel & 0x80) {
        proto.decodeWrite(addr, reply, n);
        return 0;
    }
    plctag::ReadChunk chunk;
    if (proto.decodeRead(addr, reply, n, &chunk) == 0) {
        // A chunk larger than the tag is refused by the caller, which knows the offset.
        if (chunk.size && (chunk.data < reply || chunk.data + chunk.size > reply + n))
            std::abort();
    }
    return 0;
}
