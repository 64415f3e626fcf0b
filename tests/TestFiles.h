#pragma once
// Writes test input files; a file that cannot be written ends the test run.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

inline QString writeTestFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    f.write(bytes);
    return path;
}
