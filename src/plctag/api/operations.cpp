// Reads and writes of one tag: the request loop over fragments, run by the calling thread
// (timeout > 0) or by the session's thread (timeout 0), and the C calls that start them.
#include "api/tag.h"

#include "libplctag.h"
#include "util/log.h"

#include <cstring>

namespace plctag {

namespace {

// Per-thread buffers, so that tags carry no request buffers and the steady state allocates nothing.
struct Scratch {
    std::vector<uint8_t> request, reply, incoming, outgoing;
};

Scratch &scratch()
{
    thread_local Scratch s;
    return s;
}

RequestEnv envFor(const Tag &t)
{
    RequestEnv env;
    env.maxRequest = t.session->maxRequest();
    return env;
}

// The type field a read reply carried; writes send it back.
struct TypeInfo {
    uint8_t len = 0;
    uint8_t bytes[kMaxTypeBytes] = {};
};

void storeType(Tag &t, const TypeInfo &type)
{
    if (type.len) {
        std::memcpy(t.addr.type, type.bytes, type.len);
        t.addr.typeLen = type.len;
    }
}

// Reads the whole tag into `into` (fragment after fragment), and its type field into `type`.
// `first`, when given, is the reply to the first request, which went out in a packet.
int readInto(Tag &t, const Cancel &cancel, Clock::time_point deadline, std::vector<uint8_t> &into, TypeInfo *type,
             const uint8_t *first = nullptr, size_t firstSize = 0)
{
    Scratch &s = scratch();
    into.clear();
    uint32_t offset = 0;
    for (;;) {
        const uint8_t *reply = first;
        size_t replySize = firstSize;
        first = nullptr;
        if (!reply) {
            s.request.clear();
            wire::Writer w(s.request);
            int rc = t.protocol->encodeRead(t.addr, offset, envFor(t), w);
            if (rc != PLCTAG_STATUS_OK)
                return rc;
            rc = t.session->transact(s.request, &s.reply, deadline, cancel);
            if (rc != PLCTAG_STATUS_OK)
                return rc;
            reply = s.reply.data();
            replySize = s.reply.size();
        }
        ReadChunk c;
        int rc = t.protocol->decodeRead(t.addr, reply, replySize, &c);
        if (rc != PLCTAG_STATUS_OK)
            return rc;
        if (c.type && c.typeLen <= kMaxTypeBytes) {
            std::memcpy(type->bytes, c.type, c.typeLen);
            type->len = static_cast<uint8_t>(c.typeLen);
        }
        into.insert(into.end(), c.data, c.data + c.size);
        // Families with a known size read in chunks until the tag is complete.
        const int expect = t.protocol->initialSize(t.addr);
        if (expect > 0 && into.size() > size_t(expect))
            return PLCTAG_ERR_TOO_LARGE;
        if (!c.more && (expect <= 0 || into.size() == size_t(expect)))
            return PLCTAG_STATUS_OK;
        if (c.nextOffset == 0)
            offset += static_cast<uint32_t>(c.size);
        else if (c.nextOffset > offset)
            offset = c.nextOffset;
        else
            return PLCTAG_ERR_BAD_REPLY; // a continuation that does not advance would never end
    }
}

// A one-byte element of a Logix BOOL array ("Bits[37]") is a bit of the DWORD that holds it
// ("Bits[1]", bit 5): the initial read shows it by a DWORD coming back for one byte, or by an
// index past the DWORDs. The DWORD is then asked for, and the tag stays that bit only if a
// DWORD answers. PLCTAG_STATUS_PENDING: read again at the address now in t.addr. Under t.m.
int settleBoolArray(Tag &t, int rc, const TypeInfo &type)
{
    BoolArrayProbe &p = *t.boolProbe;
    const bool dword = rc == PLCTAG_STATUS_OK && type.len == 2 && type.bytes[0] == 0xD3 && type.bytes[1] == 0x00;
    if (!p.looked && (dword || rc == PLCTAG_ERR_NOT_FOUND)) {
        p.looked = true;
        p.firstStatus = rc;
        std::swap(t.addr, p.other);
        return PLCTAG_STATUS_PENDING;
    }
    if (p.looked && !dword) {
        std::swap(t.addr, p.other);
        if (p.firstStatus != PLCTAG_STATUS_OK)
            rc = p.firstStatus; // not a BOOL array: the element's own answer stands
        else if (rc == PLCTAG_STATUS_OK)
            rc = PLCTAG_ERR_BAD_REPLY; // a DWORD for one byte, yet not at the DWORD's own index
    }
    t.boolProbe.reset();
    return rc;
}

// Whether what a read brought is still the tag the caller has (under t.m): the type code first
// read, and, unless the size follows the value, the size the buffer already has, or on a first
// read a whole number of the element size asked for. A controller whose tag was downloaded as
// another type answers with other bytes; taken, they would show as a value it never held.
int checkRead(const Tag &t, const std::vector<uint8_t> &incoming, const TypeInfo &type)
{
    if (t.addr.typeLen && type.len &&
        (type.len != t.addr.typeLen || std::memcmp(type.bytes, t.addr.type, type.len) != 0)) {
        PLCTAG_LOG(2, t.id, "type code 0x%02x read where 0x%02x was; read refused", type.bytes[0], t.addr.type[0]);
        return PLCTAG_ERR_NO_MATCH;
    }
    const uint8_t *code = type.len ? type.bytes : t.addr.type;
    if (t.stringsGiven || t.protocol->sizeVaries(code, type.len ? type.len : t.addr.typeLen))
        return PLCTAG_STATUS_OK;
    const size_t n = incoming.size();
    const size_t unit = t.elemSize > 0 ? size_t(t.elemSize) : size_t(t.elemCount > 0 ? t.elemCount : 1);
    const bool fits = t.haveData ? n == t.data.size() : n > 0 && n % unit == 0;
    if (!fits) {
        PLCTAG_LOG(2, t.id, "%zu data bytes read where %zu%s; read refused", n, t.haveData ? t.data.size() : unit,
                   t.haveData ? " are held" : " per element were asked for");
        return PLCTAG_ERR_BAD_DATA;
    }
    return PLCTAG_STATUS_OK;
}

// Ends a read: its data, type and status go to the tag unless the read was aborted.
// PLCTAG_STATUS_PENDING: the initial read of a BOOL array element looks again (settleBoolArray).
int storeRead(Tag &t, uint32_t generation, int rc, const std::vector<uint8_t> &incoming, const TypeInfo &type)
{
    std::lock_guard<std::mutex> l(t.m);
    if (t.generation.load() != generation)
        return rc == PLCTAG_STATUS_OK ? PLCTAG_ERR_ABORT : rc;
    if (t.boolProbe) {
        rc = settleBoolArray(t, rc, type);
        if (rc == PLCTAG_STATUS_PENDING)
            return rc;
    }
    if (rc == PLCTAG_STATUS_OK)
        rc = checkRead(t, incoming, type);
    if (rc == PLCTAG_STATUS_OK) {
        t.data.assign(incoming.begin(), incoming.end());
        t.haveData = true;
        t.replyBytes = static_cast<uint32_t>(incoming.size());
        storeType(t, type);
        if (t.readCacheMs > 0)
            t.cacheUntil = Clock::now() + std::chrono::milliseconds(t.readCacheMs);
    }
    t.status = rc;
    t.busy = false;
    return rc;
}

int runRead(Tag &t, uint32_t generation, Clock::time_point deadline)
{
    Scratch &s = scratch();
    TypeInfo type;
    const Cancel cancel{&t.generation, generation};
    int rc;
    do {
        rc = readInto(t, cancel, deadline, s.incoming, &type);
        rc = storeRead(t, generation, rc, s.incoming, type);
    } while (rc == PLCTAG_STATUS_PENDING);
    return rc;
}

int writeChunks(Tag &t, const Cancel &cancel, Clock::time_point deadline)
{
    Scratch &s = scratch();
    size_t offset = 0;
    do {
        s.request.clear();
        wire::Writer w(s.request);
        size_t consumed = 0;
        int rc = t.protocol->encodeWrite(t.addr, s.outgoing.data(), s.outgoing.size(),
                                         static_cast<uint32_t>(offset), envFor(t), w, &consumed);
        if (rc != PLCTAG_STATUS_OK)
            return rc;
        rc = t.session->transact(s.request, &s.reply, deadline, cancel);
        if (rc != PLCTAG_STATUS_OK)
            return rc;
        rc = t.protocol->decodeWrite(t.addr, s.reply.data(), s.reply.size());
        if (rc != PLCTAG_STATUS_OK)
            return rc;
        if (consumed == 0)
            break;
        offset += consumed;
    } while (offset < s.outgoing.size());
    return PLCTAG_STATUS_OK;
}

// Ends a write: its status goes to the tag unless the write was aborted.
int storeWrite(Tag &t, uint32_t generation, int rc)
{
    std::lock_guard<std::mutex> l(t.m);
    if (t.generation.load() != generation)
        return rc == PLCTAG_STATUS_OK ? PLCTAG_ERR_ABORT : rc;
    t.status = rc;
    t.busy = false;
    if (rc == PLCTAG_STATUS_OK)
        t.cacheUntil = Clock::time_point{}; // the controller now holds what the buffer holds
    return rc;
}

int runWrite(Tag &t, uint32_t generation, Clock::time_point deadline)
{
    Scratch &s = scratch();
    const Cancel cancel{&t.generation, generation};
    {
        std::lock_guard<std::mutex> l(t.m);
        s.outgoing.assign(t.data.begin(), t.data.end());
    }
    int rc = PLCTAG_STATUS_OK;
    if (t.protocol->writeNeedsType() && t.addr.typeLen == 0 && t.addr.bit < 0) {
        // The write needs the controller's type field: learn it without touching the buffer.
        TypeInfo type;
        rc = readInto(t, cancel, deadline, s.incoming, &type);
        if (rc == PLCTAG_STATUS_OK) {
            std::lock_guard<std::mutex> l(t.m);
            if (t.generation.load() != generation)
                rc = PLCTAG_ERR_ABORT;
            else if (type.len == 0)
                rc = PLCTAG_ERR_BAD_REPLY;
            else if ((rc = checkRead(t, s.incoming, type)) == PLCTAG_STATUS_OK &&
                     !t.protocol->sizeVaries(type.bytes, type.len) && s.incoming.size() != s.outgoing.size())
                rc = PLCTAG_ERR_BAD_DATA; // the controller's tag is not the size of what would be sent
            if (rc == PLCTAG_STATUS_OK)
                storeType(t, type);
        }
    }
    if (rc == PLCTAG_STATUS_OK)
        rc = writeChunks(t, cancel, deadline);
    return storeWrite(t, generation, rc);
}

} // namespace

int beginOperation(Tag &t, uint32_t *generation)
{
    std::lock_guard<std::mutex> l(t.m);
    if (t.busy)
        return PLCTAG_ERR_BUSY;
    t.busy = true;
    t.status = PLCTAG_STATUS_PENDING;
    *generation = t.generation.load();
    return PLCTAG_STATUS_OK;
}

int runOperation(Tag &t, bool write, uint32_t generation, Clock::time_point deadline)
{
    return write ? runWrite(t, generation, deadline) : runRead(t, generation, deadline);
}

void startAsync(const TagPtr &t, bool write, uint32_t generation)
{
    {
        std::lock_guard<std::mutex> l(t->m);
        t->jobQueued = true;
        t->jobWrite = write;
        t->jobGeneration = generation;
    }
    t->session->post(t);
}

void Tag::runJob()
{
    uint32_t gen;
    bool write;
    {
        std::lock_guard<std::mutex> l(m);
        if (!jobQueued || generation.load() != jobGeneration) {
            jobQueued = false;
            return; // aborted, or an older entry of a tag queued again
        }
        jobQueued = false;
        gen = jobGeneration;
        write = jobWrite;
    }
    runOperation(*this, write, gen, Clock::now() + kJobLimit);
}

// A packed operation's ticket: its generation, and whether it writes.
constexpr uint64_t kTicketWrite = uint64_t(1) << 32;

Job::Pack Tag::startPacked(std::vector<uint8_t> &request, size_t maxRequest, size_t *replyBound, uint64_t *ticket)
{
    std::lock_guard<std::mutex> l(m);
    if (!jobQueued || generation.load() != jobGeneration) {
        jobQueued = false;
        return Pack::Done;
    }
    // Only an operation that is one request, with a reply of known size, goes in a packet.
    // A read before any has told the size (the creation's) is sized by what the attributes promise.
    const size_t bound = !jobWrite && replyBytes == 0
                             ? protocol->firstReadBound(addr, size_t(elemSize > 0 ? elemSize : 0) * addr.elemCount)
                             : protocol->replyBound(addr, jobWrite, replyBytes);
    if (bound == 0 || (jobWrite && protocol->writeNeedsType() && addr.typeLen == 0 && addr.bit < 0))
        return Pack::Alone;
    const size_t begin = request.size();
    wire::Writer w(request);
    RequestEnv env;
    env.maxRequest = maxRequest;
    size_t consumed = 0;
    const int rc = jobWrite ? protocol->encodeWrite(addr, data.data(), data.size(), 0, env, w, &consumed)
                            : protocol->encodeRead(addr, 0, env, w);
    if (rc != PLCTAG_STATUS_OK || (jobWrite && consumed != data.size())) {
        request.resize(begin); // a failing or fragmented write runs alone and says so
        return Pack::Alone;
    }
    jobQueued = false;
    *replyBound = bound;
    *ticket = jobGeneration | (jobWrite ? kTicketWrite : 0);
    return Pack::Packed;
}

void Tag::finishPacked(uint64_t ticket, int status, const uint8_t *reply, size_t n)
{
    const uint32_t gen = static_cast<uint32_t>(ticket);
    if (ticket & kTicketWrite) {
        storeWrite(*this, gen, status == PLCTAG_STATUS_OK ? protocol->decodeWrite(addr, reply, n) : status);
        return;
    }
    Scratch &s = scratch();
    TypeInfo type;
    int rc = status;
    if (rc == PLCTAG_STATUS_OK)
        rc = readInto(*this, Cancel{&generation, gen}, Clock::now() + kJobLimit, s.incoming, &type, reply, n);
    if (storeRead(*this, gen, rc, s.incoming, type) == PLCTAG_STATUS_PENDING)
        startAsync(shared_from_this(), false, gen);
}

bool Tag::requeue(uint64_t ticket)
{
    std::lock_guard<std::mutex> l(m);
    if (generation.load() != static_cast<uint32_t>(ticket))
        return false;
    jobQueued = true;
    jobGeneration = static_cast<uint32_t>(ticket);
    jobWrite = (ticket & kTicketWrite) != 0;
    return true;
}

bool Tag::abandoned(uint64_t ticket) const
{
    return generation.load(std::memory_order_acquire) != static_cast<uint32_t>(ticket);
}

void Tag::cancelJob(int rc)
{
    std::lock_guard<std::mutex> l(m);
    if (!jobQueued)
        return;
    jobQueued = false;
    if (generation.load() == jobGeneration) {
        busy = false;
        status = rc;
    }
}

void cancelOperation(Tag &t, int rc)
{
    bool wasBusy;
    {
        std::lock_guard<std::mutex> l(t.m);
        wasBusy = t.busy;
        t.generation.fetch_add(1);
        t.cacheUntil = Clock::time_point{};
        if (wasBusy) {
            t.busy = false;
            t.status = rc;
        }
    }
    if (wasBusy && t.session)
        t.session->wake();
}

} // namespace plctag

