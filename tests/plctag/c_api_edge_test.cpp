// Edge cases of the C API as libplctag gives them: handles that never were or are gone,
// accessors out of bounds, operations started with timeout 0, timeouts against a controller
// that does not answer, plc_tag_lock, and packed passes of operations started with timeout 0;
// many threads on one session are tests/reliability's. Each test has its own simulator on an
// address of its own.
#include "sim_helper.h"

#include <libplctag.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cfloat>
#include <climits>
#include <cstring>
#include <future>
#include <vector>

using absim::CipType;
using absim::Personality;
using plctag_test::tagDef;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

constexpr int kTimeout = 5000;

std::string attrs(const char *ip, const char *name, const char *extra = "")
{
    return std::string("protocol=ab_eip&gateway=") + ip + "&path=1,0&plc=ControlLogix&name=" + name + extra;
}

// Every test ends in plc_tag_shutdown and the next one starts the library again.
class CApi : public ::testing::Test {
protected:
    void TearDown() override
    {
        plc_tag_shutdown();
        sim.reset();
    }
    absim::Simulator &start(const char *ip, std::vector<absim::TagDef> tags,
                            Personality p = Personality::ControlLogix)
    {
        std::string error;
        sim = plctag_test::startSimulator(ip, p, std::move(tags), &error);
        EXPECT_TRUE(sim) << error;
        return *sim;
    }
    static bool settles(int32_t h) // waits, bounded, while the tag is PENDING
    {
        return eventually([&] { return plc_tag_status(h) != PLCTAG_STATUS_PENDING; }, kTimeout);
    }
    static long long msSince(Clock::time_point t)
    {
        return std::chrono::duration_cast<milliseconds>(Clock::now() - t).count();
    }
    std::unique_ptr<absim::Simulator> sim;
};

// What every call gives for a handle that does not (or no longer) exist.
void expectGone(int32_t h)
{
    EXPECT_EQ(plc_tag_status(h), PLCTAG_ERR_NOT_FOUND);
    EXPECT_EQ(plc_tag_read(h, 100), PLCTAG_ERR_NOT_FOUND);
    EXPECT_EQ(plc_tag_write(h, 0), PLCTAG_ERR_NOT_FOUND);
    EXPECT_EQ(plc_tag_lock(h), PLCTAG_ERR_NOT_FOUND);
    EXPECT_EQ(plc_tag_unlock(h), PLCTAG_ERR_NOT_FOUND);
    EXPECT_EQ(plc_tag_destroy(h), PLCTAG_ERR_NOT_FOUND);
    EXPECT_EQ(plc_tag_get_size(h), PLCTAG_ERR_NOT_FOUND);
    EXPECT_EQ(plc_tag_get_int32(h, 0), INT32_MIN);
    EXPECT_EQ(plc_tag_set_int32(h, 0, 1), PLCTAG_ERR_NOT_FOUND);
    EXPECT_EQ(plc_tag_set_float64(h, 0, 1.0), PLCTAG_ERR_NOT_FOUND);
    EXPECT_EQ(plc_tag_get_bit(h, 0), PLCTAG_ERR_NOT_FOUND);
    EXPECT_EQ(plc_tag_get_int_attribute(h, "size", 77), 77);
    EXPECT_EQ(plc_tag_get_string_length(h, 0), PLCTAG_ERR_NOT_FOUND);
    EXPECT_EQ(plc_tag_set_string(h, 0, "x"), PLCTAG_ERR_NOT_FOUND);
    char buf[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(plc_tag_get_string(h, 0, buf, 4), PLCTAG_ERR_NOT_FOUND);
    EXPECT_EQ(std::string(buf, 4), "abcd") << "the caller's buffer is left untouched";
}

} // namespace

