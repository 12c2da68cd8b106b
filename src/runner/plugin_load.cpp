#include "plugin_load.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonObject>
#include <QLibrary>

namespace runner {

namespace {

bool loadFile(const QString &file, LoadedPlugin *out, QString *error)
{
    auto loader = std::make_unique<QPluginLoader>(file);
    const QJsonObject meta = loader->metaData();
    if (meta.isEmpty()) {
        // Qt only says why when it tries to load the library itself.
        QLibrary probe(file);
        const QString why = probe.load() ? QStringLiteral("it is a library but not a Qt plugin") : probe.errorString();
        *error = QStringLiteral("cannot load plugin %1: %2").arg(file, why);
        return false;
    }
    const QString iid = meta.value(QStringLiteral("IID")).toString();
    if (iid != QLatin1String(ZELInterface_iid)) {
        *error = QStringLiteral("cannot load plugin %1: it is a Qt plugin for \"%2\", not for this host (\"%3\")")
                     .arg(file, iid, QStringLiteral(ZELInterface_iid));
        return false;
    }
    QObject *object = loader->instance();
    if (!object) {
        *error = QStringLiteral("cannot load plugin %1: %2").arg(file, loader->errorString());
        return false;
    }
    ZELInterface *plugin = qobject_cast<ZELInterface *>(object);
    if (!plugin) {
        *error = QStringLiteral("cannot load plugin %1: its object does not implement ZELInterface").arg(file);
        return false;
    }
    out->plugin = plugin;
    out->file = QFileInfo(file).absoluteFilePath();
    out->className = QString::fromLatin1(object->metaObject()->className());
    out->loader = std::move(loader);
    return true;
}

} // namespace

bool loadPlugin(const QString &location, const QString &preferredClass, LoadedPlugin *out, QString *error)
{
    const QFileInfo info(location);
    if (!info.exists()) {
        *error = QStringLiteral("cannot load plugin %1: no such file or folder").arg(location);
        return false;
    }
    if (!info.isDir())
        return loadFile(info.absoluteFilePath(), out, error);

    const QDir dir(info.absoluteFilePath());
    QString fallback;
    int libraries = 0;
    for (const QFileInfo &entry : dir.entryInfoList(QDir::Files, QDir::Name)) {
        if (!QLibrary::isLibrary(entry.fileName()))
            continue;
        ++libraries;
        const QJsonObject meta = QPluginLoader(entry.absoluteFilePath()).metaData();
        if (meta.value(QStringLiteral("IID")).toString() != QLatin1String(ZELInterface_iid))
            continue;
        if (meta.value(QStringLiteral("className")).toString() == preferredClass)
            return loadFile(entry.absoluteFilePath(), out, error);
        if (fallback.isEmpty())
            fallback = entry.absoluteFilePath();
    }
    if (!fallback.isEmpty())
        return loadFile(fallback, out, error);
    *error = QStringLiteral("cannot load plugin from %1: none of its %2 libraries is a plugin for this host")
                 .arg(dir.path())
                 .arg(libraries);
    return false;
}

} // namespace runner
