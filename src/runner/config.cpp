#include "config.h"

#include "json_locate.h"

#include "model/data_types.h"
#include "model/families.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <cmath>

namespace runner {

namespace {

class Parser {
public:
    Parser(const QByteArray &t, const QString &l) : text(t), label(l) {}

    bool parse(RunnerConfig *out, QString *error);

private:
    const QByteArray &text;
    const QString &label;
    QString failure;
    QHash<QString, int> dataTypesSeen, controllerTypesSeen; // text -> number, -1 when unknown

    bool fail(const JsonPath &path, const QString &message)
    {
        const TextPosition p = positionOfOffset(text, offsetOfPath(text, path));
        const QString where = p.line > 0 ? QStringLiteral("%1:%2:%3").arg(label).arg(p.line).arg(p.column) : label;
        const QString field = pathText(path);
        failure = field.isEmpty() ? QStringLiteral("%1: %2").arg(where, message)
                                  : QStringLiteral("%1: %2: %3").arg(where, field, message);
        return false;
    }

    // Built only for a message: a plant's thousands of good items need no paths.
    static JsonPath under(const JsonPath &path, const QString &key) { return JsonPath(path) << key; }

    // A missing field is reported at the object that lacks it.
    bool missing(const JsonPath &object, const QString &key)
    {
        const TextPosition p = positionOfOffset(text, offsetOfPath(text, object));
        JsonPath full = object;
        full << key;
        const QString where = p.line > 0 ? QStringLiteral("%1:%2:%3").arg(label).arg(p.line).arg(p.column) : label;
        failure = QStringLiteral("%1: %2: missing").arg(where, pathText(full));
        return false;
    }

    bool onlyKnownKeys(const QJsonObject &o, const JsonPath &path, const QStringList &known)
    {
        for (auto it = o.begin(); it != o.end(); ++it) {
            if (!known.contains(it.key())) {
                JsonPath at = path;
                at << it.key();
                return fail(at, QStringLiteral("unknown field (known fields: %1)").arg(known.join(QStringLiteral(", "))));
            }
        }
        return true;
    }

    bool string(const QJsonObject &o, const JsonPath &path, const QString &key, bool required, QString *out)
    {
        if (!o.contains(key))
            return required ? missing(path, key) : true;
        const QJsonValue v = o.value(key);
        if (!v.isString())
            return fail(under(path, key), QStringLiteral("must be a text"));
        *out = v.toString();
        if (required && out->trimmed().isEmpty())
            return fail(under(path, key), QStringLiteral("must not be empty"));
        return true;
    }

    bool integer(const QJsonObject &o, const JsonPath &path, const QString &key, bool required, int minimum, int *out)
    {
        if (!o.contains(key))
            return required ? missing(path, key) : true;
        const QJsonValue v = o.value(key);
        const double d = v.toDouble();
        if (!v.isDouble() || std::floor(d) != d || d < minimum || d > 2147483647.0)
            return fail(under(path, key), QStringLiteral("must be a whole number of at least %1").arg(minimum));
        *out = int(d);
        return true;
    }

    // A selection column: a number, or one of the names.
    bool selection(const QJsonObject &o, const JsonPath &path, const QString &key, bool dataType, int *out)
    {
        if (!o.contains(key))
            return missing(path, key);
        const QJsonValue v = o.value(key);
        QString text;
        if (v.isDouble())
            text = QString::number(v.toDouble(), 'g', 12);
        else if (v.isString())
            text = v.toString();
        else
            return fail(under(path, key), QStringLiteral("must be a name or a number"));
        // A plant's thousands of items name a handful of types: each text is looked up once.
        QHash<QString, int> &known = dataType ? dataTypesSeen : controllerTypesSeen;
        auto seen = known.constFind(text);
        if (seen == known.constEnd())
            seen = known.insert(text, dataType ? dataTypeFromText(text) : controllerTypeFromText(text));
        const int n = seen.value();
        if (n < 0) {
            const QStringList names = dataType ? dataTypeNames() : controllerTypeNames();
            return fail(under(path, key), QStringLiteral("unknown %1 \"%2\" (one of: %3)")
                                .arg(dataType ? QStringLiteral("data type") : QStringLiteral("controller type"), text,
                                     names.join(QStringLiteral(", "))));
        }
        *out = n;
        return true;
    }

    bool settings(const QJsonObject &o, const JsonPath &path, const QStringList &reserved, QMap<QString, QString> *out)
    {
        if (!o.contains(QStringLiteral("settings")))
            return true;
        JsonPath at = path;
        at << QStringLiteral("settings");
        if (!o.value(QStringLiteral("settings")).isObject())
            return fail(at, QStringLiteral("must be an object of texts"));
        const QJsonObject s = o.value(QStringLiteral("settings")).toObject();
        for (auto it = s.begin(); it != s.end(); ++it) {
            JsonPath field = at;
            field << it.key();
            if (reserved.contains(it.key()))
                return fail(field, QStringLiteral("set it as %1.%2, not in settings").arg(pathText(path), it.key()));
            const QJsonValue v = it.value();
            if (v.isString())
                out->insert(it.key(), v.toString());
            else if (v.isDouble())
                out->insert(it.key(), QString::number(v.toDouble(), 'g', 15));
            else if (v.isBool())
                out->insert(it.key(), v.toBool() ? QStringLiteral("1") : QStringLiteral("0"));
            else
                return fail(field, QStringLiteral("must be a text, a number or true/false"));
        }
        return true;
    }

