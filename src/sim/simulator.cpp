// The server: one I/O thread per simulated controller, poll() over its TCP listener, its UDP
// socket, its clients and a wake-up pipe. Requests are answered as soon as they are parsed,
// unless a delay fault holds the reply back.
#include "absim/simulator.h"

#include "pccc_services.h"
#include "session.h"
#include "tag_values.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace absim {

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kHeader = 24;

void nonBlocking(int fd)
{
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

struct Client {
    int fd = -1;
    std::unique_ptr<Session> session;
    std::vector<uint8_t> in;
    std::vector<uint8_t> out;
    bool closing = false; // close once out is sent
};

struct Delayed {
    Clock::time_point due;
    int fd;
    std::vector<uint8_t> bytes;
    sockaddr_in to{}; // UDP replies
    bool udp = false;
};

} // namespace

struct Simulator::Impl {
    explicit Impl(Config c) : controller(c) {}

    mutable std::mutex m; // controller state, faults and clients
    Controller controller;
    int listenFd = -1, udpFd = -1, wake[2] = {-1, -1};
    std::thread thread;
    bool running = false;
    std::map<int, Client> clients;
    std::deque<Delayed> delayed;
    std::atomic<int> openConnections{0};
    std::atomic<uint64_t> requests{0};

    Clock::duration delay{}; // before each reply packet
    int dropAfter = -1;
    bool refuse = false;
    bool mute = false;
    ReplyFault replyFault = ReplyFault::None;
    int replyFaultLeft = -1; // replies still to spoil; -1: every one

    void loop();
    void acceptClients();
    void readClient(Client &c);
    void flush(Client &c);
    void closeClient(int fd);
    void readUdp();
    void send(int fd, std::vector<uint8_t> bytes);
    // Applies the reply fault; false when the reply must not be sent (the client is gone).
    bool spoil(int fd, std::vector<uint8_t> *reply);
    void sendDue();
    int pollTimeoutMicros() const;
};

bool Simulator::Impl::spoil(int fd, std::vector<uint8_t> *reply)
{
    const bool tagTraffic = reply->size() > kHeader && ((*reply)[0] == 0x6F || (*reply)[0] == 0x70);
    if (replyFault == ReplyFault::None || !tagTraffic)
        return true;
    const ReplyFault fault = replyFault;
    if (replyFaultLeft > 0 && --replyFaultLeft == 0)
        replyFault = ReplyFault::None;
    switch (fault) {
    case ReplyFault::Truncate: {
        reply->resize(reply->size() / 2);
        auto it = clients.find(fd);
        if (it != clients.end()) {
            it->second.out.insert(it->second.out.end(), reply->begin(), reply->end());
            flush(it->second);
        }
        closeClient(fd);
        return false;
    }
    case ReplyFault::Corrupt: {
        // CPF: interface handle, timeout, item count, then items; bump the last item's length.
        size_t pos = kHeader + 8;
        size_t lastLength = 0;
        while (pos + 4 <= reply->size()) {
            lastLength = pos + 2;
            pos += 4 + ((*reply)[pos + 2] | (*reply)[pos + 3] << 8);
        }
        if (lastLength)
            ++(*reply)[lastLength];
        return true;
    }
    case ReplyFault::LoseAfterApply: closeClient(fd); return false;
    case ReplyFault::Foreign:
        if ((*reply)[0] == 0x6F)
            (*reply)[0] = 0x70;
        else if (reply->size() >= kHeader + 22)
            ++(*reply)[kHeader + 20]; // the sequence count
        return true;
    case ReplyFault::None: break;
    }
    return true;
}

void Simulator::Impl::send(int fd, std::vector<uint8_t> bytes)
{
    if (delay > Clock::duration::zero()) {
        delayed.push_back({Clock::now() + delay, fd, std::move(bytes), {}, false});
        return;
    }
    auto it = clients.find(fd);
    if (it == clients.end())
        return;
    it->second.out.insert(it->second.out.end(), bytes.begin(), bytes.end());
    flush(it->second);
}

