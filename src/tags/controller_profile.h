#pragma once
// Per-family facts the item path needs: the tag library's controller name, how the CIP route
// is defaulted, which addresses the family can have, and how it lays out strings; plus
// recognition of Micro800 controllers by name or catalog number.

#include <QString>

// Where element i of a string tag lies and who reads it.
struct StringLayout {
    // 0: the tag library's own string layout, element i at i * stride. 1 or 2: the plugin's
    // own counted layout, little-endian count and characters, elements packed one after another.
    int countBytes;
    int stride;
    bool evenCount; // the count is rounded up to even, with a zero pad byte after odd texts
    int maxLength;  // longest text the count can carry (counted layouts)
};

struct ControllerProfile {
    const char *label;        // the configuration's selection label
    const char *plc;          // value of the `plc` attribute
    const char *defaultRoute; // route used when none is configured, or nullptr
    bool dropsBackplaneRoute; // a configured "1,0" is removed
    bool dataFiles;           // PCCC: addresses are data files (N7:0), never tag names
    StringLayout strings;
    bool padsLoneByte;        // a lone 1-byte value (BOOL, SINT) comes with a pad byte
    const char *fileTypes;    // PCCC: the data-file letters the family has, space-separated
};

// The profile for a configured controller type (any number; unknown ones get the generic one).
const ControllerProfile &controllerProfile(int controllerType);
// Number of rows of the table, for the configuration's selection list.
int controllerProfileCount();

namespace eip_identity {
// True when the text names a Micro800 controller (model name or 2080- catalog number).
bool isMicro800(const QString &text);
} // namespace eip_identity