    bool item(const QJsonValue &value, const JsonPath &path, const DeviceConfig &device, int defaultInterval,
              ItemConfig *out);
    bool device(const QJsonValue &value, const JsonPath &path, DeviceConfig *out);
};

bool Parser::item(const QJsonValue &value, const JsonPath &path, const DeviceConfig &device, int defaultInterval,
                  ItemConfig *out)
{
    if (!value.isObject())
        return fail(path, QStringLiteral("must be an object"));
    const QJsonObject o = value.toObject();
    static const QStringList known = {QStringLiteral("uid"),     QStringLiteral("name"),
                                      QStringLiteral("address"), QStringLiteral("data_type"),
                                      QStringLiteral("read_interval_ms"), QStringLiteral("enabled"),
                                      QStringLiteral("settings")};
    if (!onlyKnownKeys(o, path, known))
        return false;
    out->readIntervalMs = defaultInterval;
    if (!string(o, path, QStringLiteral("name"), true, &out->name) ||
        !string(o, path, QStringLiteral("address"), true, &out->address) ||
        !selection(o, path, QStringLiteral("data_type"), true, &out->dataType) ||
        !integer(o, path, QStringLiteral("read_interval_ms"), false, 50, &out->readIntervalMs) ||
        !string(o, path, QStringLiteral("uid"), false, &out->uid))
        return false;
    out->address = out->address.trimmed();
    if (o.contains(QStringLiteral("enabled"))) {
        if (!o.value(QStringLiteral("enabled")).isBool())
            return fail(JsonPath(path) << QStringLiteral("enabled"), QStringLiteral("must be true or false"));
        out->enabled = o.value(QStringLiteral("enabled")).toBool();
    }
    if (out->uid.isEmpty())
        out->uid = QStringLiteral("dev%1_%2").arg(device.id).arg(out->name);
    if (out->uid.startsWith(QLatin1String("identity_")))
        return fail(JsonPath(path) << QStringLiteral("uid"),
                    QStringLiteral("uids beginning \"identity_\" belong to the plugin's identity items"));
    return settings(o, path, {QStringLiteral("address"), QStringLiteral("data_type")}, &out->settings);
}

bool Parser::device(const QJsonValue &value, const JsonPath &path, DeviceConfig *out)
{
    if (!value.isObject())
        return fail(path, QStringLiteral("must be an object"));
    const QJsonObject o = value.toObject();
    static const QStringList known = {QStringLiteral("id"),        QStringLiteral("name"),
                                      QStringLiteral("ip_address"), QStringLiteral("controller_type"),
                                      QStringLiteral("path"),      QStringLiteral("read_interval_ms"),
                                      QStringLiteral("settings"),  QStringLiteral("items")};
    if (!onlyKnownKeys(o, path, known))
        return false;
    int defaultInterval = 1000;
    if (!integer(o, path, QStringLiteral("id"), true, 1, &out->id) ||
        !string(o, path, QStringLiteral("ip_address"), true, &out->ipAddress) ||
        !selection(o, path, QStringLiteral("controller_type"), false, &out->controllerType) ||
        !string(o, path, QStringLiteral("name"), false, &out->name) ||
        !string(o, path, QStringLiteral("path"), false, &out->path) ||
        !integer(o, path, QStringLiteral("read_interval_ms"), false, 50, &defaultInterval))
        return false;
    out->ipAddress = out->ipAddress.trimmed();
    QHostAddress address;
    if (!address.setAddress(out->ipAddress) || address.protocol() != QAbstractSocket::IPv4Protocol)
        return fail(JsonPath(path) << QStringLiteral("ip_address"),
                    QStringLiteral("\"%1\" is not an IPv4 address").arg(out->ipAddress));
    if (out->name.isEmpty())
        out->name = QStringLiteral("device%1").arg(out->id);
    if (!settings(o, path, {QStringLiteral("controller_type"), QStringLiteral("path")}, &out->settings))
        return false;

    if (!o.contains(QStringLiteral("items")))
        return true;
    const JsonPath itemsPath = JsonPath(path) << QStringLiteral("items");
    if (!o.value(QStringLiteral("items")).isArray())
        return fail(itemsPath, QStringLiteral("must be a list of items"));
    const QJsonArray items = o.value(QStringLiteral("items")).toArray();
    QSet<QString> names;
    for (int i = 0; i < items.size(); ++i) {
        const JsonPath at = JsonPath(itemsPath) << i;
        ItemConfig item;
        if (!this->item(items.at(i), at, *out, defaultInterval, &item))
            return false;
        if (names.contains(item.name))
            return fail(JsonPath(at) << QStringLiteral("name"),
                        QStringLiteral("\"%1\" is already used by another item of this device").arg(item.name));
        names.insert(item.name);
        out->items << item;
    }
    return true;
}

bool Parser::parse(RunnerConfig *out, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(text, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        const TextPosition p = positionOfOffset(text, parseError.offset);
        *error = QStringLiteral("%1:%2:%3: not valid JSON: %4")
                     .arg(label)
                     .arg(p.line)
                     .arg(p.column)
                     .arg(parseError.errorString());
        return false;
    }
    if (!doc.isObject()) {
        fail({}, QStringLiteral("the top level must be an object with a \"devices\" list"));
        *error = failure;
        return false;
    }
    const QJsonObject root = doc.object();
    static const QStringList known = {QStringLiteral("devices"), QStringLiteral("plugin"),
                                      QStringLiteral("item_store")};
    bool ok = onlyKnownKeys(root, {}, known) && string(root, {}, QStringLiteral("plugin"), false, &out->pluginPath) &&
              string(root, {}, QStringLiteral("item_store"), false, &out->itemStore);
    if (ok && !root.contains(QStringLiteral("devices")))
        ok = missing({}, QStringLiteral("devices"));
    const JsonPath devicesPath = {QStringLiteral("devices")};
    if (ok && (!root.value(QStringLiteral("devices")).isArray() || root.value(QStringLiteral("devices")).toArray().isEmpty()))
        ok = fail(devicesPath, QStringLiteral("must be a list of at least one device"));
    if (ok) {
        const QJsonArray devices = root.value(QStringLiteral("devices")).toArray();
        QSet<int> ids;
        QSet<QString> names, uids;
        for (int i = 0; ok && i < devices.size(); ++i) {
            const JsonPath at = JsonPath(devicesPath) << i;
            DeviceConfig device;
            ok = this->device(devices.at(i), at, &device);
            if (ok && ids.contains(device.id))
                ok = fail(JsonPath(at) << QStringLiteral("id"),
                          QStringLiteral("%1 is already used by another device").arg(device.id));
            if (ok && names.contains(device.name))
                ok = fail(JsonPath(at) << QStringLiteral("name"),
                          QStringLiteral("\"%1\" is already used by another device").arg(device.name));
            for (int j = 0; ok && j < device.items.size(); ++j) {
                if (uids.contains(device.items.at(j).uid))
                    ok = fail(JsonPath(at) << QStringLiteral("items") << j,
                              QStringLiteral("uid \"%1\" is already used by another item").arg(device.items.at(j).uid));
                uids.insert(device.items.at(j).uid);
            }
            ids.insert(device.id);
            names.insert(device.name);
            out->devices << device;
        }
    }
    if (!ok)
        *error = failure;
    return ok;
}

} // namespace

int dataTypeFromText(const QString &text)
{
    return model::dataTypeFromText(text);
}

int controllerTypeFromText(const QString &text)
{
    return model::familyFromText(text);
}

QString dataTypeName(int type)
{
    const model::DataTypeRow *row = model::dataType(type);
    return row ? QString::fromLatin1(row->label) : QString::number(type);
}

QString controllerTypeName(int type)
{
    return type >= 0 && type < model::familyCount() ? QString::fromLatin1(model::family(type).label)
                                                     : QString::number(type);
}

QStringList dataTypeNames()
{
    QStringList out;
    for (int t = 0; t < model::dataTypeCount(); ++t)
        out << QString::fromLatin1(model::dataType(t)->label);
    return out;
}

QStringList controllerTypeNames()
{
    QStringList out;
    for (int c = 0; c < model::familyCount(); ++c)
        out << QString::fromLatin1(model::family(c).label);
    return out;
}

bool parseConfig(const QByteArray &text, const QString &label, RunnerConfig *out, QString *error)
{
    *out = RunnerConfig();
    out->file = label;
    return Parser(text, label).parse(out, error);
}

bool loadConfig(const QString &file, RunnerConfig *out, QString *error)
{
    QFile f(file);
    if (!f.exists()) {
        *error = QStringLiteral("%1: configuration file not found").arg(file);
        return false;
    }
    if (!f.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: cannot read the configuration file: %2").arg(file, f.errorString());
        return false;
    }
    if (!parseConfig(f.readAll(), file, out, error))
        return false;
    const QDir dir = QFileInfo(file).absoluteDir();
    if (!out->pluginPath.isEmpty())
        out->pluginPath = QDir::cleanPath(dir.absoluteFilePath(out->pluginPath));
    if (!out->itemStore.isEmpty())
        out->itemStore = QDir::cleanPath(dir.absoluteFilePath(out->itemStore));
    return true;
}

} // namespace runner
