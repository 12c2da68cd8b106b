// The fuller List Identity answer the runner's --identify shows; the identity items need less.
#include "list_identity.h"

namespace {

constexpr int kItemsAt = 24 + 2; // encapsulation header, item count
constexpr quint16 kCipIdentityItem = 0x000C;
constexpr int kMinIdentityItemLength = 34;

quint16 le16(const QByteArray &b, int at)
{
    return static_cast<quint16>(static_cast<uchar>(b[at]) | (static_cast<uchar>(b[at + 1]) << 8));
}

} // namespace

QMap<QString, QString> parseListIdentityDetails(const QByteArray &reply)
{
    QMap<QString, QString> m = parseListIdentityReply(reply);
    if (m.isEmpty())
        return m;
    // parseListIdentityReply found a whole identity item, so this walk stays inside the reply.
    int at = kItemsAt;
    while (le16(reply, at) != kCipIdentityItem || le16(reply, at + 2) < kMinIdentityItemLength)
        at += 4 + le16(reply, at + 2);
    const QByteArray item = reply.mid(at + 4, le16(reply, at + 2));
    m.insert(QStringLiteral("device_type"), QString::number(le16(item, 20)));
    m.insert(QStringLiteral("status"), QStringLiteral("0x%1").arg(le16(item, 26), 4, 16, QLatin1Char('0')));
    const int nameLength = static_cast<uchar>(item[32]);
    if (33 + nameLength < item.size())
        m.insert(QStringLiteral("state"), QString::number(static_cast<uchar>(item[33 + nameLength])));
    return m;
}
