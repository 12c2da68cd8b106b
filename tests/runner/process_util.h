#pragma once
// Runs an executable as a user would and collects what it printed, with a bound.

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// Writes a test's file into its temporary folder; returns the path.
inline QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &text)
{
    QFile f(dir.filePath(name));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
    return f.fileName();
}

struct ProcessResult {
    int exitCode = -1;
    bool finished = false;
    QString out;
    QString err;

    // The JSON objects on the lines of stdout whose "type" is the one asked for.
    QList<QJsonObject> ofType(const QString &type) const
    {
        QList<QJsonObject> list;
        for (const QString &line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
            if (o.value(QStringLiteral("type")).toString() == type)
                list << o;
        }
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

// ab-sim with its control channel on stdin.
class SimProcess {
public:
    // Starts it and waits until its three controllers listen.
    bool start(const QString &program, const QString &config, int controllers = 3)
    {
        p_.setProcessChannelMode(QProcess::MergedChannels);
        p_.start(program, {QStringLiteral("--config"), config});
        if (!p_.waitForStarted(5000))
            return false;
        QElapsedTimer t;
        t.start();
        while (out_.count(QStringLiteral("listening")) < controllers && t.elapsed() < 10000) {
            p_.waitForReadyRead(200);
            out_ += QString::fromUtf8(p_.readAll());
        }
        return out_.count(QStringLiteral("listening")) == controllers;
    }
    const QString &output() const { return out_; }
    // One control command and its one-line answer.
    QString ask(const QString &command)
    {
        p_.write((command + QLatin1Char('\n')).toUtf8());
        QString line;
        QElapsedTimer t;
        t.start();
        while (!line.endsWith(QLatin1Char('\n')) && t.elapsed() < 5000) {
            p_.waitForReadyRead(200);
            line += QString::fromUtf8(p_.readAll());
        }
        return line.trimmed();
    }
    ~SimProcess()
    {
        p_.write("quit\n");
        if (!p_.waitForFinished(3000)) {
            p_.kill();
            p_.waitForFinished(3000);
        }
    }

private:
    QProcess p_;
    QString out_;
};
