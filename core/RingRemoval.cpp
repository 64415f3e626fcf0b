#include "RingRemoval.h"

#include "HSgm.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace {

inline int mirror(int i, int n)
{
    // d c b a | a b c d | d c b a
    while (i < 0 || i >= n)
        i = i < 0 ? -i - 1 : 2 * n - 1 - i;
    return i;
}

// An odd window no longer than the row (at least 1).
int oddWindow(int win, int n)
{
    win = std::max(1, std::min(win, n));
    return win % 2 == 1 ? win : win - 1;
}

// Fraction of each sorted column left out at either end by the trimmed means.
constexpr double dropFraction = 0.05;
// Rows of the running mean along the projections that measures fluctuation.
constexpr int fluctuationRows = 10;
// Ranks of the sorted columns the stripe offsets are measured at: evenly
// spread over the projections (all of them when there are fewer).
constexpr int sampledRanks = 64;
// Projections a column is sorted from: every step-th of them, so many at most.
constexpr int maxSortedRows = 256;

} // namespace

RingRemoval::RingRemoval(double snr, int large, int small) : snr(snr), large(large), small(small) {}

bool RingRemoval::prepare(int width, int height)
{
    w = std::max(0, width);
    n = std::max(0, height);
    ranks = std::min(n, sampledRanks);
    const std::size_t grid = std::size_t(w) * std::size_t(ranks);
    const std::size_t win = std::size_t(std::max({large, small, fluctuationRows, 1}));
    try {
        sorted.assign(grid, 0.0);
        original.assign(grid, 0.0);
        smooth.assign(grid, 0.0);
        column.assign(8 * std::size_t(std::min(n, maxSortedRows)) + 8, 0.0);
        list.assign(std::size_t(std::max(w, n)), 0.0);
        list2.assign(std::size_t(std::max(w, n)), 0.0);
        mask.assign(std::size_t(w), 0.0);
        maskTmp.assign(std::size_t(std::max({w, n, ranks})), 0.0);
        fitRow.assign(std::size_t(w), 0.0);
        restRow.assign(std::size_t(w), 0.0);
        scratch.assign(std::max(win, std::size_t(w)), 0.0);
    } catch (const std::bad_alloc &) {
        w = n = ranks = 0;
        return false;
    }
    return true;
}

void RingRemoval::apply(HSgm &h)
{
    if (h.width != w || h.height != n || w < 1 || n < 1
        || h.sgm.size() < std::size_t(w) * std::size_t(n))
        return;
    removeUnresponsive(h);
    removeStripeOffsets(h);
}

int RingRemoval::rankAt(int i) const
{
    return int((i + 0.5) * n / ranks);
}

