#include "data_types.h"

#include "controller_profile.h"

#include <libplctag.h>

namespace {

// Any non-zero byte is true: controllers and servers send 1 or 0xFF.
QString getBool(int32_t t, int o) { return QString::number(plc_tag_get_uint8(t, o) != 0 ? 1 : 0); }
QString getU8(int32_t t, int o) { return QString::number(int(plc_tag_get_uint8(t, o))); }
QString getI8(int32_t t, int o) { return QString::number(int(plc_tag_get_int8(t, o))); }
QString getU16(int32_t t, int o) { return QString::number(int(plc_tag_get_uint16(t, o))); }
QString getI16(int32_t t, int o) { return QString::number(int(plc_tag_get_int16(t, o))); }
QString getU32(int32_t t, int o) { return QString::number(uint(plc_tag_get_uint32(t, o))); }
QString getI32(int32_t t, int o) { return QString::number(int(plc_tag_get_int32(t, o))); }
QString getU64(int32_t t, int o) { return QString::number(qulonglong(plc_tag_get_uint64(t, o))); }
QString getI64(int32_t t, int o) { return QString::number(qlonglong(plc_tag_get_int64(t, o))); }
QString getF32(int32_t t, int o) { return QString::number(double(plc_tag_get_float32(t, o)), 'f', 7); }
QString getF64(int32_t t, int o) { return QString::number(plc_tag_get_float64(t, o), 'f', 15); }

int setU8(int32_t t, int o, const ElementValue &v) { return plc_tag_set_uint8(t, o, uint8_t(v.integer)); }
int setI8(int32_t t, int o, const ElementValue &v) { return plc_tag_set_int8(t, o, int8_t(v.integer)); }
int setU16(int32_t t, int o, const ElementValue &v) { return plc_tag_set_uint16(t, o, uint16_t(v.integer)); }
int setI16(int32_t t, int o, const ElementValue &v) { return plc_tag_set_int16(t, o, int16_t(v.integer)); }
int setU32(int32_t t, int o, const ElementValue &v) { return plc_tag_set_uint32(t, o, uint32_t(v.integer)); }
int setI32(int32_t t, int o, const ElementValue &v) { return plc_tag_set_int32(t, o, int32_t(v.integer)); }
int setU64(int32_t t, int o, const ElementValue &v) { return plc_tag_set_uint64(t, o, uint64_t(v.integer)); }
int setI64(int32_t t, int o, const ElementValue &v) { return plc_tag_set_int64(t, o, v.integer); }
int setF32(int32_t t, int o, const ElementValue &v) { return plc_tag_set_float32(t, o, float(v.real)); }
int setF64(int32_t t, int o, const ElementValue &v) { return plc_tag_set_float64(t, o, v.real); }

// Indexed by TagTypes::DataType.
const DataTypeInfo kDataTypes[] = {
    {"Bool", 1, true, false, 0, 1, getBool, setU8},
    {"Small integer", 1, true, false, INT8_MIN, INT8_MAX, getI8, setI8},
    {"Unsigned small integer", 1, true, false, 0, UINT8_MAX, getU8, setU8},
    // One byte of value in a 16-bit slot, as the controllers keep it.
    {"Byte", 2, true, false, 0, UINT8_MAX, getU8, setU8},
    {"Integer", 2, true, false, INT16_MIN, INT16_MAX, getI16, setI16},
    {"Unsigned integer", 2, true, false, 0, UINT16_MAX, getU16, setU16},
    {"Word", 2, true, false, 0, UINT16_MAX, getU16, setU16},
    {"Double integer", 4, true, false, INT32_MIN, INT32_MAX, getI32, setI32},
    {"Unsigned double integer", 4, true, false, 0, UINT32_MAX, getU32, setU32},
    {"Double word", 4, true, false, 0, UINT32_MAX, getU32, setU32},
    {"Real", 4, false, true, 0, 0, getF32, setF32},
    // A Logix STRING: 4-byte count, 82 characters, 2 pad bytes. Other families lay strings
    // out their own way (ControllerProfile::strings).
    {"String", 88, false, false, 0, 0, nullptr, nullptr},
    {"LReal", 8, false, true, 0, 0, getF64, setF64},
    {"Long integer", 8, true, false, INT64_MIN, INT64_MAX, getI64, setI64},
    {"Unsigned long integer", 8, true, false, 0, UINT64_MAX, getU64, setU64},
};

} // namespace

const DataTypeInfo *dataTypeInfo(int type)
{
    if (type < 0 || type >= int(sizeof kDataTypes / sizeof kDataTypes[0]))
        return nullptr;
    return &kDataTypes[type];
}

int TagTypes::getDataLength(DataType type)
{
    const DataTypeInfo *info = dataTypeInfo(type);
    return info ? info->elementSize : 1;
}

QString TagTypes::getCpu(ControllerType type)
{
    return QString::fromLatin1(controllerProfile(type).plc);
}
