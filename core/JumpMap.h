#pragma once
// The edge-jump map of one slice: per pixel, the mean of the saved values
// over the energies above the edge energy E0 minus their mean over the
// energies below it (an energy equal to E0 counts on neither side). Where the
// element of the edge is, the map is its jump; elsewhere it is near 0.
//
// The map covers the pixels every file holds (the intersection of their
// regions). It is made from every file or not at all: a file that cannot be
// read, no energy on one side of E0, or no pixel common to all files leave
// it empty with the reason in why().
#include "EnergyFile.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <vector>

class JumpMap
{
public:
    static JumpMap of(const QList<EnergyFile> &files, double e0);

    bool ok() const { return made; }
    const QString &why() const { return reason; }

    int x0() const { return xb; }
    int z0() const { return zb; }
    int width() const { return w; }
    int height() const { return h; }
    int energiesBelow() const { return below; }
    int energiesAbove() const { return above; }
    double at(int x, int z) const
    {
        return vals[std::size_t(z - zb) * std::size_t(w) + std::size_t(x - xb)];
    }
    // Values row by row over the map's region.
    const std::vector<double> &values() const { return vals; }

    // The "#TOMX-CTImg" text of the map: the data files' layout, the pixels
    // at their coordinates in the slice, the values as they are (no limits,
    // no offset). Empty when no map was made.
    QByteArray text() const;

private:
    bool made = false;
    QString reason;
    int xb = 0, zb = 0, w = 0, h = 0;
    int below = 0, above = 0;
    std::vector<double> vals;
};