void RingRemoval::removeStripeOffsets(HSgm &h)
{
    if (w < 3 || ranks < 1)
        return;
    // every column sorted along the projections (every step-th of them), at
    // the sampled ranks; eight columns gathered at a time, a cache line
    const int step = (n + maxSortedRows - 1) / maxSortedRows;
    const int m = (n + step - 1) / step;
    for (int c0 = 0; c0 < w; c0 += 8) {
        const int cols = std::min(8, w - c0);
        for (int r = 0, k = 0; r < n; r += step, ++k) {
            const double *row = h.sgmRow(r) + c0;
            for (int b = 0; b < cols; ++b)
                column[std::size_t(b) * std::size_t(m) + std::size_t(k)] = row[b];
        }
        for (int b = 0; b < cols; ++b) {
            double *col = column.data() + std::size_t(b) * std::size_t(m);
            std::sort(col, col + m);
            for (int i = 0; i < ranks; ++i)
                sorted[std::size_t(i) * std::size_t(w) + std::size_t(c0 + b)] =
                    col[std::size_t(std::min(m - 1, int((i + 0.5) * m / ranks)))];
        }
    }
    std::copy(sorted.begin(), sorted.end(), original.begin());

    // large stripes: each column's offset from the smoothed sorted image over
    // the ranks left after the trimming; the columns whose offset stands out
    // take their smoothed values
    for (int i = 0; i < ranks; ++i) {
        const std::size_t at = std::size_t(i) * std::size_t(w);
        smoothRow(sorted.data() + at, smooth.data() + at, w, large, fitRow.data(), restRow.data(),
                  scratch.data());
    }
    const int drop = int(dropFraction * n);
    std::fill(list.begin(), list.begin() + w, 0.0);
    int used = 0;
    for (int i = 0; i < ranks; ++i) {
        const int k = rankAt(i);
        if (k < drop || k >= n - drop)
            continue;
        ++used;
        const std::size_t at = std::size_t(i) * std::size_t(w);
        for (int c = 0; c < w; ++c)
            list[std::size_t(c)] += sorted[at + std::size_t(c)] - smooth[at + std::size_t(c)];
    }
    for (int c = 0; c < w; ++c)
        list[std::size_t(c)] /= std::max(1, used);
    detectStripes(list.data(), w, snr, mask.data(), maskTmp.data());
    dilate(w);
    for (int i = 0; i < ranks; ++i) {
        const std::size_t at = std::size_t(i) * std::size_t(w);
        for (int c = 0; c < w; ++c)
            if (mask[std::size_t(c)] > 0)
                sorted[at + std::size_t(c)] = smooth[at + std::size_t(c)];
    }

    // small-to-medium stripes: the sorted image smoothed across by a median
    for (int i = 0; i < ranks; ++i) {
        const std::size_t at = std::size_t(i) * std::size_t(w);
        medianRow(sorted.data() + at, smooth.data() + at, w, small, scratch.data());
    }

    // the change of each column, over its ranks, as one offset
    double *change = maskTmp.data();
    for (int c = 0; c < w; ++c) {
        for (int i = 0; i < ranks; ++i) {
            const std::size_t at = std::size_t(i) * std::size_t(w) + std::size_t(c);
            change[i] = original[at] - smooth[at];
        }
        std::nth_element(change, change + ranks / 2, change + ranks);
        list2[std::size_t(c)] = change[ranks / 2];
    }
    for (int r = 0; r < n; ++r) {
        double *row = h.sgm.data() + std::size_t(r) * std::size_t(w);
        for (int c = 0; c < w; ++c)
            row[c] -= list2[std::size_t(c)];
    }
}

void RingRemoval::medianRow(const double *in, double *out, int len, int win, double *buf)
{
    win = oddWindow(win, len);
    const int half = win / 2;
    if (win < 9) {
        for (int j = 0; j < len; ++j) {
            for (int k = 0; k < win; ++k)
                buf[k] = in[mirror(j - half + k, len)];
            std::nth_element(buf, buf + half, buf + win);
            out[j] = buf[half];
        }
        return;
    }
    // a sorted window slid along the row: one value out, one in per step
    for (int k = 0; k < win; ++k)
        buf[k] = in[mirror(k - half, len)];
    std::sort(buf, buf + win);
    out[0] = buf[half];
    for (int j = 1; j < len; ++j) {
        const double gone = in[mirror(j - 1 - half, len)];
        const double come = in[mirror(j + half, len)];
        double *at = std::lower_bound(buf, buf + win, gone);
        if (at == buf + win || !(*at == gone)) {    // not a number: found by looking
            at = buf;
            while (at < buf + win - 1 && *at == *at)
                ++at;
        }
        std::memmove(at, at + 1, std::size_t(buf + win - 1 - at) * sizeof(double));
        double *to = std::upper_bound(buf, buf + win - 1, come);
        std::memmove(to + 1, to, std::size_t(buf + win - 1 - to) * sizeof(double));
        *to = come;
        out[j] = buf[half];
    }
}

void RingRemoval::detectStripes(const double *values, int len, double snr, double *out, double *buf)
{
    std::fill(out, out + len, 0.0);
    // the list sorted from the largest down; a line through its middle half
    std::copy(values, values + len, buf);
    std::sort(buf, buf + len, [](double a, double b) { return a > b; });
    const int drop = int(0.25 * len);
    const int lo = drop, hi = len - drop - 1;      // fitted: lo .. hi - 1
    if (hi - lo < 2)
        return;
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (int i = lo; i < hi; ++i) {
        sx += i;
        sy += buf[i];
        sxx += double(i) * i;
        sxy += double(i) * buf[i];
    }
    const double m = hi - lo;
    const double den = m * sxx - sx * sx;
    if (!(den != 0))
        return;
    const double slope = (m * sxy - sx * sy) / den;
    const double intercept = (sy - slope * sx) / m;
    const double last = intercept + slope * (len - 1);
    const double noise = std::max(std::fabs(last - intercept), 1e-6);
    if (!std::isfinite(noise))
        return;
    if (std::fabs(buf[0] - intercept) / noise >= snr) {
        const double upper = intercept + noise * snr * 0.5;
        for (int i = 0; i < len; ++i)
            if (values[i] > upper)
                out[i] = 1.0;
    }
    if (std::fabs(buf[len - 1] - last) / noise >= snr) {
        const double lower = last - noise * snr * 0.5;
        for (int i = 0; i < len; ++i)
            if (values[i] <= lower)
                out[i] = 1.0;
    }
}

