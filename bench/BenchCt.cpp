// bench-ct: one slice reconstructed from generated data held in memory,
// 1024 samples x 720 projections and 2048 x 900, with the time split into
// sinogram (resample + normalise), transform + filter and back-projection.
// The plain per-pixel kernel is timed on a tenth of the projections for
// comparison. "updates" are pixel updates: pixels inside the circle times
// projections.
#include "DiscPhantom.h"
#include "BackProjector.h"
#include "HSgm.h"
#include "SlicePipeline.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Projections of a few discs about the CoR, as counts over a dark level.
struct Series {
    int dim = 0, n = 0;
    double cor = 0;
    std::vector<std::vector<double>> lines;
    std::vector<double> i0, bg;
};

Series makeSeries(int N, int n)
{
    Series s;
    s.dim = N + 3;          // CoR (N + 2) / 2: width N + 1, transform length N
    s.cor = (N + 2) / 2;
    s.n = n;
    s.i0.assign(size_t(s.dim), 30000.0);
    s.bg.assign(size_t(s.dim), 100.0);
    const double R = 0.45 * N;
    const DiscPhantom ph{{{0, 0, R, 0.5 / R}, {0.3 * R, 0.2 * R, 0.2 * R, 0.8 / R},
                          {-0.4 * R, -0.1 * R, 0.15 * R, -0.3 / R}}};
    for (int i = 0; i < n; ++i) {
        const double th = i * M_PI / n;
        std::vector<double> line(size_t(s.dim));
        for (int p = 0; p < s.dim; ++p) {
            const double L = ph.lineIntegral(p - s.cor, th);
            line[size_t(p)] = 100.0 + 29900.0 * std::exp(-L);
        }
        s.lines.push_back(std::move(line));
    }
    return s;
}

void run(int N, int n, int rounds)
{
    const Series s = makeSeries(N, n);
    HSgm h;
    auto method = std::make_unique<BackProjector>();
    BackProjector *bp = method.get();
    SlicePipeline pipe(std::move(method));
    const SliceRegion all{0, 0, 2047, 2047};
    std::vector<double> tSgm, tFilter, tBack;
    QElapsedTimer t;
    for (int r = 0; r < rounds; ++r) {
        t.start();
        SlicePipeline::build(h, true, s.cor, 0, s.dim, 1, s.n,
                [&](double *line) { std::copy(s.i0.begin(), s.i0.end(), line); return true; },
                [&](double *line) { std::copy(s.bg.begin(), s.bg.end(), line); return true; },
                [&](int i, double *line) { std::copy(s.lines[size_t(i)].begin(), s.lines[size_t(i)].end(), line); });
        tSgm.push_back(t.nsecsElapsed() * 1e-6);
        if (SlicePipeline::lengthFor(h.width) != N || !pipe.begin(h)) {
            std::printf("unexpected sinogram %d x %d\n", h.width, h.height);
            return;
        }
        t.start();
        pipe.filterAll(h);
        tFilter.push_back(t.nsecsElapsed() * 1e-6);
        t.start();
        pipe.projectAll(0, all);
        tBack.push_back(t.nsecsElapsed() * 1e-6);
    }
    const std::vector<double> fast = pipe.res();

    // plain kernel on every tenth projection, and the fast one on the same
    std::vector<double> tPlain, tSame;
    const int step = 10;
    for (int r = 0; r < std::max(1, rounds - 1); ++r) {
        pipe.clearResult();
        t.start();
        for (int i = 0; i < n; i += step)
            bp->addOnePlain(i, 0, all);
        tPlain.push_back(t.nsecsElapsed() * 1e-6);
        pipe.clearResult();
        t.start();
        for (int i = 0; i < n; i += step)
            bp->projectOne(i, 0, all);
        tSame.push_back(t.nsecsElapsed() * 1e-6);
    }

    const int g = N / 2;
    double inside = 0;
    for (int z = 0; z < N; ++z)
        for (int x = 0; x < N; ++x)
            inside += (x - g) * (x - g) + (z - g) * (z - g) < g * g;
    const double updates = inside * n, subUpdates = inside * ((n + step - 1) / step);
    const double sgmMs = median(tSgm), filtMs = median(tFilter), backMs = median(tBack);
    std::printf("slice %d samples x %d projections (N = %d, %d rounds, median)\n", h.width, n, N, rounds);
    std::printf("  sinogram (resample + normalise) %10.2f ms\n", sgmMs);
    std::printf("  transform + filter              %10.2f ms\n", filtMs);
    std::printf("  back-projection, blocked rows   %10.2f ms  %8.1f M updates/s\n", backMs,
                updates / (backMs * 1e-3) / 1e6);
    std::printf("  total                           %10.2f ms\n", sgmMs + filtMs + backMs);
    std::printf("  1/%d of the projections: plain kernel %9.2f ms (%7.1f M updates/s), "
                "per-projection kernel %9.2f ms (%7.1f M updates/s)\n",
                step, median(tPlain), subUpdates / (median(tPlain) * 1e-3) / 1e6, median(tSame),
                subUpdates / (median(tSame) * 1e-3) / 1e6);
    double lo = 1e300, hi = -1e300;
    for (double v : fast) {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    std::printf("  result range %.4g .. %.4g\n", lo, hi);
}

} // namespace

int main()
{
    run(1024, 720, 3);
    run(2048, 900, 3);
    return 0;
}
