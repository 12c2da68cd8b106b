#pragma once
// The captured List Identity exchanges the identity tests replay.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

namespace identity_test {

// The server-to-client ("< ") lines of one capture file, in wire order.
inline QList<QByteArray> captureReplies(const QString &file, QList<QByteArray> *requests = nullptr)
{
    QList<QByteArray> replies;
    QFile f(QStringLiteral(IDENTITY_CAPTURES_DIR "/") + file);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return replies;
    while (!f.atEnd()) {
        const QByteArray line = f.readLine().trimmed();
        if (line.startsWith("< "))
            replies << QByteArray::fromHex(line.mid(2).replace(' ', ""));
        else if (line.startsWith("> ") && requests)
            *requests << QByteArray::fromHex(line.mid(2).replace(' ', ""));
    }
    return replies;
}

} // namespace identity_test
