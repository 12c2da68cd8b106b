#include "session.h"

#include "config.h"
#include "device_worker.h"
#include "item_index.h"
#include "item_store.h"
#include "output.h"
#include "plugin_load.h"

#include "host_state.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QSet>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <map>
#include <memory>
#include <thread>

#include <poll.h>
#include <unistd.h>

namespace runner {

namespace {

volatile std::sig_atomic_t g_stopSignal = 0;

void onStopSignal(int)
{
    if (g_stopSignal) {
        static const char msg[] = "ab-eip-runner: second interrupt, exiting without stopping the plugin\n";
        (void)!::write(2, msg, sizeof msg - 1);
        ::_exit(130);
    }
    g_stopSignal = 1;
}

// How long the device threads get to finish the plugin call they are in when asked to stop.
// A read pass is bounded by the plugin's own limits (5 s per tag operation).
constexpr qint64 kStopGraceMs = 30000;
// How long the last lines (the summary) may wait for a reader that is behind.
constexpr qint64 kLastWordsMs = 250;
// Past the stop, how long output may still wait for its reader or work through a backlog.
constexpr qint64 kCatchUpMs = 200;

void fail(const QString &message)
{
    std::fprintf(stderr, "ab-eip-runner: %s\n", qPrintable(message));
}

QString defaultPluginLocation()
{
    const QString besideRunner = QCoreApplication::applicationDirPath() + QStringLiteral("/../plugins");
    if (QFileInfo(besideRunner).isDir())
        return QDir::cleanPath(besideRunner);
    const QString installed = QCoreApplication::applicationDirPath() + QStringLiteral("/../" AB_EIP_INSTALLED_PLUGIN_DIR);
    if (QFileInfo(installed).isDir())
        return QDir::cleanPath(installed);
    return QStringLiteral(AB_EIP_DEFAULT_PLUGIN_DIR);
}

// Copies the plugin's log lines to stderr at the chosen level.
class LogPump {
public:
    explicit LogPump(LogThreshold t) : threshold_(t) {}

