#include "list_identity.h"

#include "posix_net.h"

#include <QHostAddress>

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

} // namespace

QByteArray exchangeEipListIdentity(const QString &address)
{
    const int fd = posix_net::udpOpen(QHostAddress(QHostAddress::AnyIPv4), 0);
    if (fd < 0)
        return {};
    if (!posix_net::udpSendTo(fd, listIdentityRequest(), QHostAddress(address), kEipPort)) {
        posix_net::closeFd(fd);
        return {};
    }
    // The first datagram counts, whoever sent it.
    QByteArray reply;
    const bool received = posix_net::udpRecvFrom(fd, kReplyWaitMs, &reply, nullptr, nullptr);
    posix_net::closeFd(fd);
    if (!received)
        return {};
    return reply;
}

QMap<QString, QString> readEipListIdentity(const QString &address)
{
    return parseListIdentityReply(exchangeEipListIdentity(address));
}
