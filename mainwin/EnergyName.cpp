#include "EnergyName.h"

#include <QFileInfo>

#include <cmath>

namespace {

// Index of the last decimal digit of s, -1 when there is none.
qsizetype lastDigit(const QString &s)
{
    for (qsizetype i = s.size() - 1; i >= 0; --i) {
        const QChar c = s.at(i);
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            return i;
    }
    return -1;
}

} // namespace

QString energyTokenOf(const QString &fileName)
{
    const QString name = QFileInfo(fileName).fileName();
    const qsizetype last = name.lastIndexOf(QLatin1Char('-'));
    const QString head = last < 0 ? name : name.left(last);
    return head.mid(head.lastIndexOf(QLatin1Char('-')) + 1);
}

double energyNumberOf(const QString &token)
{
    const qsizetype d = lastDigit(token);
    if (d < 0)
        return 0;
    QString text = token.left(d + 1);
    text.replace(QLatin1Char('_'), QLatin1Char('.'));
    bool ok = false;
    const double v = text.toDouble(&ok);
    return ok && std::isfinite(v) ? v : 0;
}

QString energyUnitOf(const QString &token)
{
    return token.mid(lastDigit(token) + 1);
}

double energyMultiplierOf(const QString &unit)
{
    return unit.toUpper() == QLatin1String("KEV") ? 1000.0 : 1.0;
}

double energyOfToken(const QString &token)
{
    return energyNumberOf(token) * energyMultiplierOf(energyUnitOf(token));
}

double energyFromFileName(const QString &fileName)
{
    return energyOfToken(energyTokenOf(fileName));
}