void Simulator::Impl::flush(Client &c)
{
    while (!c.out.empty()) {
        const ssize_t n = ::send(c.fd, c.out.data(), c.out.size(), MSG_NOSIGNAL);
        if (n <= 0)
            break;
        c.out.erase(c.out.begin(), c.out.begin() + n);
    }
}

void Simulator::Impl::closeClient(int fd)
{
    auto it = clients.find(fd);
    if (it == clients.end())
        return;
    ::close(fd);
    clients.erase(it); // the session gives back its connections
    --openConnections;
    for (auto d = delayed.begin(); d != delayed.end();)
        d = (!d->udp && d->fd == fd) ? delayed.erase(d) : d + 1;
}

void Simulator::Impl::acceptClients()
{
    for (;;) {
        const int fd = ::accept(listenFd, nullptr, nullptr);
        if (fd < 0)
            return;
        if (refuse) {
            ::close(fd);
            continue;
        }
        nonBlocking(fd);
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        Client c;
        c.fd = fd;
        c.session = std::make_unique<Session>(controller);
        clients.emplace(fd, std::move(c));
        ++openConnections;
    }
}

void Simulator::Impl::readClient(Client &c)
{
    uint8_t buf[65536];
    for (;;) {
        const ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            closeClient(c.fd);
            return;
        }
        if (n < 0)
            break;
        c.in.insert(c.in.end(), buf, buf + n);
        // A short read emptied the socket; poll tells of more, without a recv that fails.
        if (size_t(n) < sizeof buf)
            break;
    }
    const int fd = c.fd;
    size_t used = 0;
    while (c.in.size() - used >= kHeader) {
        const uint8_t *p = c.in.data() + used;
        const size_t total = kHeader + (size_t(p[2]) | size_t(p[3]) << 8);
        if (c.in.size() - used < total)
            break;
        ++requests;
        if (dropAfter == 0) {
            dropAfter = -1;
            closeClient(fd);
            return;
        }
        if (dropAfter > 0)
            --dropAfter;
        std::vector<uint8_t> reply;
        const Session::Result r = c.session->handle(p, total, &reply);
        used += total;
        if (r == Session::Result::Close) {
            closeClient(fd);
            return;
        }
        if (r == Session::Result::ReplyThenClose) {
            if (!mute) {
                c.out.insert(c.out.end(), reply.begin(), reply.end());
                flush(c);
            }
            closeClient(fd);
            return;
        }
        if (r == Session::Result::Reply && !mute && !spoil(fd, &reply))
            return;
        if (r == Session::Result::Reply && !mute)
            send(fd, std::move(reply));
    }
    c.in.erase(c.in.begin(), c.in.begin() + long(used));
}

void Simulator::Impl::readUdp()
{
    uint8_t buf[2048];
    for (;;) {
        sockaddr_in from{};
        socklen_t len = sizeof from;
        const ssize_t n = ::recvfrom(udpFd, buf, sizeof buf, 0, reinterpret_cast<sockaddr *>(&from), &len);
        if (n < 0)
            return;
        ++requests;
        std::vector<uint8_t> reply;
        if (mute || !handleDatagram(controller, buf, size_t(n), &reply))
            continue;
        if (delay > Clock::duration::zero()) {
            delayed.push_back({Clock::now() + delay, udpFd, std::move(reply), from, true});
            continue;
        }
        ::sendto(udpFd, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr *>(&from), sizeof from);
    }
}

void Simulator::Impl::sendDue()
{
    const Clock::time_point now = Clock::now();
    while (!delayed.empty() && delayed.front().due <= now) {
        Delayed d = std::move(delayed.front());
        delayed.pop_front();
        if (d.udp) {
            ::sendto(d.fd, d.bytes.data(), d.bytes.size(), 0, reinterpret_cast<sockaddr *>(&d.to), sizeof d.to);
            continue;
        }
        auto it = clients.find(d.fd);
        if (it != clients.end()) {
            it->second.out.insert(it->second.out.end(), d.bytes.begin(), d.bytes.end());
            flush(it->second);
        }
    }
}

int Simulator::Impl::pollTimeoutMicros() const
{
    if (delayed.empty())
        return 1000000;
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(delayed.front().due - Clock::now());
    return left.count() <= 0 ? 0 : int(left.count());
}