using namespace plctag;

namespace {

int startOperation(int32_t id, int timeout, bool write)
{
    TagPtr t = findTag(id);
    if (!t)
        return PLCTAG_ERR_NOT_FOUND;
    if (timeout < 0)
        return PLCTAG_ERR_BAD_PARAM;
    if (!write && t->readCacheMs > 0) {
        std::lock_guard<std::mutex> l(t->m);
        if (!t->busy && t->haveData && Clock::now() < t->cacheUntil) {
            t->status = PLCTAG_STATUS_OK;
            return PLCTAG_STATUS_OK;
        }
    }
    uint32_t gen;
    int rc = beginOperation(*t, &gen);
    if (rc != PLCTAG_STATUS_OK)
        return rc;
    if (timeout == 0) {
        startAsync(t, write, gen);
        return PLCTAG_STATUS_PENDING;
    }
    return runOperation(*t, write, gen, Clock::now() + std::chrono::milliseconds(timeout));
}

} // namespace

extern "C" {

int plc_tag_read(int32_t id, int timeout)
{
    return startOperation(id, timeout, false);
}

int plc_tag_write(int32_t id, int timeout)
{
    return startOperation(id, timeout, true);
}

int plc_tag_status(int32_t id)
{
    if (id < 0)
        return id;
    TagPtr t = findTag(id);
    if (!t)
        return PLCTAG_ERR_NOT_FOUND;
    std::lock_guard<std::mutex> l(t->m);
    return t->busy ? PLCTAG_STATUS_PENDING : t->status;
}

int plc_tag_abort(int32_t id)
{
    TagPtr t = findTag(id);
    if (!t)
        return PLCTAG_ERR_NOT_FOUND;
    cancelOperation(*t, PLCTAG_ERR_ABORT);
    return PLCTAG_STATUS_OK;
}

} // extern "C"
