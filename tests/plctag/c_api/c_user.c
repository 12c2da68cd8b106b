/*
 * A program written the way a libplctag user writes one, in C99, against <libplctag.h>:
 * create with an attribute string, read, typed getters and setters, strings, write, a read
 * started with timeout 0 and polled, errors, destroy, shutdown. The C API's edge cases are
 * c_api_edge_test.cpp's.
 *
 *   c_user <gateway address>
 *
 * The controller must hold DINT Counter = 12345, REAL Temps[4] = 0.5 1.5 2.5 3.5, STRING
 * Text, SINT Small = -7, LINT Big = -2^40 and no tag named NoSuchTag. The program leaves
 * Counter = -123456 (its bit 3 set and cleared again), Temps[1] = -8.25, Text = "hello
 * from C" and Small = 100. Exit status: the number of failed checks (0 = pass).
 */
#define _POSIX_C_SOURCE 199309L

#include <libplctag.h>

#include <float.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#define TIMEOUT_MS 5000

static int failures = 0;

#define CHECK(cond)                                                             \
    do {                                                                        \
        if (!(cond)) {                                                          \
            fprintf(stderr, "c_user.c:%d: check failed: %s\n", __LINE__, #cond); \
            ++failures;                                                         \
        }                                                                       \
    } while (0)

#define CHECK_RC(call)                                                                           \
    do {                                                                                         \
        int rc_ = (call);                                                                        \
        if (rc_ != PLCTAG_STATUS_OK) {                                                           \
            fprintf(stderr, "c_user.c:%d: %s = %s\n", __LINE__, #call, plc_tag_decode_error(rc_)); \
            ++failures;                                                                          \
        }                                                                                        \
    } while (0)

static double now_ms(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

static int32_t create_tag(const char *gateway, const char *name, int count)
{
    char attrs[256];
    int32_t tag;
    snprintf(attrs, sizeof attrs, "protocol=ab_eip&gateway=%s&path=1,0&plc=ControlLogix&name=%s&elem_count=%d",
             gateway, name, count);
    tag = plc_tag_create(attrs, TIMEOUT_MS);
    if (tag < 0) {
        fprintf(stderr, "create %s: %s\n", name, plc_tag_decode_error(tag));
        ++failures;
    }
    return tag;
}

static void scalars(const char *gateway)
{
    int32_t counter = create_tag(gateway, "Counter", 1);
    int32_t small = create_tag(gateway, "Small", 1);
    int32_t big = create_tag(gateway, "Big", 1);
    if (counter < 0 || small < 0 || big < 0)
        return;
    CHECK(plc_tag_status(counter) == PLCTAG_STATUS_OK);
    CHECK(plc_tag_get_size(counter) == 4);
    CHECK(plc_tag_get_int32(counter, 0) == 12345);
    CHECK(plc_tag_get_uint16(counter, 0) == 12345);
    CHECK(plc_tag_get_int_attribute(counter, "elem_size", 0) == 4);
    CHECK(plc_tag_set_int32(counter, 0, -123456) == PLCTAG_STATUS_OK);
    CHECK_RC(plc_tag_write(counter, TIMEOUT_MS));
    CHECK(plc_tag_set_int32(counter, 0, 0) == PLCTAG_STATUS_OK);
    CHECK_RC(plc_tag_read(counter, TIMEOUT_MS));
    CHECK(plc_tag_get_int32(counter, 0) == -123456);
    CHECK(plc_tag_get_uint32(counter, 0) == (uint32_t)-123456);
    CHECK(plc_tag_get_bit(counter, 6) == 1); /* -123456 = 0xfffe1dc0 */
    CHECK(plc_tag_get_bit(counter, 0) == 0);

    CHECK(plc_tag_get_int8(small, 0) == -7);
    CHECK(plc_tag_get_uint8(small, 0) == 249);
    CHECK(plc_tag_set_uint8(small, 0, 100) == PLCTAG_STATUS_OK);
    CHECK_RC(plc_tag_write(small, TIMEOUT_MS));

    CHECK(plc_tag_get_int64(big, 0) == -(int64_t)1099511627776LL);
    CHECK(plc_tag_get_uint64(big, 0) == (uint64_t)-(int64_t)1099511627776LL);

    CHECK_RC(plc_tag_destroy(counter));
    CHECK_RC(plc_tag_destroy(small));
    CHECK_RC(plc_tag_destroy(big));
}

static void reals_polled(const char *gateway)
{
    int32_t temps = create_tag(gateway, "Temps", 4);
    double start;
    int rc;
    if (temps < 0)
        return;
    CHECK(plc_tag_get_size(temps) == 16);
    CHECK(plc_tag_get_float32(temps, 8) == 2.5f);
    CHECK(plc_tag_get_float32(temps, 13) == FLT_MIN);
    CHECK(plc_tag_set_float32(temps, 4, -8.25f) == PLCTAG_STATUS_OK);
    CHECK_RC(plc_tag_write(temps, TIMEOUT_MS));

    /* A read started without waiting, then polled: PENDING until it completes. */
    CHECK(plc_tag_set_float32(temps, 4, 0.0f) == PLCTAG_STATUS_OK);
    rc = plc_tag_read(temps, 0);
    CHECK(rc == PLCTAG_STATUS_PENDING || rc == PLCTAG_STATUS_OK);
    start = now_ms();
    while (plc_tag_status(temps) == PLCTAG_STATUS_PENDING && now_ms() - start < TIMEOUT_MS) {
        struct timespec pause = {0, 200000};
        nanosleep(&pause, NULL);
    }
    CHECK(plc_tag_status(temps) == PLCTAG_STATUS_OK);
    CHECK(plc_tag_get_float32(temps, 4) == -8.25f);
    CHECK(plc_tag_get_float32(temps, 12) == 3.5f);
    CHECK_RC(plc_tag_destroy(temps));
}

static void strings(const char *gateway)
{
    int32_t text = create_tag(gateway, "Text", 1);
    char buf[100];
    if (text < 0)
        return;
    CHECK(plc_tag_get_size(text) == 88);
    CHECK(plc_tag_get_string_capacity(text, 0) == 82);
    CHECK(plc_tag_get_string_total_length(text, 0) == 88);
    CHECK_RC(plc_tag_set_string(text, 0, "hello from C"));
    CHECK_RC(plc_tag_write(text, TIMEOUT_MS));
    CHECK_RC(plc_tag_set_string(text, 0, ""));
    CHECK_RC(plc_tag_read(text, TIMEOUT_MS));
    CHECK(plc_tag_get_string_length(text, 0) == 12);
    memset(buf, 0, sizeof buf);
    CHECK_RC(plc_tag_get_string(text, 0, buf, (int)sizeof buf));
    CHECK(strcmp(buf, "hello from C") == 0);
    CHECK(plc_tag_set_string(text, 0, "0123456789012345678901234567890123456789"
                                      "01234567890123456789012345678901234567890123") == PLCTAG_ERR_TOO_LARGE);
    CHECK_RC(plc_tag_destroy(text));
}

static void bit_tag(const char *gateway)
{
    int32_t bit = create_tag(gateway, "Counter.3", 1);
    if (bit < 0)
        return;
    CHECK(plc_tag_get_int_attribute(bit, "bit_num", -1) == 3);
    CHECK(plc_tag_get_bit(bit, 0) == 0); /* -123456 has bit 3 clear */
    CHECK(plc_tag_set_bit(bit, 0, 1) == PLCTAG_STATUS_OK);
    CHECK_RC(plc_tag_write(bit, TIMEOUT_MS));
    CHECK_RC(plc_tag_read(bit, TIMEOUT_MS));
    CHECK(plc_tag_get_uint8(bit, 0) == 1);
    CHECK(plc_tag_set_bit(bit, 0, 0) == PLCTAG_STATUS_OK);
    CHECK_RC(plc_tag_write(bit, TIMEOUT_MS));
    CHECK_RC(plc_tag_destroy(bit));
}

static void errors(const char *gateway)
{
    char attrs[256];
    int32_t tag;
    CHECK(plc_tag_check_lib_version(2, 5, 0) == PLCTAG_STATUS_OK);
    CHECK(plc_tag_check_lib_version(3, 0, 0) == PLCTAG_ERR_UNSUPPORTED);
    CHECK(plc_tag_create("protocol=ab_eip&plc=ControlLogix", TIMEOUT_MS) == PLCTAG_ERR_BAD_PARAM);
    CHECK(plc_tag_create("not an attribute string", TIMEOUT_MS) == PLCTAG_ERR_BAD_DATA);

    snprintf(attrs, sizeof attrs, "protocol=ab_eip&gateway=%s&path=1,0&plc=ControlLogix&name=NoSuchTag", gateway);
    tag = plc_tag_create(attrs, TIMEOUT_MS);
    CHECK(tag == PLCTAG_ERR_NOT_FOUND);
    CHECK(plc_tag_status(tag) == tag); /* the status of a failed create is its error */
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s <gateway address>\n", argv[0]);
        return 100;
    }
    scalars(argv[1]);
    reals_polled(argv[1]);
    strings(argv[1]);
    bit_tag(argv[1]);
    errors(argv[1]);
    plc_tag_shutdown();
    if (failures)
        fprintf(stderr, "%d check(s) failed\n", failures);
    return failures > 99 ? 99 : failures;
}