void Simulator::Impl::loop()
{
    // The kernel may otherwise let a timed wait run 50 us long, which a 1 ms response delay
    // would pass on to every reply.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    std::vector<pollfd> fds;
    for (;;) {
        int timeout;
        {
            std::lock_guard<std::mutex> lock(m);
            if (!running)
                break;
            fds.clear();
            fds.push_back({wake[0], POLLIN, 0});
            fds.push_back({listenFd, POLLIN, 0});
            if (udpFd >= 0)
                fds.push_back({udpFd, POLLIN, 0});
            for (auto &kv : clients)
                fds.push_back({kv.first, short(POLLIN | (kv.second.out.empty() ? 0 : POLLOUT)), 0});
            timeout = pollTimeoutMicros();
        }
        // Microseconds, so that a delay fault of 1 ms is 1 ms and not 2.
        const timespec ts{timeout / 1000000, long(timeout % 1000000) * 1000};
        ::ppoll(fds.data(), fds.size(), &ts, nullptr);
        std::lock_guard<std::mutex> lock(m);
        if (!running)
            break;
        if (fds[0].revents & POLLIN) {
            char b[64];
            while (::read(wake[0], b, sizeof b) > 0) {
            }
        }
        if (fds[1].revents & POLLIN)
            acceptClients();
        for (size_t i = 2; i < fds.size(); ++i) {
            if (!fds[i].revents)
                continue;
            if (fds[i].fd == udpFd) {
                readUdp();
                continue;
            }
            auto it = clients.find(fds[i].fd);
            if (it == clients.end())
                continue;
            if (fds[i].revents & POLLOUT)
                flush(it->second);
            if (fds[i].revents & (POLLIN | POLLHUP | POLLERR))
                readClient(it->second);
        }
        sendDue();
    }
}

Simulator::Simulator(Config cfg) : d(new Impl(std::move(cfg)))
{
    d->delay = std::chrono::microseconds(d->controller.config.responseDelayUs);
    for (const TagDef &t : d->controller.config.tags)
        d->controller.store.add(t);
    if (isPcccPersonality(d->controller.config.personality)) {
        for (const TagDef &f : defaultDataFiles(d->controller.config.personality))
            if (!d->controller.store.findFile(static_cast<uint16_t>(std::atoi(f.name.c_str() + (f.name[1] == 'T' ? 2 : 1)))))
                d->controller.store.add(f);
    }
    if (d->controller.config.personality == Personality::OmronNJ) {
        // The system variables every NJ/NX controller has, unless the configuration names them.
        const TagDef system[] = {
            tagDef("_UnitVersion", CipType::Usint, {2}, {"1", "40"}),
            tagDef("_ProjectUnitVersion", CipType::Usint, {2}, {"1", "40"}),
            tagDef("_SystemSWVersion", CipType::Usint, {3}, {"1", "40", "2"}),
            tagDef("_HardwareRevision", CipType::String, {}, {"B"}),
        };
        for (const TagDef &t : system)
            if (!d->controller.store.find(t.name))
                d->controller.store.add(t);
    }
}

Simulator::~Simulator()
{
    stop();
}

