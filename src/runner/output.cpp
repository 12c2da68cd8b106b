#include "output.h"

#include <QJsonDocument>

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include <algorithm>
#include <cmath>

namespace runner {

namespace {

constexpr int kTerminalValueWidth = 48;
constexpr qint64 kRedrawMs = 250; // a terminal redraw at most four times a second
constexpr int kRecentWrites = 6;

QString shortened(const QString &text, int width)
{
    QString flat = text;
    flat.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return flat.size() <= width ? flat : flat.left(width - 3) + QStringLiteral("...");
}

QString writeLine(const QString &device, const QString &item, const Update &u)
{
    return QStringLiteral("write %1/%2 = %3: %4")
        .arg(device, item, u.value, u.status.isEmpty() ? QStringLiteral("ok") : u.status);
}

// Items per second of a pass; a pass too short to time counts as 1 us.
double itemsPerSecond(const Update &u)
{
    return u.items * 1000.0 / std::max(u.durationMs, 0.001);
}

} // namespace

Output::Output(Mode mode, bool terminal, std::FILE *out) : mode_(mode), terminal_(terminal), out_(out)
{
    sinceDraw_.start();
}

void Output::addRow(int deviceId, const QString &device, const QString &uid, const QString &item)
{
    rowOf_.insert(uid, rows_.size());
    deviceNames_.insert(deviceId, device);
    Row r;
    r.deviceId = deviceId;
    r.device = device;
    r.uid = uid;
    r.item = item;
    rows_ << r;
}

void Output::setGiveUp(std::function<bool()> giveUp)
{
    giveUp_ = std::move(giveUp);
    givenUp_ = false;
}

bool Output::printing()
{
    if (!givenUp_)
        return true;
    ++unprinted_; // not even built: a run that is stopping has no time for it
    return false;
}

bool Output::put(const QByteArray &bytes)
{
    // Only a wait for the reader is given up: a line that can go out at once always does.
    const auto over = [this] { return givenUp_ || (givenUp_ = giveUp_ && giveUp_()); };
    if (givenUp_)
        return false;
    const int fd = ::fileno(out_);
    if (fd < 0) { // not a descriptor (a memory stream): it never waits
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), out_);
        std::fflush(out_);
        return true;
    }
    if (brokenLine_ && ::write(fd, "\n", 1) == 1)
        brokenLine_ = false;
    size_t done = 0;
    const size_t n = size_t(bytes.size());
    while (done < n) {
        pollfd p{fd, POLLOUT, 0};
        int ready = ::poll(&p, 1, 0);
        if (ready == 0) {
            if (over())
                break;
            ready = ::poll(&p, 1, 20); // short: a stop gives up waiting within a moment
        }
        if (ready < 0 && errno != EINTR)
            break;
        if (ready <= 0)
            continue;
        // No more than a pipe takes at once when it says it is writable: the write never blocks.
        const ssize_t w = ::write(fd, bytes.constData() + done, std::min<size_t>(n - done, PIPE_BUF));
        if (w > 0)
            done += size_t(w);
        else if (w < 0 && errno != EINTR && errno != EAGAIN)
            break; // the reader has gone
    }
    if (done == n)
        return true;
    givenUp_ = true;
    brokenLine_ = done > 0;
    return false;
}

