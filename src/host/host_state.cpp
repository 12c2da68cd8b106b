#include "host_state.h"
#include "host_state_p.h"

#include <QHash>

namespace zel_host {

State &state()
{
    static State s;
    return s;
}

void State::log(LogLevel level, const QString &text)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (static_cast<int>(level) >= static_cast<int>(keptLevel)) {
        if (lines.size() >= kMaxLines)
            lines.removeFirst();
        lines.append({level, text});
    }
}

void reset()
{
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.deviceList.clear();
    s.deviceItemAt.clear();
    s.itemOrder.clear();
    s.itemsByUid.clear();
    s.lines.clear();
    s.pauseHook = nullptr;
    s.initCalls.clear();
    s.keptLevel = LogLevel::Debug;
}

void setKeptLogLevel(LogLevel lowest)
{
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.keptLevel = lowest;
}

void setDevices(const QList<DeviceInstancePlugin> &list)
{
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.deviceList = list;
    s.deviceItemAt.clear();
    for (int d = 0; d < list.size(); ++d)
        for (int i = 0; i < list.at(d).items.size(); ++i)
            s.deviceItemAt.insert(list.at(d).items.at(i).uid, {d, i});
}

void State::store(const ItemInstancePlugin &item)
{
    if (!itemsByUid.contains(item.uid))
        itemOrder << item.uid;
    itemsByUid.insert(item.uid, item);
}

const ItemInstancePlugin *State::find(const QString &uid) const
{
    const auto stored = itemsByUid.constFind(uid);
    if (stored != itemsByUid.constEnd())
        return &stored.value();
    const auto listed = deviceItemAt.constFind(uid);
    if (listed == deviceItemAt.constEnd())
        return nullptr;
    return &deviceList.at(listed.value().first).items.at(listed.value().second);
}

void putItem(const ItemInstancePlugin &item)
{
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.store(item);
}

QList<ItemInstancePlugin> items()
{
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    QList<ItemInstancePlugin> out;
    for (const QString &uid : qAsConst(s.itemOrder))
        out << s.itemsByUid.value(uid);
    return out;
}

QStringList logTexts(LogLevel level)
{
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    QStringList out;
    for (const LogLine &l : qAsConst(s.lines))
        if (l.level == level)
            out << l.text;
    return out;
}

QStringList allLogTexts()
{
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    QStringList out;
    for (const LogLine &l : qAsConst(s.lines))
        out << l.text;
    return out;
}

QList<LogLine> takeLogLines()
{
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    QList<LogLine> out;
    out.swap(s.lines);
    return out;
}

void setDiscoveryPauseHook(std::function<bool(const QString &, const QString &)> hook)
{
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.pauseHook = std::move(hook);
}

QList<InitPluginCall> initPluginCalls()
{
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.initCalls;
}

} // namespace zel_host
