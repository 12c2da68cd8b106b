#pragma once
// What the runner prints on stdout: a table of items for a person (redrawn in place on a
// terminal, printed once at the end otherwise) or one JSON object per line for a program.
// Printing waits for a slow reader only until the give-up test says the run is over; what is
// not printed then is counted, for the summary.

#include "events.h"

#include <QElapsedTimer>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <functional>

namespace runner {

class Output {
public:
    enum Mode { Table, Json };

    Output(Mode mode, bool terminal, std::FILE *out);

    Mode mode() const { return mode_; }
    // JSON reads only when the item's value or status differs from what was last shown.
    void setChangedOnly(bool on) { changedOnly_ = on; }
    // Checked while a write waits for the reader; true: stop printing (until set again).
    void setGiveUp(std::function<bool()> giveUp);
    void giveUp() { givenUp_ = true; }

    // Rows appear in the order they are added.
    void addRow(int deviceId, const QString &device, const QString &uid, const QString &item);
    void setHeader(const QString &text) { header_ = text; }

    void handle(const Update &u);
    // A message that is not an item update: a JSON object, or its text in table mode.
    void note(const QJsonObject &json, const QString &text);
    // Redraws the table when something changed and the last redraw is old enough.
    void refresh();
    // The final table (table mode); nothing in JSON mode.
    void finish(const QString &footer);

    // Last value per uid, for the item store.
    struct Row {
        int deviceId = 0;
        QString device, uid, item, value, status;
        bool read = false;
        QDateTime timestamp;
    };
    const QList<Row> &rows() const { return rows_; }
    const Row *row(const QString &uid) const
    {
        const auto it = rowOf_.constFind(uid);
        return it == rowOf_.constEnd() ? nullptr : &rows_.at(it.value());
    }
    int errors() const { return errors_; }
    qint64 skipped() const { return skipped_; }     // updates replaced by newer ones before printing
    qint64 unprinted() const { return unprinted_; } // lines given up on

private:
    void line(const QJsonObject &o);
    // All of it, or nothing more once given up; false when not (all) printed.
    bool put(const QByteArray &bytes);
    // False, counting the line as unprinted, once printing was given up.
    bool printing();
    void pass(const Update &u); // a read pass's duration and rate
    void draw(const QString &footer);

    Mode mode_;
    bool terminal_;
    std::FILE *out_;
    QString header_;
    QList<Row> rows_;
    QHash<QString, int> rowOf_;    // uid -> index
    QMap<int, QString> deviceNames_;
    QMap<int, QString> deviceState_; // device id -> last status text
    QStringList writes_;           // recent write results, newest last
    QStringList notes_;
    QMap<int, QString> passes_;    // device id -> its last pass, under the table
    bool dirty_ = false;
    QElapsedTimer sinceDraw_;
    int errors_ = 0;
    bool changedOnly_ = false;
    std::function<bool()> giveUp_;
    bool givenUp_ = false;
    bool brokenLine_ = false; // a line was cut short: the next output starts on a new line
    qint64 skipped_ = 0, unprinted_ = 0;
};

} // namespace runner
