#include "posix_net.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <pthread.h>
#include <signal.h>
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

} // namespace

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
