#pragma once
// The text of a "#TOMX-CTImg" data file: six header lines with the
// calculation region, then one line "x<TAB>z<TAB>value" per pixel of the
// region, row by row (z outer, x inner). Free of widgets and threads so that
// workers, tests and benchmarks share one formatter.
//
// Values pass the limits first: v is replaced by 0 when v < lower or
// v > upper (a value equal to a limit is kept), then the offset is added.
// Doubles are written like "%g" (6 significant digits), integers in decimal,
// lines end with a single line feed.
//
// The region is clipped to the N x N grid before anything is read, and the
// header shows the clipped region: a region reaching past the grid never
// reads outside the result.
#include "SliceRegion.h"

#include <QByteArray>

class DataFileText
{
public:
    // res holds N x N values row-major (res[z * N + x]); null or N < 1 gives
    // the header of an empty region.
    static QByteArray make(const double *res, int N, const SliceRegion &region,
                           double lowerLimit, double upperLimit, double dataOffset);

    // The region as the file states it: every bound within 0..N (a bound
    // that is not a number counts as 0).
    static SliceRegion clipped(const SliceRegion &region, int N);

    // v with the limits and the offset applied.
    static double limited(double v, double lowerLimit, double upperLimit, double dataOffset)
    {
        return ((v < lowerLimit || v > upperLimit) ? 0.0 : v) + dataOffset;
    }

    // Appends a double like "%g" / an int in decimal.
    static void appendNumber(QByteArray &out, double v);
    static void appendInt(QByteArray &out, int v);
};
