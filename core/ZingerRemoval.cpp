#include "ZingerRemoval.h"

#include "HSgm.h"

#include <algorithm>
#include <cmath>
#include <new>

bool ZingerRemoval::prepare(int width, int height)
{
    try {
        copy.assign(std::size_t(std::max(0, width)) * std::size_t(std::max(0, height)), 0.0);
    } catch (const std::bad_alloc &) {
        return false;
    }
    return true;
}

namespace {

// Median of nine by a fixed exchange network (no allocation, no branches
// on data beyond the swaps).
inline void sort2(double &a, double &b)
{
    if (b < a)
        std::swap(a, b);
}

double median9(double p[9])
{
    sort2(p[1], p[2]); sort2(p[4], p[5]); sort2(p[7], p[8]);
    sort2(p[0], p[1]); sort2(p[3], p[4]); sort2(p[6], p[7]);
    sort2(p[1], p[2]); sort2(p[4], p[5]); sort2(p[7], p[8]);
    sort2(p[0], p[3]); sort2(p[5], p[8]); sort2(p[4], p[7]);
    sort2(p[3], p[6]); sort2(p[1], p[4]); sort2(p[2], p[5]);
    sort2(p[4], p[7]); sort2(p[4], p[2]); sort2(p[6], p[4]);
    sort2(p[4], p[2]);
    return p[4];
}

inline int mirror(int i, int n)
{
    return i < 0 ? std::min(-i, n - 1) : (i >= n ? std::max(2 * n - 2 - i, 0) : i);
}

} // namespace

void ZingerRemoval::apply(HSgm &h)
{
    lastReplaced = 0;
    const int w = h.width, n = h.height;
    const std::size_t total = std::size_t(w) * std::size_t(n);
    if (w < 1 || n < 1 || copy.size() != total || h.sgm.size() < total)
        return;
    std::copy(h.sgm.begin(), h.sgm.begin() + std::ptrdiff_t(total), copy.begin());
    double p[9];
    for (int i = 0; i < n; ++i) {
        const double *rows[3] = {copy.data() + std::size_t(mirror(i - 1, n)) * std::size_t(w),
                                 copy.data() + std::size_t(i) * std::size_t(w),
                                 copy.data() + std::size_t(mirror(i + 1, n)) * std::size_t(w)};
        double *out = h.sgm.data() + std::size_t(i) * std::size_t(w);
        for (int j = 0; j < w; ++j) {
            const int jl = mirror(j - 1, w), jr = mirror(j + 1, w);
            const double v = rows[1][j];
            // the median is one of the nine: when every neighbour lies within
            // the threshold of v, so does the median
            bool near = true;
            for (int r = 0; r < 3 && near; ++r)
                near = std::fabs(rows[r][jl] - v) <= thr && std::fabs(rows[r][j] - v) <= thr
                    && std::fabs(rows[r][jr] - v) <= thr;
            if (near)
                continue;
            for (int r = 0; r < 3; ++r) {
                p[3 * r] = rows[r][jl];
                p[3 * r + 1] = rows[r][j];
                p[3 * r + 2] = rows[r][jr];
            }
            const double m = median9(p);
            if (std::fabs(v - m) > thr) {
                out[j] = m;
                ++lastReplaced;
            }
        }
    }
}
