#include <host/plugin_interface.h>

#include "host_state_p.h"

using zel_host::LogLevel;
using zel_host::state;

DatabaseColumnStructure::DatabaseColumnStructure(QString name_, DataType type_, int size_, QString defaultValue_,
                                                 QString label_)
    : name(std::move(name_)), type(type_), defaultValue(std::move(defaultValue_)), label(std::move(label_)),
      size(size_)
{
}

void DatabaseColumnStructure::insertSelectionValues(QString text, QString value)
{
    selectionValues.append({std::move(text), std::move(value)});
}

PluginInterface::PluginInterface() = default;
PluginInterface::~PluginInterface() = default;

QList<DatabaseColumnStructure> PluginInterface::createTableStructure(QString name, DatabaseColumnStructure::DataType type,
                                                                     int size)
{
    QList<DatabaseColumnStructure> columns;
    columns << DatabaseColumnStructure(name, type, size, QString(), QString());
    return columns;
}

bool PluginInterface::initPlugin(QString name, unsigned int capabilities, QList<DatabaseColumnStructure> pluginColumns,
                                 QList<DatabaseColumnStructure> itemColumns,
                                 QList<DatabaseColumnStructure> deviceColumns,
                                 QList<DatabaseColumnStructure> fileColumns, const PluginInitOptions &options)
{
    std::lock_guard<std::mutex> lock(state().mutex);
    state().initCalls.append({name, capabilities, pluginColumns, itemColumns, deviceColumns, fileColumns, options});
    return true;
}

QList<DeviceInstancePlugin> PluginInterface::getPluginDevices()
{
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().deviceList;
}

bool PluginInterface::getPluginItem(QString uid, ItemInstancePlugin *item)
{
    std::lock_guard<std::mutex> lock(state().mutex);
    const ItemInstancePlugin *found = state().find(uid);
    if (!found)
        return false;
    if (item)
        *item = *found;
    return true;
}

bool PluginInterface::addPluginItem(ItemInstancePlugin *item)
{
    if (!item)
        return false;
    std::lock_guard<std::mutex> lock(state().mutex);
    state().store(*item);
    return true;
}

bool PluginInterface::isDiscoveryPaused(QString plugin, QString key)
{
    std::function<bool(const QString &, const QString &)> hook;
    {
        std::lock_guard<std::mutex> lock(state().mutex);
        hook = state().pauseHook;
    }
    // Called outside the lock so that the hook may use the control functions.
    return hook && hook(plugin, key);
}

void PluginInterface::logDebug(QString line)
{
    state().log(LogLevel::Debug, line);
}

void PluginInterface::logInfo(QString line)
{
    state().log(LogLevel::Info, line);
}

void PluginInterface::logError(QString line)
{
    state().log(LogLevel::Error, line);
}
