#include "SgmRange.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace {
// floor(v) as an int, kept inside the int range (v finite).
int floorToInt(double v)
{
    const double f = std::floor(v);
    if (f >= double(INT_MAX / 2))
        return INT_MAX / 2;
    if (f <= double(INT_MIN / 2))
        return INT_MIN / 2;
    return int(f);
}
}

SgmRange::SgmRange(bool rotAxIsV, int dim, double cor)
    : rotAxIsV(rotAxIsV), cor(cor)
{
    if (!std::isfinite(cor)) {
        half = 0;
        width = -1;
        iCor = 0;
        frac = 0;
        return;
    }
    half = floorToInt(std::min(cor, double(dim) - cor - 1.0));
    width = 2 * half - 1;
    iCor = floorToInt(cor);
    frac = cor - iCor;
}

void SgmRange::resample(const double *line, double *out) const
{
    if (!valid())
        return;
    // sample k (1 - half .. half - 1) lies between pixels iCor + k and iCor + k + 1
    const double *p = line + (iCor + 1 - half);
    for (int m = 0; m < width; ++m) {
        const double a = p[m], b = p[m + 1];
        out[m] = a + frac * (b - a);
    }
}
