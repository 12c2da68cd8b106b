/*
 * Public C API of the tag library: the subset of libplctag's API that this
 * project implements, with libplctag's signatures and status numbers, so that
 * programs written for libplctag compile and link against it unchanged.
 */
#ifndef LIBPLCTAG_H
#define LIBPLCTAG_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define LIB_EXPORT __attribute__((visibility("default")))
#else
#define LIB_EXPORT
#endif

/* library version */
#define PLCTAG_VERSION_MAJOR 2
#define PLCTAG_VERSION_MINOR 5
#define PLCTAG_VERSION_PATCH 5

/* status codes */
#define PLCTAG_STATUS_PENDING (1)
#define PLCTAG_STATUS_OK (0)
#define PLCTAG_ERR_ABORT (-1)
#define PLCTAG_ERR_BAD_CONFIG (-2)
#define PLCTAG_ERR_BAD_CONNECTION (-3)
#define PLCTAG_ERR_BAD_DATA (-4)
#define PLCTAG_ERR_BAD_DEVICE (-5)
#define PLCTAG_ERR_BAD_GATEWAY (-6)
#define PLCTAG_ERR_BAD_PARAM (-7)
#define PLCTAG_ERR_BAD_REPLY (-8)
#define PLCTAG_ERR_BAD_STATUS (-9)
#define PLCTAG_ERR_CLOSE (-10)
#define PLCTAG_ERR_CREATE (-11)
#define PLCTAG_ERR_DUPLICATE (-12)
#define PLCTAG_ERR_ENCODE (-13)
#define PLCTAG_ERR_MUTEX_DESTROY (-14)
#define PLCTAG_ERR_MUTEX_INIT (-15)
#define PLCTAG_ERR_MUTEX_LOCK (-16)
#define PLCTAG_ERR_MUTEX_UNLOCK (-17)
#define PLCTAG_ERR_NOT_ALLOWED (-18)
#define PLCTAG_ERR_NOT_FOUND (-19)
#define PLCTAG_ERR_NOT_IMPLEMENTED (-20)
#define PLCTAG_ERR_NO_DATA (-21)
#define PLCTAG_ERR_NO_MATCH (-22)
#define PLCTAG_ERR_NO_MEM (-23)
#define PLCTAG_ERR_NO_RESOURCES (-24)
#define PLCTAG_ERR_NULL_PTR (-25)
#define PLCTAG_ERR_OPEN (-26)
#define PLCTAG_ERR_OUT_OF_BOUNDS (-27)
#define PLCTAG_ERR_READ (-28)
#define PLCTAG_ERR_REMOTE_ERR (-29)
#define PLCTAG_ERR_THREAD_CREATE (-30)
#define PLCTAG_ERR_THREAD_JOIN (-31)
#define PLCTAG_ERR_TIMEOUT (-32)
#define PLCTAG_ERR_TOO_LARGE (-33)
#define PLCTAG_ERR_TOO_SMALL (-34)
#define PLCTAG_ERR_UNSUPPORTED (-35)
#define PLCTAG_ERR_WINSOCK (-36)
#define PLCTAG_ERR_WRITE (-37)
#define PLCTAG_ERR_PARTIAL (-38)
#define PLCTAG_ERR_BUSY (-39)

/* debug levels */
#define PLCTAG_DEBUG_NONE (0)
#define PLCTAG_DEBUG_ERROR (1)
#define PLCTAG_DEBUG_WARN (2)
#define PLCTAG_DEBUG_INFO (3)
#define PLCTAG_DEBUG_DETAIL (4)
#define PLCTAG_DEBUG_SPEW (5)

/* callback events */
#define PLCTAG_EVENT_READ_STARTED (1)
#define PLCTAG_EVENT_READ_COMPLETED (2)
#define PLCTAG_EVENT_WRITE_STARTED (3)
#define PLCTAG_EVENT_WRITE_COMPLETED (4)
#define PLCTAG_EVENT_ABORTED (5)
#define PLCTAG_EVENT_DESTROYED (6)
#define PLCTAG_EVENT_CREATED (7)
#define PLCTAG_EVENT_MAX (8)

