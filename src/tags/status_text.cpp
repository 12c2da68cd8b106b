#include "tag_access.h"

#include <libplctag.h>

namespace {

struct StatusText {
    int status;
    const char *text;
};

const StatusText kTexts[] = {
    {PLCTAG_STATUS_OK, "OK"},
    {PLCTAG_ERR_BAD_DATA, "The PLC's data does not match the tag's size or layout"},
    {PLCTAG_ERR_NO_MATCH, "The PLC's tag now has another data type"},
    {PLCTAG_ERR_BAD_CONNECTION, "Could not connect to the PLC"},
    {PLCTAG_ERR_BAD_DEVICE, "The PLC did not accept the request"},
    {PLCTAG_ERR_BAD_GATEWAY, "Could not reach the PLC through the network path"},
    {PLCTAG_ERR_BAD_PARAM, "The tag address or data type is not valid"},
    {PLCTAG_ERR_CREATE, "Could not open a connection to the PLC"},
    {PLCTAG_ERR_OPEN, "Could not open a connection to the PLC"},
    {PLCTAG_ERR_NOT_FOUND, "The tag was not found on the PLC"},
    {PLCTAG_ERR_NO_DATA, "The PLC returned no data"},
    {PLCTAG_ERR_REMOTE_ERR, "The PLC reported a communication error"},
    {PLCTAG_ERR_TIMEOUT, "Timed out waiting for the PLC"},
    {PLCTAG_ERR_TOO_LARGE, "The requested data is too large"},
    {PLCTAG_ERR_UNSUPPORTED, "This request is not supported by the PLC"},
    {PLCTAG_ERR_PARTIAL, "The PLC returned only part of the requested data"},
    {PLCTAG_ERR_BUSY, "The PLC is busy, try again"},
};

} // namespace

QString TagAccess::errorMessage(int status)
{
    for (const StatusText &t : kTexts)
        if (t.status == status)
            return QLatin1String(t.text);
    // Everything else: the library's own status name, made readable.
    QString name = QString::fromLatin1(plc_tag_decode_error(status));
    name.remove(QStringLiteral("PLCTAG_ERR_"));
    name.replace(QLatin1Char('_'), QLatin1Char(' '));
    name = name.trimmed();
    if (name.isEmpty())
        return QStringLiteral("PLC communication failed");
    return name.toLower();
}