TEST_F(CApi, HandlesThatNeverWereAndArgumentChecks)
{
    expectGone(12345);
    EXPECT_EQ(plc_tag_status(0), PLCTAG_ERR_NOT_FOUND);
    EXPECT_EQ(plc_tag_status(PLCTAG_ERR_TIMEOUT), PLCTAG_ERR_TIMEOUT) << "a negative handle is its own status";
    for (int32_t h : {0, -1, 0x0FFFFFFF})
        EXPECT_EQ(plc_tag_destroy(h), PLCTAG_ERR_NULL_PTR) << h;

    // Refused before any connection is attempted.
    EXPECT_EQ(plc_tag_create(nullptr, kTimeout), PLCTAG_ERR_TOO_SMALL);
    EXPECT_EQ(plc_tag_create("", kTimeout), PLCTAG_ERR_TOO_SMALL);
    EXPECT_EQ(plc_tag_create(attrs("127.0.20.10", "X").c_str(), -1), PLCTAG_ERR_BAD_PARAM);
    EXPECT_EQ(plc_tag_create("protocol=ab_eip&gateway=", kTimeout), PLCTAG_ERR_BAD_DATA);
    EXPECT_EQ(plc_tag_create("protocol=ab_eip&gateway=127.0.20.10&plc=flux&name=X", kTimeout), PLCTAG_ERR_CREATE);
}

TEST_F(CApi, RefusalsTheControllerAnswersEndAtOnce)
{
    start("127.0.142.1", {tagDef("Counter", CipType::Dint, {}, {"5"})});
    const std::string gw = "protocol=ab_eip&gateway=127.0.142.1";
    const struct {
        std::string attrs;
        int status;
    } cases[] = {
        {gw + "&path=1,5&plc=ControlLogix&name=Counter", PLCTAG_ERR_BAD_GATEWAY},       // Forward Open: empty slot
        {gw + "&path=2,0&plc=ControlLogix&name=Counter", PLCTAG_ERR_BAD_GATEWAY},       // Forward Open: no such port
        {gw + "&path=1,5&plc=ControlLogix&use_connected_msg=0&name=Counter", PLCTAG_ERR_BAD_GATEWAY}, // Unconnected Send
        {gw + "&path=1,5&plc=lgxpccc&name=N7:0", PLCTAG_ERR_BAD_GATEWAY},
        {gw + "&path=1,0&plc=ControlLogix&use_connected_msg=0&name=Missing", PLCTAG_ERR_NOT_FOUND},
        // A host that refuses TCP (up, no service): at once, and again while the retry waits.
        {"protocol=ab_eip&gateway=127.20.9.9&path=1,0&plc=ControlLogix&name=Counter", PLCTAG_ERR_BAD_CONNECTION},
        {"protocol=ab_eip&gateway=127.20.9.9&path=1,0&plc=ControlLogix&name=Counter", PLCTAG_ERR_BAD_CONNECTION},
    };
    for (const auto &c : cases) {
        const auto t0 = Clock::now();
        EXPECT_EQ(plc_tag_create(c.attrs.c_str(), kTimeout), c.status) << c.attrs;
        EXPECT_LT(msSince(t0), 1000) << c.attrs << ": not waited out";
    }
}

TEST_F(CApi, OmronArrayWholeWithoutAnIndexAndFromAnIndexWithItsCount)
{
    // The simulated NJ refuses a count above 1 for an array named without an index, as NJs do.
    start("127.20.9.1", {tagDef("Arr", CipType::Dint, {4}, {"1", "2", "3", "4"})}, Personality::OmronNJ);
    const struct {
        const char *name;
        int count;
        std::vector<int32_t> values;
    } cases[] = {{"Arr", 4, {1, 2, 3, 4}}, {"Arr[1]", 3, {2, 3, 4}}, {"Arr[2]", 1, {3}}};
    for (const auto &c : cases) {
        const std::string a = std::string("protocol=ab_eip&gateway=127.20.9.1&path=1,0&plc=omron-njnx&elem_size=4") +
                              "&elem_count=" + std::to_string(c.count) + "&name=" + c.name;
        const int32_t h = plc_tag_create(a.c_str(), kTimeout);
        ASSERT_GT(h, 0) << c.name << ": " << plc_tag_decode_error(h);
        ASSERT_EQ(plc_tag_get_size(h), 4 * c.count) << c.name;
        for (int i = 0; i < c.count; ++i)
            EXPECT_EQ(plc_tag_get_int32(h, 4 * i), c.values[size_t(i)]) << c.name << "[" << i << "]";
    }
}

