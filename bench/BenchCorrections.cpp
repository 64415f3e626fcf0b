// bench-corrections: the cost of each sinogram correction per slice of a
// 1024-pixel detector line and 720 projections (a noisy phantom with column
// gain errors, zingers and a decaying beam) against the filtered
// back-projection of that slice on one thread.
//
//   bench-corrections [--width N] [--projections n] [--repeat R]
//
// One line per stage: CPU milliseconds per slice (the best of R runs of
// apply(); prepare() is made once, outside the clock, as a worker does) and
// its share of the back-projection; a last line sums the three.
#include "AirColumns.h"
#include "CorrectionSettings.h"
#include "HSgm.h"
#include "Phantom.h"
#include "RingRemoval.h"
#include "SlicePipeline.h"
#include "ZingerRemoval.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <random>

namespace {

double cpuNow()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + 1e-9 * double(ts.tv_nsec);
}

// Best CPU time of `repeat` runs of f, each on a fresh copy of `from`.
double best(int repeat, const HSgm &from, HSgm &work, const std::function<void(HSgm &)> &f)
{
    double t = 1e30;
    for (int r = 0; r < repeat; ++r) {
        work = from;
        const double t0 = cpuNow();
        f(work);
        t = std::min(t, cpuNow() - t0);
    }
    return t;
}

} // namespace

int main(int argc, char **argv)
{
    int width = 1024, views = 720, repeat = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--width"))
            width = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--projections"))
            views = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--repeat"))
            repeat = std::atoi(argv[i + 1]);
        else {
            std::fprintf(stderr, "usage: bench-corrections [--width N] [--projections n] [--repeat R]\n");
            return 2;
        }
    }
    if (width < 16 || views < 4 || repeat < 1) {
        std::fprintf(stderr, "bench-corrections: width >= 16, projections >= 4, repeat >= 1\n");
        return 2;
    }

    // the sinogram: line integrals of the phantom with faults, in ln(I0 / I)
    Phantom::Options o;
    o.width = width + 1;
    o.height = 1;
    o.projections = views;
    const Phantom p = Phantom::standard(o);
    HSgm sino;
    sino.resize(width - 1, views);      // odd, as the builder makes it
    const int w = sino.width, half = (w + 1) / 2;
    std::mt19937_64 rng(1);
    std::normal_distribution<double> noise(0.0, 0.005);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<double> offset(std::size_t(w), 0.0);
    for (double &g : offset)
        if (u(rng) < 0.1)
            g = (u(rng) < 0.5 ? 1 : -1) * (0.01 + 0.04 * u(rng));
    for (int i = 0; i < views; ++i)
        for (int j = 0; j < w; ++j) {
            double v = p.lineIntegral(p.angle(i), j - (half - 1), 0.0, 7000) + noise(rng) + offset[std::size_t(j)]
                     - std::log(1.0 - 0.1 * i / (views - 1));
            if (u(rng) < 0.001)
                v -= 0.5 + 2.5 * u(rng);
            sino.sgm[std::size_t(i) * w + j] = v;
        }

    // back-projection (filter and projection) on one thread
    SlicePipeline pipe;
    pipe.setThreads(1);
    const int N = SlicePipeline::lengthFor(w);
    const SliceRegion region{0, 0, double(N), double(N)};
    HSgm work;
    double bp = 1e30;
    for (int r = 0; r < repeat; ++r) {
        work = sino;
        if (!pipe.begin(work)) {
            std::fprintf(stderr, "bench-corrections: cannot prepare %d x %d\n", N, views);
            return 1;
        }
        const double t0 = cpuNow();
        pipe.filterAll(work);
        pipe.projectAll(0.0, region);
        bp = std::min(bp, cpuNow() - t0);
    }
    std::printf("slice %d x %d, %d projections (best of %d)\n", N, N, views, repeat);
    std::printf("%-28s %9.1f ms\n", "filtered back-projection", 1e3 * bp);

    CorrectionSettings defaults;
    ZingerRemoval zingers(defaults.zingerThreshold);
    RingRemoval rings(defaults.ringSnr, defaults.ringLarge, defaults.ringSmall);
    AirColumns air(16);
    struct Stage {
        const char *name;
        SinogramStage *s;
    };
    double total = 0;
    for (const Stage &st : {Stage{"zinger removal", &zingers}, Stage{"ring removal", &rings},
                            Stage{"air columns (16)", &air}}) {
        if (!st.s->prepare(w, views)) {
            std::fprintf(stderr, "bench-corrections: cannot prepare %s\n", st.name);
            return 1;
        }
        const double t = best(repeat, sino, work, [&](HSgm &h) { st.s->apply(h); });
        total += t;
        std::printf("%-28s %9.1f ms  %5.1f %% of back-projection\n", st.name, 1e3 * t, 100 * t / bp);
    }
    for (auto step : {std::pair<const char *, void (RingRemoval::*)(HSgm &)>{"  rings: unresponsive", &RingRemoval::removeUnresponsive},
                      {"  rings: large and sorting", &RingRemoval::removeStripeOffsets}}) {
        const double t = best(repeat, sino, work, [&](HSgm &h) { (rings.*step.second)(h); });
        std::printf("%-28s %9.1f ms\n", step.first, 1e3 * t);
    }
    std::printf("%-28s %9.1f ms  %5.1f %% of back-projection\n", "all three", 1e3 * total, 100 * total / bp);
    return 0;
}
