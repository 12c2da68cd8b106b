#include "write_value.h"

#include "plugin/ab_eip.h"

#include <QRegularExpression>

#include <cfloat>
#include <cmath>
#include <limits>

namespace {

struct Range {
    int64_t min;
    int64_t max;
};

bool integerRange(int type, Range *r)
{
    switch (type) {
    case AB_EIP::Bool: *r = {0, 1}; return true;
    case AB_EIP::SmallInteger: *r = {INT8_MIN, INT8_MAX}; return true;
    case AB_EIP::UnsignedSmallInteger:
    case AB_EIP::Byte: *r = {0, UINT8_MAX}; return true;
    case AB_EIP::Integer: *r = {INT16_MIN, INT16_MAX}; return true;
    case AB_EIP::UnsignedInteger:
    case AB_EIP::Word: *r = {0, UINT16_MAX}; return true;
    case AB_EIP::DoubleInteger: *r = {INT32_MIN, INT32_MAX}; return true;
    case AB_EIP::UnsignedDoubleInteger:
    case AB_EIP::DoubleWord: *r = {0, UINT32_MAX}; return true;
    default: return false;
    }
}

bool isNumber(const QVariant &v)
{
    const int t = v.userType();
    return t == QMetaType::Double || t == QMetaType::Float || t == QMetaType::Int || t == QMetaType::UInt ||
           t == QMetaType::LongLong || t == QMetaType::ULongLong;
}

bool parseInteger(int type, const QVariant &value, int64_t *out)
{
    Range range;
    if (!integerRange(type, &range))
        return false;
    if (value.userType() == QMetaType::Bool) {
        if (type != AB_EIP::Bool)
            return false;
        *out = value.toBool() ? 1 : 0;
        return true;
    }
    if (isNumber(value)) {
        const double d = value.toDouble();
        if (!std::isfinite(d) || std::floor(d) != d || d < double(range.min) || d > double(range.max))
            return false;
        *out = static_cast<int64_t>(d);
        return true;
    }
    if (value.userType() != QMetaType::QString)
        return false;
    const QString text = value.toString().trimmed();
    if (type == AB_EIP::Bool) {
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
    const qlonglong v = text.toLongLong(&ok, 10);
    if (!ok || v < range.min || v > range.max)
        return false;
    *out = v;
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
    if (!std::isfinite(d))
        return false;
    if (type == AB_EIP::Real && std::fabs(d) > double(FLT_MAX))
        return false;
    *out = d;
    return true;
}

} // namespace

QString dataTypeLabel(int dataType)
{
    static const char *const labels[] = {"Bool",         "Small integer",    "Unsigned small integer",
                                         "Byte",         "Integer",          "Unsigned integer",
                                         "Word",         "Double integer",   "Unsigned double integer",
                                         "Double word",  "Real",             "String",
                                         "LReal"};
    if (dataType >= 0 && dataType < int(sizeof labels / sizeof labels[0]))
        return QString::fromLatin1(labels[dataType]);
    return QStringLiteral("data type %1").arg(dataType);
}

WriteValue parseWriteValue(int dataType, const QVariant &value)
{
    WriteValue r;
    if (dataType == AB_EIP::String) {
        r.text = value.toString().toUtf8();
        r.ok = true;
        return r;
    }
    if (dataType == AB_EIP::Real || dataType == AB_EIP::LReal)
        r.ok = parseReal(dataType, value, &r.real);
    else if (dataType >= AB_EIP::Bool && dataType <= AB_EIP::DoubleWord)
        r.ok = parseInteger(dataType, value, &r.integer);
    else {
        r.error = QStringLiteral("Unsupported data type %1").arg(dataType);
        return r;
    }
    if (!r.ok)
        r.error = QStringLiteral("Invalid value for %1: %2").arg(dataTypeLabel(dataType), value.toString());
    return r;
}
