#pragma once
// The runner's item store: the items the plugin created through the host (its identity
// items), kept in a JSON file next to the configuration so that they survive a restart the
// way they would in a real host's database.

#include <host/zel_records.h>

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

namespace runner {

// The last value the runner saw for a stored item; written for the reader of the file.
struct LastValue {
    QString value;
    QString status;
    QDateTime timestamp;
};

// <folder>/<name>.items.json for <folder>/<name>.json
QString defaultItemStorePath(const QString &configFile);

// A missing file is an empty store. A damaged one is an error naming line and column.
bool loadItemStore(const QString &path, QList<ItemInstancePlugin> *items, QString *error);
// Written atomically: a crash never leaves half a store behind.
bool saveItemStore(const QString &path, const QList<ItemInstancePlugin> &items,
                   const QHash<QString, LastValue> &lastValues, QString *error);

} // namespace runner
