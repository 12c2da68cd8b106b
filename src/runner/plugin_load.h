#pragma once
// Finds and loads a driver plugin the way the host does: through QPluginLoader, from a
// library file or from a folder of plugins, accepting only what implements ZELInterface.

#include <host/zel_interface.h>

#include <QPluginLoader>
#include <QString>

#include <memory>

namespace runner {

struct LoadedPlugin {
    std::unique_ptr<QPluginLoader> loader; // kept for the life of the process; never unloaded
    ZELInterface *plugin = nullptr;
    QString file;
    QString className;
};

// `location` is a library file or a folder. In a folder the first library (by name) whose
// class is `preferredClass` wins, else the first that implements ZELInterface.
bool loadPlugin(const QString &location, const QString &preferredClass, LoadedPlugin *out, QString *error);

} // namespace runner
