// A tag as the C API sees it: its address on the controller, its data buffer and status, the
// session that carries its requests, and the advisory lock of plc_tag_lock.
//
// Operations: at most one read or write is in flight per tag (`busy`). Each starts under the
// tag's current `generation`; plc_tag_abort and plc_tag_destroy bump it, which cancels the
// operation in flight (its waits notice through the session) and makes the tag free at once.
// An operation only stores its data, status and learnt type field (addr.type) if the
// generation is still its own, so addr is only ever written by the one operation that reads it.
#pragma once

#include "buffer/layout.h"
#include "families/families.h"
#include "protocol/protocol.h"
#include "session/session.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace plctag {

// A one-byte element that may be a bit of a Logix BOOL array's DWORD, until the initial read tells.
struct BoolArrayProbe {
    TagAddress other;     // the address not in use: the DWORD's before the second look, then the element's
    bool looked = false;  // the DWORD has been asked for
    int firstStatus = 0;  // the element's own read
};

struct Tag final : Job, std::enable_shared_from_this<Tag> {
    std::shared_ptr<Session> session;
    const Family *family = nullptr;
    const Protocol *protocol = nullptr;
    TagAddress addr;
    buffer::StringLayout strings; // the family's, or the attributes'
    bool stringsGiven = false;    // by str_* attributes: kept whatever the controller returns
    buffer::ByteOrder byteOrder;
    int elemSize = 0;  // attribute, until a read tells
    int elemCount = 1;
    int connectionGroup = 0;
    int readCacheMs = 0;
    int32_t id = 0;

    std::atomic<uint32_t> generation{1};

    // Guarded by m.
    std::mutex m;
    std::vector<uint8_t> data;
    int status = 1;          // PLCTAG_STATUS_PENDING until the initial read completes
    bool haveData = false;
    bool busy = false;       // a read or write in flight
    bool jobQueued = false;  // an operation waits for the session's thread
    bool jobWrite = false;
    uint32_t jobGeneration = 0;
    uint32_t replyBytes = 0; // data bytes of the last read: what a packed read's reply is sized by
    Clock::time_point cacheUntil{};
    std::unique_ptr<BoolArrayProbe> boolProbe; // only until the initial read ends

    // plc_tag_lock: recursive, owned by one thread; purely advisory. Guarded by m too (no
    // code holding m waits for this lock, so one mutex serves both and saves its bytes). The
    // condition variable is made by the first caller that has to wait: most tags never see
    // one, and its 48 bytes were a tenth of an open tag.
    std::unique_ptr<std::condition_variable> lockCv;
    std::thread::id owner;
    int depth = 0;
    bool gone = false; // destroyed: lock waiters give up

    void runJob() override;
    void cancelJob(int status) override;
    Pack startPacked(std::vector<uint8_t> &request, size_t maxRequest, size_t *replyBound, uint64_t *ticket) override;
    void finishPacked(uint64_t ticket, int status, const uint8_t *reply, size_t n) override;
    bool requeue(uint64_t ticket) override;
    bool abandoned(uint64_t ticket) const override;
};

using TagPtr = std::shared_ptr<Tag>;

// Library state: handles and shared sessions.
TagPtr findTag(int32_t id);
// Registers the tag under a new handle (counting up from 11, never reused while in use).
int32_t addTag(const TagPtr &t);
// Removes the handle; null if it was not there.
TagPtr removeTag(int32_t id);
std::vector<TagPtr> removeAllTags();
// The session for the key, created from cfg when there is none (or when not shared).
std::shared_ptr<Session> attachSession(const std::string &key, const SessionConfig &cfg, bool shared);
// Drops one tag's use of the session; the last user closes it.
void detachSession(const std::shared_ptr<Session> &s);
std::vector<std::shared_ptr<Session>> removeAllSessions();
// Set while plc_tag_shutdown runs: creates are refused.
bool shuttingDown();
void setShuttingDown(bool on);

// Operations (api/operations.cpp).
// Claims the tag for an operation; PLCTAG_ERR_BUSY when one is in flight.
int beginOperation(Tag &t, uint32_t *generation);
// Runs a read or write on the calling thread and stores its outcome; returns its status.
int runOperation(Tag &t, bool write, uint32_t generation, Clock::time_point deadline);
// Hands the claimed operation to the session's thread (timeout 0).
void startAsync(const TagPtr &t, bool write, uint32_t generation);
// Cancels whatever is in flight; the tag is free afterwards.
void cancelOperation(Tag &t, int status);

} // namespace plctag