// What a program may ask of the library and of a tag besides its data; a raised debug level
// logs and changes nothing else.
TEST_F(CApi, LibraryAndTagAttributes)
{
    absim::Simulator &s = start("127.23.0.2", {tagDef("Arr", CipType::Dint, {3}, {"1", "2", "3"})});
    EXPECT_EQ(plc_tag_check_lib_version(PLCTAG_VERSION_MAJOR, 0, 0), PLCTAG_STATUS_OK);
    EXPECT_EQ(plc_tag_get_int_attribute(0, "Version_Major", -1), PLCTAG_VERSION_MAJOR);
    plc_tag_set_debug_level(PLCTAG_DEBUG_SPEW + 3);
    EXPECT_EQ(plc_tag_get_int_attribute(0, "debug", -1), PLCTAG_DEBUG_SPEW) << "clamped";
    const int32_t h = plc_tag_create(attrs("127.23.0.2", "Arr", "&elem_size=4&elem_count=3").c_str(), kTimeout);
    EXPECT_EQ(plc_tag_set_int_attribute(0, "debug_level", PLCTAG_DEBUG_NONE), PLCTAG_STATUS_OK);
    ASSERT_GT(h, 0);
    EXPECT_EQ(plc_tag_get_int32(h, 8), 3);
    EXPECT_EQ(plc_tag_get_int_attribute(h, "size", -1), 12);
    EXPECT_EQ(plc_tag_set_int_attribute(h, "read_cache_ms", 60000), PLCTAG_STATUS_OK);
    ASSERT_EQ(plc_tag_read(h, kTimeout), PLCTAG_STATUS_OK);
    const uint64_t requests = s.requestCount();
    EXPECT_EQ(plc_tag_read(h, kTimeout), PLCTAG_STATUS_OK);
    EXPECT_EQ(s.requestCount(), requests) << "within read_cache_ms of a read, the buffer answers";
    EXPECT_EQ(plc_tag_set_int_attribute(h, "elem_count", 1), PLCTAG_ERR_UNSUPPORTED);
}