LIB_EXPORT const char *plc_tag_decode_error(int err);
LIB_EXPORT void plc_tag_set_debug_level(int debug_level);
LIB_EXPORT int plc_tag_check_lib_version(int req_major, int req_minor, int req_patch);

LIB_EXPORT int32_t plc_tag_create(const char *attrib_str, int timeout);
LIB_EXPORT void plc_tag_shutdown(void);

LIB_EXPORT int plc_tag_lock(int32_t tag);
LIB_EXPORT int plc_tag_unlock(int32_t tag);
LIB_EXPORT int plc_tag_abort(int32_t tag);
LIB_EXPORT int plc_tag_destroy(int32_t tag);
LIB_EXPORT int plc_tag_read(int32_t tag, int timeout);
LIB_EXPORT int plc_tag_status(int32_t tag);
LIB_EXPORT int plc_tag_write(int32_t tag, int timeout);

LIB_EXPORT int plc_tag_get_int_attribute(int32_t tag, const char *attrib_name, int default_value);
LIB_EXPORT int plc_tag_set_int_attribute(int32_t tag, const char *attrib_name, int new_value);
LIB_EXPORT int plc_tag_get_size(int32_t tag);
LIB_EXPORT int plc_tag_set_size(int32_t tag, int new_size);

LIB_EXPORT int plc_tag_get_bit(int32_t tag, int offset_bit);
LIB_EXPORT int plc_tag_set_bit(int32_t tag, int offset_bit, int val);

LIB_EXPORT uint64_t plc_tag_get_uint64(int32_t tag, int offset);
LIB_EXPORT int plc_tag_set_uint64(int32_t tag, int offset, uint64_t val);
LIB_EXPORT int64_t plc_tag_get_int64(int32_t tag, int offset);
LIB_EXPORT int plc_tag_set_int64(int32_t tag, int offset, int64_t val);
LIB_EXPORT uint32_t plc_tag_get_uint32(int32_t tag, int offset);
LIB_EXPORT int plc_tag_set_uint32(int32_t tag, int offset, uint32_t val);
LIB_EXPORT int32_t plc_tag_get_int32(int32_t tag, int offset);
LIB_EXPORT int plc_tag_set_int32(int32_t tag, int offset, int32_t val);
LIB_EXPORT uint16_t plc_tag_get_uint16(int32_t tag, int offset);
LIB_EXPORT int plc_tag_set_uint16(int32_t tag, int offset, uint16_t val);
LIB_EXPORT int16_t plc_tag_get_int16(int32_t tag, int offset);
LIB_EXPORT int plc_tag_set_int16(int32_t tag, int offset, int16_t val);
LIB_EXPORT uint8_t plc_tag_get_uint8(int32_t tag, int offset);
LIB_EXPORT int plc_tag_set_uint8(int32_t tag, int offset, uint8_t val);
LIB_EXPORT int8_t plc_tag_get_int8(int32_t tag, int offset);
LIB_EXPORT int plc_tag_set_int8(int32_t tag, int offset, int8_t val);
LIB_EXPORT double plc_tag_get_float64(int32_t tag, int offset);
LIB_EXPORT int plc_tag_set_float64(int32_t tag, int offset, double val);
LIB_EXPORT float plc_tag_get_float32(int32_t tag, int offset);
LIB_EXPORT int plc_tag_set_float32(int32_t tag, int offset, float val);
LIB_EXPORT int plc_tag_set_raw_bytes(int32_t id, int offset, uint8_t *buffer, int buffer_length);
LIB_EXPORT int plc_tag_get_raw_bytes(int32_t id, int offset, uint8_t *buffer, int buffer_length);

LIB_EXPORT int plc_tag_get_string(int32_t tag_id, int string_start_offset, char *buffer, int buffer_length);
LIB_EXPORT int plc_tag_set_string(int32_t tag_id, int string_start_offset, const char *string_val);
LIB_EXPORT int plc_tag_get_string_length(int32_t tag_id, int string_start_offset);
LIB_EXPORT int plc_tag_get_string_capacity(int32_t tag_id, int string_start_offset);
LIB_EXPORT int plc_tag_get_string_total_length(int32_t tag_id, int string_start_offset);

#ifdef __cplusplus
}
#endif

#endif /* LIBPLCTAG_H */
