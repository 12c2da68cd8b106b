#pragma once
// Item data types and controller families as the host stores them (the numbers are part of
// stored configurations and never change), and the one table that says what a data type is.

#include <QString>

#include <cstdint>

struct TagTypes {
    // Fixed to int: stored configurations may hold any number, and out-of-range values must
    // stay well-defined on their way to the default branches.
    enum DataType : int {
        Bool = 0,
        SmallInteger = 1,
        UnsignedSmallInteger = 2,
        Byte = 3,
        Integer = 4,
        UnsignedInteger = 5,
        Word = 6,
        DoubleInteger = 7,
        UnsignedDoubleInteger = 8,
        DoubleWord = 9,
        Real = 10,
        String = 11,
        LReal = 12,
        LongInteger = 13,
        UnsignedLongInteger = 14,
    };

    enum ControllerType : int {
        Micro800 = 0,
        MicroLogix = 1,
        CompactLogix = 2,
        SLC500 = 3,
        PLC5 = 4,
        ControlLogix = 5,
        FlexLogix = 6,
        OmronNjNx = 7,
    };

    // Element size in the tag buffer; 1 for numbers outside the table.
    static int getDataLength(DataType type);
    // The tag library's `plc` name; "lgx" for numbers outside the table.
    static QString getCpu(ControllerType type);
};

// One element's value on its way into a tag buffer, already checked against its data type.
struct ElementValue {
    int64_t integer = 0; // integer types (Bool as 0 / 1); Unsigned long integer as its bits
    double real = 0;     // Real and LReal
};

struct DataTypeInfo {
    const char *label;       // the configuration's selection label
    int elementSize;         // stride in the tag buffer and the elem_size attribute
    bool isInteger;          // a write takes a whole number in [min, max]
    bool isReal;             // a write takes a finite number; Real also within float range
    int64_t min;
    uint64_t max;
    // Through the tag library's typed accessors, at an offset already checked against the
    // buffer; null for String, whose layout is the family's. set returns the library's status.
    QString (*get)(int32_t tag, int offset);
    int (*set)(int32_t tag, int offset, const ElementValue &value);
};

// The row of a configured data type; null outside 0 to 14.
const DataTypeInfo *dataTypeInfo(int type);
