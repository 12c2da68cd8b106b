#include "attribute_string.h"

QString attributeString(const TagAttributes &a)
{
    QString s = QStringLiteral("protocol=ab_eip&gateway=") + a.gateway;
    if (!a.path.isEmpty())
        s += QStringLiteral("&path=") + a.path;
    s += QStringLiteral("&plc=") + a.plc + QStringLiteral("&elem_size=") + QString::number(a.elemSize) +
         QStringLiteral("&elem_count=") + QString::number(a.elemCount) + QStringLiteral("&name=") + a.name +
         QStringLiteral("&share_session=1");
    if (a.debugOff)
        s += QStringLiteral("&debug=0");
    return s;
}
