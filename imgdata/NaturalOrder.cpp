#include "NaturalOrder.h"

#include <algorithm>

// Only 0-9 make numbers: a digit of another script compared by its value
// here but by its code against a letter would let three names sort in a
// circle, and the series order would follow the directory listing.
static bool isAsciiDigit(QChar c)
{
    return c.unicode() >= '0' && c.unicode() <= '9';
}

int NaturalOrder::compare(const QString &a, const QString &b)
{
    const int na = int(a.size());
    const int nb = int(b.size());
    int i = 0, j = 0;
    int zeros = 0;      // first difference in leading zeros, the tie-breaker
    while (i < na && j < nb) {
        const QChar ca = a.at(i);
        const QChar cb = b.at(j);
        if (isAsciiDigit(ca) && isAsciiDigit(cb)) {
            // Skip leading zeros, then the longer run is the larger number;
            // of two runs of one length the first differing digit decides.
            int za = i, zb = j;
            while (za < na && a.at(za) == QLatin1Char('0'))
                ++za;
            while (zb < nb && b.at(zb) == QLatin1Char('0'))
                ++zb;
            int ea = za, eb = zb;
            while (ea < na && isAsciiDigit(a.at(ea)))
                ++ea;
            while (eb < nb && isAsciiDigit(b.at(eb)))
                ++eb;
            if (ea - za != eb - zb)
                return (ea - za) - (eb - zb);
            for (int k = 0; k < ea - za; ++k) {
                const int d = a.at(za + k).unicode() - b.at(zb + k).unicode();
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
