#include "json_locate.h"

namespace runner {

namespace {

// A forward-only walk over text that Qt has already accepted as JSON; on anything it does
// not expect it gives up (returns -1) rather than guessing.
class Walker {
public:
    explicit Walker(const QByteArray &t) : text(t) {}

    int find(const JsonPath &path)
    {
        skipSpace();
        return descend(path, 0);
    }

private:
    const QByteArray &text;
    int pos = 0;

    bool atEnd() const { return pos >= text.size(); }
    char peek() const { return atEnd() ? '\0' : text.at(pos); }

    void skipSpace()
    {
        while (!atEnd() && (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r'))
            ++pos;
    }

    // Reads a string token starting at the opening quote; false on a malformed one.
    bool readString(QString *out)
    {
        if (peek() != '"')
            return false;
        ++pos;
        QByteArray raw;
        while (!atEnd()) {
            const char c = text.at(pos++);
            if (c == '"') {
                if (out)
                    *out = QString::fromUtf8(raw);
                return true;
            }
            if (c != '\\') {
                raw.append(c);
                continue;
            }
            if (atEnd())
                return false;
            const char e = text.at(pos++);
            switch (e) {
            case 'n': raw.append('\n'); break;
            case 't': raw.append('\t'); break;
            case 'r': raw.append('\r'); break;
            case 'b': raw.append('\b'); break;
            case 'f': raw.append('\f'); break;
            case 'u': {
                if (pos + 4 > text.size())
                    return false;
                bool ok = false;
                const ushort code = text.mid(pos, 4).toUShort(&ok, 16);
                if (!ok)
                    return false;
                pos += 4;
                raw.append(QString(QChar(code)).toUtf8());
                break;
            }
            default: raw.append(e); break; // \" \\ \/
            }
        }
        return false;
    }

    bool skipValue()
    {
        skipSpace();
        const char c = peek();
        if (c == '"')
            return readString(nullptr);
        if (c == '{' || c == '[') {
            const char close = c == '{' ? '}' : ']';
            ++pos;
            skipSpace();
            if (peek() == close) {
                ++pos;
                return true;
            }
            for (;;) {
                if (c == '{') {
                    skipSpace();
                    if (!readString(nullptr))
                        return false;
                    skipSpace();
                    if (peek() != ':')
                        return false;
                    ++pos;
                }
                if (!skipValue())
                    return false;
                skipSpace();
                if (peek() == ',') {
                    ++pos;
                    continue;
                }
                if (peek() == close) {
                    ++pos;
                    return true;
                }
                return false;
            }
        }
        // number, true, false, null
        const int start = pos;
        while (!atEnd() && QByteArray(",]} \t\r\n").indexOf(peek()) < 0)
            ++pos;
        return pos > start;
    }

    int descend(const JsonPath &path, int depth)
    {
        skipSpace();
        if (depth == path.size())
            return pos;
        const PathStep &step = path.at(depth);
        const bool wantKey = step.type() == QVariant::String;
        if (wantKey && peek() == '{') {
            ++pos;
            for (;;) {
                skipSpace();
                if (peek() == '}')
                    return -1;
                QString key;
                if (!readString(&key))
                    return -1;
                skipSpace();
                if (peek() != ':')
                    return -1;
                ++pos;
                skipSpace();
                // Qt keeps the last of duplicate keys; so does this walk.
                const int valueStart = pos;
                if (!skipValue())
                    return -1;
                if (key == step.toString()) {
                    const int after = pos;
                    if (!laterDuplicate(key)) {
                        pos = valueStart;
                        return descend(path, depth + 1);
                    }
                    pos = after;
                }
                skipSpace();
                if (peek() != ',')
                    return -1;
                ++pos;
            }
        }
        if (!wantKey && peek() == '[') {
            ++pos;
            const int want = step.toInt();
            for (int index = 0;; ++index) {
                skipSpace();
                if (peek() == ']')
                    return -1;
                if (index == want)
                    return descend(path, depth + 1);
                if (!skipValue())
                    return -1;
                skipSpace();
                if (peek() != ',')
                    return -1;
                ++pos;
            }
        }
        return -1;
    }

    // True when `key` appears again later in the object the walk is in (pos is just after a
    // member's value). The position is restored.
    bool laterDuplicate(const QString &key)
    {
        const int saved = pos;
        bool found = false;
        for (;;) {
            skipSpace();
            if (peek() != ',')
                break;
            ++pos;
            skipSpace();
            QString other;
            if (!readString(&other))
                break;
            skipSpace();
            if (peek() != ':')
                break;
            ++pos;
            if (other == key) {
                found = true;
                break;
            }
            if (!skipValue())
                break;
        }
        pos = saved;
        return found;
    }
};

} // namespace

QString pathText(const JsonPath &path)
{
    QString out;
    for (const PathStep &step : path) {
        if (step.type() == QVariant::String) {
            if (!out.isEmpty())
                out += QLatin1Char('.');
            out += step.toString();
        } else {
            out += QStringLiteral("[%1]").arg(step.toInt());
        }
    }
    return out;
}

TextPosition positionOfOffset(const QByteArray &text, int offset)
{
    TextPosition p;
    if (offset < 0)
        return p;
    offset = qMin(offset, text.size());
    p.line = 1;
    int lineStart = 0;
    for (int i = 0; i < offset; ++i) {
        if (text.at(i) == '\n') {
            ++p.line;
            lineStart = i + 1;
        }
    }
    p.column = QString::fromUtf8(text.constData() + lineStart, offset - lineStart).size() + 1;
    return p;
}

int offsetOfPath(const QByteArray &text, const JsonPath &path)
{
    return Walker(text).find(path);
}

} // namespace runner
