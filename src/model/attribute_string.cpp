#include "attribute_string.h"

namespace model {

QString attributeString(const TagAttributes &a)
{
    QString s = QStringLiteral("protocol=ab_eip&gateway=") + a.gateway;
    if (!a.path.isEmpty())
        s += QStringLiteral("&path=") + a.path;
    s += QStringLiteral("&plc=") + a.plc;
    if (a.elemSize > 0)
        s += QStringLiteral("&elem_size=") + QString::number(a.elemSize);
    if (a.elemCount > 0)
        s += QStringLiteral("&elem_count=") + QString::number(a.elemCount);
    s += QStringLiteral("&name=") + a.name + QStringLiteral("&share_session=1");
    if (a.debugOff)
        s += QStringLiteral("&debug=0");
    return s;
}

} // namespace model
