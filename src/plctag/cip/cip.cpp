#include "cip/cip.h"

namespace plctag::cip {

namespace {
// 2^10 ms ticks x 5 = 5.1 s for the target's own timeouts.
constexpr uint8_t kPriorityTimeTick = 0x0A;
constexpr uint8_t kTimeoutTicks = 0x05;
constexpr uint32_t kRpiMicros = 1000000;
constexpr uint8_t kTimeoutMultiplier = 1; // x8: the target drops a silent connection after 8 s
// Class 3, application-triggered, server direction.
constexpr uint8_t kTransportClass3 = 0xA3;
// Point-to-point, low priority, variable size.
constexpr uint16_t kNetParams16 = 0x4200;
constexpr uint32_t kNetParams32 = 0x42000000;
} // namespace

bool parseMrReply(const uint8_t *p, size_t n, MrReply *out)
{
    wire::Reader r(p, n);
    uint8_t svc = r.u8();
    r.u8(); // reserved
    out->general = r.u8();
    out->extCount = r.u8();
    if (!r.ok() || !(svc & kReplyFlag))
        return false;
    out->service = svc & 0x7F;
    out->ext[0] = out->ext[1] = 0;
    // Some servers count the extended status in bytes: taken so when words would run past
    // the end and bytes fill the rest exactly.
    if (size_t(out->extCount) * 2 > r.remaining() && out->extCount % 2 == 0 && out->extCount == r.remaining())
        out->extCount /= 2;
    for (unsigned i = 0; i < out->extCount; ++i) {
        uint16_t e = r.u16();
        if (i < 2)
            out->ext[i] = e;
    }
    if (!r.ok())
        return false;
    out->data = r.here();
    out->size = r.remaining();
    return true;
}

void writeRequestHead(wire::Writer &w, uint8_t service, const uint8_t *path, size_t pathLen)
{
    w.u8(service);
    w.u8(static_cast<uint8_t>(pathLen / 2));
    w.bytes(path, pathLen);
}

void writeForwardOpen(wire::Writer &w, const ForwardOpenParams &p)
{
    writeRequestHead(w, p.large ? kLargeForwardOpen : kForwardOpen, kConnectionManagerPath,
                     sizeof kConnectionManagerPath);
    w.u8(kPriorityTimeTick);
    w.u8(kTimeoutTicks);
    w.u32(0); // O->T id: the target picks it
    w.u32(p.toConnectionId);
    w.u16(p.connectionSerial);
    w.u16(kOriginatorVendor);
    w.u32(kOriginatorSerial);
    w.u8(kTimeoutMultiplier);
    w.zeros(3);
    for (int dir = 0; dir < 2; ++dir) { // O->T then T->O
        w.u32(kRpiMicros);
        if (p.large)
            w.u32(kNetParams32 | p.connectionSize);
        else
            w.u16(static_cast<uint16_t>(kNetParams16 | (p.connectionSize & 0x1FF)));
    }
    w.u8(kTransportClass3);
    w.u8(static_cast<uint8_t>((p.routeLen + sizeof kMessageRouterPath) / 2));
    w.bytes(p.route, p.routeLen); // no pad byte after the size here
    w.bytes(kMessageRouterPath, sizeof kMessageRouterPath);
}

bool parseForwardOpenReply(const MrReply &reply, ForwardOpenResult *out)
{
    wire::Reader r(reply.data, reply.size);
    out->otConnectionId = r.u32();
    out->toConnectionId = r.u32();
    out->connectionSerial = r.u16();
    r.u16(); // vendor
    r.u32(); // originator serial
    r.u32(); // O->T API
    r.u32(); // T->O API
    return r.ok();
}

void writeForwardClose(wire::Writer &w, uint16_t connectionSerial, const uint8_t *route, size_t routeLen)
{
    writeRequestHead(w, kForwardClose, kConnectionManagerPath, sizeof kConnectionManagerPath);
    w.u8(kPriorityTimeTick);
    w.u8(kTimeoutTicks);
    w.u16(connectionSerial);
    w.u16(kOriginatorVendor);
    w.u32(kOriginatorSerial);
    w.u8(static_cast<uint8_t>((routeLen + sizeof kMessageRouterPath) / 2));
    w.u8(0); // reserved: unlike the Forward Open, the close has a pad here
    w.bytes(route, routeLen);
    w.bytes(kMessageRouterPath, sizeof kMessageRouterPath);
}

UnconnectedSendMark beginUnconnectedSend(wire::Writer &w)
{
    writeRequestHead(w, kUnconnectedSend, kConnectionManagerPath, sizeof kConnectionManagerPath);
    w.u8(kPriorityTimeTick);
    w.u8(kTimeoutTicks);
    UnconnectedSendMark m;
    m.lengthField = w.pos();
    w.u16(0);
    return m;
}

void endUnconnectedSend(wire::Writer &w, const UnconnectedSendMark &m, const uint8_t *route, size_t routeLen)
{
    size_t embedded = w.pos() - m.lengthField - 2;
    w.patchU16(m.lengthField, static_cast<uint16_t>(embedded));
    if (embedded & 1)
        w.u8(0); // pad, not counted in the length
    w.u8(static_cast<uint8_t>(routeLen / 2));
    w.u8(0);
    w.bytes(route, routeLen);
}

} // namespace plctag::cip
