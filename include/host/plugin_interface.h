#pragma once
// The host's service object: what a plugin may ask of the host.

#include "zel_export.h"
#include "zel_records.h"

#include <QList>
#include <QString>

class ZELHOST_EXPORT PluginInterface {
public:
    PluginInterface();
    ~PluginInterface();
    PluginInterface(const PluginInterface &) = default;
    PluginInterface &operator=(const PluginInterface &) = default;

    // A column list that starts with the named column; the plugin appends its own.
    static QList<DatabaseColumnStructure> createTableStructure(QString name, DatabaseColumnStructure::DataType type,
                                                               int size);

    bool initPlugin(QString name, unsigned int capabilities, QList<DatabaseColumnStructure> pluginColumns,
                    QList<DatabaseColumnStructure> itemColumns, QList<DatabaseColumnStructure> deviceColumns,
                    QList<DatabaseColumnStructure> fileColumns, const PluginInitOptions &options);

    QList<DeviceInstancePlugin> getPluginDevices();
    bool getPluginItem(QString uid, ItemInstancePlugin *item);
    bool addPluginItem(ItemInstancePlugin *item);

    // True while the host pauses the plugin's traffic for `key` (an address or "exclusive").
    static bool isDiscoveryPaused(QString plugin, QString key);

    void logDebug(QString line);
    void logInfo(QString line);
    void logError(QString line);
};
