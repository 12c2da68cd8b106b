#pragma once
// The host side of the in-process host: what tests and the host runner use to feed a plugin
// devices and items, to watch its log and its registration, and to pause its traffic.
// Plugins never include this; they only see PluginInterface.

#include <host/plugin_interface.h>
#include <host/zel_export.h>

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace zel_host {

enum class LogLevel { Debug, Info, Error };

struct LogLine {
    LogLevel level;
    QString text;
};

// One recorded PluginInterface::initPlugin call.
struct InitPluginCall {
    QString name;
    unsigned int capabilities = 0;
    QList<DatabaseColumnStructure> pluginColumns;
    QList<DatabaseColumnStructure> itemColumns;
    QList<DatabaseColumnStructure> deviceColumns;
    QList<DatabaseColumnStructure> fileColumns;
    PluginInitOptions options;
};

// Forgets devices, items, log lines, hooks and recorded calls.
ZELHOST_EXPORT void reset();

// The devices' own items are the host's too: getPluginItem finds them without a copy in the
// item store.
ZELHOST_EXPORT void setDevices(const QList<DeviceInstancePlugin> &devices);

// Item store keyed by uid, for the items beyond the devices' lists (those the plugin added);
// storing an item whose uid is already held replaces it.
ZELHOST_EXPORT void putItem(const ItemInstancePlugin &item);
ZELHOST_EXPORT QList<ItemInstancePlugin> items(); // the store's, in order of first storage

// Every line the plugin logged, in order.
ZELHOST_EXPORT QStringList logTexts(LogLevel level);
ZELHOST_EXPORT QStringList allLogTexts();
// The kept lines, handed over and forgotten in one step: nothing logged in between is lost.
ZELHOST_EXPORT QList<LogLine> takeLogLines();
// Lines below this level are not kept. Debug by default; at most the newest
// 200,000 lines are kept.
ZELHOST_EXPORT void setKeptLogLevel(LogLevel lowest);

// Consulted on every pause query; returning true pauses. Lets a test start a pause in the
// middle of a cycle. An empty function removes the hook.
ZELHOST_EXPORT void setDiscoveryPauseHook(std::function<bool(const QString &plugin, const QString &key)> hook);

ZELHOST_EXPORT QList<InitPluginCall> initPluginCalls();

} // namespace zel_host
