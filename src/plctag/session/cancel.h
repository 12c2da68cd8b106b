// What ends a session's waits besides the caller's deadline: the operation's own abort.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace plctag {

using Clock = std::chrono::steady_clock;

// Lets a waiting operation notice that it was aborted: it carries the generation the
// operation started under; any later value means "stop".
struct Cancel {
    const std::atomic<uint32_t> *generation = nullptr;
    uint32_t mine = 0;
    bool (*stop)(const void *context) = nullptr; // another reason to stop, e.g. a packet nobody awaits
    const void *context = nullptr;
    bool requested() const
    {
        return (generation && generation->load(std::memory_order_acquire) != mine) || (stop && stop(context));
    }
};

} // namespace plctag