TEST_F(CApi, AccessorsOutOfBounds)
{
    start("127.0.20.12", {tagDef("Counter", CipType::Dint, {}, {"-2"}), tagDef("Text", CipType::String)});
    const int32_t h = plc_tag_create(attrs("127.0.20.12", "Counter").c_str(), kTimeout);
    ASSERT_GT(h, 0);
    ASSERT_EQ(plc_tag_get_size(h), 4);
    EXPECT_EQ(plc_tag_get_int32(h, 1), INT32_MIN);
    EXPECT_EQ(plc_tag_status(h), PLCTAG_ERR_OUT_OF_BOUNDS) << "the getter's verdict is the tag status";
    EXPECT_EQ(plc_tag_get_int32(h, 0), -2);
    EXPECT_EQ(plc_tag_status(h), PLCTAG_STATUS_OK);
    EXPECT_EQ(plc_tag_get_uint16(h, 3), UINT16_MAX);
    EXPECT_EQ(plc_tag_get_uint8(h, 3), 0xff) << "the last byte is in range";
    EXPECT_EQ(plc_tag_get_int64(h, 0), INT64_MIN);
    EXPECT_EQ(plc_tag_get_float64(h, 0), DBL_MIN);
    EXPECT_EQ(plc_tag_get_float32(h, 1), FLT_MIN);
    EXPECT_EQ(plc_tag_set_int32(h, 1, 7), PLCTAG_ERR_OUT_OF_BOUNDS);
    EXPECT_EQ(plc_tag_status(h), PLCTAG_ERR_OUT_OF_BOUNDS);
    EXPECT_EQ(plc_tag_set_float64(h, -4, 1.0), PLCTAG_ERR_OUT_OF_BOUNDS);
    EXPECT_EQ(plc_tag_get_int32(h, 0), -2) << "a refused setter leaves the buffer alone";
    EXPECT_EQ(plc_tag_get_bit(h, 31), 1);
    EXPECT_EQ(plc_tag_get_bit(h, 32), PLCTAG_ERR_OUT_OF_BOUNDS);
    EXPECT_EQ(plc_tag_set_bit(h, -1, 1), PLCTAG_ERR_OUT_OF_BOUNDS);
    uint8_t raw[8] = {};
    EXPECT_EQ(plc_tag_get_raw_bytes(h, 0, nullptr, 4), PLCTAG_ERR_NULL_PTR);
    EXPECT_EQ(plc_tag_get_raw_bytes(h, 0, raw, 0), PLCTAG_ERR_BAD_PARAM);
    EXPECT_EQ(plc_tag_get_raw_bytes(h, 1, raw, 4), PLCTAG_ERR_OUT_OF_BOUNDS);
    EXPECT_EQ(plc_tag_get_raw_bytes(h, 0, raw, 4), PLCTAG_STATUS_OK);
    EXPECT_EQ(raw[0], 0xfe);
    EXPECT_EQ(plc_tag_get_int_attribute(h, "no such attribute", 9), 9);
    EXPECT_EQ(plc_tag_status(h), PLCTAG_ERR_UNSUPPORTED);
    EXPECT_EQ(plc_tag_set_size(h, -1), PLCTAG_ERR_BAD_PARAM);
    EXPECT_EQ(plc_tag_set_size(h, 8), 4) << "returns the old size";
    EXPECT_EQ(plc_tag_get_size(h), 8);

    const int32_t s = plc_tag_create(attrs("127.0.20.12", "Text").c_str(), kTimeout);
    ASSERT_GT(s, 0);
    EXPECT_EQ(plc_tag_set_string(s, 0, nullptr), PLCTAG_ERR_NULL_PTR);
    char buf[8];
    EXPECT_EQ(plc_tag_get_string(s, 0, nullptr, 8), PLCTAG_ERR_NULL_PTR);
    EXPECT_EQ(plc_tag_get_string(s, 90, buf, 8), PLCTAG_ERR_OUT_OF_BOUNDS);
    EXPECT_EQ(plc_tag_get_string_length(s, 100), PLCTAG_ERR_OUT_OF_BOUNDS);
}

TEST_F(CApi, TimeoutZeroIsPendingThenStatus)
{
    absim::Simulator &s = start("127.0.20.13", {tagDef("Counter", CipType::Dint, {}, {"42"})});
    s.setResponseDelayMs(100); // keeps every operation PENDING long enough to look at it
    const int32_t h = plc_tag_create(attrs("127.0.20.13", "Counter").c_str(), 0);
    ASSERT_GT(h, 0);
    EXPECT_EQ(plc_tag_status(h), PLCTAG_STATUS_PENDING);
    EXPECT_EQ(plc_tag_get_size(h), 0) << "no data before the first read";
    EXPECT_EQ(plc_tag_get_int32(h, 0), INT32_MIN);
    EXPECT_EQ(plc_tag_read(h, 0), PLCTAG_ERR_BUSY) << "the initial read is still in flight";
    ASSERT_TRUE(settles(h));
    EXPECT_EQ(plc_tag_status(h), PLCTAG_STATUS_OK);
    EXPECT_EQ(plc_tag_get_int32(h, 0), 42);

    plc_tag_set_int32(h, 0, 43);
    EXPECT_EQ(plc_tag_write(h, 0), PLCTAG_STATUS_PENDING);
    EXPECT_EQ(plc_tag_write(h, 0), PLCTAG_ERR_BUSY);
    ASSERT_TRUE(settles(h));
    EXPECT_EQ(plc_tag_status(h), PLCTAG_STATUS_OK);
    EXPECT_EQ(s.getInt("Counter"), 43);

    s.setInt("Counter", 44);
    EXPECT_EQ(plc_tag_read(h, 0), PLCTAG_STATUS_PENDING);
    EXPECT_EQ(plc_tag_abort(h), PLCTAG_STATUS_OK);
    EXPECT_NE(plc_tag_status(h), PLCTAG_STATUS_PENDING) << "an abort frees the tag";
    EXPECT_EQ(plc_tag_read(h, kTimeout), PLCTAG_STATUS_OK) << "and the next read works";
    EXPECT_EQ(plc_tag_get_int32(h, 0), 44);
}

