#pragma once
// The values of a "#TOMX-CTImg" data file (the layout DataFileText writes),
// read back as a grid over the file's region: x from x0 for width columns,
// z from z0 for height rows, in the result pixels the file's lines name.
//
// A file is read whole or refused: a missing header line, a pixel line that
// is not "x<TAB>z<TAB>value" at its place in the row-by-row order, a value
// that is not a finite number or a file that ends early makes read() false
// with the reason in why(). Rows outside [zFrom, zTo] are stepped over
// without being parsed, so reading a few rows of a large file costs little
// more than finding its line ends.
#include <QString>

#include <vector>

class QFile;

class DataFileGrid
{
public:
    // Reads the file's rows zFrom..zTo (inclusive; clipped to the file's
    // region); all rows by default. False (why() says why) when the file
    // cannot be read or is damaged.
    bool read(const QString &file, int zFrom = -2147483647 - 1, int zTo = 2147483647);
    // The header alone.
    bool readHeader(const QString &file);

    int x0() const { return xb; }
    int z0() const { return zb; }
    int width() const { return w; }
    int height() const { return h; }
    // Rows held: zHeldFrom .. zHeldFrom + rowsHeld - 1.
    int zHeldFrom() const { return zr0; }
    int rowsHeld() const { return rows; }
    bool holds(int x, int z) const
    {
        return x >= xb && x < xb + w && z >= zr0 && z < zr0 + rows;
    }
    // The value at (x, z); holds(x, z) must be true.
    double at(int x, int z) const
    {
        return vals[std::size_t(z - zr0) * std::size_t(w) + std::size_t(x - xb)];
    }
    // Mean over the pixels of the square x0..x1, z0..z1 (inclusive) that the
    // grid holds; false when it holds none of them.
    bool meanOver(int x0, int z0, int x1, int z1, double *mean, int *count = nullptr) const;

    const QString &why() const { return reason; }

private:
    bool fail(const QString &file, const QString &what);
    // Forgets the last file and opens f; false (named) when it can't be read.
    bool begin(QFile &f);
    // Parses the header of `text`; sets xb, zb, w, h and `body` (offset of
    // the first pixel line).
    bool parseHeader(const char *text, qint64 size, qint64 *body, const QString &file);

    int xb = 0, zb = 0, w = 0, h = 0;
    int zr0 = 0, rows = 0;
    std::vector<double> vals;
    QString reason;
};
