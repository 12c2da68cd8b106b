#pragma once
// Raw bytes on loopback sockets for the simulator tests: little-endian append and read, the
// encapsulation wrappers, and TCP / UDP clients whose every wait is bounded by a deadline on
// the monotonic clock. Hex notation: hex.h.
#include "hex.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace wire {

using Clock = std::chrono::steady_clock;

constexpr int kReplyMs = 2000;  // how long a reply may take
constexpr int kSilenceMs = 300; // how long "no reply" is watched for

inline Bytes operator+(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline Bytes le(uint64_t v, size_t n)
{
    Bytes b;
    for (size_t i = 0; i < n; ++i)
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return b;
}
inline Bytes le16(uint16_t v) { return le(v, 2); }
inline Bytes le32(uint32_t v) { return le(v, 4); }

// Little-endian field of n <= 8 bytes; bytes past the end read as zero.
inline uint64_t rd(const Bytes &b, size_t at, size_t n)
{
    uint64_t v = 0;
    for (size_t i = 0; i < n && i < 8 && at + i < b.size(); ++i)
        v |= uint64_t(b[at + i]) << (8 * i);
    return v;
}
inline uint16_t rd16(const Bytes &b, size_t at) { return static_cast<uint16_t>(rd(b, at, 2)); }
inline uint32_t rd32(const Bytes &b, size_t at) { return static_cast<uint32_t>(rd(b, at, 4)); }

inline Bytes slice(const Bytes &b, size_t at, size_t n = SIZE_MAX)
{
    if (at >= b.size())
        return {};
    return Bytes(b.begin() + long(at), b.begin() + long(std::min(b.size(), at + std::min(n, b.size() - at))));
}

// The 24-byte encapsulation header followed by its data.
inline Bytes encap(uint16_t command, uint32_t session, const Bytes &data, uint64_t context = 0, uint32_t status = 0,
                   uint32_t options = 0)
{
    return le16(command) + le16(static_cast<uint16_t>(data.size())) + le32(session) + le32(status) + le(context, 8) +
           le32(options) + data;
}

// SendRRData: interface handle 0, timeout, null address item, unconnected data item.
inline Bytes sendRRData(uint32_t session, const Bytes &mr, uint64_t context, uint16_t timeout = 5)
{
    return encap(0x6F, session,
                 le32(0) + le16(timeout) + hex("02 00 00 00 00 00 b2 00") + le16(static_cast<uint16_t>(mr.size())) + mr,
                 context);
}

// SendUnitData: connected address item with the id, connected data item with the sequence count.
inline Bytes sendUnitData(uint32_t session, uint32_t connectionId, uint16_t sequence, const Bytes &mr)
{
    return encap(0x70, session,
                 le32(0) + le16(0) + hex("02 00 a1 00 04 00") + le32(connectionId) + hex("b1 00") +
                     le16(static_cast<uint16_t>(mr.size() + 2)) + le16(sequence) + mr);
}

inline sockaddr_in endpoint(const std::string &address, uint16_t port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    return a;
}

inline int msLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : int(left);
}

// Waits for the socket to become readable until the deadline.
inline bool readable(int fd, Clock::time_point deadline)
{
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, msLeft(deadline));
        if (r > 0)
            return true;
        if (r == 0 || errno != EINTR)
            return false;
    }
}

class Tcp {
public:
    Tcp() = default;
    Tcp(const Tcp &) = delete;
    Tcp &operator=(const Tcp &) = delete;
    Tcp(Tcp &&o) noexcept : fd_(std::exchange(o.fd_, -1)), buf_(std::move(o.buf_)) {}
    Tcp &operator=(Tcp &&o) noexcept // what this held closes with o
    {
        std::swap(fd_, o.fd_);
        std::swap(buf_, o.buf_);
        return *this;
    }
    ~Tcp() { close(); }

    bool connect(const std::string &address, uint16_t port = 44818)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        const sockaddr_in a = endpoint(address, port);
        if (::connect(fd_, reinterpret_cast<const sockaddr *>(&a), sizeof a) != 0 && errno != EINPROGRESS)
            return false;
        pollfd p{fd_, POLLOUT, 0};
        if (::poll(&p, 1, kReplyMs) != 1)
            return false;
        int err = 0;
        socklen_t len = sizeof err;
        ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len);
        int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        return err == 0;
    }

    void close()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

    bool send(const Bytes &b)
    {
        size_t done = 0;
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kReplyMs);
        while (done < b.size()) {
            const ssize_t n = ::send(fd_, b.data() + done, b.size() - done, MSG_NOSIGNAL);
            if (n > 0) {
                done += size_t(n);
                continue;
            }
            pollfd p{fd_, POLLOUT, 0};
            if ((n < 0 && errno != EAGAIN && errno != EINTR) || ::poll(&p, 1, msLeft(deadline)) != 1)
                return false;
        }
        return true;
    }

    // One whole encapsulation message (24-byte header plus its length), however TCP splits it.
    std::optional<Bytes> message(int ms = kReplyMs)
    {
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            if (buf_.size() >= 24) {
                const size_t total = 24 + rd16(buf_, 2);
                if (buf_.size() >= total) {
                    Bytes m(buf_.begin(), buf_.begin() + long(total));
                    buf_.erase(buf_.begin(), buf_.begin() + long(total));
                    return m;
                }
            }
            if (fill(deadline) <= 0)
                return std::nullopt;
        }
    }

    // Nothing arrives within ms and the connection stays open.
    bool silent(int ms = kSilenceMs)
    {
        return buf_.empty() && fill(Clock::now() + std::chrono::milliseconds(ms)) == -1;
    }

private:
    // >0 bytes added, 0 end of stream, -1 deadline passed, -2 error.
    int fill(Clock::time_point deadline)
    {
        for (;;) {
            uint8_t tmp[8192];
            const ssize_t n = ::recv(fd_, tmp, sizeof tmp, 0);
            if (n > 0) {
                buf_.insert(buf_.end(), tmp, tmp + n);
                return int(n);
            }
            if (n == 0)
                return 0;
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                return -2;
            if (!readable(fd_, deadline))
                return -1;
        }
    }

    int fd_ = -1;
    Bytes buf_;
};

// One datagram to the address and the first datagram back, or nothing after ms.
inline std::optional<Bytes> udpExchange(const std::string &address, const Bytes &request, int ms = kReplyMs)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const sockaddr_in to = endpoint(address, 44818);
    std::optional<Bytes> reply;
    if (::sendto(fd, request.data(), request.size(), 0, reinterpret_cast<const sockaddr *>(&to), sizeof to) ==
            ssize_t(request.size()) &&
        readable(fd, Clock::now() + std::chrono::milliseconds(ms))) {
        uint8_t buf[2048];
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n >= 0)
            reply = Bytes(buf, buf + n);
    }
    ::close(fd);
    return reply;
}

} // namespace wire
