// bench-cor: time to find the centre of rotation of one slice, by each
// method, against the time to reconstruct that slice, on noisy phantom data
// held in memory: 512 x 360, 1024 x 720 and 2048 x 1800 (line width x
// projections), axis 7 % of the width off centre. Finding includes building
// its sinogram; reconstructing includes building the sinogram, transform,
// filter and back-projection (into a record kept from slice to slice, as a
// worker does; the finder builds a new one of the rows it reads). Prints the
// error of each value found too, or why nothing was found.
#include "CorFinder.h"
#include "HSgm.h"
#include "Phantom.h"
#include "SlicePipeline.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void run(int W, int n, int rounds)
{
    Phantom::Options o;
    o.width = W;
    o.height = 1;
    o.projections = n;
    o.corOffset = 0.07 * W + 0.37;
    o.noise = true;
    const Phantom p = Phantom::standard(o);
    std::mt19937_64 rng(7);
    auto counts = [&](const std::vector<double> &img) {
        const std::vector<quint32> c = p.toCounts(img, rng);
        return std::vector<double>(c.begin(), c.end());
    };
    const std::vector<double> i0 = counts(p.i0Image(7112.5)), bg = counts(p.bgImage());
    std::vector<std::vector<double>> lines;
    for (int i = 0; i < n; ++i)
        lines.push_back(counts(p.projection(i, 7112.5)));
    // the rows of the listed projections, as the window builds them
    auto build = [&](HSgm &h, double cor, const std::vector<int> &used) {
        SlicePipeline::build(h, true, cor, 0, W, 1, int(used.size()),
                [&](double *l) { std::copy(i0.begin(), i0.end(), l); return true; },
                [&](double *l) { std::copy(bg.begin(), bg.end(), l); return true; },
                [&](int i, double *l) {
                    const std::vector<double> &src = lines[size_t(used[size_t(i)])];
                    std::copy(src.begin(), src.end(), l);
                });
    };
    std::vector<int> all;
    for (int i = 0; i < n; ++i)
        all.push_back(i);

    QElapsedTimer t;
    std::printf("line %d x %d projections, true CoR %.2f (%d rounds, median)\n", W, n, p.cor(), rounds);
    std::vector<double> tRec;
    SlicePipeline pipe;
    HSgm h;     // a worker keeps its record from slice to slice
    for (int r = 0; r < rounds; ++r) {
        t.start();
        build(h, p.cor(), all);
        pipe.run(h, 0, SliceRegion{0, 0, 4096, 4096});
        tRec.push_back(t.nsecsElapsed() * 1e-6);
    }
    const double rec = median(tRec);
    std::printf("  reconstruct one slice          %9.1f ms\n", rec);
    for (CorFinder::Method m : {CorFinder::Method::Correlation, CorFinder::Method::Fourier}) {
        std::vector<double> tFind;
        CorFinder::Result res;
        for (int r = 0; r < rounds; ++r) {
            HSgm h;
            t.start();
            build(h, CorFinder::samplingCor(W), CorFinder::imagesUsed(m, n));
            res = CorFinder::find(h, W, m);
            tFind.push_back(t.nsecsElapsed() * 1e-6);
        }
        const double f = median(tFind);
        if (res.ok)
            std::printf("  find, %-12s %9.1f ms  = %.3f of a slice, found %.2f (error %+.2f)\n",
                        qPrintable(CorFinder::methodName(m)), f, f / rec, res.cor, res.cor - p.cor());
        else
            std::printf("  find, %-12s %9.1f ms  = %.3f of a slice, NOT FOUND: %s\n",
                        qPrintable(CorFinder::methodName(m)), f, f / rec, qPrintable(res.error));
    }
}

} // namespace

int main()
{
    run(512, 360, 5);
    run(1024, 720, 3);
    run(2048, 1800, 3);
    return 0;
}