void RingRemoval::dilate(int len)
{
    std::copy(mask.begin(), mask.begin() + len, maskTmp.begin());
    for (int j = 0; j < len; ++j)
        if (maskTmp[std::size_t(j)] > 0) {
            if (j > 0)
                mask[std::size_t(j - 1)] = 1.0;
            if (j + 1 < len)
                mask[std::size_t(j + 1)] = 1.0;
        }
}

void RingRemoval::smoothRow(const double *in, double *out, int len, int win, double *fit,
                            double *rest, double *buf)
{
    win = oddWindow(win, len);
    const int m = win / 2;
    if (m < 2) {
        medianRow(in, out, len, win, buf);
        return;
    }
    // local quadratic least squares over the window (mirrored at the ends)
    const double den = double(2 * m + 3) * (2 * m + 1) * (2 * m - 1);
    // the fit at j is sum_k c_k in[j + k] with c_k = a - b k^2: the plain sum
    // and the k^2-weighted sum of the window
    const double a = 3.0 * (3.0 * m * m + 3.0 * m - 1.0) / den, b = 15.0 / den;
    for (int j = 0; j < len; ++j) {
        double s0 = 0, s2 = 0;
        if (j >= m && j + m < len) {
            const double *x = in + j;
            for (int k = -m; k <= m; ++k) {
                s0 += x[k];
                s2 += double(k * k) * x[k];
            }
        } else {
            for (int k = -m; k <= m; ++k) {
                const double x = in[mirror(j + k, len)];
                s0 += x;
                s2 += double(k * k) * x;
            }
        }
        fit[j] = a * s0 - b * s2;
        rest[j] = in[j] - fit[j];
    }
    medianRow(rest, out, len, win, buf);
    for (int j = 0; j < len; ++j)
        out[j] += fit[j];
}

void RingRemoval::removeUnresponsive(HSgm &h)
{
    if (w < 5 || n < 2)
        return;
    // each column's summed distance from its running mean along the projections
    std::fill(list.begin(), list.begin() + w, 0.0);
    const int lo = fluctuationRows / 2, hi = fluctuationRows - lo;     // rows r - lo .. r + hi - 1
    for (int r = 0; r < n; ++r) {
        double *mean = list2.data();
        std::fill(mean, mean + w, 0.0);
        for (int k = r - lo; k < r + hi; ++k) {
            const double *row = h.sgmRow(mirror(k, n));
            for (int c = 0; c < w; ++c)
                mean[c] += row[c];
        }
        const double *row = h.sgmRow(r);
        for (int c = 0; c < w; ++c)
            list[std::size_t(c)] += std::fabs(row[c] - mean[c] / fluctuationRows);
    }
    // against the same measure of the neighbours
    double total = 0;
    for (int c = 0; c < w; ++c)
        total += list[std::size_t(c)];
    const double meanDiff = total / w;
    medianRow(list.data(), list2.data(), w, large, scratch.data());
    for (int c = 0; c < w; ++c) {
        const double back = list2[std::size_t(c)] == 0.0 ? meanDiff : list2[std::size_t(c)];
        list[std::size_t(c)] = back != 0.0 ? list[std::size_t(c)] / back : 1.0;
    }
    detectStripes(list.data(), w, snr, mask.data(), maskTmp.data());
    dilate(w);
    mask[0] = mask[1] = mask[std::size_t(w - 2)] = mask[std::size_t(w - 1)] = 0.0;
    // rebuilt between the nearest sound columns, row by row
    for (int c = 2; c < w - 2; ++c) {
        if (mask[std::size_t(c)] <= 0)
            continue;
        int a = c - 1;
        int b = c + 1;
        while (mask[std::size_t(b)] > 0)
            ++b;
        for (int m = c; m < b; ++m) {
            const double t = double(m - a) / double(b - a);
            for (int r = 0; r < n; ++r) {
                double *row = h.sgm.data() + std::size_t(r) * std::size_t(w);
                row[m] = row[a] + t * (row[b] - row[a]);
            }
        }
        c = b;
    }
}

