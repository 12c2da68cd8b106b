#include "host_state.h"
#include "host_state_p.h"

#include <QHash>

namespace zel_host {

State &state()
{
    static State s;
    return s;
}

void State::trace(const QString &call)
{
    if (!recordCalls)
        return;
    if (calls.size() >= kMaxCalls)
        calls.removeFirst();
    calls << call;
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
    s.itemOrder.clear();
    s.itemsByUid.clear();
    s.lines.clear();
    s.pauseHook = nullptr;
    s.initCalls.clear();
    s.calls.clear();
    s.recordCalls = true;
    s.keptLevel = LogLevel::Debug;
}

void setRecordCalls(bool on)
{
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.recordCalls = on;
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
}

void State::store(const ItemInstancePlugin &item)
{
    if (!itemsByUid.contains(item.uid))
        itemOrder << item.uid;
    itemsByUid.insert(item.uid, item);
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

QStringList callTrace()
{
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.calls;
}

} // namespace zel_host
