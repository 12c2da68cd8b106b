#pragma once
// Minimal IPv4 UDP layer over POSIX sockets. A descriptor is a plain int; negative means none.

#include <QByteArray>
#include <QHostAddress>

#include <netinet/in.h>

namespace posix_net {

// Closes fd when it is 0 or more; a negative descriptor is ignored.
void closeFd(int fd);

// Polls one descriptor for `events`, waiting max(0, timeoutMs) ms. Returns the poll result
// (0 on time-out, negative on error), or -1 when the descriptor only reports an error,
// hang-up or invalid-descriptor condition and none of the requested events.
int pollWait(int fd, short events, int timeoutMs);

// IPv4 socket address; `address` is already in network byte order.
sockaddr_in makeAddr(in_addr const &address, unsigned short port);
// Null and any-addresses (and addresses without an IPv4 value) map to 0.0.0.0.
sockaddr_in makeAddr(QHostAddress const &address, unsigned short port);

QHostAddress hostFromAddr(sockaddr_in const &addr);

// IPv4 UDP socket with SO_REUSEADDR and SO_BROADCAST, bound to bindAddress:port; -1 on failure.
int udpOpen(QHostAddress const &bindAddress, unsigned short port);

// One sendto of all of `data`; true only when every byte went out.
bool udpSendTo(int fd, QByteArray const &data, QHostAddress const &to, unsigned short port);

// Waits up to timeoutMs for one datagram and receives it. `from` and `fromPort` may be null.
bool udpRecvFrom(int fd, int timeoutMs, QByteArray *data, QHostAddress *from, unsigned short *fromPort);

} // namespace posix_net
