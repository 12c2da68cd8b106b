#include "item_store.h"

#include "json_locate.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace runner {

namespace {

QJsonObject toJson(const ItemInstancePlugin &item, const LastValue *last)
{
    QJsonObject settings;
    for (auto it = item.settings.begin(); it != item.settings.end(); ++it)
        settings.insert(it.key(), it.value());
    QJsonObject o{{QStringLiteral("uid"), item.uid},
                  {QStringLiteral("id"), item.id},
                  {QStringLiteral("device_id"), item.deviceId},
                  {QStringLiteral("name"), item.name},
                  {QStringLiteral("description"), item.description},
                  {QStringLiteral("enabled"), item.enabled},
                  {QStringLiteral("read_interval_ms"), item.readIntervalMs},
                  {QStringLiteral("flag"), item.flag},
                  {QStringLiteral("item_kind"), item.itemKind},
                  {QStringLiteral("settings"), settings}};
    if (last) {
        o.insert(QStringLiteral("last_value"), last->value);
        o.insert(QStringLiteral("last_status"), last->status);
        if (last->timestamp.isValid())
            o.insert(QStringLiteral("last_timestamp"), last->timestamp.toUTC().toString(Qt::ISODateWithMs));
    }
    return o;
}

ItemInstancePlugin fromJson(const QJsonObject &o)
{
    ItemInstancePlugin item{};
    item.uid = o.value(QStringLiteral("uid")).toString();
    item.id = o.value(QStringLiteral("id")).toInt();
    item.deviceId = o.value(QStringLiteral("device_id")).toInt();
    item.name = o.value(QStringLiteral("name")).toString();
    item.description = o.value(QStringLiteral("description")).toString();
    item.enabled = o.value(QStringLiteral("enabled")).toBool();
    item.readIntervalMs = o.value(QStringLiteral("read_interval_ms")).toInt();
    item.flag = o.value(QStringLiteral("flag")).toBool();
    item.itemKind = o.value(QStringLiteral("item_kind")).toInt();
    const QJsonObject settings = o.value(QStringLiteral("settings")).toObject();
    for (auto it = settings.begin(); it != settings.end(); ++it)
        item.settings.insert(it.key(), it.value().toString());
    return item;
}

} // namespace

QString defaultItemStorePath(const QString &configFile)
{
    const QFileInfo info(configFile);
    return info.absoluteDir().absoluteFilePath(info.completeBaseName() + QStringLiteral(".items.json"));
}

bool loadItemStore(const QString &path, QList<ItemInstancePlugin> *items, QString *error)
{
    items->clear();
    QFile f(path);
    if (!f.exists())
        return true;
    if (!f.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: cannot read the item store: %2").arg(path, f.errorString());
        return false;
    }
    const QByteArray text = f.readAll();
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(text, &parseError);
    const QString advice = QStringLiteral(" (delete the file to let the plugin create its items afresh)");
    if (parseError.error != QJsonParseError::NoError) {
        const TextPosition p = positionOfOffset(text, parseError.offset);
        *error = QStringLiteral("%1:%2:%3: item store is not valid JSON: %4%5")
                     .arg(path)
                     .arg(p.line)
                     .arg(p.column)
                     .arg(parseError.errorString(), advice);
        return false;
    }
    const QJsonValue list = doc.object().value(QStringLiteral("items"));
    if (!list.isArray()) {
        *error = QStringLiteral("%1: item store: items: missing%2").arg(path, advice);
        return false;
    }
    const QJsonArray array = list.toArray();
    for (int i = 0; i < array.size(); ++i) {
        const QJsonObject o = array.at(i).toObject();
        if (o.value(QStringLiteral("uid")).toString().isEmpty()) {
            const TextPosition p = positionOfOffset(text, offsetOfPath(text, {QStringLiteral("items"), i}));
            *error = QStringLiteral("%1:%2:%3: item store: items[%4].uid: missing%5")
                         .arg(path)
                         .arg(p.line)
                         .arg(p.column)
                         .arg(i)
                         .arg(advice);
            return false;
        }
        items->append(fromJson(o));
    }
    return true;
}

bool saveItemStore(const QString &path, const QList<ItemInstancePlugin> &items,
                   const QHash<QString, LastValue> &lastValues, QString *error)
{
    QJsonArray array;
    for (const ItemInstancePlugin &item : items) {
        auto it = lastValues.constFind(item.uid);
        array.append(toJson(item, it == lastValues.constEnd() ? nullptr : &it.value()));
    }
    const QJsonObject root{{QStringLiteral("comment"),
                            QStringLiteral("Items the plugin created through the host runner. Kept across runs; "
                                           "delete this file to have them created afresh.")},
                           {QStringLiteral("items"), array}};
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(QJsonDocument(root).toJson(QJsonDocument::Indented)) < 0 ||
        !f.commit()) {
        *error = QStringLiteral("%1: cannot write the item store: %2").arg(path, f.errorString());
        return false;
    }
    return true;
}

} // namespace runner
