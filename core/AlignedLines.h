#pragma once
// The line a sinogram is built from when a data set is shifted against the
// reference set of its sequence (EnergyShift): the slice's line lies between
// two image lines and is interpolated linearly between them, and its samples
// are those of the reference set's grid - `half` - 1 on either side of the
// set's own CoR, half taken from the reference CoR (the set's CoR less the
// shift across the axis, or EnergyShift::gridCor). Samples past either end
// of the line take the line's edge value, as do lines past the first or
// last image line.
//
// The build itself stays HSgm::build: it is handed a virtual line of
// 2 half + 2 pixels with the CoR at half + frac, made from the real lines by
// the readers this wraps, so that its sampling geometry has exactly `half`.
// With no shift and the set's own grid the rows equal those of a plain build.
//
// One object per build, on the building thread (it owns two scratch lines).
#include "EnergyShift.h"
#include "HSgm.h"

#include <QString>

#include <functional>
#include <vector>

class AlignedLines
{
public:
    // Reads image line `line` (0 .. nLines - 1) of `dim` pixels into out;
    // false when there is no such image.
    using RefLineAt = std::function<bool(int line, double *out)>;
    using ImageLineAt = std::function<void(int image, int line, double *out)>;

    // For line `slice` of images with nLines lines of dim pixels, built about
    // `cor` (the set's CoR, its shift included).
    AlignedLines(bool rotAxIsV, int dim, int nLines, int slice, double cor, const EnergyShift &shift);

    // The build can go on; otherwise why() says why not.
    bool valid() const { return ok; }
    const QString &why() const { return reason; }
    // Samples on either side of the centre are half - 1.
    int half() const { return h; }
    // The image line position the slice's line is taken from.
    double linePosition() const { return pos; }

    // What HSgm::build is handed: the virtual line's length and CoR, one line.
    int virtualDim() const { return 2 * h + 2; }
    double virtualCor() const { return h + frac; }
    static constexpr int virtualSlice = 0;
    static constexpr int virtualLines = 1;

    HSgm::LineReader wrap(const RefLineAt &read);
    HSgm::ImageLineReader wrap(const ImageLineAt &read);

private:
    // The virtual line from the interpolated real line in a.
    void place(const double *line, double *out) const;
    // Interpolates lines l0 and l0 + 1 by t into a (reading with `read`).
    template <class Read> bool interpolate(const Read &read);

    bool ok = false;
    QString reason;
    int dim = 0, nLines = 0;
    int h = 0, iCor = 0;
    double frac = 0;
    double pos = 0;
    int l0 = 0;
    double t = 0;
    std::vector<double> a, b;
};
