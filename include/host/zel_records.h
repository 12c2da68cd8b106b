#pragma once
// Plain value records that the host exchanges with its plugins. Field order is part of the
// host's binary contract; fields the plugins never look at are carried as they come.

#include "zel_export.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

// A mapping of one item onto another system's address (host-side bookkeeping).
struct Mapping {
    int id = 0;
    int itemId = 0;
    int deviceId = 0;
    int pluginId = 0;
    int targetItemId = 0;
    int targetDeviceId = 0;
    int direction = 0;
    int scale = 0;
    int offset = 0;
    int priority = 0;
    QString source;
    QString target;
    QMap<QString, QString> settings;
    bool enabled = false;
    bool inverted = false;
    bool onChange = false;
    bool logged = false;
    bool readOnly = false;
    int intervalMs = 0;
    qint64 updatedAtMs = 0;
};

// A file attached to a device in the host (recipes, exports).
struct FileInstancePlugin {
    int id = 0;
    QString name;
    QString path;
    int deviceId = 0;
    QString mimeType;
    QMap<QString, QString> settings;
};

// One configured item of a device.
struct ItemInstancePlugin {
    int id = 0;
    QString uid;
    QString name;
    QString description;
    QString unit;
    bool enabled = false;
    int valueKind = 0;
    float scale = 0.0f;
    bool logged = false;
    QString formula;
    int readIntervalMs = 0;
    bool flag = false;
    float offset = 0.0f;
    int precision = 0;
    float deadband = 0.0f;
    QString group;
    int revision = 0;
    QVector<QString> history;
    int deviceId = 0;
    int itemKind = 0;
    int pluginId = 0;
    int fileId = 0;
    int sortOrder = 0;
    int accessMode = 0;
    QString statusMessage;
    QMap<QString, QString> settings;
    QList<Mapping> mappings;

    // Tags are kept in the settings as one comma-joined text.
    void setItemTags(const QStringList &tags) { settings.insert(QStringLiteral("item_tags"), tags.join(QLatin1Char(','))); }
};

// One configured device (one controller).
struct DeviceInstancePlugin {
    int id = 0;
    QString uid;
    QString name;
    QString description;
    int pluginId = 0;
    bool enabled = false;
    int pollIntervalMs = 0;
    int timeoutMs = 0;
    QString ipAddress;
    int port = 0;
    QString statusMessage;
    bool connected = false;
    bool simulated = false;
    QMap<QString, QString> settings;
    QList<ItemInstancePlugin> items;
    QList<FileInstancePlugin> files;
};

// Description of one configuration column that a plugin declares to the host.
struct ZELHOST_EXPORT DatabaseColumnStructure {
    enum DataType {
        Selection = 0, // a choice among selection values
        Number = 1,    // a plain number
        Text = 2,      // free text
        Flag = 3,      // a check box
        Password = 4,  // text shown masked
    };
    struct SelectionValue {
        QString text;  // shown to the user
        QString value; // stored when chosen
    };
    // Presentation hints the host keeps with the column.
    struct Layout {
        int width = 0;
        int minimum = 0;
        int maximum = 0;
        bool required = false;
        bool readOnly = false;
        bool hidden = false;
    };

    DatabaseColumnStructure() = default;
    DatabaseColumnStructure(QString name, DataType type, int size, QString defaultValue, QString label);

    void insertSelectionValues(QString text, QString value);

    QList<SelectionValue> selectionValues;
    QString name;
    DataType type = Text;
    QString defaultValue;
    QString label;
    int size = 0;
    Layout layout;
};

// The host's own record of a plugin instance.
struct PluginInstancePlugin {
    int id = 0;
    QString name;
    QString description;
    QString version;
    QString library;
    QString author;
    int status = 0;
    bool enabled = false;
    QList<DatabaseColumnStructure> pluginColumns;
    QList<DatabaseColumnStructure> itemColumns;
    QList<DatabaseColumnStructure> deviceColumns;
    QList<DatabaseColumnStructure> fileColumns;
    QList<DatabaseColumnStructure> eventColumns;
    QList<DatabaseColumnStructure> mappingColumns;
    QList<DatabaseColumnStructure> logColumns;
    QList<DatabaseColumnStructure> extraColumns;
    QList<DeviceInstancePlugin> devices;
    QList<ItemInstancePlugin> items;
    QList<FileInstancePlugin> files;
    qint64 startedAtMs = 0;
};

// One value exchanged with the host, with the item it belongs to.
struct DataItem {
    QMap<QString, QString> values;
    QDateTime timestamp;
    ItemInstancePlugin item{};
    PluginInstancePlugin plugin;
    ItemInstancePlugin sourceItem{};
    DeviceInstancePlugin device{};
    int sequence = -1;
    int quality = 0;
    qint64 receivedAtMs = 0;
};

// One batch handed to readData / writeData.
struct LogList {
    DeviceInstancePlugin device;
    PluginInstancePlugin plugin;
    QList<DataItem> dataItems;
};

// Options a plugin passes when it registers.
struct PluginInitOptions {
    int number1 = 32;
    bool flag1 = false;
    bool flag2 = false;
    bool flag3 = true;
    int number2 = 180;
    bool flag4 = false;
    bool flag5 = false;
    bool flag6 = false;
    bool flag7 = false;
    QString text = QStringLiteral("discover");
    QMap<QString, QVariant> extras;
};
