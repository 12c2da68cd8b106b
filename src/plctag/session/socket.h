// Plain socket steps of a session: name resolution, a non-blocking TCP socket and its
// connect, and deadline arithmetic for ppoll.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <ctime>
#include <string>

namespace plctag::net {

// Dotted IPv4 or a host name (IPv4 only).
bool resolveIpv4(const std::string &host, int port, sockaddr_in *out);
// Non-blocking, close-on-exec, TCP_NODELAY; -1 on failure.
int openTcp();
// PLCTAG_STATUS_OK when connected at once, PLCTAG_STATUS_PENDING while in progress, else
// PLCTAG_ERR_BAD_CONNECTION.
int startConnect(int fd, const sockaddr_in &addr, bool *refused);
// Outcome of a connect that was in progress once the socket became writable.
int connectResult(int fd, bool *refused);

inline timespec toTimespec(std::chrono::steady_clock::duration d)
{
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(d).count();
    timespec ts;
    ts.tv_sec = static_cast<time_t>(ns / 1000000000);
    ts.tv_nsec = static_cast<long>(ns % 1000000000);
    return ts;
}

} // namespace plctag::net
