#pragma once
// Runs an executable as a user would and collects what it printed, with a bound.

#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

struct ProcessResult {
    int exitCode = -1;
    bool finished = false;
    QString out;
    QString err;

    // stdout parsed as JSON lines; lines that are not objects are skipped.
    QList<QJsonObject> json() const
    {
        QList<QJsonObject> list;
        for (const QString &line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QJsonDocument d = QJsonDocument::fromJson(line.toUtf8());
            if (d.isObject())
                list << d.object();
        }
        return list;
    }

    QList<QJsonObject> ofType(const QString &type) const
    {
        QList<QJsonObject> list;
        for (const QJsonObject &o : json())
            if (o.value(QStringLiteral("type")).toString() == type)
                list << o;
        return list;
    }
};

inline QProcessEnvironment cleanEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("AB_EIP_PLUGIN"));
    env.remove(QStringLiteral("AB_EIP_BENCH_ADDRESS"));
    return env;
}

inline ProcessResult runProcess(const QString &program, const QStringList &args, const QByteArray &input = QByteArray(),
                      int limitMs = 30000, QProcessEnvironment env = cleanEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    ProcessResult r;
    if (!p.waitForStarted(5000))
        return r;
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    r.finished = p.waitForFinished(limitMs);
    if (!r.finished) {
        p.kill();
        p.waitForFinished(5000);
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}