    void drain()
    {
        // Taken and forgotten at once, so a long run stays small and no line is lost.
        const QList<zel_host::LogLine> lines = zel_host::takeLogLines();
        static const char *const names[] = {"debug", "info", "error"};
        for (const zel_host::LogLine &l : lines)
            if (int(l.level) >= int(threshold_))
                std::fprintf(stderr, "[%s] %s\n", names[int(l.level)], qPrintable(l.text));
    }

private:
    LogThreshold threshold_;
};

DeviceInstancePlugin deviceRecord(const DeviceConfig &d)
{
    DeviceInstancePlugin r{};
    r.id = d.id;
    r.uid = QStringLiteral("device_%1").arg(d.id);
    r.name = d.name;
    r.enabled = true;
    r.ipAddress = d.ipAddress;
    r.settings = d.settings;
    r.settings.insert(QStringLiteral("controller_type"), QString::number(d.controllerType, 10));
    r.settings.insert(QStringLiteral("path"), d.path);
    return r;
}

ItemInstancePlugin itemRecord(const DeviceConfig &d, const ItemConfig &i, int id)
{
    ItemInstancePlugin r{};
    r.id = id;
    r.uid = i.uid;
    r.name = i.name;
    r.enabled = i.enabled;
    r.readIntervalMs = i.readIntervalMs;
    r.deviceId = d.id;
    r.settings = i.settings;
    r.settings.insert(QStringLiteral("address"), i.address);
    r.settings.insert(QStringLiteral("data_type"), QString::number(i.dataType, 10));
    return r;
}

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

// Reads NAME=VALUE lines from stdin until end of input or until told to stop; polls so that
// a stop is noticed within a tenth of a second even when no input comes.
void readStdinWrites(const ItemIndex &index, const std::map<int, DeviceWorker *> &workers,
                     const std::atomic<bool> &stop, Events &events)
{
    QByteArray pending;
    int lineNo = 0;
    auto handle = [&](const QByteArray &raw) {
        ++lineNo;
        const QString text = QString::fromUtf8(raw).trimmed();
        if (text.isEmpty() || text.startsWith(QLatin1Char('#')))
            return;
        QString name, value, error;
        ItemRef ref;
        if (!parseAssignment(text, &name, &value, &error) || !index.resolve(name, &ref, &error)) {
            fail(QStringLiteral("stdin line %1: %2").arg(lineNo).arg(error));
            return;
        }
        workers.at(ref.deviceId)->enqueueWrite({ref.uid, value});
    };
    bool open = true;
    while (open && !stop.load()) {
        pollfd p{0, POLLIN, 0};
        const int r = ::poll(&p, 1, 100);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            break;
        if (r == 0)
            continue;
        char buffer[4096];
        const ssize_t n = ::read(0, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            open = false;
        } else {
            pending.append(buffer, int(n));
        }
        int nl;
        while ((nl = pending.indexOf('\n')) >= 0) {
            handle(pending.left(nl));
            pending.remove(0, nl + 1);
        }
    }
    if (!pending.isEmpty() && !stop.load())
        handle(pending);
    for (const auto &w : workers)
        w.second->closeInput();
    events.poke();
}

} // namespace

void installStopSignals()
{
    struct sigaction sa = {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

int runSession(const SessionOptions &options)
{
    RunnerConfig config;
    QString error;
    if (!loadConfig(options.configFile, &config, &error)) {
        fail(error);
        return ExitUsage;
    }

    // Writes name configured items only, so they are checked before anything is loaded.
    const ItemIndex index(config);
    std::map<int, std::vector<WriteRequest>> initialWrites;
    for (const QString &w : options.writes) {
        QString name, value;
        ItemRef ref;
        if (!parseAssignment(w, &name, &value, &error) || !index.resolve(name, &ref, &error)) {
            fail(QStringLiteral("--write %1: %2").arg(w, error));
            return ExitUsage;
        }
        initialWrites[ref.deviceId].push_back({ref.uid, value});
    }

    const QString storePath = !options.itemStore.isEmpty() ? options.itemStore
                              : !config.itemStore.isEmpty() ? config.itemStore
                                                            : defaultItemStorePath(options.configFile);
    QList<ItemInstancePlugin> stored;
    if (!loadItemStore(storePath, &stored, &error)) {
        fail(error);
        return ExitUsage;
    }

    const QString location = !options.plugin.isEmpty()       ? options.plugin
                             : !config.pluginPath.isEmpty() ? config.pluginPath
                                                            : defaultPluginLocation();
    LoadedPlugin loaded;
    if (!loadPlugin(location, QStringLiteral("AB_EIP"), &loaded, &error)) {
        fail(error);
        return ExitPluginLoad;
    }
    ZELInterface *plugin = loaded.plugin;

    // The host's view: devices and configured items first, then what the store kept.
    zel_host::reset();
    zel_host::setRecordCalls(false); // a run of hours must not keep every host call
    if (options.logLevel != LogThreshold::None)
        zel_host::setKeptLogLevel(static_cast<zel_host::LogLevel>(options.logLevel));
    else
        zel_host::setKeptLogLevel(zel_host::LogLevel::Error);
    QList<DeviceInstancePlugin> deviceRecords;
    QSet<QString> configuredUids;
    int nextItemId = 1;
    for (const DeviceConfig &d : qAsConst(config.devices)) {
        DeviceInstancePlugin record = deviceRecord(d);
        for (const ItemConfig &i : d.items) {
            const ItemInstancePlugin item = itemRecord(d, i, nextItemId++);
            record.items << item;
            zel_host::putItem(item);
            configuredUids.insert(i.uid);
        }
        deviceRecords << record;
    }
    zel_host::setDevices(deviceRecords);
    for (const ItemInstancePlugin &item : qAsConst(stored))
        if (!configuredUids.contains(item.uid))
            zel_host::putItem(item);

    Output out(options.json ? Output::Json : Output::Table, options.terminal, stdout);
    out.setChangedOnly(options.changedOnly);
    LogPump logs(options.logLevel);

    QSet<QString> before;
    for (const ItemInstancePlugin &item : zel_host::items())
        before.insert(item.uid);
    plugin->init();
    logs.drain();

    auto pluginItems = [&] {
        QList<ItemInstancePlugin> list;
        for (const ItemInstancePlugin &item : zel_host::items())
            if (!configuredUids.contains(item.uid))
                list << item;
        return list;
    };
    QHash<QString, LastValue> lastValues;
    auto saveStore = [&]() -> bool {
        if (saveItemStore(storePath, pluginItems(), lastValues, &error))
            return true;
        fail(error);
        return false;
    };

    const QList<ItemInstancePlugin> hostItems = pluginItems();
    for (const DeviceConfig &d : qAsConst(config.devices)) {
        QJsonArray created, kept;
        QStringList createdText;
        for (const ItemInstancePlugin &item : hostItems) {
            if (item.deviceId != d.id)
                continue;
            if (before.contains(item.uid)) {
                kept.append(item.uid);
            } else {
                created.append(item.uid);
                createdText << item.name;
            }
        }
        out.note({{QStringLiteral("type"), QStringLiteral("init")},
                  {QStringLiteral("device_id"), d.id},
                  {QStringLiteral("device"), d.name},
                  {QStringLiteral("created"), created},
                  {QStringLiteral("kept"), kept}},
                 QStringLiteral("init: %1 (%2 at %3): %4 identity items created%5, %6 kept from %7")
                     .arg(d.name, controllerTypeName(d.controllerType), d.ipAddress)
                     .arg(created.size())
                     .arg(createdText.isEmpty() ? QString() : QStringLiteral(" (") + createdText.join(QStringLiteral(", ")) + QLatin1Char(')'))
                     .arg(kept.size())
                     .arg(QFileInfo(storePath).fileName()));
    }
    if (!saveStore())
        return ExitFailure;

    if (options.showSchema) {
        showSchema(out);
        plugin->stopPlugin();
        logs.drain();
        return ExitOk;
    }

    // Per device: its identity items first (what the controller is), then the configured ones.
    Events events;
    std::vector<std::unique_ptr<DeviceWorker>> workers;
    std::map<int, DeviceWorker *> byId;
    for (int k = 0; k < config.devices.size(); ++k) {
        const DeviceConfig &d = config.devices.at(k);
        QList<ItemInstancePlugin> identity;
        for (const ItemInstancePlugin &item : hostItems)
            if (item.deviceId == d.id)
                identity << item;
        for (const QList<ItemInstancePlugin> *items : {&qAsConst(identity), &deviceRecords.at(k).items})
            for (const ItemInstancePlugin &item : *items)
                out.addRow(d.id, d.name, item.uid, item.name);
        WorkerOptions wo;
        wo.once = options.once;
        wo.inputOpen = options.stdinWrites;
        wo.initialWrites = initialWrites[d.id];
        workers.push_back(std::make_unique<DeviceWorker>(plugin, deviceRecords.at(k), identity, &events, wo));
        byId[d.id] = workers.back().get();
    }
    out.setHeader(QStringLiteral("ab-eip-runner: %1, %2 device(s), plugin %3")
                      .arg(options.configFile)
                      .arg(config.devices.size())
                      .arg(loaded.file));

    for (auto &w : workers)
        w->start();
    std::atomic<bool> stopInput{false};
    std::thread input;
    if (options.stdinWrites)
        input = std::thread([&] { readStdinWrites(index, byId, stopInput, events); });

    QElapsedTimer clock;
    clock.start();
    const qint64 durationMs = qint64(options.durationSeconds * 1000.0);
    qint64 dueAt = -1; // on `clock`, once the stop is due
    const auto stopDue = [&] {
        const bool due = g_stopSignal || (durationMs > 0 && clock.elapsed() >= durationMs);
        if (due && dueAt < 0)
            dueAt = clock.elapsed();
        return due;
    };
    // Output never delays the stop by more than a moment: once it is due, a reader of stdout
    // that keeps the runner waiting, or a backlog that takes long to print, is given up on, and
    // what was not printed is summarised.
    out.setGiveUp([&] { return stopDue() && clock.elapsed() - dueAt >= kCatchUpMs; });
    QString reason;
    size_t finished = 0;
    auto consume = [&](const std::deque<Update> &updates) {
        QElapsedTimer printing;
        printing.start();
        for (const Update &u : updates) {
            if (stopDue() && printing.elapsed() >= kCatchUpMs)
                out.giveUp();
            if (u.kind == Update::Finished)
                ++finished;
            out.handle(u);
        }
    };
    while (reason.isEmpty()) {
        consume(events.take(std::chrono::milliseconds(100)));
        logs.drain();
        out.refresh();
        if (g_stopSignal)
            reason = QStringLiteral("interrupted");
        else if (durationMs > 0 && clock.elapsed() >= durationMs)
            reason = QStringLiteral("duration reached");
        else if (finished == workers.size())
            reason = QStringLiteral("one pass done");
    }

    stopInput = true;
    for (auto &w : workers)
        w->requestStop();
    QElapsedTimer grace;
    grace.start();
    while (finished < workers.size() && grace.elapsed() < kStopGraceMs) {
        consume(events.take(std::chrono::milliseconds(100)));
        logs.drain();
    }
    if (finished < workers.size()) {
        fail(QStringLiteral("a device is still inside a plugin call after %1 s; exiting without stopPlugin()")
                 .arg(kStopGraceMs / 1000));
        std::fflush(stdout);
        ::_exit(ExitFailure);
    }
    if (input.joinable())
        input.join();
    for (auto &w : workers)
        w->join();
    consume(events.take(std::chrono::milliseconds(0)));

    plugin->stopPlugin();
    logs.drain();

    for (const Output::Row &r : out.rows())
        if (r.read)
            lastValues.insert(r.uid, {r.value, r.status, r.timestamp});
    const bool storeSaved = saveStore();
    const QElapsedTimer lastWords = [] { QElapsedTimer t; t.start(); return t; }();
    out.setGiveUp([&] { return lastWords.elapsed() >= kLastWordsMs; });
    if (out.mode() == Output::Json) {
        QJsonObject stopped{{QStringLiteral("type"), QStringLiteral("stopped")},
                            {QStringLiteral("reason"), reason},
                            {QStringLiteral("errors"), out.errors()}};
        // Updates of an item replaced by newer ones, and lines the reader never took.
        if (out.skipped() > 0)
            stopped.insert(QStringLiteral("skipped"), out.skipped());
        if (out.unprinted() > 0)
            stopped.insert(QStringLiteral("unprinted"), out.unprinted());
        out.note(stopped, QString());
    }
    if (out.unprinted() > 0) // perhaps the summary itself did not get through
        fail(QStringLiteral("output fell behind: %1 line(s) not printed, %2 older update(s) replaced by newer ones")
                 .arg(out.unprinted())
                 .arg(out.skipped()));
    out.finish(QStringLiteral("stopped: %1; plugin stopped; %2 error(s)").arg(reason).arg(out.errors()));
    if (!storeSaved)
        return ExitFailure;
    return options.once && out.errors() > 0 ? ExitItemErrors : ExitOk;
}

} // namespace runner
