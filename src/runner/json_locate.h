#pragma once
// Positions inside a JSON text. QJsonDocument forgets where values came from, so a field
// that is present but wrong is found again in the raw text to tell the user its line.

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <QVector>

namespace runner {

struct TextPosition {
    int line = 0;   // 1-based; 0 when unknown
    int column = 0; // 1-based, in characters
};

// One step of a field path: an object key (QString) or an array index (int).
using PathStep = QVariant;
using JsonPath = QVector<PathStep>;

// "devices[1].items[0].address"
QString pathText(const JsonPath &path);

// Line and column of a byte offset into UTF-8 text.
TextPosition positionOfOffset(const QByteArray &text, int offset);

// Byte offset of the value at `path` in an already validated JSON text; the document's own
// start for an empty path. -1 when the path does not lead to a value.
int offsetOfPath(const QByteArray &text, const JsonPath &path);

} // namespace runner
