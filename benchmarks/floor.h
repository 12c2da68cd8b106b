#pragma once
// The network's own cost: a bare TCP request/response of EtherNet/IP sizes on loopback
// between two threads, the same shape as a tag read without any protocol work.

#include <cstddef>

struct FloorServer {
    int listenFd = -1;
    int port = 0;
};

// Round trips per second are measured by the caller; this returns the mean microseconds
// per round trip over `rounds` exchanges of `requestBytes` out and `replyBytes` back.
double measureFloorMicros(const char *address, int rounds, size_t requestBytes = 64, size_t replyBytes = 50);
