#pragma once
// Item data types and controller families as the host stores them (the numbers are part of
// stored configurations and never change), and the one table that says what a data type is:
// its label, its place in a tag buffer, the values a write may take and the controller types
// that browse maps onto it. Pure knowledge; a new data type is a new row.

#include <QString>
#include <QStringList>

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

namespace model {

struct DataTypeRow {
    enum Value { Unsigned, Signed, Float, Text };

    int number;          // "data_type" as stored
    const char *label;   // the configuration's selection label
    QStringList aliases; // other spellings a configuration may use, normalised
    int elementSize;     // stride in the tag buffer and the elem_size attribute
    Value value;         // what an element holds
    int valueBytes;      // bytes of value at the start of each element
    int64_t min;         // the whole numbers a write may take (Unsigned and Signed)
    uint64_t max;

    bool isInteger() const { return value == Unsigned || value == Signed; }
    bool isReal() const { return value == Float; }
};

// The row of a configured number; null outside the table.
const DataTypeRow *dataType(int number);
int dataTypeCount();
// Shown order of the selection list; LReal was added after String and is listed before it.
QList<int> shownDataTypes();
// A data type given as a number, a label, a member name or an alias; -1 when unknown.
int dataTypeFromText(const QString &text);

// What a listed symbol's type becomes: its name and the item data type, -1 when none.
struct ListedType {
    QString name;
    int dataType = -1;
};
// A symbol type word as a controller's tag list gives it.
ListedType listedType(uint16_t symbolType);

} // namespace model
