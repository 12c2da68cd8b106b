#include "tag_access.h"

#include <libplctag.h>

QString TagAccess::errorMessage(int status)
{
    switch (status) {
    case PLCTAG_STATUS_OK: return QStringLiteral("OK");
    case PLCTAG_ERR_BAD_DATA: return QStringLiteral("The PLC's data does not match the tag's size or layout");
    case PLCTAG_ERR_NO_MATCH: return QStringLiteral("The PLC's tag now has another data type");
    case PLCTAG_ERR_BAD_CONNECTION: return QStringLiteral("Could not connect to the PLC");
    case PLCTAG_ERR_BAD_DEVICE: return QStringLiteral("The PLC did not accept the request");
    case PLCTAG_ERR_BAD_GATEWAY: return QStringLiteral("Could not reach the PLC through the network path");
    case PLCTAG_ERR_BAD_PARAM: return QStringLiteral("The tag address or data type is not valid");
    case PLCTAG_ERR_CREATE:
    case PLCTAG_ERR_OPEN: return QStringLiteral("Could not open a connection to the PLC");
    case PLCTAG_ERR_NOT_FOUND: return QStringLiteral("The tag was not found on the PLC");
    case PLCTAG_ERR_NO_DATA: return QStringLiteral("The PLC returned no data");
    case PLCTAG_ERR_REMOTE_ERR: return QStringLiteral("The PLC reported a communication error");
    case PLCTAG_ERR_TIMEOUT: return QStringLiteral("Timed out waiting for the PLC");
    case PLCTAG_ERR_TOO_LARGE: return QStringLiteral("The requested data is too large");
    case PLCTAG_ERR_UNSUPPORTED: return QStringLiteral("This request is not supported by the PLC");
    case PLCTAG_ERR_PARTIAL: return QStringLiteral("The PLC returned only part of the requested data");
    case PLCTAG_ERR_BUSY: return QStringLiteral("The PLC is busy, try again");
    default: break;
    }
    // Everything else: the library's own status name, made readable.
    QString name = QString::fromLatin1(plc_tag_decode_error(status));
    name.remove(QStringLiteral("PLCTAG_ERR_"));
    name.replace(QLatin1Char('_'), QLatin1Char(' '));
    name = name.trimmed();
    if (name.isEmpty())
        return QStringLiteral("PLC communication failed");
    return name.toLower();
}
