#include "TextLines.h"

#include <QFile>
#include <QFileInfo>

bool TextLines::read(const QString &fileName, QStringList *lines)
{
    if (fileName.isEmpty() || !QFileInfo(fileName).isFile())
        return false;
    QFile f(fileName);
    // binary mode: text mode would drop every CR, and with it the line ends
    // of a CR-only file
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = f.readAll();
    const bool ok = f.error() == QFileDevice::NoError;
    f.close();
    if (!ok)
        return false;
    *lines = split(QString::fromUtf8(bytes));
    return true;
}

QStringList TextLines::split(const QString &text)
{
    QStringList out;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\n') && c != QLatin1Char('\r'))
            continue;
        out << text.mid(start, i - start);
        if (c == QLatin1Char('\r') && i + 1 < n && text.at(i + 1) == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < n)
        out << text.mid(start);
    return out;
}
