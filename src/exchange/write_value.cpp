#include "write_value.h"

#include <QRegularExpression>

#include <cfloat>
#include <cmath>

namespace {

bool isNumber(const QVariant &v)
{
    const int t = v.userType();
    return t == QMetaType::Double || t == QMetaType::Float || t == QMetaType::Int || t == QMetaType::UInt ||
           t == QMetaType::LongLong || t == QMetaType::ULongLong;
}

bool parseInteger(int type, const model::DataTypeRow &info, const QVariant &value, int64_t *out)
{
    if (value.userType() == QMetaType::Bool) {
        if (type != TagTypes::Bool)
            return false;
        *out = value.toBool() ? 1 : 0;
        return true;
    }
    if (isNumber(value)) {
        // A JSON number is a double: past 2^53 it may no longer be the integer that was meant.
        const double d = value.toDouble();
        if (!std::isfinite(d) || std::floor(d) != d || std::fabs(d) >= 9007199254740992.0 || d < double(info.min) ||
            d > double(info.max))
            return false;
        *out = static_cast<int64_t>(d);
        return true;
    }
    if (value.userType() != QMetaType::QString)
        return false;
    const QString text = value.toString().trimmed();
    if (type == TagTypes::Bool) {
        if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) {
            *out = 1;
            return true;
        }
        if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) {
            *out = 0;
            return true;
        }
    }
    static const QRegularExpression decimal(QStringLiteral("^[+-]?[0-9]+$"));
    if (!decimal.match(text).hasMatch())
        return false;
    bool ok = false;
    if (text.startsWith(QLatin1Char('-'))) {
        const qlonglong v = text.toLongLong(&ok, 10);
        if (!ok || v < info.min)
            return false;
        *out = v;
        return true;
    }
    const qulonglong v = text.toULongLong(&ok, 10);
    if (!ok || v > info.max)
        return false;
    *out = static_cast<int64_t>(v); // Unsigned long integer keeps its bits
    return true;
}

bool parseReal(int type, const QVariant &value, double *out)
{
    double d = 0;
    if (isNumber(value)) {
        d = value.toDouble();
    } else if (value.userType() == QMetaType::QString) {
        bool ok = false;
        d = value.toString().trimmed().toDouble(&ok);
        if (!ok)
            return false;
    } else {
        return false;
    }
    if (!std::isfinite(d) || (type == TagTypes::Real && std::fabs(d) > double(FLT_MAX)))
        return false;
    *out = d;
    return true;
}

} // namespace

WriteValue parseWriteValue(int dataType, const QVariant &value)
{
    WriteValue r;
    const model::DataTypeRow *info = model::dataType(dataType);
    if (!info) {
        r.error = QStringLiteral("Unsupported data type %1").arg(dataType);
        return r;
    }
    if (dataType == TagTypes::String) {
        r.text = value.toString().toUtf8();
        r.ok = true;
        return r;
    }
    r.ok = info->isReal() ? parseReal(dataType, value, &r.number.real)
                        : parseInteger(dataType, *info, value, &r.number.integer);
    if (!r.ok)
        r.error = QStringLiteral("Invalid value for ") + QLatin1String(info->label) + QStringLiteral(": ") +
                  value.toString();
    return r;
}
