#include "floor.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace {

bool readFull(int fd, char *p, size_t n)
{
    while (n > 0) {
        const ssize_t r = ::recv(fd, p, n, 0);
        if (r <= 0)
            return false;
        p += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

bool writeFull(int fd, const char *p, size_t n)
{
    while (n > 0) {
        const ssize_t r = ::send(fd, p, n, MSG_NOSIGNAL);
        if (r <= 0)
            return false;
        p += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

void noDelay(int fd)
{
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

} // namespace

double measureFloorMicros(const char *address, int rounds, size_t requestBytes, size_t replyBytes)
{
    const int lfd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = 0;
    ::inet_pton(AF_INET, address, &a.sin_addr);
    int one = 1;
    ::setsockopt(lfd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(lfd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || ::listen(lfd, 1) != 0) {
        ::close(lfd);
        return -1;
    }
    socklen_t len = sizeof a;
    ::getsockname(lfd, reinterpret_cast<sockaddr *>(&a), &len);

    std::thread server([&] {
        const int fd = ::accept(lfd, nullptr, nullptr);
        if (fd < 0)
            return;
        noDelay(fd);
        std::vector<char> in(requestBytes), out(replyBytes, 'r');
        while (readFull(fd, in.data(), in.size()) && writeFull(fd, out.data(), out.size())) {
        }
        ::close(fd);
    });

    const int cfd = ::socket(AF_INET, SOCK_STREAM, 0);
    double micros = -1;
    if (::connect(cfd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0) {
        noDelay(cfd);
        std::vector<char> out(requestBytes, 'q'), in(replyBytes);
        for (int i = 0; i < rounds / 10; ++i) // warm-up
            if (!writeFull(cfd, out.data(), out.size()) || !readFull(cfd, in.data(), in.size()))
                break;
        const auto start = std::chrono::steady_clock::now();
        int done = 0;
        for (; done < rounds; ++done)
            if (!writeFull(cfd, out.data(), out.size()) || !readFull(cfd, in.data(), in.size()))
                break;
        const auto took = std::chrono::steady_clock::now() - start;
        if (done > 0)
            micros = std::chrono::duration<double, std::micro>(took).count() / done;
    }
    ::shutdown(cfd, SHUT_RDWR);
    ::close(cfd);
    server.join();
    ::close(lfd);
    return micros;
}
