#include "session.h"

#include "quirks.h"
#include "sim_bytes.h"
#include "tag_services.h"

#include <arpa/inet.h>

#include <algorithm>

namespace absim {

namespace {

// Logix controllers before v30 read a true BOOL as 0xFF, later ones as 0x01.
uint8_t boolTrueByte(const Config &c)
{
    return isStringPersonalityLogix(c.personality) && c.identity.revMajor < 30 ? 0xFF : 0x01;
}

} // namespace

Controller::Controller(const Config &c) : config(c), store(c.personality, c.quirks.cipStrings, boolTrueByte(c))
{
    std::string error;
    store.setTypes(c.types, &error); // checked when the configuration was read; a bad type leaves its tags out
}

namespace {

enum : uint16_t {
    kNop = 0x0000,
    kListServices = 0x0004,
    kListIdentity = 0x0063,
    kListInterfaces = 0x0064,
    kRegisterSession = 0x0065,
    kUnRegisterSession = 0x0066,
    kSendRRData = 0x006F,
    kSendUnitData = 0x0070,
};

constexpr size_t kHeader = 24;
constexpr size_t kUnconnectedReplyLimit = 504; // a UCMM message, as Logix takes it

struct Header {
    uint16_t command, length;
    uint32_t session, status;
    uint64_t context;
    uint32_t options;
};

Header readHeader(const uint8_t *p)
{
    In in(p, kHeader);
    Header h;
    h.command = in.u16();
    h.length = in.u16();
    h.session = in.u32();
    h.status = in.u32();
    h.context = in.u64();
    h.options = in.u32();
    return h;
}

std::vector<uint8_t> message(const Header &req, uint32_t session, uint32_t status, const std::vector<uint8_t> &data)
{
    Out o;
    o.u16(req.command);
    o.u16(static_cast<uint16_t>(data.size()));
    o.u32(session);
    o.u32(status);
    o.u64(req.context);
    o.u32(0);
    o.bytes(data);
    return o.b;
}

std::vector<uint8_t> listServicesData()
{
    Out o;
    o.u16(1);
    o.u16(0x0100);
    o.u16(20);
    o.u16(1);
    o.u16(0x0120); // CIP over TCP, class 0/1 over UDP
    char name[16] = "Communications";
    o.bytes(name, 16);
    return o.b;
}

// Connection size limits: what Large and classic Forward Open accept (0: not supported).
struct Limits {
    size_t large;
    size_t classic;
};

Limits limitsFor(Personality p)
{
    switch (p) {
    case Personality::ControlLogix:
    case Personality::CompactLogix: return {4002, 511};
    case Personality::OmronNJ: return {1996, 504};
    case Personality::Micro800:
    case Personality::FlexLogix: return {0, 511};
    default: return {0, 256};
    }
}

bool isMessageRouterPath(const uint8_t *p, size_t n)
{
    return n == 4 && p[0] == 0x20 && p[1] == 0x02 && p[2] == 0x24 && p[3] == 0x01;
}

bool isConnectionManagerPath(const uint8_t *p, size_t n)
{
    return n >= 6 && p[1] == 2 && p[2] == 0x20 && p[3] == 0x06 && p[4] == 0x24 && p[5] == 0x01;
}

// Get Attributes All on the Identity object (class 1, instance 1).
bool isIdentityRequest(const uint8_t *p, size_t n)
{
    return n == 6 && p[0] == 0x01 && p[1] == 2 && p[2] == 0x20 && p[3] == 0x01 && p[4] == 0x24 && p[5] == 0x01;
}

} // namespace

bool routeReachesCpu(Personality p, const uint8_t *route, size_t n, uint16_t *ext)
{
    const bool chassis = p == Personality::ControlLogix || p == Personality::CompactLogix ||
                         p == Personality::OmronNJ || p == Personality::FlexLogix;
    if (n == 0) {
        *ext = 0x0315; // the path ends at the Ethernet module, which holds no tags
        return p != Personality::ControlLogix;
    }
    if (!chassis) {
        *ext = 0x0311; // no backplane behind this port
        return false;
    }
    if (n != 2 || route[0] != 0x01) {
        *ext = 0x0311; // port not available
        return false;
    }
    if (route[1] != 0) {
        *ext = 0x0312; // nothing in that slot
        return false;
    }
    return true;
}

std::vector<uint8_t> listIdentityData(const Config &c)
{
    const Identity &id = c.identity;
    Out item;
    item.u16(1);
    item.be16(2); // AF_INET, network order
    item.be16(c.port);
    in_addr a{};
    inet_pton(AF_INET, c.address.c_str(), &a);
    item.bytes(&a.s_addr, 4);
    for (int i = 0; i < 8; ++i)
        item.u8(0);
    item.u16(id.vendorId);
    item.u16(id.deviceType);
    item.u16(id.productCode);
    item.u8(id.revMajor);
    item.u8(id.revMinor);
    item.u16(id.status);
    item.u32(id.serial);
    const size_t nameLen = std::min<size_t>(id.productName.size(), 255);
    item.u8(static_cast<uint8_t>(nameLen));
    item.bytes(id.productName.data(), nameLen);
    item.u8(id.state);
    Out o;
    o.u16(1);
    o.u16(0x000C);
    o.u16(static_cast<uint16_t>(item.size()));
    o.bytes(item.b);
    return o.b;
}

bool handleDatagram(const Controller &c, const uint8_t *msg, size_t n, std::vector<uint8_t> *reply)
{
    if (n < kHeader)
        return false;
    const Header h = readHeader(msg);
    if (h.status != 0 || h.options != 0 || size_t(h.length) + kHeader != n)
        return false;
    if (h.command == kListIdentity)
        *reply = message(h, 0, 0, listIdentityData(c.config));
    else if (h.command == kListServices)
        *reply = message(h, 0, 0, listServicesData());
    else
        *reply = message(h, h.session, 0x0001, {});
    return true;
}

Session::~Session()
{
    c_.cipConnections -= static_cast<int>(conns_.size());
}

Session::Result Session::handle(const uint8_t *msg, size_t n, std::vector<uint8_t> *reply)
{
    if (n < kHeader || size_t(msg[2] | msg[3] << 8) + kHeader != n)
        return Result::Close; // the framing is lost; a real adapter drops the connection
    const Header h = readHeader(msg);
    if (h.status != 0 || h.options != 0)
        return Result::Silent; // such requests are discarded
    const uint8_t *data = msg + kHeader;
    const size_t len = n - kHeader;
    switch (h.command) {
    case kNop: return Result::Silent;
    case kListIdentity: *reply = message(h, h.session, 0, listIdentityData(c_.config)); return Result::Reply;
    case kListServices: *reply = message(h, h.session, 0, listServicesData()); return Result::Reply;
    case kListInterfaces: *reply = message(h, h.session, 0, {0, 0}); return Result::Reply;
    case kRegisterSession: {
        In in(data, len);
        const uint16_t version = in.u16();
        const uint16_t options = in.u16();
        if (!in.ok() || len != 4) {
            *reply = message(h, 0, 0x0065, {});
        } else if (handle_ != 0) {
            *reply = message(h, h.session, 0x0001, {}); // one session per TCP connection
        } else if (version != 1 || options != 0) {
            *reply = message(h, 0, 0x0069, {1, 0, 0, 0});
        } else {
            handle_ = c_.nextSessionHandle++;
            registerContext_ = h.context;
            *reply = message(h, handle_, 0, {1, 0, 0, 0});
        }
        return Result::Reply;
    }
    case kUnRegisterSession: return Result::Close;
    case kSendRRData:
    case kSendUnitData: break;
    default: *reply = message(h, h.session, 0x0001, {}); return Result::Reply;
    }

    if (handle_ == 0 || h.session != handle_) {
        *reply = message(h, h.session, 0x0064, {});
        return Result::Reply;
    }
    const Quirks &quirks = c_.config.quirks;
    Header answer = h; // the header fields a reply echoes
    if (quirks.storedContext)
        answer.context = registerContext_;
    In in(data, len);
    in.u32(); // interface handle
    in.u16(); // timeout: some clients put a value here on SendUnitData too
    if (!in.ok()) {
        *reply = message(answer, h.session, 0x0003, {});
        return Result::Reply;
    }
    if (h.command == kSendUnitData) {
        std::vector<uint8_t> mr;
        uint32_t toId = 0;
        uint16_t seq = 0, itemLength = 0;
        if (!connected(in.here(), in.left(), &mr, &toId, &seq, &itemLength))
            return Result::Silent; // unknown connection ids are not answered
        Out o;
        o.u32(0);
        o.u16(0);
        o.u16(2);
        o.u16(0x00A1);
        o.u16(4);
        o.u32(toId);
        o.u16(0x00B1);
        o.u16(static_cast<uint16_t>(mr.size() + 2));
        o.u16(seq);
        o.bytes(mr);
        *reply = message(answer, handle_, 0, o.b);
        if (quirks.offLayoutCpf)
            offLayoutReply(*reply, itemLength);
        return Result::Reply;
    }

    // SendRRData: a null address item and an unconnected data item, walked by length.
    const uint16_t count = in.u16();
    const uint8_t *mr = nullptr;
    size_t mrLen = 0;
    for (uint16_t i = 0; i < count && in.ok(); ++i) {
        const uint16_t type = in.u16();
        const uint16_t ilen = in.u16();
        const uint8_t *p = in.take(ilen);
        if (p && type == 0x00B2) {
            mr = p;
            mrLen = ilen;
        }
    }
    if (!in.ok() || !mr || mrLen < 2) {
        *reply = message(answer, h.session, 0x0003, {});
        return Result::Reply;
    }
    unknownTag_ = false;
    const std::vector<uint8_t> mrReply = unconnected(mr, mrLen);
    if (unknownTag_ && quirks.unknownTagCloses) {
        *reply = message(answer, handle_, kQuirkUnknownTagStatus, {});
        return Result::ReplyThenClose;
    }
    Out o;
    o.u32(0);
    o.u16(0);
    o.u16(2);
    o.u16(0x0000);
    o.u16(0);
    o.u16(0x00B2);
    o.u16(static_cast<uint16_t>(mrReply.size()));
    o.bytes(mrReply);
    *reply = message(answer, handle_, 0, o.b);
    return Result::Reply;
}

CipTarget Session::unconnectedTarget()
{
    CipTarget t{c_.config.personality, &c_.store, &c_.config.identity,
                quirkReplyLimit(c_.config.quirks, kUnconnectedReplyLimit)};
    t.unknownTag = &unknownTag_;
    return t;
}

std::vector<uint8_t> Session::unconnected(const uint8_t *mr, size_t n)
{
    const uint8_t service = mr[0];
    if (isConnectionManagerPath(mr, n)) {
        switch (service) {
        case 0x54: return forwardOpen(mr, n, false);
        case 0x5B: return forwardOpen(mr, n, true);
        case 0x4E: return forwardClose(mr, n);
        case 0x52: return unconnectedSend(mr, n);
        default: return statusReply(service, 0x08);
        }
    }
    uint16_t ext = 0;
    if (!routeReachesCpu(c_.config.personality, nullptr, 0, &ext) && !isIdentityRequest(mr, n))
        return statusReply(service, 0x08); // the Ethernet module knows no tags, but answers for its identity
    return handleCpuRequest(unconnectedTarget(), mr, n);
}

std::vector<uint8_t> Session::unconnectedSend(const uint8_t *mr, size_t n)
{
    In in(mr + 6, n - 6);
    in.u8();
    in.u8();
    const uint16_t len = in.u16();
    const uint8_t *embedded = in.take(len);
    if (len % 2)
        in.u8();
    const uint8_t words = in.u8();
    in.u8();
    const uint8_t *route = in.take(size_t(words) * 2);
    if (!in.ok() || !embedded || len < 2)
        return statusReply(0x52, 0x13);
    uint16_t ext = 0;
    if (!routeReachesCpu(c_.config.personality, route, size_t(words) * 2, &ext)) {
        std::vector<uint8_t> r = statusReply(0x52, 0x01, {ext});
        r.push_back(words); // remaining path size
        return r;
    }
    return handleCpuRequest(unconnectedTarget(), embedded, len);
}

std::vector<uint8_t> Session::forwardOpen(const uint8_t *mr, size_t n, bool large)
{
    const uint8_t service = large ? 0x5B : 0x54;
    In in(mr + 6, n - 6);
    in.u8();
    in.u8();
    in.u32(); // O->T id: ours to choose
    const uint32_t toId = in.u32();
    const uint16_t serial = in.u16();
    const uint16_t vendor = in.u16();
    const uint32_t origSerial = in.u32();
    in.u8();
    in.take(3);
    const uint32_t otRpi = in.u32();
    const uint32_t otParams = large ? in.u32() : in.u16();
    const uint32_t toRpi = in.u32();
    const uint32_t toParams = large ? in.u32() : in.u16();
    const uint8_t transport = in.u8();
    const uint8_t words = in.u8();
    const uint8_t *path = in.take(size_t(words) * 2);
    (void)toParams;
    (void)transport;
    auto failure = [&](uint8_t general, std::vector<uint16_t> ext) {
        Out o;
        o.bytes(statusReply(service, general, ext));
        o.u16(serial);
        o.u16(vendor);
        o.u32(origSerial);
        o.u8(0);
        o.u8(0);
        return o.b;
    };
    if (!in.ok() || !path || words < 2)
        return failure(0x01, {0x0315});
    const Limits limits = limitsFor(c_.config.personality);
    if (large && limits.large == 0)
        return statusReply(service, 0x08);
    const size_t size = large ? (otParams & 0xFFFF) : (otParams & 0x1FF);
    const size_t max = large ? limits.large : limits.classic;
    if (size > max || size < 16)
        return failure(0x01, {0x0109, static_cast<uint16_t>(max)});
    const size_t pathLen = size_t(words) * 2;
    if (!isMessageRouterPath(path + pathLen - 4, 4))
        return failure(0x01, {0x0315});
    uint16_t ext = 0;
    if (!routeReachesCpu(c_.config.personality, path, pathLen - 4, &ext))
        return failure(0x01, {ext});
    for (const CipConnection &c : conns_)
        if (c.serial == serial && c.vendor == vendor && c.originatorSerial == origSerial)
            return failure(0x01, {0x0100});
    CipConnection c;
    c.otId = c_.nextConnectionId++;
    c.toId = toId;
    c.serial = serial;
    c.vendor = vendor;
    c.originatorSerial = origSerial;
    c.size = size;
    conns_.push_back(c);
    ++c_.cipConnections;
    Out o;
    o.u8(service | 0x80);
    o.u8(0);
    o.u8(0);
    o.u8(0);
    o.u32(c.otId);
    o.u32(c.toId);
    o.u16(serial);
    o.u16(vendor);
    o.u32(origSerial);
    o.u32(otRpi);
    o.u32(toRpi);
    o.u8(0);
    o.u8(0);
    return o.b;
}

std::vector<uint8_t> Session::forwardClose(const uint8_t *mr, size_t n)
{
    In in(mr + 6, n - 6);
    in.u8();
    in.u8();
    const uint16_t serial = in.u16();
    const uint16_t vendor = in.u16();
    const uint32_t origSerial = in.u32();
    auto tail = [&](std::vector<uint8_t> head) {
        Out o;
        o.bytes(head);
        o.u16(serial);
        o.u16(vendor);
        o.u32(origSerial);
        o.u8(0);
        o.u8(0);
        return o.b;
    };
    if (!in.ok())
        return statusReply(0x4E, 0x13);
    auto it = std::find_if(conns_.begin(), conns_.end(), [&](const CipConnection &c) {
        return c.serial == serial && c.vendor == vendor && c.originatorSerial == origSerial;
    });
    if (it == conns_.end())
        return tail(statusReply(0x4E, 0x01, {0x0107}));
    conns_.erase(it);
    --c_.cipConnections;
    return tail(statusReply(0x4E, 0x00));
}

bool Session::connected(const uint8_t *cpf, size_t n, std::vector<uint8_t> *mrReply, uint32_t *toId, uint16_t *seq,
                        uint16_t *itemLength)
{
    In in(cpf, n);
    const uint16_t count = in.u16();
    uint32_t id = 0;
    bool haveId = false;
    const uint8_t *data = nullptr;
    size_t dataLen = 0;
    for (uint16_t i = 0; i < count && in.ok(); ++i) {
        const uint16_t type = in.u16();
        const uint16_t len = in.u16();
        const uint8_t *p = in.take(len);
        if (!p)
            break;
        if (type == 0x00A1 && len == 4) {
            id = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
            haveId = true;
        } else if (type == 0x00B1) {
            data = p;
            dataLen = len;
        }
    }
    if (!in.ok() || !haveId || !data || dataLen < 4)
        return false;
    auto it = std::find_if(conns_.begin(), conns_.end(), [&](const CipConnection &c) { return c.otId == id; });
    if (it == conns_.end())
        return false;
    *seq = static_cast<uint16_t>(data[0] | data[1] << 8);
    *toId = c_.config.quirks.o2tId ? it->otId : it->toId;
    *itemLength = static_cast<uint16_t>(dataLen);
    if (it->answered && *seq == it->lastSequence) {
        *mrReply = it->lastReply; // a retransmission: answered again, not executed again
        return true;
    }
    const CipTarget target{c_.config.personality, &c_.store, &c_.config.identity,
                           quirkReplyLimit(c_.config.quirks, it->size - 2)};
    *mrReply = handleCpuRequest(target, data + 2, dataLen - 2);
    it->answered = true;
    it->lastSequence = *seq;
    it->lastReply = *mrReply;
    return true;
}

} // namespace absim
