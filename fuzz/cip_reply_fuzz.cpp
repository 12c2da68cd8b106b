// Message router replies as a controller might send them to a read or a write of each
// symbolic family: decoders return a status or data that lies inside the reply, never more.
#include "cip/cip.h"
#include "logix/logix_protocol.h"
#include "logix/tag_list.h"
#include "logix/tag_services.h"
#include "protocol/protocol.h"

#include <cstdint>
#include <cstdlib>

namespace {

void within(const uint8_t *p, size_t n, const uint8_t *begin, size_t size)
{
    if (n && (p < begin || p + n > begin + size))
        std::abort();
}

} // namespace

// Input: one selector byte (family, bit tag, read or write, tag listing), then the reply.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t sel = data[0];
    const uint8_t *reply = data + 1;
    const size_t n = size - 1;
    const plctag::Protocol &proto = (sel & 8)   ? plctag::logix::tagListProtocol()
                                    : (sel & 1) ? plctag::logix::omronProtocol()
                                                : plctag::logix::logixProtocol();

    plctag::TagAddress addr;
    plctag::TagSpec spec;
    spec.name = (sel & 8) ? "Program:Main.@tags" : (sel & 2) ? "Flags.3" : "Program:Main.Values[2]";
    spec.elemCount = 1 + (sel >> 4);
    if (proto.compile(spec, &addr) != 0)
        return 0;

    if (sel & 4) {
        proto.decodeWrite(addr, reply, n);
    } else {
        plctag::ReadChunk chunk;
        if (proto.decodeRead(addr, reply, n, &chunk) == 0) {
            within(chunk.data, chunk.size, reply, n);
            within(chunk.type, chunk.typeLen, reply, n);
            if (chunk.typeLen > plctag::kMaxTypeBytes)
                std::abort();
            uint32_t last = 0;
            if ((sel & 8) && (!plctag::logix::scanSymbolEntries(chunk.data, chunk.size, &last) ||
                              (chunk.more && chunk.nextOffset != last + 1)))
                std::abort();
        }
    }

    plctag::cip::MrReply r;
    if (plctag::cip::parseMrReply(reply, n, &r)) {
        within(r.data, r.size, reply, n);
        plctag::logix::ReadData d;
        if (plctag::logix::splitReadReply(r, &d)) {
            within(d.data, d.size, reply, n);
            within(d.type, d.typeLen, reply, n);
        }
        plctag::cip::ForwardOpenResult fo;
        plctag::cip::parseForwardOpenReply(r, &fo);
    }
    return 0;
}
