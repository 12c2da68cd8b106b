// Optional copy of every session's TCP bytes into a pcap file, enabled by the environment
// variable AB_PLCTAG_PCAP=<file>. Each connection gets synthetic Ethernet/IPv4/TCP headers
// with consistent sequence numbers, so a standard dissector can check what went over the
// wire without capture privileges. Costs one pointer test per message when disabled.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plctag {

class Capture {
public:
    // One TCP connection, addresses and ports in host byte order.
    struct Flow {
        uint32_t clientIp = 0, serverIp = 0;
        uint16_t clientPort = 0, serverPort = 0;
        uint32_t clientSeq = 0, serverSeq = 0;
        bool open = false;
    };

    // The process-wide capture, or null when AB_PLCTAG_PCAP is not set (read once).
    static Capture *instance();

    void opened(Flow &f, int fd); // SYN / SYN-ACK / ACK from the socket's addresses
    void sent(Flow &f, const uint8_t *p, size_t n);
    void received(Flow &f, const uint8_t *p, size_t n);
    void closed(Flow &f); // FIN / FIN-ACK / ACK

private:
    explicit Capture(void *file) : file_(file) {}
    void segment(Flow &f, bool fromClient, uint8_t flags, const uint8_t *p, size_t n);
    void *file_;
};

} // namespace plctag
