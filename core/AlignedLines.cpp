#include "AlignedLines.h"
#include "SgmRange.h"

#include <algorithm>
#include <cmath>

AlignedLines::AlignedLines(bool rotAxIsV, int dim, int nLines, int slice, double cor,
                           const EnergyShift &shift)
    : dim(dim), nLines(nLines)
{
    const QString corText = QString::number(cor, 'g', 6);
    if (dim < 1 || nLines < 1 || slice < 0 || slice >= nLines) {
        reason = QStringLiteral("slice %1 outside the image lines (0 .. %2)").arg(slice).arg(nLines - 1);
        return;
    }
    if (!(std::floor(cor) > 0) || std::ceil(cor) >= dim) {
        reason = QStringLiteral("CoR %1 outside the image (0 .. %2)").arg(corText).arg(dim - 1);
        return;
    }
    // the reference set's grid: what its CoR leaves room for
    const double refCor = shift.referenceCor(cor, rotAxIsV);
    const SgmRange ref(rotAxIsV, dim, refCor);
    if (!ref.valid()) {
        reason = QStringLiteral("the reference CoR %1 leaves no sample in the image (0 .. %2)")
                     .arg(QString::number(refCor, 'g', 6)).arg(dim - 1);
        return;
    }
    h = ref.half;
    iCor = int(std::floor(cor));
    frac = cor - iCor;
    pos = slice + shift.alongAxis(rotAxIsV);
    if (!std::isfinite(pos)) {
        reason = QStringLiteral("no line at slice %1 shifted by %2").arg(slice).arg(shift.alongAxis(rotAxIsV));
        return;
    }
    // lines past the image take its first or last line
    const double p = std::clamp(pos, 0.0, double(nLines - 1));
    l0 = int(std::floor(p));
    t = p - l0;
    if (l0 >= nLines - 1) {
        l0 = nLines - 1;
        t = 0;
    }
    a.assign(std::size_t(dim), 0.0);
    b.assign(std::size_t(dim), 0.0);
    ok = true;
}

template <class Read> bool AlignedLines::interpolate(const Read &read)
{
    if (!read(l0, a.data()))
        return false;
    if (t > 0) {
        read(l0 + 1, b.data());
        for (int j = 0; j < dim; ++j)
            a[std::size_t(j)] += t * (b[std::size_t(j)] - a[std::size_t(j)]);
    }
    return true;
}

void AlignedLines::place(const double *line, double *out) const
{
    // virtual pixel j is real pixel j + iCor - h, clamped to the line
    const int n = virtualDim();
    for (int j = 0; j < n; ++j)
        out[j] = line[std::clamp(j + iCor - h, 0, dim - 1)];
}

HSgm::LineReader AlignedLines::wrap(const RefLineAt &read)
{
    if (!read)
        return HSgm::LineReader();
    return [this, read](double *out) {
        if (!interpolate(read))
            return false;
        place(a.data(), out);
        return true;
    };
}

HSgm::ImageLineReader AlignedLines::wrap(const ImageLineAt &read)
{
    if (!read)
        return HSgm::ImageLineReader();
    return [this, read](int image, double *out) {
        interpolate([&read, image](int line, double *o) {
            read(image, line, o);
            return true;
        });
        place(a.data(), out);
    };
}
