#pragma once
// Finds the configured item a write names: by uid, by "device/item" (device name or id),
// or by item name alone when only one device has an item of that name.

#include "config.h"

#include <QString>

namespace runner {

struct ItemRef {
    int deviceId = 0;
    QString uid;
    QString label; // "device/item", for messages
};

class ItemIndex {
public:
    explicit ItemIndex(const RunnerConfig &config) : config_(config) {}

    bool resolve(const QString &name, ItemRef *out, QString *error) const;

private:
    const RunnerConfig &config_;
};

// "NAME=VALUE": the name is trimmed, the value kept as given (it may hold blanks or '=').
bool parseAssignment(const QString &text, QString *name, QString *value, QString *error);

} // namespace runner
