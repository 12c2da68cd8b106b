// The tag library as a client that overlaps its requests: plc_tag_read(h, 0) (or write) on
// every tag, then a wait for them all, as libplctag's own examples read many tags. Only the
// public API, so that the same rows measure a system libplctag.
#include "bench.h"

#include <libplctag.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace bench {

namespace {

constexpr int kTags = 1000;
constexpr int kWriteBatch = 100;

// Waits for every tag's operation, in order; exits on a failure or after 10 s.
void waitAll(const std::vector<int32_t> &tags)
{
    const Clock::time_point limit = Clock::now() + std::chrono::seconds(10);
    for (int32_t h : tags) {
        int rc;
        while ((rc = plc_tag_status(h)) == PLCTAG_STATUS_PENDING) {
            if (Clock::now() > limit) {
                std::fprintf(stderr, "overlapped pass: no end after 10 s\n");
                std::exit(1);
            }
            std::this_thread::yield();
        }
        if (rc != PLCTAG_STATUS_OK) {
            std::fprintf(stderr, "overlapped pass: %s\n", plc_tag_decode_error(rc));
            std::exit(1);
        }
    }
}

// One pass in microseconds.
double pass(const std::vector<int32_t> &tags, bool write)
{
    const Clock::time_point start = Clock::now();
    for (int32_t h : tags) {
        const int rc = write ? plc_tag_write(h, 0) : plc_tag_read(h, 0);
        if (rc != PLCTAG_STATUS_PENDING && rc != PLCTAG_STATUS_OK) {
            std::fprintf(stderr, "overlapped pass: start: %s\n", plc_tag_decode_error(rc));
            std::exit(1);
        }
    }
    waitAll(tags);
    return microsSince(start, 1);
}

double medianPass(const std::vector<int32_t> &tags, bool write, int passes)
{
    pass(tags, write); // warm: the session's thread and buffers
    std::vector<double> t;
    for (int i = 0; i < passes; ++i)
        t.push_back(pass(tags, write));
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

std::string fixed(double v, int decimals)
{
    char b[32];
    std::snprintf(b, sizeof b, "%.*f", decimals, v);
    return b;
}

} // namespace

void overlappedLibrary(std::vector<Row> &rows, bool quick)
{
    const char *ip = "127.0.50.4";
    std::vector<absim::TagDef> defs;
    for (int i = 0; i < kTags; ++i)
        defs.push_back(absim::tagDef("P" + std::to_string(i), absim::CipType::Dint, {}, {std::to_string(i)}));
    auto sim = startSim(ip, defs);
    std::vector<int32_t> tags;
    for (int i = 0; i < kTags; ++i) {
        const int32_t h = plc_tag_create(attrs(ip, defs[size_t(i)].name.c_str()).c_str(), 5000);
        if (h < 0) {
            std::fprintf(stderr, "create failed: %s\n", plc_tag_decode_error(h));
            std::exit(1);
        }
        tags.push_back(h);
    }
    const int passes = quick ? 5 : 21;

    const double fast = medianPass(tags, false, passes);
    rows.push_back({"tag library: overlapped pass, 1,000 DINT reads", fast / kTags, 1, 0.1,
                    "per tag: plc_tag_read(h, 0) on each, then wait; " + fixed(fast / 1000, 2) + " ms per pass"});

    sim->setResponseDelayUs(1000);
    const double slow = medianPass(tags, false, quick ? 3 : 7);
    Row r{"tag library: overlapped pass, 1,000 DINT reads, 1 ms ctrl", slow / kTags, 0, 0,
          fixed(slow / 1000, 2) + " ms per pass (target <= 50 ms)"};
    r.missed = slow > 50000;
    rows.push_back(r);
    sim->setResponseDelayUs(0);

    // Round trips are counted at the controller: every encapsulation message it received.
    const std::vector<int32_t> batch(tags.begin(), tags.begin() + kWriteBatch);
    for (int32_t h : batch)
        plc_tag_set_int32(h, 0, h);
    pass(batch, true);
    const uint64_t before = sim->requestCount();
    const int batches = quick ? 5 : 20;
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < batches; ++i)
        pass(batch, true);
    const double perBatch = microsSince(start, batches);
    const double trips = double(sim->requestCount() - before) / batches;
    Row w{"tag library: overlapped write batch, 100 DINT tags", perBatch, 0, 0,
          fixed(trips, 1) + " round trips per batch (target <= 5)"};
    w.missed = trips > 5;
    rows.push_back(w);

    for (int32_t h : tags)
        plc_tag_destroy(h);
}

} // namespace bench
