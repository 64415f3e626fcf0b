// bench-method: Fourier gridding against exact back-projection, whole
// slices (filter and method, the stages a worker runs after the sinogram
// is built) at 1024 x 720, 2048 x 1800 and 4096 x 3600.
//
//   bench-method [--quick]      (--quick: the first two sizes only)
//
// For each size and method: seconds per slice on one thread (the best of
// a few repetitions, fewer for the largest size), and the slices per second
// of two workers, each with a pipeline of its own, taking one slice each at
// the same time. Back-projection runs with its fastest kernel and, where
// the processor has both, also with the AVX2 one (what most machines
// offer), timed in turn with gridding so that the ratios compare the same
// moment of a shared machine. Then the speed-up of gridding and, over the
// sizes, the exponent p of a least-squares fit time ~ N^p (n growing with
// N), and the RMS difference of the results in % of the slice's range.
#include "DiscPhantom.h"
#include "BackProjectKernel.h"
#include "HSgm.h"
#include "ReconMethod.h"
#include "SlicePipeline.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

double now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Exact line integrals of a few discs, width N + 1, the axis at N / 2.
HSgm discs(int N, int n)
{
    const DiscPhantom ph{{{0, 0, 0.42 * N, 0.002}, {0.1 * N, -0.15 * N, 0.08 * N, 0.01},
                          {-0.2 * N, 0.1 * N, 0.05 * N, 0.02}, {0.05 * N, 0.25 * N, 0.02 * N, 0.03}}};
    HSgm h;
    h.resize(N + 1, n);
    const double g = N / 2;
    for (int i = 0; i < n; ++i) {
        double *row = h.sgm.data() + std::size_t(i) * std::size_t(N + 1);
        for (int k = 0; k <= N; ++k)
            row[k] = ph.lineIntegral(k - g, i * M_PI / n);
    }
    return h;
}

double runOnce(SlicePipeline &p, HSgm &h, int N)
{
    const double t0 = now();
    p.run(h, 0, SliceRegion{0, 0, double(N), double(N)});
    return now() - t0;
}

constexpr int kinds = 3;        // back-projection (fastest kernel), back-projection (AVX2), gridding

struct Row {
    int N, n;
    double one[kinds], two[kinds];  // s per slice on one thread; slices/s of two workers
    double rms;                     // % of range
};

}

int main(int argc, char **argv)
{
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const int sizes[][3] = {{1024, 720, 3}, {2048, 1800, 2}, {4096, 3600, 1}};
    using V = BackProjectKernel::Variant;
    const V best = BackProjectKernel::active();
    const bool avx2 = best != V::Avx2 && BackProjectKernel::supported(V::Avx2);
    std::string label[kinds] = {std::string("back-projection, ") + BackProjectKernel::name(best),
                                "back-projection, avx2", "gridding"};
    std::vector<Row> rows;
    std::printf("%-12s %-28s %12s %16s\n", "size", "method", "s/slice (1)", "slices/s (2 w)");
    for (const auto &sz : sizes) {
        if (quick && sz[0] > 2048)
            break;
        const int N = sz[0], n = sz[1], reps = sz[2];
        Row r{N, n, {0, 0, 0}, {0, 0, 0}, 0};
        HSgm h = discs(N, n);
        std::vector<double> results[kinds];
        for (int m = 0; m < kinds; ++m) {
            if (m == 1 && !avx2)
                continue;
            BackProjectKernel::force(m == 1 ? V::Avx2 : best);
            const char *method = m == 2 ? ReconMethod::gridding : ReconMethod::backProjection;
            // one thread: the best of reps after a first slice that prepares
            auto p = std::make_unique<SlicePipeline>(ReconMethod::make(method));
            p->prepare(h.width, h.height);
            double fastest = 1e300;
            for (int k = 0; k < reps; ++k)
                fastest = std::min(fastest, runOnce(*p, h, N));
            r.one[m] = fastest;
            results[m] = p->res();
            p.reset();
            // two workers, a pipeline and a sinogram each, prepared before
            std::unique_ptr<SlicePipeline> w[2];
            HSgm hs[2] = {h, h};
            for (int k = 0; k < 2; ++k) {
                w[k] = std::make_unique<SlicePipeline>(ReconMethod::make(method));
                w[k]->prepare(h.width, h.height);
            }
            const double t0 = now();
            std::thread other([&] { runOnce(*w[1], hs[1], N); });
            runOnce(*w[0], hs[0], N);
            other.join();
            r.two[m] = 2 / (now() - t0);
            std::printf("%4d x %-5d %-28s %12.3f %16.3f\n", N, n, label[m].c_str(), r.one[m], r.two[m]);
            std::fflush(stdout);
        }
        BackProjectKernel::force(best);
        double s = 0, lo = results[0][0], hi = lo;
        for (std::size_t j = 0; j < results[0].size(); ++j) {
            const double d = results[0][j] - results[2][j];
            s += d * d;
            lo = std::min(lo, results[0][j]);
            hi = std::max(hi, results[0][j]);
        }
        r.rms = 100 * std::sqrt(s / double(results[0].size())) / (hi - lo);
        for (int m = 0; m < 2; ++m)
            if (r.one[m] > 0)
                std::printf("%4d x %-5d gridding against %s: %.1fx faster (one thread), %.1fx (two workers)\n",
                            N, n, label[m].c_str(), r.one[m] / r.one[2], r.two[2] / r.two[m]);
        std::printf("%4d x %-5d RMS difference %.4f %% of the range\n", N, n, r.rms);
        rows.push_back(r);
    }
    // least-squares slope of log t against log N
    for (int m = 0; m < kinds && rows.size() > 1; ++m) {
        if (m == 1 && !avx2)
            continue;
        double sx = 0, sy = 0, sxx = 0, sxy = 0;
        const double k = double(rows.size());
        for (const Row &r : rows) {
            const double x = std::log(double(r.N)), y = std::log(r.one[m]);
            sx += x;
            sy += y;
            sxx += x * x;
            sxy += x * y;
        }
        std::printf("%s: time per slice grows as N^%.2f (n proportional to N)\n", label[m].c_str(),
                    (k * sxy - sx * sy) / (k * sxx - sx * sx));
    }
    return 0;
}
