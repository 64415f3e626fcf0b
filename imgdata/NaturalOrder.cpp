#include "NaturalOrder.h"

#include <algorithm>

int NaturalOrder::compare(const QString &a, const QString &b)
{
    const int na = int(a.size());
    const int nb = int(b.size());
    int i = 0, j = 0;
    int zeros = 0;      // first difference in leading zeros, the tie-breaker
    while (i < na && j < nb) {
        const QChar ca = a.at(i);
        const QChar cb = b.at(j);
        if (ca.isDigit() && cb.isDigit()) {
            // Skip leading zeros, then the longer run is the larger number;
            // of two runs of one length the first differing digit decides.
            int za = i, zb = j;
            while (za < na && a.at(za) == QLatin1Char('0'))
                ++za;
            while (zb < nb && b.at(zb) == QLatin1Char('0'))
                ++zb;
            int ea = za, eb = zb;
            while (ea < na && a.at(ea).isDigit())
                ++ea;
            while (eb < nb && b.at(eb).isDigit())
                ++eb;
            if (ea - za != eb - zb)
                return (ea - za) - (eb - zb);
            for (int k = 0; k < ea - za; ++k) {
                const int d = a.at(za + k).digitValue() - b.at(zb + k).digitValue();
                if (d != 0)
                    return d;
            }
            if (zeros == 0)
                zeros = (za - i) - (zb - j);
            i = ea;
            j = eb;
            continue;
        }
        const QChar fa = ca.toCaseFolded();
        const QChar fb = cb.toCaseFolded();
        if (fa != fb)
            return fa.unicode() - fb.unicode();
        ++i;
        ++j;
    }
    if (i < na || j < nb)
        return (na - i) - (nb - j);
    if (zeros != 0)
        return zeros;
    return QString::compare(a, b);
}

void NaturalOrder::sort(QStringList &names)
{
    std::stable_sort(names.begin(), names.end(), &NaturalOrder::lessThan);
}

void NaturalOrder::sort(QFileInfoList &infos)
{
    std::stable_sort(infos.begin(), infos.end(), [](const QFileInfo &x, const QFileInfo &y) {
        return lessThan(x.fileName(), y.fileName());
    });
}