// A tag whose first read failed has no type yet: a write asks the controller for it first, and
// refuses a buffer that is not the size of the controller's tag.
TEST_F(CApi, AWriteBeforeAnyGoodReadLearnsTheTypeFirst)
{
    absim::Simulator &s = start("127.28.1.1", {tagDef("Counter", CipType::Dint, {}, {"1"})});
    s.setTagError("Counter", 0x05);
    const int32_t h = plc_tag_create(attrs("127.28.1.1", "Counter").c_str(), 0);
    ASSERT_GT(h, 0);
    ASSERT_TRUE(settles(h));
    EXPECT_EQ(plc_tag_status(h), PLCTAG_ERR_NOT_FOUND);
    s.clearFaults();
    EXPECT_EQ(plc_tag_write(h, kTimeout), PLCTAG_ERR_BAD_DATA) << "an empty buffer for a DINT";
    EXPECT_EQ(plc_tag_set_size(h, 4), 0);
    plc_tag_set_int32(h, 0, 77);
    EXPECT_EQ(plc_tag_write(h, kTimeout), PLCTAG_STATUS_OK);
    EXPECT_EQ(s.getInt("Counter"), 77);
}

// The bounds allow for a loaded machine; the point is that the call returns at its timeout,
// neither early nor only after some internal retry period.
TEST_F(CApi, TimeoutsAreHonouredAgainstASilentController)
{
    absim::Simulator &s = start("127.0.20.14", {tagDef("Counter", CipType::Dint, {}, {"1"})});
    const int32_t h = plc_tag_create(attrs("127.0.20.14", "Counter").c_str(), kTimeout);
    ASSERT_GT(h, 0);
    s.setMute(true);
    for (int timeout : {150, 300}) {
        const auto t0 = Clock::now();
        EXPECT_EQ(plc_tag_read(h, timeout), PLCTAG_ERR_TIMEOUT);
        EXPECT_GE(msSince(t0), timeout);
        EXPECT_LT(msSince(t0), timeout + 100);
        EXPECT_EQ(plc_tag_status(h), PLCTAG_ERR_TIMEOUT) << "no stuck PENDING after a timeout";
    }
    auto t0 = Clock::now();
    EXPECT_EQ(plc_tag_write(h, 200), PLCTAG_ERR_TIMEOUT);
    EXPECT_GE(msSince(t0), 200);
    EXPECT_LT(msSince(t0), 300);
    t0 = Clock::now();
    EXPECT_EQ(plc_tag_create(attrs("127.0.20.14", "Counter", "&share_session=0").c_str(), 250), PLCTAG_ERR_TIMEOUT);
    EXPECT_GE(msSince(t0), 250);
    EXPECT_LT(msSince(t0), 350);

    s.setMute(false);
    EXPECT_EQ(plc_tag_read(h, kTimeout), PLCTAG_STATUS_OK) << "the controller answers again";
}