void Output::line(const QJsonObject &o)
{
    if (!put(QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n'))
        ++unprinted_;
}

void Output::pass(const Update &u)
{
    const double rate = itemsPerSecond(u);
    if (mode_ == Json) {
        if (printing())
            line({{QStringLiteral("type"), QStringLiteral("pass")},
              {QStringLiteral("device"), deviceNames_.value(u.deviceId)},
              {QStringLiteral("device_id"), u.deviceId},
              {QStringLiteral("items"), u.items},
              {QStringLiteral("errors"), u.errors},
              {QStringLiteral("duration_ms"), std::round(u.durationMs * 1000.0) / 1000.0},
              {QStringLiteral("items_per_s"), std::round(rate)}});
        return;
    }
    passes_.insert(u.deviceId, QStringLiteral("pass %1 of %2: %3 item(s), %4 error(s) in %5 ms, %6 items/s")
                                   .arg(u.pass)
                                   .arg(deviceNames_.value(u.deviceId))
                                   .arg(u.items)
                                   .arg(u.errors)
                                   .arg(u.durationMs, 0, 'f', 1)
                                   .arg(rate, 0, 'f', 0));
    dirty_ = true;
}

void Output::handle(const Update &u)
{
    if (u.kind == Update::Finished)
        return;
    if (u.kind == Update::Pass) {
        pass(u);
        return;
    }
    if (u.kind == Update::DeviceState) {
        const bool changed = deviceState_.value(u.deviceId) != u.status || !deviceState_.contains(u.deviceId);
        const bool report = changed && !(u.status.isEmpty() && !deviceState_.contains(u.deviceId));
        deviceState_.insert(u.deviceId, u.status);
        if (report && mode_ == Json && printing())
            line({{QStringLiteral("type"), QStringLiteral("device")},
                  {QStringLiteral("device_id"), u.deviceId},
                  {QStringLiteral("device"), deviceNames_.value(u.deviceId)},
                  {QStringLiteral("status"), u.status},
                  {QStringLiteral("ok"), u.status.isEmpty()},
                  {QStringLiteral("timestamp"), u.timestamp.toString(Qt::ISODateWithMs)}});
        dirty_ = dirty_ || changed;
        return;
    }

    if (!u.status.isEmpty())
        ++errors_;
    skipped_ += u.skipped;
    const auto row = rowOf_.constFind(u.uid);
    if (row == rowOf_.constEnd())
        return; // every item the devices read or write has its row
    Row &r = rows_[row.value()];
    const bool unchanged = u.kind == Update::Read && r.read && r.status == u.status &&
                           (r.value == u.value || (!u.status.isEmpty() && u.value.isEmpty()));
    if (mode_ == Json && !(changedOnly_ && unchanged) && printing()) {
        QJsonObject o{{QStringLiteral("type"), u.kind == Update::Read ? QStringLiteral("read") : QStringLiteral("write")},
                      {QStringLiteral("device_id"), u.deviceId},
                      {QStringLiteral("device"), r.device},
                      {QStringLiteral("uid"), u.uid},
                      {QStringLiteral("item"), r.item},
                      {QStringLiteral("value"), u.hasValue ? QJsonValue(u.value) : QJsonValue()},
                      {QStringLiteral("status"), u.status},
                      {QStringLiteral("ok"), u.status.isEmpty()},
                      {QStringLiteral("timestamp"), u.timestamp.toString(Qt::ISODateWithMs)}};
        if (u.skipped > 0)
            o.insert(QStringLiteral("skipped"), u.skipped);
        line(o);
    }

    if (u.kind == Update::Write) {
        writes_ << writeLine(r.device, r.item, u);
        while (writes_.size() > kRecentWrites)
            writes_.removeFirst();
        if (mode_ == Table && !terminal_)
            put(writes_.last().toLocal8Bit() + '\n');
        dirty_ = true;
        return;
    }
    // A failed read keeps the last good value on show next to the error.
    if (u.status.isEmpty() || !u.value.isEmpty())
        r.value = u.value;
    r.status = u.status;
    r.timestamp = u.timestamp;
    r.read = true;
    dirty_ = true;
}

void Output::note(const QJsonObject &json, const QString &text)
{
    if (mode_ == Json) {
        line(json);
        return;
    }
    if (terminal_) {
        notes_ << text;
        dirty_ = true;
    } else {
        put(text.toLocal8Bit() + '\n');
    }
}

void Output::refresh()
{
    if (mode_ != Table || !terminal_ || !dirty_ || sinceDraw_.elapsed() < kRedrawMs)
        return;
    draw(QStringLiteral("Ctrl-C stops"));
}

void Output::finish(const QString &footer)
{
    if (mode_ == Table)
        draw(footer);
}

void Output::draw(const QString &footer)
{
    const int valueWidth = terminal_ ? kTerminalValueWidth : 1 << 20;
    QStringList head = {QStringLiteral("DEVICE"), QStringLiteral("ITEM"), QStringLiteral("VALUE"),
                        QStringLiteral("TIMESTAMP (UTC)"), QStringLiteral("STATUS")};
    QList<QStringList> cells;
    for (const Row &r : qAsConst(rows_)) {
        const QString status = !r.read ? QStringLiteral("not read yet")
                                       : r.status.isEmpty() ? QStringLiteral("ok") : r.status;
        cells << QStringList{r.device, r.item, shortened(r.value, valueWidth),
                             r.timestamp.isValid() ? r.timestamp.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"))
                                                   : QString(),
                             status};
    }
    QVector<int> width(head.size());
    for (int c = 0; c < head.size(); ++c) {
        width[c] = head[c].size();
        for (const QStringList &row : qAsConst(cells))
            width[c] = std::max(width[c], int(row[c].size()));
    }
    auto format = [&](const QStringList &row) {
        QString s;
        for (int c = 0; c < row.size(); ++c)
            s += c + 1 < row.size() ? row[c].leftJustified(width[c] + 2) : row[c];
        return s;
    };

    QString text;
    if (terminal_)
        text += QStringLiteral("\x1b[H\x1b[2J"); // home and clear: redraw in place
    if (!header_.isEmpty())
        text += header_ + QLatin1Char('\n');
    for (const QString &n : qAsConst(notes_))
        text += n + QLatin1Char('\n');
    for (auto it = deviceState_.begin(); it != deviceState_.end(); ++it)
        if (!it.value().isEmpty()) {
            text += QStringLiteral("device %1: %2\n").arg(deviceNames_.value(it.key()), it.value());
        }
    text += format(head) + QLatin1Char('\n');
    for (const QStringList &row : qAsConst(cells))
        text += format(row) + QLatin1Char('\n');
    for (const QString &p : qAsConst(passes_))
        text += p + QLatin1Char('\n');
    if (terminal_ && !writes_.isEmpty())
        text += QStringLiteral("recent writes:\n  ") + writes_.join(QStringLiteral("\n  ")) + QLatin1Char('\n');
    if (!footer.isEmpty())
        text += footer + QLatin1Char('\n');
    put(text.toLocal8Bit());
    dirty_ = false;
    sinceDraw_.restart();
}

} // namespace runner
