// ab-eip-runner: a small host for the ab_eip plugin. Loads the plugin as the real host does,
// feeds it devices and items from a JSON file, and shows what it reads and writes.

#include "browse.h"
#include "session.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <malloc.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    // Every device thread (and the tag library's) would grow a malloc arena of its own, and
    // memory freed in one is not reused by another: with many controllers the resident size
    // would creep up for as long as the run lasts. One arena keeps it flat.
    mallopt(M_ARENA_MAX, 1);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ab-eip-runner"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Runs the ab_eip plugin against the controllers of a configuration file: init(), read passes per device at "
        "each item's interval (one thread per device), writes, and stopPlugin() on exit (Ctrl-C included).\n"
        "Exit status: 0 fine, 1 runtime failure, 2 bad options, configuration or item name, 3 plugin not loadable, "
        "4 (--once) a read or write reported an error."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("config"), QStringLiteral("The configuration file (JSON)."));
    const QCommandLineOption plugin(QStringLiteral("plugin"),
                                    QStringLiteral("The plugin library, or a folder of plugins (default: $AB_EIP_PLUGIN, "
                                                   "the configuration's \"plugin\", then the build's plugins folder)."),
                                    QStringLiteral("path"));
    const QCommandLineOption store(QStringLiteral("item-store"),
                                   QStringLiteral("Where the plugin's items are kept (default <config>.items.json)."),
                                   QStringLiteral("file"));
    const QCommandLineOption table(QStringLiteral("table"),
                                   QStringLiteral("A table of items; redrawn live on a terminal (default on a terminal)."));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("One JSON object per line per update (default when not a terminal)."));
    const QCommandLineOption changedOnly(QStringLiteral("changed-only"),
                                         QStringLiteral("With --json: a read only when the item's value or status "
                                                        "changed."));
    const QCommandLineOption once(QStringLiteral("once"),
                                  QStringLiteral("One read pass per device, then the writes and their read-back, then stop."));
    const QCommandLineOption duration(QStringLiteral("duration"), QStringLiteral("Stop after this many seconds."),
                                      QStringLiteral("seconds"));
    const QCommandLineOption write(QStringLiteral("write"),
                                   QStringLiteral("Write VALUE to the item NAME (uid, item name or device/item) after "
                                                  "the first pass; repeatable. Arrays as JSON: 'Arr=[\"1\",\"2\"]'."),
                                   QStringLiteral("NAME=VALUE"));
    const QCommandLineOption stdinWrites(QStringLiteral("stdin-writes"),
                                         QStringLiteral("Read NAME=VALUE lines from stdin and write them."));
    const QCommandLineOption logLevel(QStringLiteral("log-level"),
                                      QStringLiteral("Plugin log lines shown on stderr: debug, info, error or none "
                                                     "(default info)."),
                                      QStringLiteral("level"), QStringLiteral("info"));
    const QCommandLineOption schema(QStringLiteral("show-schema"),
                                    QStringLiteral("Show the schema the plugin declares and the identity items, then stop."));
    parser.addOptions({plugin, store, table, json, changedOnly, once, duration, write, stdinWrites, logLevel, schema});
    const QCommandLineOption browse(
        QStringLiteral("browse"),
        QStringLiteral("List the tags of the controller at ADDRESS (with --controller-type and --path), or of the "
                       "configuration file's device with that name or id, as a table; then stop."),
        QStringLiteral("target"));
    const QCommandLineOption browseJson(QStringLiteral("browse-json"),
                                       QStringLiteral("With --browse: print a configuration with an item per tag."));
    const QCommandLineOption controllerType(QStringLiteral("controller-type"),
                                            QStringLiteral("With --browse ADDRESS: ControlLogix, CompactLogix, ..."),
                                            QStringLiteral("type"));
    const QCommandLineOption route(QStringLiteral("path"), QStringLiteral("With --browse ADDRESS: the CIP route (1,0)."),
                                   QStringLiteral("route"));
    const QCommandLineOption identify(QStringLiteral("identify"),
                                      QStringLiteral("Show the List Identity answer of the device at ADDRESS; then stop."),
                                      QStringLiteral("address"));
    const QCommandLineOption maxElements(
        QStringLiteral("browse-max-elements"),
        QStringLiteral("With --browse-json: the elements of an array of structures given items (16)."),
        QStringLiteral("n"), QStringLiteral("16"));
    parser.addOptions({browse, browseJson, controllerType, route, identify, maxElements});
    parser.process(app);

    auto usage = [](const QString &message) {
        std::fprintf(stderr, "ab-eip-runner: %s (see --help)\n", qPrintable(message));
        return int(runner::ExitUsage);
    };
    const QStringList positional = parser.positionalArguments();
    if (parser.isSet(identify))
        return runner::identifyDevice(parser.value(identify));
    if (parser.isSet(browseJson) && !parser.isSet(browse))
        return usage(QStringLiteral("--browse-json goes with --browse"));
    if (parser.isSet(browse)) {
        if (positional.size() > 1)
            return usage(QStringLiteral("one configuration file only"));
        bool numeric = false;
        const int max = parser.value(maxElements).toInt(&numeric);
        if (!numeric || max < 0)
            return usage(QStringLiteral("--browse-max-elements takes a number of elements"));
        const runner::BrowseRequest request{parser.value(browse), positional.value(0), parser.value(controllerType),
                                            parser.value(route), parser.isSet(browseJson), max};
        return runner::runBrowse(request);
    }
    if (positional.size() != 1)
        return usage(positional.isEmpty() ? QStringLiteral("no configuration file given")
                                          : QStringLiteral("one configuration file only"));
    if (parser.isSet(table) && parser.isSet(json))
        return usage(QStringLiteral("--table and --json exclude each other"));

    runner::SessionOptions o;
    o.configFile = positional.first();
    o.plugin = parser.isSet(plugin) ? parser.value(plugin) : qEnvironmentVariable("AB_EIP_PLUGIN");
    o.itemStore = parser.value(store);
    const bool terminal = ::isatty(STDOUT_FILENO) == 1;
    o.json = parser.isSet(json) || (!parser.isSet(table) && !terminal);
    o.terminal = terminal;
    o.changedOnly = parser.isSet(changedOnly);
    o.once = parser.isSet(once);
    if (parser.isSet(duration)) {
        bool ok = false;
        o.durationSeconds = parser.value(duration).toDouble(&ok);
        if (!ok || o.durationSeconds <= 0)
            return usage(QStringLiteral("--duration wants a number of seconds above 0, not \"%1\"").arg(parser.value(duration)));
    }
    o.writes = parser.values(write);
    o.stdinWrites = parser.isSet(stdinWrites);
    o.showSchema = parser.isSet(schema);
    const QString level = parser.value(logLevel).toLower();
    if (level == QLatin1String("debug"))
        o.logLevel = runner::LogThreshold::Debug;
    else if (level == QLatin1String("info"))
        o.logLevel = runner::LogThreshold::Info;
    else if (level == QLatin1String("error"))
        o.logLevel = runner::LogThreshold::Error;
    else if (level == QLatin1String("none"))
        o.logLevel = runner::LogThreshold::None;
    else
        return usage(QStringLiteral("--log-level wants debug, info, error or none, not \"%1\"").arg(level));

    runner::installStopSignals();
    return runner::runSession(o);
}
