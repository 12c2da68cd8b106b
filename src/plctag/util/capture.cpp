#include "util/capture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

namespace plctag {

namespace {

std::mutex gFileMutex;

enum : uint8_t { kFin = 0x01, kSyn = 0x02, kPsh = 0x08, kAck = 0x10 };
constexpr size_t kMaxSegment = 16000;

void put16(uint8_t *p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}
void put32(uint8_t *p, uint32_t v)
{
    put16(p, static_cast<uint16_t>(v >> 16));
    put16(p + 2, static_cast<uint16_t>(v));
}

uint32_t sum16(const uint8_t *p, size_t n, uint32_t acc = 0)
{
    for (size_t i = 0; i + 1 < n; i += 2)
        acc += uint32_t(p[i]) << 8 | p[i + 1];
    if (n & 1)
        acc += uint32_t(p[n - 1]) << 8;
    return acc;
}

uint16_t fold(uint32_t acc)
{
    while (acc >> 16)
        acc = (acc & 0xFFFF) + (acc >> 16);
    return static_cast<uint16_t>(~acc);
}

} // namespace

Capture *Capture::instance()
{
    static Capture *c = [] () -> Capture * {
        const char *path = std::getenv("AB_PLCTAG_PCAP");
        if (!path || !*path)
            return nullptr;
        FILE *f = std::fopen(path, "wb");
        if (!f)
            return nullptr;
        // pcap global header: version 2.4, microsecond stamps, Ethernet link type.
        const uint32_t magic = 0xa1b2c3d4, snaplen = 65535, link = 1;
        const uint16_t major = 2, minor = 4;
        const int32_t zone = 0;
        const uint32_t sigfigs = 0;
        std::fwrite(&magic, 4, 1, f);
        std::fwrite(&major, 2, 1, f);
        std::fwrite(&minor, 2, 1, f);
        std::fwrite(&zone, 4, 1, f);
        std::fwrite(&sigfigs, 4, 1, f);
        std::fwrite(&snaplen, 4, 1, f);
        std::fwrite(&link, 4, 1, f);
        std::fflush(f);
        return new Capture(f);
    }();
    return c;
}

void Capture::segment(Flow &f, bool fromClient, uint8_t flags, const uint8_t *p, size_t n)
{
    uint8_t pkt[14 + 20 + 20 + kMaxSegment];
    std::memset(pkt, 0, 14 + 40);
    pkt[5] = fromClient ? 1 : 2; // distinct source and destination MACs
    pkt[11] = fromClient ? 2 : 1;
    put16(pkt + 12, 0x0800);
    uint8_t *ip = pkt + 14;
    const uint16_t total = static_cast<uint16_t>(40 + n);
    ip[0] = 0x45;
    put16(ip + 2, total);
    put16(ip + 6, 0x4000); // don't fragment
    ip[8] = 64;
    ip[9] = 6; // TCP
    const uint32_t src = fromClient ? f.clientIp : f.serverIp, dst = fromClient ? f.serverIp : f.clientIp;
    put32(ip + 12, src);
    put32(ip + 16, dst);
    put16(ip + 10, fold(sum16(ip, 20)));
    uint8_t *tcp = ip + 20;
    put16(tcp, fromClient ? f.clientPort : f.serverPort);
    put16(tcp + 2, fromClient ? f.serverPort : f.clientPort);
    uint32_t &seq = fromClient ? f.clientSeq : f.serverSeq;
    const uint32_t ack = fromClient ? f.serverSeq : f.clientSeq;
    put32(tcp + 4, seq);
    put32(tcp + 8, (flags & kAck) ? ack : 0);
    tcp[12] = 5 << 4;
    tcp[13] = flags;
    put16(tcp + 14, 65535);
    if (n)
        std::memcpy(tcp + 20, p, n);
    uint8_t pseudo[12];
    put32(pseudo, src);
    put32(pseudo + 4, dst);
    pseudo[8] = 0;
    pseudo[9] = 6;
    put16(pseudo + 10, static_cast<uint16_t>(20 + n));
    put16(tcp + 16, fold(sum16(tcp, 20 + n, sum16(pseudo, 12))));
    seq += static_cast<uint32_t>(n) + ((flags & (kSyn | kFin)) ? 1 : 0);

    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts); // packet stamps only, never used for waits
    const uint32_t rec[4] = {static_cast<uint32_t>(ts.tv_sec), static_cast<uint32_t>(ts.tv_nsec / 1000),
                             static_cast<uint32_t>(14 + total), static_cast<uint32_t>(14 + total)};
    FILE *file = static_cast<FILE *>(file_);
    std::fwrite(rec, sizeof rec, 1, file);
    std::fwrite(pkt, 14 + total, 1, file);
}

void Capture::opened(Flow &f, int fd)
{
    sockaddr_in local{}, peer{};
    socklen_t len = sizeof local;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&local), &len);
    len = sizeof peer;
    ::getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &len);
    f.clientIp = ntohl(local.sin_addr.s_addr);
    f.serverIp = ntohl(peer.sin_addr.s_addr);
    f.clientPort = ntohs(local.sin_port);
    f.serverPort = ntohs(peer.sin_port);
    f.clientSeq = 1000;
    f.serverSeq = 5000;
    f.open = true;
    std::lock_guard<std::mutex> l(gFileMutex);
    segment(f, true, kSyn, nullptr, 0);
    segment(f, false, kSyn | kAck, nullptr, 0);
    segment(f, true, kAck, nullptr, 0);
    std::fflush(static_cast<FILE *>(file_));
}

void Capture::sent(Flow &f, const uint8_t *p, size_t n)
{
    if (!f.open)
        return;
    std::lock_guard<std::mutex> l(gFileMutex);
    for (size_t at = 0; at < n; at += kMaxSegment)
        segment(f, true, kPsh | kAck, p + at, n - at < kMaxSegment ? n - at : kMaxSegment);
    std::fflush(static_cast<FILE *>(file_));
}

void Capture::received(Flow &f, const uint8_t *p, size_t n)
{
    if (!f.open)
        return;
    std::lock_guard<std::mutex> l(gFileMutex);
    for (size_t at = 0; at < n; at += kMaxSegment)
        segment(f, false, kPsh | kAck, p + at, n - at < kMaxSegment ? n - at : kMaxSegment);
    std::fflush(static_cast<FILE *>(file_));
}

void Capture::closed(Flow &f)
{
    if (!f.open)
        return;
    std::lock_guard<std::mutex> l(gFileMutex);
    segment(f, true, kFin | kAck, nullptr, 0);
    segment(f, false, kFin | kAck, nullptr, 0);
    segment(f, true, kAck, nullptr, 0);
    std::fflush(static_cast<FILE *>(file_));
    f.open = false;
}

} // namespace plctag
