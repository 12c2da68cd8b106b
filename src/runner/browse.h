#pragma once
// --browse: a controller's tag list through the tag library's "@tags" tags, shown as a table
// or written as a ready-to-run configuration; --identify: one controller's List Identity.

#include <QList>
#include <QString>

#include <cstdint>

namespace runner {

struct DeviceConfig;

// One symbol of a listing, as the tag library lays it out.
struct ListedSymbol {
    QString scope; // "" for the controller, else "Program:<name>"
    QString name;  // within its scope
    uint32_t instance = 0;
    uint16_t type = 0; // symbol type word
    uint16_t elementSize = 0;
    uint32_t dims[3] = {0, 0, 0};

    QString address() const { return scope.isEmpty() ? name : scope + QLatin1Char('.') + name; }
    int dimensionCount() const { return (type >> 13) & 3; }
    bool isStructure() const { return type & 0x8000; }
    bool isSystem() const { return type & 0x1000; }
};

// What a symbol becomes in a configuration: its type's name, the item's data type (or -1)
// and, for a symbol left out, why.
struct SymbolView {
    QString typeName;   // "DINT", "STRING", "STRUCT 0x123"
    QString dimensions; // "", "[10]", "[2,3]"
    int dataType = -1;
    QString address;    // item address: "Tag" or "Tag[0-9]"
    QString leftOut;    // non-empty: not an item, and why
    bool expand = false; // a structure or BOOL array: its members or bits become the items
};
SymbolView viewOf(const ListedSymbol &s);

// Whether a program entry of the controller scope ("Program:Main", a system symbol).
bool isProgramEntry(const ListedSymbol &s);

// Lists the device's tags, controller scope then each program. Returns the exit status.
// maxElements: how many elements of an array of structures --browse-json expands.
int browseDevice(const DeviceConfig &device, bool json, int maxElements = 16);

// --browse TARGET: an address (with controllerType and path), or with configFile the name or
// id of one of its devices.
struct BrowseRequest {
    QString target;
    QString configFile;
    QString controllerType;
    QString path;
    bool json = false;
    int maxElements = 16;
};
int runBrowse(const BrowseRequest &request);

// Prints the List Identity answer of one address. Returns the exit status.
int identifyDevice(const QString &address);

} // namespace runner
