#pragma once
// Per-family facts the tag path needs: the tag library's controller name and how the CIP
// route is defaulted, plus recognition of Micro800 controllers by name or catalog number.

#include <QString>

struct ControllerProfile {
    const char *plc;          // value of the `plc` attribute
    const char *defaultRoute; // route used when none is configured, or nullptr
    bool dropsBackplaneRoute; // a configured "1,0" is removed
};

// The profile for a configured controller type (any number; unknown ones get the generic one).
const ControllerProfile &controllerProfile(int controllerType);

namespace eip_identity {
// True when the text names a Micro800 controller (model name or 2080- catalog number).
bool isMicro800(const QString &text);
} // namespace eip_identity
