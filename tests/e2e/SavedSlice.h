#pragma once
// A saved "#TOMX-CTImg" data file read back by the tests on their own (not
// through the program's reader): a region of x0 .. x1, z0 .. z1, row by row.
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <cstddef>
#include <vector>

struct SavedSlice {
    int x0 = 0, z0 = 0, x1 = -1, z1 = -1;
    std::vector<double> values;     // row by row over the region
    bool ok = false;                // read, and values fill the region

    // Size of a whole square grid from (0, 0); 0 for anything else.
    int n() const { return ok && x0 == 0 && z0 == 0 && x1 == z1 ? x1 + 1 : 0; }
    double at(int x, int z) const
    {
        return values[std::size_t(z - z0) * std::size_t(x1 - x0 + 1) + std::size_t(x - x0)];
    }
    // The mean over the 3 x 3 square about (x, z), as a spectrum takes it.
    double near(int x, int z) const
    {
        double s = 0;
        for (int j = -1; j <= 1; ++j)
            for (int i = -1; i <= 1; ++i)
                s += at(x + i, z + j);
        return s / 9;
    }
};

inline SavedSlice readSavedSlice(const QString &path)
{
    SavedSlice d;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return d;
    QTextStream in(&f);
    if (in.readLine() != QLatin1String("#TOMX-CTImg"))
        return d;
    for (int i = 0; i < 5; ++i)
        in.readLine();
    bool first = true;
    while (!in.atEnd()) {
        const QStringList p = in.readLine().split(QLatin1Char('\t'));
        if (p.size() != 3)
            return SavedSlice();
        const int x = p[0].toInt(), z = p[1].toInt();
        if (first) {
            d.x0 = x;
            d.z0 = z;
            first = false;
        }
        d.x1 = qMax(d.x1, x);
        d.z1 = qMax(d.z1, z);
        d.values.push_back(p[2].toDouble());
    }
    d.ok = !d.values.empty()
           && d.values.size() == std::size_t(d.x1 - d.x0 + 1) * std::size_t(d.z1 - d.z0 + 1);
    return d;
}
