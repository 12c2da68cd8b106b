// Item address rules and write-value checks on arbitrary configuration text: no crash, no
// sanitizer report, and the results keep their invariants.
#include "exchange/write_value.h"
#include "plugin/ab_eip.h"
#include "tags/tag_binding.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const int controller = static_cast<int8_t>(data[0]) % 10;
    const int dataType = static_cast<int8_t>(data[1]) % 15;
    // The rest: address, path and device name separated by newlines.
    const QList<QByteArray> parts = QByteArray(reinterpret_cast<const char *>(data + 2), int(size - 2)).split('\n');
    DeviceInstancePlugin device;
    device.id = 1;
    device.ipAddress = QStringLiteral("192.0.2.10");
    device.settings.insert(QStringLiteral("controller_type"), QString::number(controller));
    if (parts.size() > 1)
        device.settings.insert(QStringLiteral("path"), QString::fromUtf8(parts[1]));
    if (parts.size() > 2)
        device.name = QString::fromUtf8(parts[2]);
    const QString address = QString::fromUtf8(parts[0]);
    const QMap<QString, QString> item{{QStringLiteral("address"), address},
                                      {QStringLiteral("data_type"), QString::number(dataType)}};
    const ItemBinding r = bindItem(device, item);
    if (r.elementCount == 0 || !r.attributes.startsWith(QLatin1String("protocol=ab_eip&gateway=192.0.2.10")))
        std::abort();

    const WriteValue v = parseWriteValue(dataType, address);
    if (v.ok == !v.error.isEmpty())
        std::abort();
    const QJsonDocument doc = QJsonDocument::fromJson(parts[0]);
    if (doc.isArray())
        for (const QJsonValue &e : doc.array())
            parseWriteValue(dataType, e.toVariant());
    return 0;
}
