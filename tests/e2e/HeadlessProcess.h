#pragma once
// The program itself, run headless (offscreen platform) for a test.
#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// Starts `program` in `dir` with its output and errors merged.
inline void startHeadless(QProcess &p, const QString &program, const QString &dir, const QStringList &args)
{
    p.setWorkingDirectory(dir);
    p.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.start(program, args);
}

// Runs it to its end: its output, then a line "(exit code N)", "(crashed)",
// or "(killed)" when it had not ended after timeoutMs.
inline QByteArray runHeadless(const QString &program, const QString &dir, const QStringList &args,
                              int timeoutMs)
{
    QProcess p;
    startHeadless(p, program, dir, args);
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return p.readAll() + "\n(killed)";
    }
    if (p.exitStatus() != QProcess::NormalExit)
        return p.readAll() + "\n(crashed)";
    return p.readAll() + QString("\n(exit code %1)").arg(p.exitCode()).toUtf8();
}
