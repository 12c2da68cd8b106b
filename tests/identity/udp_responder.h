#pragma once
// A tiny stand-in device for List Identity: binds addr:44818 and answers every datagram
// with a fixed list of replies, the first `fromOtherPort` of them from a second socket.

#include <QByteArray>
#include <QList>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

class UdpResponder {
public:
    UdpResponder(const char *address, QList<QByteArray> replies, int fromOtherPort = 0)
        : replies_(std::move(replies)), fromOtherPort_(fromOtherPort)
    {
        fd_ = open(address, 44818);
        if (fromOtherPort > 0)
            replyFd_ = open(address, 0);
        if (fd_ >= 0)
            thread_ = std::thread([this] { run(); });
    }
    ~UdpResponder()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        if (fd_ >= 0)
            ::close(fd_);
        if (replyFd_ >= 0)
            ::close(replyFd_);
    }
    bool ok() const { return fd_ >= 0; }
    QList<QByteArray> requests() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }

private:
    static int open(const char *address, unsigned short port)
    {
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        if (fd < 0)
            return -1;
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        ::inet_pton(AF_INET, address, &a.sin_addr);
        if (::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    }
    void run()
    {
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            char buf[2048];
            sockaddr_in peer{};
            socklen_t len = sizeof peer;
            const ssize_t n = ::recvfrom(fd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr *>(&peer), &len);
            if (n < 0)
                continue;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                requests_ << QByteArray(buf, static_cast<int>(n));
            }
            for (int i = 0; i < replies_.size(); ++i)
                ::sendto(i < fromOtherPort_ ? replyFd_ : fd_, replies_[i].constData(), size_t(replies_[i].size()), 0,
                         reinterpret_cast<sockaddr *>(&peer), len);
        }
    }

    QList<QByteArray> replies_;
    int fromOtherPort_ = 0;
    int fd_ = -1;
    int replyFd_ = -1;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    QList<QByteArray> requests_;
    std::thread thread_;
};
