#include "AirColumns.h"

#include "HSgm.h"

#include <algorithm>

void AirColumns::apply(HSgm &h)
{
    const int w = h.width;
    const int kk = std::min(k, w / 2);
    if (kk < 1 || h.height < 1 || h.sgm.size() < std::size_t(w) * std::size_t(h.height))
        return;
    for (int i = 0; i < h.height; ++i) {
        double *row = h.sgm.data() + std::size_t(i) * std::size_t(w);
        double sum = 0;
        for (int j = 0; j < kk; ++j)
            sum += row[j] + row[w - 1 - j];
        const double offset = sum / (2.0 * kk);
        for (int j = 0; j < w; ++j)
            row[j] -= offset;
    }
}
