#pragma once
// The runner's configuration file: the devices a real host would hold, each with its items.
// Errors name the file, line and column, and the field path ("devices[1].ip_address: missing").

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

namespace runner {

struct ItemConfig {
    QString uid;
    QString name;
    QString address;
    int dataType = 0;
    int readIntervalMs = 1000;
    bool enabled = true;
    QMap<QString, QString> settings; // extra item columns, passed on as text
};

struct DeviceConfig {
    int id = 0;
    QString name;
    QString ipAddress;
    int controllerType = 0;
    QString path;
    QMap<QString, QString> settings; // extra device columns, passed on as text
    QList<ItemConfig> items;
};

struct RunnerConfig {
    QString file;       // as given
    QString pluginPath; // resolved against the file's folder; empty when not configured
    QString itemStore;  // resolved; empty when not configured
    QList<DeviceConfig> devices;
};

// Number of a data type given as a number, a label ("Double integer"), a member name
// ("DoubleInteger") or a CIP type name ("DINT"); -1 when unknown.
int dataTypeFromText(const QString &text);
int controllerTypeFromText(const QString &text);
QString dataTypeName(int type);
QString controllerTypeName(int type);
QStringList dataTypeNames();
QStringList controllerTypeNames();

// Parses configuration text. `label` is the file name used in error messages.
bool parseConfig(const QByteArray &text, const QString &label, RunnerConfig *out, QString *error);
// Reads and parses a configuration file.
bool loadConfig(const QString &file, RunnerConfig *out, QString *error);

} // namespace runner
