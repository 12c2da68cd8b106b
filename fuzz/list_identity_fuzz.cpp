// Any datagram, however malformed, must decode without a read outside it: either the
// empty map or the six identity entries.
#include "identity/list_identity.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 65535)
        return 0; // larger than any UDP datagram
    // fromRawData: no copy, so ASan sees the exact end of libFuzzer's buffer.
    const QByteArray reply = QByteArray::fromRawData(reinterpret_cast<const char *>(data), static_cast<int>(size));
    const QMap<QString, QString> m = parseListIdentityReply(reply);
    if (!m.isEmpty()) {
        if (m.size() != 6 || m.value(QStringLiteral("firmware")) != m.value(QStringLiteral("cip_revision"))
            || m.value(QStringLiteral("model")).size() > 255)
            __builtin_trap();
    }
    // The fuller answer walks the reply once more; it must agree on when there is one.
    if (parseListIdentityDetails(reply).isEmpty() != m.isEmpty())
        __builtin_trap();
    return 0;
}
