#pragma once
// The spectrum of a pixel or a region of one slice over the energies of a
// CT-XAFS sequence: per energy, the mean of the saved values over a
// rectangle of result pixels, read from that energy's data file.
//
// An energy whose file cannot be read, or whose region holds none of the
// rectangle's pixels, gives no point and one line in failures(), so that the
// caller can name it. A rectangle partly outside a file's region is the mean
// over its pixels inside.
#include "EnergyFile.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

class EnergyCurve
{
public:
    struct Point {
        double energy = 0;
        double value = 0;
    };

    // Mean over x0..x1, z0..z1 (inclusive) per file, ascending by energy.
    static EnergyCurve of(const QList<EnergyFile> &files, int x0, int z0, int x1, int z1);
    // The square of side `size` (1, 3, 5 ...) centred on (x, z).
    static EnergyCurve ofSquare(const QList<EnergyFile> &files, int x, int z, int size);

    const QList<Point> &points() const { return pts; }
    const QStringList &failures() const { return failed; }

    // "energy,value" per line, ascending by energy: the energy in eV with up
    // to 10 significant digits, the value with 6, as the data files hold it.
    QByteArray csv() const;

private:
    QList<Point> pts;
    QStringList failed;
};