TEST_F(CApi, LockIsRecursiveOwnedAndAdvisory)
{
    start("127.0.20.16", {tagDef("Counter", CipType::Dint, {}, {"3"})});
    const int32_t h = plc_tag_create(attrs("127.0.20.16", "Counter").c_str(), kTimeout);
    ASSERT_GT(h, 0);
    ASSERT_EQ(plc_tag_lock(h), PLCTAG_STATUS_OK);
    ASSERT_EQ(plc_tag_lock(h), PLCTAG_STATUS_OK) << "the owner may lock again";
    EXPECT_EQ(std::async(std::launch::async, [&] { return plc_tag_unlock(h); }).get(), PLCTAG_ERR_MUTEX_UNLOCK)
        << "only the owner unlocks";
    // Another thread's read is not held up by the lock.
    EXPECT_EQ(std::async(std::launch::async, [&] { return plc_tag_read(h, kTimeout); }).get(), PLCTAG_STATUS_OK);

    std::atomic<bool> locked{false};
    auto waiter = std::async(std::launch::async, [&] {
        const int rc = plc_tag_lock(h);
        locked = true;
        return rc == PLCTAG_STATUS_OK ? plc_tag_unlock(h) : rc;
    });
    EXPECT_EQ(waiter.wait_for(milliseconds(50)), std::future_status::timeout) << "a second thread waits";
    EXPECT_EQ(plc_tag_unlock(h), PLCTAG_STATUS_OK);
    EXPECT_FALSE(locked) << "still held once";
    EXPECT_EQ(plc_tag_unlock(h), PLCTAG_STATUS_OK);
    ASSERT_EQ(waiter.wait_for(milliseconds(kTimeout)), std::future_status::ready);
    EXPECT_EQ(waiter.get(), PLCTAG_STATUS_OK);
    EXPECT_EQ(plc_tag_unlock(h), PLCTAG_ERR_MUTEX_UNLOCK) << "one unlock too many";

    // Destroy while locked: waiters give up, the owner's unlock finds no tag.
    ASSERT_EQ(plc_tag_lock(h), PLCTAG_STATUS_OK);
    auto blocked = std::async(std::launch::async, [&] { return plc_tag_lock(h); });
    EXPECT_EQ(blocked.wait_for(milliseconds(20)), std::future_status::timeout);
    EXPECT_EQ(plc_tag_destroy(h), PLCTAG_STATUS_OK);
    ASSERT_EQ(blocked.wait_for(milliseconds(kTimeout)), std::future_status::ready);
    EXPECT_EQ(blocked.get(), PLCTAG_ERR_NOT_FOUND);
    EXPECT_EQ(plc_tag_unlock(h), PLCTAG_ERR_NOT_FOUND);
}

namespace {

// A tag's status and buffer, as a client sees them after an operation.
struct Seen {
    int status;
    std::vector<uint8_t> bytes;
    bool operator==(const Seen &o) const { return status == o.status && bytes == o.bytes; }
};

std::vector<Seen> look(const std::vector<int32_t> &tags)
{
    std::vector<Seen> out;
    for (int32_t h : tags) {
        Seen s{plc_tag_status(h), {}};
        for (int i = 0; i < plc_tag_get_size(h); ++i)
            s.bytes.push_back(plc_tag_get_uint8(h, i));
        out.push_back(s);
    }
    return out;
}

// Starts the operation on every tag with timeout 0, then waits for them all.
void overlapped(const std::vector<int32_t> &tags, bool write)
{
    for (int32_t h : tags)
        EXPECT_EQ(write ? plc_tag_write(h, 0) : plc_tag_read(h, 0), PLCTAG_STATUS_PENDING);
    for (int32_t h : tags)
        EXPECT_TRUE(eventually([&] { return plc_tag_status(h) != PLCTAG_STATUS_PENDING; }, kTimeout));
}

} // namespace

