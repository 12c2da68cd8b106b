#include "session.h"

#include "config.h"
#include "device_worker.h"
#include "item_index.h"
#include "item_store.h"
#include "output.h"
#include "plugin_load.h"
#include "schema_view.h"
#include "stdin_writes.h"

#include "host_state.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QSet>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <map>
#include <memory>
#include <thread>

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
// A read pass ends at its next item once paused; a write batch is bounded by the plugin's own
// limits (5 s per tag operation).
constexpr qint64 kStopGraceMs = 30000;
// How long the last lines (the summary) may wait for a reader that is behind.
constexpr qint64 kLastWordsMs = 250;
// Updates printed between two looks at the clock, the logs and the table.
constexpr size_t kTakeAtOnce = 1024;
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

// The item records of one data type share its text.
QString dataTypeText(int type)
{
    static QHash<int, QString> texts;
    auto it = texts.find(type);
    if (it == texts.end())
        it = texts.insert(type, QString::number(type, 10));
    return it.value();
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
    r.settings.insert(QStringLiteral("data_type"), dataTypeText(i.dataType));
    return r;
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

namespace {

// One run, step by step. What a step sets up for the later ones is a member, so that run()
// reads as the table of contents.
class Session {
public:
    explicit Session(const SessionOptions &options)
        : options_(options), index_(config_), out_(options.json ? Output::Json : Output::Table, options.terminal, stdout),
          logs_(options.logLevel)
    {
        out_.setChangedOnly(options.changedOnly);
    }
    ~Session() { zel_host::setDiscoveryPauseHook(nullptr); }

    int run()
    {
        if (!loadConfiguration())
            return ExitUsage;
        if (!loadThePlugin())
            return ExitPluginLoad;
        handDevicesToTheHost();
        if (!initialiseThePlugin())
            return ExitFailure;
        if (options_.showSchema)
            return showSchemaAndStop();
        startDevices();
        const QString reason = runUntilTheStop();
        stopDevicesAndPlugin();
        return summarise(reason);
    }

private:
    // The configuration, the --write names checked against it, the item store.
    bool loadConfiguration()
    {
        QString error;
        if (!loadConfig(options_.configFile, &config_, &error)) {
            fail(error);
            return false;
        }
        // Writes name configured items only, so they are checked before anything is loaded.
        for (const QString &w : options_.writes) {
            QString name, value;
            ItemRef ref;
            if (!parseAssignment(w, &name, &value, &error) || !index_.resolve(name, &ref, &error)) {
                fail(QStringLiteral("--write %1: %2").arg(w, error));
                return false;
            }
            initialWrites_[ref.deviceId].push_back({ref.uid, value});
        }
        storePath_ = !options_.itemStore.isEmpty() ? options_.itemStore
                     : !config_.itemStore.isEmpty() ? config_.itemStore
                                                    : defaultItemStorePath(options_.configFile);
        if (!loadItemStore(storePath_, &stored_, &error)) {
            fail(error);
            return false;
        }
        return true;
    }

    bool loadThePlugin()
    {
        const QString location = !options_.plugin.isEmpty()       ? options_.plugin
                                 : !config_.pluginPath.isEmpty() ? config_.pluginPath
                                                                 : defaultPluginLocation();
        QString error;
        if (!loadPlugin(location, QStringLiteral("AB_EIP"), &loaded_, &error)) {
            fail(error);
            return false;
        }
        plugin_ = loaded_.plugin;
        return true;
    }

    // The host's view: the devices with their configured items, then the items the store kept.
    // The configured records live once, in the device list the host and the device threads share.
    void handDevicesToTheHost()
    {
        zel_host::reset();
        if (options_.logLevel != LogThreshold::None)
            zel_host::setKeptLogLevel(static_cast<zel_host::LogLevel>(options_.logLevel));
        else
            zel_host::setKeptLogLevel(zel_host::LogLevel::Error);
        QSet<QString> configured;
        int nextItemId = 1;
        for (const DeviceConfig &d : qAsConst(config_.devices)) {
            DeviceInstancePlugin record = deviceRecord(d);
            for (const ItemConfig &i : d.items) {
                record.items << itemRecord(d, i, nextItemId++);
                configured.insert(i.uid);
            }
            deviceRecords_ << record;
        }
        zel_host::setDevices(deviceRecords_);
        for (const ItemInstancePlugin &item : qAsConst(stored_))
            if (!configured.contains(item.uid))
                zel_host::putItem(item);
        stored_.clear();
    }

    // init(), what it created or kept per device, and the store saved with it.
    bool initialiseThePlugin()
    {
        QSet<QString> before;
        for (const ItemInstancePlugin &item : zel_host::items())
            before.insert(item.uid);
        plugin_->init();
        logs_.drain();
        pluginItems_ = zel_host::items();
        for (const DeviceConfig &d : qAsConst(config_.devices)) {
            QJsonArray created, kept;
            QStringList createdText;
            for (const ItemInstancePlugin &item : qAsConst(pluginItems_)) {
                if (item.deviceId != d.id)
                    continue;
                if (before.contains(item.uid)) {
                    kept.append(item.uid);
                } else {
                    created.append(item.uid);
                    createdText << item.name;
                }
            }
            out_.note({{QStringLiteral("type"), QStringLiteral("init")},
                       {QStringLiteral("device_id"), d.id},
                       {QStringLiteral("device"), d.name},
                       {QStringLiteral("created"), created},
                       {QStringLiteral("kept"), kept}},
                      QStringLiteral("init: %1 (%2 at %3): %4 identity items created%5, %6 kept from %7")
                          .arg(d.name, controllerTypeName(d.controllerType), d.ipAddress)
                          .arg(created.size())
                          .arg(createdText.isEmpty() ? QString()
                                                     : QStringLiteral(" (") + createdText.join(QStringLiteral(", ")) +
                                                           QLatin1Char(')'))
                          .arg(kept.size())
                          .arg(QFileInfo(storePath_).fileName()));
        }
        return saveStore();
    }

    int showSchemaAndStop()
    {
        showSchema(out_);
        plugin_->stopPlugin();
        logs_.drain();
        return ExitOk;
    }

    // Per device a thread with its identity items first (what the controller is), then the
    // configured ones; the stdin reader when asked for; the clock of --duration.
    void startDevices()
    {
        for (int k = 0; k < config_.devices.size(); ++k) {
            const DeviceConfig &d = config_.devices.at(k);
            QList<ItemInstancePlugin> identity;
            for (const ItemInstancePlugin &item : qAsConst(pluginItems_))
                if (item.deviceId == d.id)
                    identity << item;
            for (const QList<ItemInstancePlugin> *items : {&qAsConst(identity), &deviceRecords_.at(k).items})
                for (const ItemInstancePlugin &item : *items)
                    out_.addRow(d.id, d.name, item.uid, item.name);
            WorkerOptions wo;
            wo.once = options_.once;
            wo.inputOpen = options_.stdinWrites;
            wo.initialWrites = initialWrites_[d.id];
            workers_.push_back(std::make_unique<DeviceWorker>(plugin_, deviceRecords_.at(k), identity, &events_, wo));
            byId_[d.id] = workers_.back().get();
        }
        out_.setHeader(QStringLiteral("ab-eip-runner: %1, %2 device(s), plugin %3")
                           .arg(options_.configFile)
                           .arg(config_.devices.size())
                           .arg(loaded_.file));

        // The host's pause is how it ends a read pass before its next item once the run is
        // stopping, instead of waiting for the rest of it.
        zel_host::setDiscoveryPauseHook(
            [this](const QString &, const QString &key) { return stopping_.load() && readsPausedAt(key); });
        for (auto &w : workers_)
            w->start();
        if (options_.stdinWrites)
            input_ = std::thread([this] { readStdinWrites(index_, byId_, stopInput_, events_); });
        clock_.start();
        // Output never delays the stop by more than a moment: once it is due, a reader of
        // stdout that keeps the runner waiting, or a backlog that takes long to print, is given
        // up on, and what was not printed is summarised.
        out_.setGiveUp([this] { return catchUpOver(); });
    }

    // Prints what the devices report until the duration, a signal or (--once) the last device
    // thread's end; returns why it stopped.
    QString runUntilTheStop()
    {
        for (;;) {
            consume(events_.take(std::chrono::milliseconds(100), kTakeAtOnce));
            logs_.drain();
            out_.refresh();
            if (stopDue())
                return reason_;
            if (finished_ == workers_.size())
                return QStringLiteral("one pass done");
        }
    }

    // The stop started when it became due runs on; meanwhile output catches up with what
    // the devices reported, within its moment.
    void stopDevicesAndPlugin()
    {
        askDevicesToStop();
        while (!stopped_) {
            consume(events_.take(std::chrono::milliseconds(100), kTakeAtOnce));
            logs_.drain();
        }
        stopper_.join();
        if (!devicesEnded_) {
            fail(QStringLiteral("a device is still inside a plugin call after %1 s; exiting without stopPlugin()")
                     .arg(kStopGraceMs / 1000));
            std::fflush(stdout);
            ::_exit(ExitFailure);
        }
        for (std::deque<Update> rest; !(rest = events_.take(std::chrono::milliseconds(0), kTakeAtOnce)).empty();)
            consume(rest);
        logs_.drain();
    }

    // The devices end the call they are in (the pause cuts a read pass short), their threads
    // and the stdin reader are joined and the plugin is stopped.
    void stopInTheBackground()
    {
        QElapsedTimer grace;
        grace.start();
        const auto allEnded = [this] {
            return std::all_of(workers_.begin(), workers_.end(), [](const auto &w) { return w->finished(); });
        };
        bool ended;
        while (!(ended = allEnded()) && grace.elapsed() < kStopGraceMs)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (ended) {
            if (input_.joinable())
                input_.join();
            for (auto &w : workers_)
                w->join();
            plugin_->stopPlugin();
        }
        devicesEnded_ = ended;
        stopped_ = true;
        events_.poke();
    }

    // The store with the last values, the summary, and the exit status.
    int summarise(const QString &reason)
    {
        for (const ItemInstancePlugin &item : zel_host::items()) {
            const Output::Row *r = out_.row(item.uid);
            if (r && r->read)
                lastValues_.insert(item.uid, {r->value, r->status, r->timestamp});
        }
        const bool storeSaved = saveStore();
        const QElapsedTimer lastWords = [] { QElapsedTimer t; t.start(); return t; }();
        out_.setGiveUp([&] { return lastWords.elapsed() >= kLastWordsMs; });
        if (out_.mode() == Output::Json) {
            QJsonObject stopped{{QStringLiteral("type"), QStringLiteral("stopped")},
                                {QStringLiteral("reason"), reason},
                                {QStringLiteral("errors"), out_.errors()}};
            // Updates of an item replaced by newer ones, and lines the reader never took.
            if (out_.skipped() > 0)
                stopped.insert(QStringLiteral("skipped"), out_.skipped());
            if (out_.unprinted() > 0)
                stopped.insert(QStringLiteral("unprinted"), out_.unprinted());
            out_.note(stopped, QString());
        }
        if (out_.unprinted() > 0) // perhaps the summary itself did not get through
            fail(QStringLiteral("output fell behind: %1 line(s) not printed, %2 older update(s) replaced by newer ones")
                     .arg(out_.unprinted())
                     .arg(out_.skipped()));
        out_.finish(QStringLiteral("stopped: %1; plugin stopped; %2 error(s)").arg(reason).arg(out_.errors()));
        if (!storeSaved)
            return ExitFailure;
        return options_.once && out_.errors() > 0 ? ExitItemErrors : ExitOk;
    }

    // True from the moment a signal came or the duration passed; the devices are told at once,
    // before output has caught up.
    bool stopDue()
    {
        if (dueAtMs_ < 0 && (g_stopSignal || (durationMs() > 0 && clock_.elapsed() >= durationMs()))) {
            reason_ = g_stopSignal ? QStringLiteral("interrupted") : QStringLiteral("duration reached");
            dueAtMs_ = clock_.elapsed();
            askDevicesToStop();
        }
        return dueAtMs_ >= 0;
    }
    bool catchUpOver() { return stopDue() && clock_.elapsed() - dueAtMs_ >= kCatchUpMs; }
    qint64 durationMs() const { return qint64(options_.durationSeconds * 1000.0); }

    // The address's devices are reading, and none is in a write batch: a paused batch would
    // leave the host unable to tell which writes went out.
    bool readsPausedAt(const QString &address) const
    {
        bool reading = false;
        for (const auto &w : workers_) {
            if (w->ipAddress() != address)
                continue;
            if (w->inCall() == DeviceWorker::Call::Write)
                return false;
            reading = reading || w->inCall() == DeviceWorker::Call::Read;
        }
        return reading;
    }

    void askDevicesToStop()
    {
        if (stopper_.joinable() || stopped_)
            return;
        stopInput_ = true;
        for (auto &w : workers_)
            w->requestStop();
        // Only now: a thread whose pass the pause cuts knows that it was asked to stop.
        stopping_ = true;
        stopper_ = std::thread([this] { stopInTheBackground(); });
    }

    void consume(const std::deque<Update> &updates)
    {
        // A backlog (a full take) still printing a moment after the stop was due is given up;
        // the few updates of the stop itself still go out.
        const bool backlog = updates.size() >= kTakeAtOnce;
        for (const Update &u : updates) {
            if (backlog && catchUpOver())
                out_.giveUp();
            if (u.kind == Update::Finished)
                ++finished_;
            out_.handle(u);
        }
    }

    bool saveStore()
    {
        QString error;
        if (saveItemStore(storePath_, zel_host::items(), lastValues_, &error))
            return true;
        fail(error);
        return false;
    }

    const SessionOptions &options_;
    RunnerConfig config_;
    const ItemIndex index_;
    std::map<int, std::vector<WriteRequest>> initialWrites_;
    QString storePath_;
    QList<ItemInstancePlugin> stored_; // read from the store, until the host has them
    LoadedPlugin loaded_;
    ZELInterface *plugin_ = nullptr;
    QList<DeviceInstancePlugin> deviceRecords_;
    QList<ItemInstancePlugin> pluginItems_; // after init(): the identity items
    QHash<QString, LastValue> lastValues_;
    Output out_;
    LogPump logs_;

    Events events_;
    std::vector<std::unique_ptr<DeviceWorker>> workers_;
    std::map<int, DeviceWorker *> byId_;
    std::atomic<bool> stopInput_{false};
    std::thread input_;
    std::atomic<bool> stopping_{false}; // the pause hook's answer
    std::thread stopper_;
    std::atomic<bool> stopped_{false}; // the devices and the plugin, by stopper_
    bool devicesEnded_ = false;        // set by stopper_ before stopped_
    size_t finished_ = 0; // device threads that have ended
    QElapsedTimer clock_; // from the start of the devices
    qint64 dueAtMs_ = -1; // on clock_, once the stop is due
    QString reason_;
};

} // namespace

int runSession(const SessionOptions &options)
{
    Session session(options);
    return session.run();
}

} // namespace runner
