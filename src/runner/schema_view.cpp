#include "schema_view.h"

#include "host_state.h"

#include <QJsonArray>
#include <QStringList>

namespace runner {

namespace {

QJsonArray columnsJson(const QList<DatabaseColumnStructure> &columns)
{
    QJsonArray out;
    for (const DatabaseColumnStructure &c : columns) {
        QJsonArray choices;
        for (const DatabaseColumnStructure::SelectionValue &s : c.selectionValues)
            choices.append(QJsonObject{{QStringLiteral("text"), s.text}, {QStringLiteral("value"), s.value}});
        out.append(QJsonObject{{QStringLiteral("name"), c.name},
                               {QStringLiteral("type"), int(c.type)},
                               {QStringLiteral("selection"), choices}});
    }
    return out;
}

QString columnsText(const QList<DatabaseColumnStructure> &columns)
{
    QString out;
    for (const DatabaseColumnStructure &c : columns) {
        out += QStringLiteral("  %1").arg(c.name);
        if (c.selectionValues.isEmpty()) {
            out += QStringLiteral(" (text)\n");
            continue;
        }
        QStringList choices;
        for (const DatabaseColumnStructure::SelectionValue &s : c.selectionValues)
            choices << QStringLiteral("%1=%2").arg(s.text, s.value);
        out += QStringLiteral(" (selection): ") + choices.join(QStringLiteral(", ")) + QLatin1Char('\n');
    }
    return out;
}

} // namespace

void showSchema(Output &out)
{
    const QList<zel_host::InitPluginCall> calls = zel_host::initPluginCalls();
    if (calls.isEmpty()) {
        out.note({{QStringLiteral("type"), QStringLiteral("schema")}, {QStringLiteral("registered"), false}},
                 QStringLiteral("The plugin registered no schema."));
        return;
    }
    const zel_host::InitPluginCall &c = calls.last();
    const QJsonObject json{{QStringLiteral("type"), QStringLiteral("schema")},
                           {QStringLiteral("registered"), true},
                           {QStringLiteral("plugin"), c.name},
                           {QStringLiteral("capabilities"), qint64(c.capabilities)},
                           {QStringLiteral("item_columns"), columnsJson(c.itemColumns)},
                           {QStringLiteral("device_columns"), columnsJson(c.deviceColumns)}};
    const QString text = QStringLiteral("Plugin \"%1\" registered (capabilities %2)\nItem columns:\n%3Device columns:\n%4")
                             .arg(c.name)
                             .arg(c.capabilities)
                             .arg(columnsText(c.itemColumns), columnsText(c.deviceColumns));
    out.note(json, text.trimmed());
}

} // namespace runner
