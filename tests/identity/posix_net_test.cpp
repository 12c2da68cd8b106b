#include "posix_net.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

// Loopback addresses of this file: 127.0.40.1 - 127.0.40.9.
namespace {

using Clock = std::chrono::steady_clock;

long long msSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

unsigned short localPort(int fd)
{
    sockaddr_in a{};
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    return ntohs(a.sin_port);
}

} // namespace

TEST(PosixNet, MakeAddrMapsNullAndAnyToZero)
{
    for (const QHostAddress &a : {QHostAddress(), QHostAddress(QHostAddress::AnyIPv4), QHostAddress(QHostAddress::Any),
                                  QHostAddress(QString("not-an-address")), QHostAddress(QString("::1"))}) {
        const sockaddr_in s = posix_net::makeAddr(a, 44818);
        EXPECT_EQ(s.sin_family, AF_INET);
        EXPECT_EQ(s.sin_addr.s_addr, htonl(INADDR_ANY)) << a.toString().toStdString();
        EXPECT_EQ(s.sin_port, htons(44818));
    }
    const sockaddr_in s = posix_net::makeAddr(QHostAddress(QString("127.0.40.1")), 0xAF12);
    const unsigned char *b = reinterpret_cast<const unsigned char *>(&s.sin_addr);
    EXPECT_EQ(b[0], 127);
    EXPECT_EQ(b[1], 0);
    EXPECT_EQ(b[2], 40);
    EXPECT_EQ(b[3], 1);
    const unsigned char *p = reinterpret_cast<const unsigned char *>(&s.sin_port);
    EXPECT_EQ(p[0], 0xAF);
    EXPECT_EQ(p[1], 0x12);
    EXPECT_EQ(posix_net::hostFromAddr(s), QHostAddress(QString("127.0.40.1")));
    for (unsigned char z : s.sin_zero)
        EXPECT_EQ(z, 0);
}

TEST(PosixNet, SendAndReceiveOnLoopback)
{
    const int a = posix_net::udpOpen(QHostAddress(QString("127.0.40.1")), 0);
    const int b = posix_net::udpOpen(QHostAddress(QString("127.0.40.2")), 0);
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    const QByteArray payload("\x00\x01hello\xff", 8);
    ASSERT_TRUE(posix_net::udpSendTo(a, payload, QHostAddress(QString("127.0.40.2")), localPort(b)));

    QByteArray got;
    QHostAddress from;
    unsigned short fromPort = 0;
    ASSERT_TRUE(posix_net::udpRecvFrom(b, 1000, &got, &from, &fromPort));
    EXPECT_EQ(got, payload);
    EXPECT_EQ(from, QHostAddress(QString("127.0.40.1")));
    EXPECT_EQ(fromPort, localPort(a));

    // Sender details are optional; one call takes one datagram.
    ASSERT_TRUE(posix_net::udpSendTo(a, "x", QHostAddress(QString("127.0.40.2")), localPort(b)));
    ASSERT_TRUE(posix_net::udpSendTo(a, "yz", QHostAddress(QString("127.0.40.2")), localPort(b)));
    ASSERT_TRUE(posix_net::udpRecvFrom(b, 1000, &got, nullptr, nullptr));
    EXPECT_EQ(got, "x");
    ASSERT_TRUE(posix_net::udpRecvFrom(b, 1000, &got, nullptr, nullptr));
    EXPECT_EQ(got, "yz");
    posix_net::closeFd(a);
    posix_net::closeFd(b);
}

TEST(PosixNet, BadArgumentsAndDescriptors)
{
    QByteArray data;
    posix_net::closeFd(-1);
    EXPECT_EQ(posix_net::pollWait(-1, POLLIN, 0), -1);
    EXPECT_FALSE(posix_net::udpSendTo(-1, "x", QHostAddress(QString("127.0.40.3")), 9));
    EXPECT_FALSE(posix_net::udpRecvFrom(-1, 0, &data, nullptr, nullptr));

    const int fd = posix_net::udpOpen(QHostAddress(QString("127.0.40.3")), 0);
    ASSERT_GE(fd, 0);
    EXPECT_FALSE(posix_net::udpSendTo(fd, QByteArray(), QHostAddress(QString("127.0.40.3")), localPort(fd)));
    EXPECT_FALSE(posix_net::udpRecvFrom(fd, 0, nullptr, nullptr, nullptr));
    EXPECT_FALSE(posix_net::udpSendTo(fd, "x", QHostAddress(QString("127.0.40.3")), 0)); // port 0 is refused
    posix_net::closeFd(fd);
    // A descriptor number that is no longer open reports POLLNVAL only.
    EXPECT_EQ(posix_net::pollWait(fd, POLLIN, 0), -1);
    EXPECT_FALSE(posix_net::udpRecvFrom(fd, 0, &data, nullptr, nullptr));

    // Binding to an address this host does not own fails and leaks nothing.
    EXPECT_EQ(posix_net::udpOpen(QHostAddress(QString("192.0.2.10")), 0), -1);
}

TEST(PosixNet, PollWaitReportsHangUpWithoutTheRequestedEvent)
{
    int p[2];
    ASSERT_EQ(::pipe(p), 0);
    ::close(p[1]);
    EXPECT_EQ(posix_net::pollWait(p[0], POLLIN, 100), -1);
    ::close(p[0]);
}

TEST(PosixNet, PollWaitNegativeTimeoutDoesNotWait)
{
    const int fd = posix_net::udpOpen(QHostAddress(QString("127.0.40.4")), 0);
    ASSERT_GE(fd, 0);
    const auto start = Clock::now();
    EXPECT_EQ(posix_net::pollWait(fd, POLLIN, -1), 0);
    EXPECT_EQ(posix_net::pollWait(fd, POLLIN, -100000), 0);
    EXPECT_LT(msSince(start), 500);
    QByteArray data;
    EXPECT_FALSE(posix_net::udpRecvFrom(fd, -5, &data, nullptr, nullptr));
    posix_net::closeFd(fd);
}

namespace {
void onSignal(int) {}
} // namespace

TEST(PosixNet, SignalsNeitherCutNorStretchTheWait)
{
    struct sigaction sa {};
    sa.sa_handler = onSignal; // no SA_RESTART: poll returns EINTR
    struct sigaction old {};
    ASSERT_EQ(::sigaction(SIGUSR1, &sa, &old), 0);

    const int fd = posix_net::udpOpen(QHostAddress(QString("127.0.40.5")), 0);
    ASSERT_GE(fd, 0);
    const pthread_t waiter = ::pthread_self();
    std::atomic<bool> done{false};
    std::thread interrupter([&] {
        for (int i = 0; i < 8 && !done; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            ::pthread_kill(waiter, SIGUSR1);
        }
    });
    const auto start = Clock::now();
    const int rc = posix_net::pollWait(fd, POLLIN, 600);
    const long long elapsed = msSince(start);
    done = true;
    interrupter.join();
    EXPECT_EQ(rc, 0);
    EXPECT_GE(elapsed, 590);
    EXPECT_LT(elapsed, 2000);
    posix_net::closeFd(fd);
    ::sigaction(SIGUSR1, &old, nullptr);
}
