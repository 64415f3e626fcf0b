#include "RingRemoval.h"

#include "HSgm.h"

#include <algorithm>
#include <cmath>
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

} // namespace

RingRemoval::RingRemoval(double snr, int large, int small) : snr(snr), large(large), small(small) {}

bool RingRemoval::prepare(int width, int height)
{
    w = std::max(0, width);
    n = std::max(0, height);
    const std::size_t total = std::size_t(w) * std::size_t(n);
    const std::size_t win = std::size_t(std::max({large, small, fluctuationRows, 1}));
    try {
        sorted.assign(total, 0.0);
        smooth.assign(total, 0.0);
        rowOf.assign(total, 0);
        column.assign(std::size_t(n), {0.0, 0});
        list.assign(std::size_t(std::max(w, n)), 0.0);
        list2.assign(std::size_t(std::max(w, n)), 0.0);
        mask.assign(std::size_t(w), 0.0);
        maskTmp.assign(std::size_t(std::max(w, n)), 0.0);
        base.assign(total, 0.0);
        fitRow.assign(std::size_t(w), 0.0);
        restRow.assign(std::size_t(w), 0.0);
        scratch.assign(std::max(win, std::size_t(w)), 0.0);
    } catch (const std::bad_alloc &) {
        w = n = 0;
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
    // what steps 2 and 3 make of each column is kept as one offset per column
    std::copy(h.sgm.begin(), h.sgm.begin() + std::ptrdiff_t(base.size()), base.begin());
    removeLarge(h);
    removeBySorting(h);
    keepColumnOffsets(h);
}

void RingRemoval::keepColumnOffsets(HSgm &h)
{
    for (int c = 0; c < w; ++c) {
        for (int r = 0; r < n; ++r) {
            const std::size_t at = std::size_t(r) * std::size_t(w) + std::size_t(c);
            column[std::size_t(r)].first = base[at] - h.sgm[at];
        }
        const auto mid = column.begin() + n / 2;
        std::nth_element(column.begin(), mid, column.begin() + n,
                         [](const std::pair<double, int> &a, const std::pair<double, int> &b) {
                             return a.first < b.first;
                         });
        const double offset = mid->first;
        for (int r = 0; r < n; ++r) {
            const std::size_t at = std::size_t(r) * std::size_t(w) + std::size_t(c);
            h.sgm[at] = base[at] - offset;
        }
    }
}

void RingRemoval::medianRow(const double *in, double *out, int len, int win, double *buf)
{
    win = oddWindow(win, len);
    const int half = win / 2;
    for (int j = 0; j < len; ++j) {
        for (int k = 0; k < win; ++k)
            buf[k] = in[mirror(j - half + k, len)];
        std::nth_element(buf, buf + half, buf + win);
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

void RingRemoval::sortColumns(const HSgm &h)
{
    for (int c = 0; c < w; ++c) {
        for (int r = 0; r < n; ++r)
            column[std::size_t(r)] = {h.sgm[std::size_t(r) * std::size_t(w) + std::size_t(c)], r};
        std::sort(column.begin(), column.end(), [](const std::pair<double, int> &a, const std::pair<double, int> &b) {
            return a.first < b.first || (a.first == b.first && a.second < b.second);
        });
        for (int k = 0; k < n; ++k) {
            const std::size_t at = std::size_t(k) * std::size_t(w) + std::size_t(c);
            sorted[at] = column[std::size_t(k)].first;
            rowOf[at] = column[std::size_t(k)].second;
        }
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
    for (int j = 0; j < len; ++j) {
        double s = 0;
        for (int k = -m; k <= m; ++k)
            s += (3.0 * m * m + 3.0 * m - 1.0 - 5.0 * k * k) * in[mirror(j + k, len)];
        fit[j] = 3.0 * s / den;
        rest[j] = in[j] - fit[j];
    }
    medianRow(rest, out, len, win, buf);
    for (int j = 0; j < len; ++j)
        out[j] += fit[j];
}

void RingRemoval::smoothSorted(int win, bool detrended)
{
    for (int k = 0; k < n; ++k) {
        const std::size_t at = std::size_t(k) * std::size_t(w);
        if (!detrended)
            medianRow(sorted.data() + at, smooth.data() + at, w, win, scratch.data());
        else
            smoothRow(sorted.data() + at, smooth.data() + at, w, win, fitRow.data(), restRow.data(),
                  scratch.data());
    }
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

void RingRemoval::removeLarge(HSgm &h)
{
    if (w < 3 || n < 1)
        return;
    sortColumns(h);
    smoothSorted(large, true);
    const int drop = int(dropFraction * n);
    const int from = drop, to = std::max(drop + 1, n - drop);
    for (int c = 0; c < w; ++c) {
        double s1 = 0, s2 = 0;
        for (int k = from; k < to; ++k) {
            const std::size_t at = std::size_t(k) * std::size_t(w) + std::size_t(c);
            s1 += sorted[at];
            s2 += smooth[at];
        }
        list[std::size_t(c)] = (s1 - s2) / (to - from);
    }
    detectStripes(list.data(), w, snr, mask.data(), maskTmp.data());
    dilate(w);
    // the stripes' offsets out, and their values the smoothed ones
    for (int r = 0; r < n; ++r) {
        double *row = h.sgm.data() + std::size_t(r) * std::size_t(w);
        for (int c = 0; c < w; ++c)
            if (mask[std::size_t(c)] > 0)
                row[c] -= list[std::size_t(c)];
    }
    for (int k = 0; k < n; ++k)
        for (int c = 0; c < w; ++c) {
            if (mask[std::size_t(c)] <= 0)
                continue;
            const std::size_t at = std::size_t(k) * std::size_t(w) + std::size_t(c);
            h.sgm[std::size_t(rowOf[at]) * std::size_t(w) + std::size_t(c)] = smooth[at];
        }
}

void RingRemoval::removeBySorting(HSgm &h)
{
    if (w < 3 || n < 1)
        return;
    sortColumns(h);
    smoothSorted(small, false);
    for (std::size_t at = 0; at < sorted.size(); ++at)
        h.sgm[std::size_t(rowOf[at]) * std::size_t(w) + at % std::size_t(w)] = smooth[at];
}
