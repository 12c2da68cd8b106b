#pragma once
// Symbols of the host library stay visible even when a plugin is compiled with
// -fvisibility=hidden, so that its references bind to the host's definitions.
#if defined(__GNUC__)
#define ZELHOST_EXPORT __attribute__((visibility("default")))
#else
#define ZELHOST_EXPORT
#endif