bool Simulator::start(std::string *error)
{
    std::lock_guard<std::mutex> lock(d->m);
    if (d->running)
        return true;
    const Config &cfg = d->controller.config;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(cfg.port);
    if (::inet_pton(AF_INET, cfg.address.c_str(), &a.sin_addr) != 1) {
        if (error)
            *error = "not an IPv4 address: " + cfg.address;
        return false;
    }
    auto fail = [&](const char *what) {
        if (error)
            *error = std::string(what) + " " + cfg.address + ":" + std::to_string(cfg.port) + ": " + std::strerror(errno);
        for (int *fd : {&d->listenFd, &d->udpFd, &d->wake[0], &d->wake[1]})
            if (*fd >= 0) {
                ::close(*fd);
                *fd = -1;
            }
        return false;
    };
    d->listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(d->listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(d->listenFd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || ::listen(d->listenFd, 64) != 0)
        return fail("cannot listen on TCP");
    nonBlocking(d->listenFd);
    if (cfg.listenUdp) {
        d->udpFd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        ::setsockopt(d->udpFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (::bind(d->udpFd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0)
            return fail("cannot bind UDP");
        nonBlocking(d->udpFd);
    }
    if (::pipe2(d->wake, O_CLOEXEC | O_NONBLOCK) != 0)
        return fail("cannot create a pipe for");
    d->running = true;
    d->thread = std::thread([this] { d->loop(); });
    return true;
}

void Simulator::stop()
{
    {
        std::lock_guard<std::mutex> lock(d->m);
        if (!d->running)
            return;
        d->running = false;
        const char b = 1;
        (void)!::write(d->wake[1], &b, 1);
    }
    d->thread.join();
    std::lock_guard<std::mutex> lock(d->m);
    while (!d->clients.empty())
        d->closeClient(d->clients.begin()->first);
    d->delayed.clear();
    for (int *fd : {&d->listenFd, &d->udpFd, &d->wake[0], &d->wake[1]})
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
}

bool Simulator::addTag(const TagDef &def)
{
    std::lock_guard<std::mutex> lock(d->m);
    return d->controller.store.add(def);
}

std::optional<int64_t> Simulator::getInt(const std::string &name, size_t index) const
{
    std::lock_guard<std::mutex> lock(d->m);
    return intValue(d->controller.store, name, index);
}

std::optional<double> Simulator::getDouble(const std::string &name, size_t index) const
{
    std::lock_guard<std::mutex> lock(d->m);
    return doubleValue(d->controller.store, name, index);
}

std::optional<std::string> Simulator::getString(const std::string &name, size_t index) const
{
    std::lock_guard<std::mutex> lock(d->m);
    return stringValue(d->controller.store, name, index);
}

bool Simulator::setInt(const std::string &name, int64_t v, size_t index)
{
    return setString(name, std::to_string(v), index);
}

bool Simulator::setDouble(const std::string &name, double v, size_t index)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", v);
    return setString(name, text, index);
}

bool Simulator::setString(const std::string &name, const std::string &v, size_t index)
{
    std::lock_guard<std::mutex> lock(d->m);
    return setValueText(d->controller.store, name, v, index);
}

std::vector<uint8_t> Simulator::rawBytes(const std::string &name) const
{
    std::lock_guard<std::mutex> lock(d->m);
    const Tag *t = d->controller.store.find(name);
    return t ? d->controller.store.encode(*t, 0, t->count) : std::vector<uint8_t>{};
}

void Simulator::setReplyFault(ReplyFault f, int replies)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->replyFault = replies == 0 ? ReplyFault::None : f;
    d->replyFaultLeft = replies;
}

void Simulator::setResponseDelayMs(int ms)
{
    setResponseDelayUs(ms < 0 ? 0 : ms * 1000);
}

void Simulator::setResponseDelayUs(int us)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->delay = std::chrono::microseconds(us < 0 ? 0 : us);
}

void Simulator::dropConnectionAfter(int requests)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->dropAfter = requests;
}

void Simulator::setRefuseConnections(bool on)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->refuse = on;
}

void Simulator::setMute(bool on)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->mute = on;
}

void Simulator::setTagError(const std::string &name, uint8_t generalStatus, uint16_t extStatus)
{
    std::lock_guard<std::mutex> lock(d->m);
    if (Tag *t = d->controller.store.find(name)) {
        t->errorGeneral = generalStatus;
        t->errorExt = extStatus;
    }
}

void Simulator::clearFaults()
{
    std::lock_guard<std::mutex> lock(d->m);
    d->delay = std::chrono::microseconds(d->controller.config.responseDelayUs); // the configured one stays
    d->dropAfter = -1;
    d->refuse = false;
    d->mute = false;
    d->replyFault = ReplyFault::None;
    d->controller.store.clearErrors();
}

int Simulator::openConnections() const
{
    return d->openConnections.load();
}

int Simulator::openCipConnections() const
{
    return d->controller.cipConnections.load();
}

uint64_t Simulator::requestCount() const
{
    return d->requests.load();
}

const Config &Simulator::config() const
{
    return d->controller.config;
}

} // namespace absim
