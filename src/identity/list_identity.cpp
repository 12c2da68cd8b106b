#include "list_identity.h"

#include "posix_net.h"

#include <QHostAddress>

#include <chrono>

namespace {

constexpr unsigned short kEipPort = 44818;
constexpr int kReplyWaitMs = 2000;

QByteArray listIdentityRequest()
{
    // Header only: command 0x0063, no data, zero session/status/options. The sender
    // context is informational; unicast targets answer at once whatever it holds.
    QByteArray request(24, '\0');
    request[0] = 0x63;
    request[1] = 0x00;
    request.replace(12, 8, "ZELIDENT", 8);
    return request;
}

// The encapsulation command of a datagram is List Identity.
bool isListIdentityReply(const QByteArray &reply)
{
    return reply.size() >= 2 && uchar(reply[0]) == 0x63 && uchar(reply[1]) == 0x00;
}

} // namespace

QByteArray exchangeEipListIdentity(const QString &address)
{
    const int fd = posix_net::udpOpen(QHostAddress(QHostAddress::AnyIPv4), 0);
    if (fd < 0)
        return {};
    const QHostAddress device(address);
    if (!posix_net::udpSendTo(fd, listIdentityRequest(), device, kEipPort)) {
        posix_net::closeFd(fd);
        return {};
    }
    // The first List Identity reply from the device's own address and port counts; anything
    // else arriving on the socket meanwhile is passed over, within the one wait.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kReplyWaitMs);
    QByteArray reply;
    bool received = false;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        QHostAddress from;
        unsigned short fromPort = 0;
        if (left <= 0 || !posix_net::udpRecvFrom(fd, int(left), &reply, &from, &fromPort))
            break;
        if (from == device && fromPort == kEipPort && isListIdentityReply(reply)) {
            received = true;
            break;
        }
    }
    posix_net::closeFd(fd);
    if (!received)
        return {};
    return reply;
}

QMap<QString, QString> readEipListIdentity(const QString &address)
{
    return parseListIdentityReply(exchangeEipListIdentity(address));
}
