// A tag as the C API sees it: its address on the controller, its data buffer and status, the
// session that carries its requests, and the advisory lock of plc_tag_lock.
#pragma once

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

struct Tag {
    int32_t id = 0;
    std::shared_ptr<Session> session;
    std::string sessionKey;
    const Family *family = nullptr;
    const Protocol *protocol = nullptr;
    TagAddress addr;
    int elemSize = 0;
    int elemCount = 1;

    // Data and status, guarded by m.
    std::mutex m;
    std::condition_variable done; // an operation finished
    std::vector<uint8_t> data;
    bool haveData = false;
    int status = 1; // PLCTAG_STATUS_PENDING until the initial read completes

    std::atomic<bool> busy{false};  // a read or write in flight
    std::atomic<bool> abort{false}; // asks the operation in flight to stop
    std::atomic<bool> destroyed{false};

    // plc_tag_lock: recursive, owned by one thread.
    std::mutex lockM;
    std::condition_variable lockCv;
    std::thread::id owner;
    int depth = 0;
};

using TagPtr = std::shared_ptr<Tag>;

// The live tag for a handle, or null.
TagPtr findTag(int32_t id);

// Operations: run on the calling thread with a deadline; return a PLCTAG status.
int runRead(Tag &t, Clock::time_point deadline);
int runWrite(Tag &t, Clock::time_point deadline);
// Marks the end of an operation: stores its status and clears busy.
void finish(Tag &t, int rc);
// Runs an operation on the library's worker thread (timeout 0 calls).
void runAsync(const TagPtr &t, bool write);

} // namespace plctag
