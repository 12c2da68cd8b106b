#pragma once
// A TCP proxy between the plugin and a simulated controller that spoils one reply to tag
// traffic on demand: cut or lengthened with every length field kept consistent, sent twice,
// held back, or with one structural byte of its message router reply changed. What no check
// of the tag library could notice (a changed data byte) is left alone: TCP guards that.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

enum class Spoil { None, Cut, Lengthen, Duplicate, Delay, ExtStatusSize, TypeCode, Count };

class ReplyProxy {
public:
    ReplyProxy(const char *listenAt, const char *target) : target_(target)
    {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int one = 1;
        ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        const sockaddr_in a = address(listenAt);
        ok_ = ::bind(listen_, reinterpret_cast<const sockaddr *>(&a), sizeof a) == 0 && ::listen(listen_, 8) == 0;
        if (ok_)
            accept_ = std::thread([this] { acceptLoop(); });
    }
    ~ReplyProxy()
    {
        stop_ = true;
        if (accept_.joinable())
            accept_.join();
        for (std::thread &t : pumps_)
            t.join();
        ::close(listen_);
    }
    bool ok() const { return ok_; }
    // The next reply to tag traffic is spoilt this way; `amount` is bytes, or ms for Delay.
    void arm(Spoil s, int amount)
    {
        amount_ = amount;
        armed_ = s;
    }
    int spoilt() const { return spoilt_; }

private:
    static sockaddr_in address(const char *ip)
    {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(44818);
        ::inet_pton(AF_INET, ip, &a.sin_addr);
        return a;
    }
    void acceptLoop()
    {
        while (!stop_) {
            pollfd p{listen_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            const int client = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            const sockaddr_in a = address(target_.c_str());
            if (client < 0 || ::connect(server, reinterpret_cast<const sockaddr *>(&a), sizeof a) != 0) {
                ::close(client);
                ::close(server);
                continue;
            }
            pumps_.emplace_back([this, client, server] { pump(client, server); });
        }
    }
    // Requests go through as they come; replies frame by frame, one of them spoilt when armed.
    void pump(int client, int server)
    {
        std::vector<uint8_t> rx;
        uint8_t buf[4096];
        pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
        while (!stop_) {
            if (::poll(p, 2, 20) <= 0)
                continue;
            if (p[0].revents) {
                const ssize_t n = ::recv(client, buf, sizeof buf, 0);
                if (n <= 0 || ::send(server, buf, size_t(n), MSG_NOSIGNAL) != n)
                    break;
            }
            if (p[1].revents) {
                const ssize_t n = ::recv(server, buf, sizeof buf, 0);
                if (n <= 0)
                    break;
                rx.insert(rx.end(), buf, buf + n);
                while (rx.size() >= 24 && rx.size() >= 24u + (rx[2] | rx[3] << 8)) {
                    std::vector<uint8_t> frame(rx.begin(), rx.begin() + 24 + (rx[2] | rx[3] << 8));
                    rx.erase(rx.begin(), rx.begin() + long(frame.size()));
                    if (!forward(client, frame))
                        break;
                }
            }
        }
        ::close(client);
        ::close(server);
    }
    bool forward(int client, std::vector<uint8_t> frame)
    {
        const uint16_t command = uint16_t(frame[0] | frame[1] << 8);
        size_t dataLen = 0; // the last CPF item's length field
        const size_t mr = command == 0x6F || command == 0x70 ? lastItem(frame, command, &dataLen) : 0;
        // Connection management (Forward Open and Close) is left whole: a spoilt connection id
        // only makes a controller that ignores the requests, which the silence faults cover.
        const bool tagTraffic = mr != 0 && mr < frame.size() && frame[mr] != 0xD4 && frame[mr] != 0xDB &&
                                frame[mr] != 0xCE;
        const Spoil s = tagTraffic ? armed_.exchange(Spoil::None) : Spoil::None;
        if (s != Spoil::None) {
            ++spoilt_;
            const size_t k = size_t(amount_);
            if (s == Spoil::Cut && k < frame.size() - mr)
                resize(frame, dataLen, -int(k));
            else if (s == Spoil::Lengthen)
                resize(frame, dataLen, int(k));
            else if (s == Spoil::ExtStatusSize && mr + 3 < frame.size())
                frame[mr + 3] ^= 1;
            else if (s == Spoil::TypeCode && mr + 4 < frame.size())
                frame[mr + 4] ^= 1;
            else if (s == Spoil::Delay)
                std::this_thread::sleep_for(std::chrono::milliseconds(amount_));
            if (s == Spoil::Duplicate && ::send(client, frame.data(), frame.size(), MSG_NOSIGNAL) < 0)
                return false;
        }
        return ::send(client, frame.data(), frame.size(), MSG_NOSIGNAL) == ssize_t(frame.size());
    }
    // Where the message router reply starts (0: none); *lengthAt: offset of its item's length.
    static size_t lastItem(const std::vector<uint8_t> &f, uint16_t command, size_t *lengthAt)
    {
        if (f.size() < 24 + 8)
            return 0;
        size_t at = 24 + 6;
        const unsigned items = f[at] | f[at + 1] << 8;
        at += 2;
        for (unsigned i = 0; i < items && at + 4 <= f.size(); ++i) {
            const size_t len = f[at + 2] | f[at + 3] << 8;
            if (i + 1 == items) {
                *lengthAt = at + 2;
                return at + 4 + (command == 0x70 ? 2 : 0); // connected data starts with its sequence count
            }
            at += 4 + len;
        }
        return 0;
    }
    static void resize(std::vector<uint8_t> &f, size_t lengthAt, int by)
    {
        f.resize(size_t(int(f.size()) + by), 0);
        const auto add = [&](size_t at, int v) {
            const int n = (f[at] | f[at + 1] << 8) + v;
            f[at] = uint8_t(n);
            f[at + 1] = uint8_t(n >> 8);
        };
        add(2, by);
        add(lengthAt, by);
    }

    std::string target_;
    int listen_ = -1;
    bool ok_ = false;
    std::atomic<bool> stop_{false};
    std::atomic<Spoil> armed_{Spoil::None};
    std::atomic<int> amount_{0};
    std::atomic<int> spoilt_{0};
    std::thread accept_;
    std::vector<std::thread> pumps_; // the accept loop's own until it has stopped
};
