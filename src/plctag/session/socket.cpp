#include "session/socket.h"

#include "libplctag.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace plctag::net {

bool resolveIpv4(const std::string &host, int port, sockaddr_in *out)
{
    std::memset(out, 0, sizeof *out);
    out->sin_family = AF_INET;
    out->sin_port = htons(static_cast<uint16_t>(port));
    if (host.empty())
        return false;
    if (::inet_pton(AF_INET, host.c_str(), &out->sin_addr) == 1)
        return true;
    addrinfo hints{};
    addrinfo *res = nullptr;
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &res) != 0 || !res)
        return false;
    out->sin_addr = reinterpret_cast<sockaddr_in *>(res->ai_addr)->sin_addr;
    ::freeaddrinfo(res);
    return true;
}

int openTcp()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

int startConnect(int fd, const sockaddr_in &addr, bool *refused)
{
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&addr), sizeof addr) == 0)
        return PLCTAG_STATUS_OK;
    *refused = errno == ECONNREFUSED;
    return errno == EINPROGRESS ? PLCTAG_STATUS_PENDING : PLCTAG_ERR_BAD_CONNECTION;
}

int connectResult(int fd, bool *refused)
{
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0) {
        *refused = err == ECONNREFUSED;
        return PLCTAG_ERR_BAD_CONNECTION;
    }
    return PLCTAG_STATUS_OK;
}

} // namespace plctag::net
