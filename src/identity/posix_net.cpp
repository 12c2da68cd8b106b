#include "posix_net.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace posix_net {

void closeFd(int fd)
{
    if (fd >= 0)
        ::close(fd);
}

int pollWait(int fd, short events, int timeoutMs)
{
    if (fd < 0)
        return -1;
    // A signal must neither cut the wait short nor stretch it: re-arm for what is left,
    // measured on the monotonic clock.
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0);
    pollfd p{};
    p.fd = fd;
    p.events = events;
    int rc;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        p.revents = 0;
        rc = ::poll(&p, 1, left > 0 ? static_cast<int>(left) : 0);
        if (rc >= 0 || errno != EINTR)
            break;
        if (Clock::now() >= deadline) {
            rc = 0;
            break;
        }
    }
    if (rc <= 0)
        return rc;
    if ((p.revents & (POLLERR | POLLHUP | POLLNVAL)) && !(p.revents & events))
        return -1;
    return rc;
}

sockaddr_in makeAddr(in_addr const &address, unsigned short port)
{
    sockaddr_in a;
    std::memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr = address;
    return a;
}

sockaddr_in makeAddr(QHostAddress const &address, unsigned short port)
{
    in_addr in{};
    in.s_addr = htonl(INADDR_ANY);
    if (!address.isNull() && address != QHostAddress(QHostAddress::AnyIPv4)
        && address != QHostAddress(QHostAddress::Any)) {
        bool ok = false;
        const quint32 v4 = address.toIPv4Address(&ok);
        if (ok)
            in.s_addr = htonl(v4);
    }
    return makeAddr(in, port);
}

QHostAddress hostFromAddr(sockaddr_in const &addr)
{
    return QHostAddress(static_cast<quint32>(ntohl(addr.sin_addr.s_addr)));
}

int udpOpen(QHostAddress const &bindAddress, unsigned short port)
{
    // CLOEXEC: we live inside the host process and must not leak into its children.
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd < 0)
        return -1;
    const int one = 1;
    (void)::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    (void)::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    const sockaddr_in local = makeAddr(bindAddress, port);
    if (::bind(fd, reinterpret_cast<sockaddr const *>(&local), sizeof local) != 0) {
        closeFd(fd);
        return -1;
    }
    return fd;
}

bool udpSendTo(int fd, QByteArray const &data, QHostAddress const &to, unsigned short port)
{
    if (fd < 0 || data.isEmpty())
        return false;
    const sockaddr_in dest = makeAddr(to, port);
    const ssize_t sent = ::sendto(fd, data.constData(), static_cast<size_t>(data.size()), 0,
                                  reinterpret_cast<sockaddr const *>(&dest), sizeof dest);
    return sent == static_cast<ssize_t>(data.size());
}

bool udpRecvFrom(int fd, int timeoutMs, QByteArray *data, QHostAddress *from, unsigned short *fromPort)
{
    if (fd < 0 || !data)
        return false;
    if (pollWait(fd, POLLIN, timeoutMs) <= 0)
        return false;
    char buffer[65535];
    sockaddr_in peer;
    std::memset(&peer, 0, sizeof peer);
    socklen_t peerLen = sizeof peer;
    // Non-blocking: readiness can be withdrawn (a datagram dropped for a bad checksum), and
    // the wait above is the only one this call may make.
    ssize_t n;
    do {
        n = ::recvfrom(fd, buffer, sizeof buffer, MSG_DONTWAIT, reinterpret_cast<sockaddr *>(&peer), &peerLen);
    } while (n < 0 && errno == EINTR);
    if (n <= 0)
        return false;
    *data = QByteArray(buffer, static_cast<int>(n));
    if (from)
        *from = hostFromAddr(peer);
    if (fromPort)
        *fromPort = ntohs(peer.sin_port);
    return true;
}

} // namespace posix_net
