#pragma once
// One run of the host runner: configuration in, plugin loaded and initialised, device
// threads started, output printed, plugin stopped.

#include <QString>
#include <QStringList>

namespace runner {

enum ExitCode {
    ExitOk = 0,
    ExitFailure = 1,       // the item store could not be written, a device thread did not end
    ExitUsage = 2,         // bad options, missing or malformed configuration, unknown item name
    ExitPluginLoad = 3,    // the plugin could not be found or loaded
    ExitItemErrors = 4,    // --once: some read or write reported an error
};

enum class LogThreshold { Debug, Info, Error, None };

struct SessionOptions {
    QString configFile;
    QString plugin;      // from --plugin or AB_EIP_PLUGIN; empty: the configuration's, then the default
    QString itemStore;   // empty: the configuration's, then <config>.items.json
    bool json = false;
    bool changedOnly = false;   // JSON: a read only when its value or status changed
    bool terminal = false;
    bool once = false;
    double durationSeconds = 0; // 0: until stopped
    QStringList writes;         // NAME=VALUE
    bool stdinWrites = false;
    bool showSchema = false;
    LogThreshold logLevel = LogThreshold::Info;
};

// Returns the process exit status.
int runSession(const SessionOptions &options);

// SIGINT / SIGTERM ask the session to stop; a second one ends the process at once.
void installStopSignals();

} // namespace runner
