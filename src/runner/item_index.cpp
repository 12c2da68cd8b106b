#include "item_index.h"

#include <QStringList>

namespace runner {

namespace {

ItemRef refOf(const DeviceConfig &d, const ItemConfig &i)
{
    return {d.id, i.uid, d.name + QLatin1Char('/') + i.name};
}

} // namespace

bool ItemIndex::resolve(const QString &name, ItemRef *out, QString *error) const
{
    for (const DeviceConfig &d : config_.devices)
        for (const ItemConfig &i : d.items)
            if (i.uid == name) {
                *out = refOf(d, i);
                return true;
            }

    const int slash = name.indexOf(QLatin1Char('/'));
    if (slash > 0) {
        const QString device = name.left(slash);
        const QString item = name.mid(slash + 1);
        for (const DeviceConfig &d : config_.devices) {
            if (d.name != device && QString::number(d.id) != device)
                continue;
            for (const ItemConfig &i : d.items)
                if (i.name == item) {
                    *out = refOf(d, i);
                    return true;
                }
        }
    }

    QStringList matches;
    for (const DeviceConfig &d : config_.devices)
        for (const ItemConfig &i : d.items)
            if (i.name == name) {
                matches << refOf(d, i).label;
                *out = refOf(d, i);
            }
    if (matches.size() == 1)
        return true;
    if (matches.size() > 1) {
        *error = QStringLiteral("item name \"%1\" is ambiguous: name one of %2").arg(name, matches.join(QStringLiteral(", ")));
        return false;
    }

    QStringList known;
    for (const DeviceConfig &d : config_.devices)
        for (const ItemConfig &i : d.items)
            known << refOf(d, i).label;
    *error = known.isEmpty()
                 ? QStringLiteral("unknown item name \"%1\": the configuration has no items").arg(name)
                 : QStringLiteral("unknown item name \"%1\" (configured items: %2; identity items cannot be written)")
                       .arg(name, known.join(QStringLiteral(", ")));
    return false;
}

bool parseAssignment(const QString &text, QString *name, QString *value, QString *error)
{
    const int eq = text.indexOf(QLatin1Char('='));
    if (eq <= 0 || text.left(eq).trimmed().isEmpty()) {
        *error = QStringLiteral("\"%1\" is not NAME=VALUE").arg(text);
        return false;
    }
    *name = text.left(eq).trimmed();
    *value = text.mid(eq + 1);
    return true;
}

} // namespace runner