// Operations started with timeout 0 go out packed where the family allows it, and a pass gives
// exactly what one read at a time gives: a failing tag fails alone, an array too big for a
// packet is read in fragments on its own, writes all land. 127.0.160.x.
TEST_F(CApi, OverlappedPassesArePackedAndMatchOneAtATime)
{
    const char *ip = "127.0.160.1";
    std::vector<absim::TagDef> defs;
    std::vector<std::string> names;
    for (int i = 0; i < 300; ++i) {
        defs.push_back(tagDef("D" + std::to_string(i), CipType::Dint, {}, {std::to_string(i * 7 - 100)}));
        names.push_back(defs.back().name);
        if (i == 150) {
            defs.push_back(tagDef("Big", CipType::Dint, {1500}, {"1", "2", "3"}));
            defs.push_back(tagDef("Text", CipType::String, {}, {"hello"}));
            defs.push_back(tagDef("Flags", CipType::Dint, {}, {"8"}));
            defs.push_back(tagDef("Bad", CipType::Dint, {}, {"5"}));
            defs.push_back(tagDef("Mid", CipType::Real, {500}, {"1.5", "-2"}));
            names.insert(names.end(), {"Big&elem_count=1500", "Text", "Flags.3", "Bad", "Mid&elem_count=500"});
        }
    }
    absim::Simulator &s = start(ip, defs);
    std::vector<int32_t> tags;
    for (const std::string &n : names) {
        tags.push_back(plc_tag_create(attrs(ip, n.c_str()).c_str(), kTimeout));
        ASSERT_GT(tags.back(), 0) << n;
    }
    s.setTagError("Bad", 0xFF, 0x2105);
    auto spoil = [&] { // so that only what a read stores is seen
        for (int32_t h : tags)
            for (int i = 0; i < plc_tag_get_size(h); ++i)
                plc_tag_set_uint8(h, i, 0xEE);
    };

    spoil();
    for (int32_t h : tags)
        plc_tag_read(h, kTimeout);
    const std::vector<Seen> oneAtATime = look(tags);
    EXPECT_EQ(oneAtATime[154].status, PLCTAG_ERR_OUT_OF_BOUNDS);
    spoil();
    s.setResponseDelayMs(20); // the pass queues while the first request is on its way
    uint64_t before = s.requestCount();
    overlapped(tags, false);
    EXPECT_LE(s.requestCount() - before, 8u) << "305 reads in a few packets";
    const std::vector<Seen> packed = look(tags);
    for (size_t i = 0; i < tags.size(); ++i)
        EXPECT_EQ(packed[i], oneAtATime[i]) << names[i];

    for (size_t i = 0; i < tags.size(); ++i) {
        if (names[i][0] == 'D')
            plc_tag_set_int32(tags[i], 0, int32_t(i * 11 + 1));
    }
    before = s.requestCount();
    overlapped(tags, true);
    EXPECT_LE(s.requestCount() - before, 8u);
    for (size_t i = 0; i < tags.size(); ++i) {
        EXPECT_EQ(plc_tag_status(tags[i]), names[i] == "Bad" ? PLCTAG_ERR_OUT_OF_BOUNDS : PLCTAG_STATUS_OK) << names[i];
        if (names[i][0] == 'D') {
            EXPECT_EQ(s.getInt(names[i]), int32_t(i * 11 + 1)) << names[i];
        }
    }
}

// Per family: Omron packs at most 32 services, Micro800 and allow_packing=0 not at all.
TEST_F(CApi, PackingFollowsTheFamily)
{
    struct Case {
        Personality personality;
        const char *ip;
        const char *attrs; // before the name
        uint64_t minTrips, maxTrips;
    } const cases[] = {
        {Personality::OmronNJ, "127.0.160.2", "path=1,0&plc=omron-njnx", 2, 3},
        {Personality::Micro800, "127.0.160.3", "plc=micro800", 40, 40},
        {Personality::ControlLogix, "127.0.160.4", "path=1,0&plc=controllogix&allow_packing=0", 40, 40},
    };
    for (const Case &c : cases) {
        std::vector<absim::TagDef> defs;
        for (int i = 0; i < 40; ++i)
            defs.push_back(tagDef("N" + std::to_string(i), CipType::Dint, {}, {std::to_string(i)}));
        absim::Simulator &s = start(c.ip, defs, c.personality);
        std::vector<int32_t> tags;
        for (const absim::TagDef &d : defs) {
            const std::string a = std::string("protocol=ab_eip&gateway=") + c.ip + "&" + c.attrs + "&name=" + d.name;
            tags.push_back(plc_tag_create(a.c_str(), kTimeout));
            ASSERT_GT(tags.back(), 0) << c.ip;
        }
        s.setResponseDelayMs(20);
        const uint64_t before = s.requestCount();
        overlapped(tags, false);
        EXPECT_GE(s.requestCount() - before, c.minTrips) << c.attrs;
        EXPECT_LE(s.requestCount() - before, c.maxTrips) << c.attrs;
        for (size_t i = 0; i < tags.size(); ++i)
            EXPECT_EQ(plc_tag_get_int32(tags[i], 0), int32_t(i)) << c.attrs;
        plc_tag_shutdown();
        sim.reset();
    }
}
