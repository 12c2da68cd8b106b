#include "ab_eip.h"

#include "exchange/cycles.h"
#include "exchange/value_codec.h"

#include <libplctag.h>

AB_EIP::AB_EIP() : QObject(nullptr) {}

// Open tags belong to the process-wide cache and outlive the object; stopPlugin() closes them.
AB_EIP::~AB_EIP() = default;

bool AB_EIP::readData(LogList *list)
{
    return readCycle(*this, list);
}

bool AB_EIP::writeData(LogList *list)
{
    return writeCycle(*this, list);
}

bool AB_EIP::getEventData(LogList *)
{
    return true; // this driver produces no event data
}

bool AB_EIP::logCallback(LogList *)
{
    return true;
}

bool AB_EIP::stopPlugin()
{
    pluginInterface.logInfo(QStringLiteral("Stopping plugin"));
    shutdownTags();
    pluginInterface.logInfo(QStringLiteral("Plugin stopped"));
    return true;
}

QString AB_EIP::convertValueToString(int tag, DataType type, ControllerType controller, unsigned short index)
{
    return decodeElement(tag, type, controller, index);
}

bool AB_EIP::setTagValue(int tag, DataType type, ControllerType controller, QVariant value, unsigned short index)
{
    const WriteValue v = parseWriteValue(type, value);
    if (!v.ok)
        return false;
    if (type != String) {
        return encodeNumber(tag, *model::dataType(type), index, v.number) == PLCTAG_STATUS_OK;
    }
    // The strings before `index` are put back as they are: in a counted layout they decide
    // where element `index` begins.
    QStringList held;
    int status = 0;
    if (index > 0 && !decodeElements(tag, type, controller, index, &held, &status))
        return false;
    QVector<WriteValue> values;
    for (const QString &text : qAsConst(held))
        values << parseWriteValue(String, text);
    values << v;
    const Encoded e = encodeElements(tag, type, controller, values, index + 1);
    if (e.status != PLCTAG_STATUS_OK)
        pluginInterface.logError(QStringLiteral("Error setting string %1, error %2!")
                                     .arg(QString::number(e.totalLength),
                                          QString::fromLatin1(plc_tag_decode_error(e.status))));
    return e.status == PLCTAG_STATUS_OK;
}
