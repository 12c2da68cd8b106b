#pragma once
// Shared state behind PluginInterface and the zel_host control functions.

#include "host_state.h"

#include <QHash>
#include <QPair>

#include <mutex>

namespace zel_host {

struct State {
    std::mutex mutex; // every member below is read and written under it
    QList<DeviceInstancePlugin> deviceList;
    QHash<QString, QPair<int, int>> deviceItemAt; // uid -> device and item of deviceList
    QStringList itemOrder;
    QHash<QString, ItemInstancePlugin> itemsByUid;
    QList<LogLine> lines;
    std::function<bool(const QString &, const QString &)> pauseHook;
    QList<InitPluginCall> initCalls;
    LogLevel keptLevel = LogLevel::Debug;

    // Long runs must not grow without bound: the oldest entries go first past these.
    static constexpr int kMaxLines = 200000;

    void store(const ItemInstancePlugin &item); // caller holds mutex
    const ItemInstancePlugin *find(const QString &uid) const; // caller holds mutex
    void log(LogLevel level, const QString &text);
};

State &state();

} // namespace zel_host
