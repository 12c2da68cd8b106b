#include "util/log.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

namespace plctag {

std::atomic<int> gDebugLevel{0};

namespace {
const char *levelName(int level)
{
    static const char *const names[] = {"NONE", "ERROR", "WARN", "INFO", "DETAIL", "SPEW"};
    return level >= 0 && level <= 5 ? names[level] : "SPEW";
}
} // namespace

void logLine(int level, int32_t tag, const char *func, int line, const char *fmt, ...)
{
    char msg[512];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(msg, sizeof msg, fmt, ap);
    va_end(ap);
    // The wall clock is only printed here, never used for waits.
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    struct tm tm;
    localtime_r(&tv.tv_sec, &tm);
    std::fprintf(stderr, "%04d-%02d-%02d %02d:%02d:%02d.%03d thread(%ld) tag(%d) %s %s:%d %s\n", tm.tm_year + 1900,
                 tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(tv.tv_usec / 1000),
                 static_cast<long>(syscall(SYS_gettid)), tag, levelName(level), func, line, msg);
}

void logBytes(int level, int32_t tag, const char *func, int line, const char *what, const uint8_t *p, size_t n)
{
    constexpr size_t kMaxDump = 512;
    const size_t shown = n < kMaxDump ? n : kMaxDump;
    logLine(level, tag, func, line, "%s (%zu bytes%s):", what, n, shown < n ? ", first 512" : "");
    for (size_t at = 0; at < shown; at += 16) {
        char text[16 * 3 + 1];
        size_t used = 0;
        for (size_t i = at; i < shown && i < at + 16; ++i)
            used += static_cast<size_t>(std::snprintf(text + used, sizeof text - used, " %02x", p[i]));
        text[used] = 0;
        std::fprintf(stderr, "    %04zx:%s\n", at, text);
    }
}

} // namespace plctag
