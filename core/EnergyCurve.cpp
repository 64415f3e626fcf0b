#include "EnergyCurve.h"
#include "DataFileGrid.h"
#include "DataFileText.h"

#include <algorithm>

EnergyCurve EnergyCurve::of(const QList<EnergyFile> &files, int x0, int z0, int x1, int z1)
{
    EnergyCurve s;
    if (x1 < x0)
        std::swap(x0, x1);
    if (z1 < z0)
        std::swap(z0, z1);
    DataFileGrid grid;
    for (const EnergyFile &f : files) {
        if (!grid.read(f.path, z0, z1)) {
            s.failed << grid.why();
            continue;
        }
        double mean = 0;
        if (!grid.meanOver(x0, z0, x1, z1, &mean)) {
            s.failed << QStringLiteral("%1: no pixel of x %2 .. %3, z %4 .. %5 in its region")
                            .arg(f.path).arg(x0).arg(x1).arg(z0).arg(z1);
            continue;
        }
        s.pts.append({f.energy, mean});
    }
    std::stable_sort(s.pts.begin(), s.pts.end(),
                     [](const Point &a, const Point &b) { return a.energy < b.energy; });
    return s;
}

EnergyCurve EnergyCurve::ofSquare(const QList<EnergyFile> &files, int x, int z, int size)
{
    const int r = std::max(0, (size - 1) / 2);
    return of(files, x - r, z - r, x + r, z + r);
}

QByteArray EnergyCurve::csv() const
{
    QByteArray out;
    for (const Point &p : pts) {
        out += QByteArray::number(p.energy, 'g', 10);
        out += ',';
        DataFileText::appendNumber(out, p.value);
        out += '\n';
    }
    return out;
}
