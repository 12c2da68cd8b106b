#include "stdin_writes.h"

#include "item_index.h"

#include <QByteArray>

#include <cerrno>
#include <cstdio>

#include <poll.h>
#include <unistd.h>

namespace runner {

// Polls, so that a stop is noticed within a tenth of a second even when no input comes.
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
            std::fprintf(stderr, "ab-eip-runner: stdin line %d: %s\n", lineNo, qPrintable(error));
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

} // namespace runner
