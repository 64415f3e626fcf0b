#include "LineSyntax.h"

#include <QDebug>

QString stripComment(const QString &line)
{
    bool inQuote = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == QLatin1Char('"') || c == QLatin1Char('\''))
            inQuote = !inQuote;
        else if (c == QLatin1Char('#') && !inQuote)
            return line.left(i);
    }
    return line;
}

QString nextToken(const QString &text, QString &rest)
{
    const QString src = text;   // rest may alias text
    qsizetype start = 0;
    while (start < src.size() && src.at(start).isSpace())
        ++start;
    if (start >= src.size()) {
        rest.clear();
        return QString();
    }
    if (src.at(start) == QLatin1Char('"')) {
        const qsizetype close = src.indexOf(QLatin1Char('"'), start + 1);
        if (close < 0) {
            qDebug().noquote()
                << QString("In a line [%1] item is started from quote but not ended by quote").arg(src);
            rest.clear();
            return src.mid(start + 1);
        }
        rest = src.mid(close + 1);
        return src.mid(start + 1, close - start - 1);
    }
    qsizetype end = start;
    while (end < src.size() && !src.at(end).isSpace())
        ++end;
    const QString item = src.mid(start, end - start);
    rest = src.mid(end);
    if (item.endsWith(QLatin1Char('"')))
        qDebug().noquote()
            << QString("In a line [%1] item is started from not quote but ended by quote").arg(src);
    return item;
}
