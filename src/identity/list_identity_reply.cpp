// The List Identity reply decoder, kept apart from the socket code so that it builds
// with QtCore alone (the fuzz target links nothing else).
#include "list_identity.h"

namespace {

constexpr int kHeaderSize = 24;          // encapsulation header; nothing in it is checked
constexpr quint16 kCipIdentityItem = 0x000C;
constexpr int kMinIdentityItemLength = 34; // fixed fields up to and including the name length

// Little-endian readers; callers have checked the bounds.
quint16 le16(const uchar *p) { return static_cast<quint16>(p[0] | (p[1] << 8)); }
quint32 le32(const uchar *p)
{
    return static_cast<quint32>(p[0]) | (static_cast<quint32>(p[1]) << 8) | (static_cast<quint32>(p[2]) << 16)
        | (static_cast<quint32>(p[3]) << 24);
}

} // namespace

QString eipVendorName(unsigned short vendorId)
{
    switch (vendorId) {
    case 1:
        return QStringLiteral("Rockwell Automation / Allen-Bradley");
    case 47:
        return QStringLiteral("Omron");
    default:
        return QStringLiteral("Vendor %1").arg(vendorId);
    }
}

QMap<QString, QString> parseListIdentityReply(const QByteArray &reply)
{
    QMap<QString, QString> result;
    const int size = reply.size();
    if (size < kHeaderSize + 4)
        return result;
    const auto *bytes = reinterpret_cast<const uchar *>(reply.constData());

    // Walk the item list up to the first CIP Identity item long enough to hold its fixed
    // fields; an item that claims more bytes than the datagram holds spoils the reply.
    const int count = le16(bytes + kHeaderSize);
    int offset = kHeaderSize + 2;
    int itemOffset = -1;
    int itemLength = 0;
    for (int index = 0; index < count && offset + 3 < size; ++index) {
        const quint16 type = le16(bytes + offset);
        const int length = le16(bytes + offset + 2);
        offset += 4;
        if (offset + length > size)
            return result;
        if (type == kCipIdentityItem && length >= kMinIdentityItemLength) {
            itemOffset = offset;
            itemLength = length;
            break;
        }
        offset += length;
    }
    if (itemOffset < 0)
        return result;

    const uchar *item = bytes + itemOffset;
    const quint16 vendorId = le16(item + 18);
    const quint16 productCode = le16(item + 22);
    const int major = item[24];
    const int minor = item[25];
    const quint32 serial = le32(item + 28);
    const int nameLength = item[32];
    // The name only counts when it lies wholly inside the item.
    QString model = QStringLiteral("");
    if (nameLength + 32 < itemLength)
        model = QString::fromLatin1(reinterpret_cast<const char *>(item + 33), nameLength).trimmed();

    const QString revision = QStringLiteral("%1.%2").arg(major).arg(minor);
    result.insert(QStringLiteral("vendor"), eipVendorName(vendorId));
    result.insert(QStringLiteral("model"), model);
    result.insert(QStringLiteral("serial"), QString::number(serial));
    result.insert(QStringLiteral("firmware"), revision);
    result.insert(QStringLiteral("cip_revision"), revision);
    result.insert(QStringLiteral("product_code"), QString::number(productCode));
    return result;
}
