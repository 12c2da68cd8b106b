// Library debug output to stderr, gated by the global debug level.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace plctag {

extern std::atomic<int> gDebugLevel;

void logLine(int level, int32_t tag, const char *func, int line, const char *fmt, ...)
    __attribute__((format(printf, 5, 6)));

// A hex dump of bytes, 16 to a line, under one log line naming them; long messages are cut.
void logBytes(int level, int32_t tag, const char *func, int line, const char *what, const uint8_t *p, size_t n);

#define PLCTAG_LOG_BYTES(level, tag, what, p, n)                                                                      \
    do {                                                                                                              \
        if (::plctag::gDebugLevel.load(std::memory_order_relaxed) >= (level))                                         \
            ::plctag::logBytes((level), (tag), __func__, __LINE__, (what), (p), (n));                                 \
    } while (0)

#define PLCTAG_LOG(level, tag, ...)                                                                                   \
    do {                                                                                                              \
        if (::plctag::gDebugLevel.load(std::memory_order_relaxed) >= (level))                                         \
            ::plctag::logLine((level), (tag), __func__, __LINE__, __VA_ARGS__);                                       \
    } while (0)

} // namespace plctag
