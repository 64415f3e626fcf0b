// Fourier gridding against exact back-projection with the same filter and
// against the true attenuation of analytic objects, through the slice
// pipeline as every calculator uses it.
#include "GridReconstructor.h"
#include "HSgm.h"
#include "Phantom.h"
#include "ReconMethod.h"
#include "SlicePipeline.h"

#include <QTest>

#include <cmath>
#include <memory>
#include <vector>

namespace {

using W = RampFilter::Window;
using P = RampFilter::Padding;

RampFilter filterOf(W w, double c, P p)
{
    RampFilter f;
    f.window = w;
    f.cutoff = c;
    f.padding = p;
    return f;
}

// Slice `slice` of a phantom as the window builds it: counts exp(-line
// integral) over I0 = 1 and BG = 0, resampled about the phantom's CoR.
HSgm phantomSinogram(const Phantom &p, int slice)
{
    const int dim = p.dim(), n = p.opt.projections;
    const double E = p.opt.energies.first();
    const double cor = p.corAt(slice);
    HSgm h;
    h.build(true, cor, slice, dim, p.slices(), n,
            [&](double *l) { std::fill(l, l + dim, 1.0); return true; },
            [&](double *l) { std::fill(l, l + dim, 0.0); return true; },
            [&](int i, double *l) {
                for (int k = 0; k < dim; ++k)
                    l[k] = std::exp(-p.lineIntegral(p.angle(i), k - cor, p.axial(slice), E));
            });
    return h;
}

std::unique_ptr<SlicePipeline> pipelineOf(const char *method, const RampFilter &f)
{
    auto pipe = std::make_unique<SlicePipeline>(ReconMethod::make(method));
    pipe->setFilter(f);
    return pipe;
}

SliceRegion whole(int N)
{
    return SliceRegion{0, 0, double(N), double(N)};
}

// RMS of a - b over the grid, and the range of a.
void compare(const SlicePipeline &a, const SlicePipeline &b, double *rms, double *range)
{
    const std::vector<double> &x = a.res(), &y = b.res();
    double s = 0, lo = x[0], hi = x[0];
    for (std::size_t j = 0; j < x.size(); ++j) {
        s += (x[j] - y[j]) * (x[j] - y[j]);
        lo = std::min(lo, x[j]);
        hi = std::max(hi, x[j]);
    }
    *rms = std::sqrt(s / double(x.size()));
    *range = hi - lo;
}

}

class TestGridding : public QObject
{
    Q_OBJECT

private slots:
    // The standard phantom (an off-centre CoR in some rows) through every
    // window and padding, with cut-offs below Nyquist: gridding differs from
    // back-projection by less than 0.1 % of the slice's range (RMS).
    void agreesWithBackProjectionAndTruth_data()
    {
        QTest::addColumn<int>("window");
        QTest::addColumn<double>("cutoff");
        QTest::addColumn<int>("padding");
        QTest::addColumn<double>("corOffset");
        QTest::newRow("ramp, zero") << int(W::Ramp) << 0.5 << int(P::Zero) << 0.0;
        QTest::newRow("ramp, CoR +9.5") << int(W::Ramp) << 0.5 << int(P::Zero) << 9.5;
        QTest::newRow("shepp-logan, edge, CoR -13.25") << int(W::SheppLogan) << 0.5 << int(P::Edge) << -13.25;
        QTest::newRow("hann 0.3") << int(W::Hann) << 0.3 << int(P::Zero) << 0.0;
        QTest::newRow("hamming 0.2, none") << int(W::Hamming) << 0.2 << int(P::None) << 4.0;
        QTest::newRow("cosine 0.4, edge") << int(W::Cosine) << 0.4 << int(P::Edge) << 0.0;
    }
    void agreesWithBackProjectionAndTruth()
    {
        QFETCH(int, window);
        QFETCH(double, cutoff);
        QFETCH(int, padding);
        QFETCH(double, corOffset);
        Phantom::Options o;
        o.width = 301;
        o.height = 1;
        o.projections = 360;
        o.corOffset = corOffset;
        const Phantom ph = Phantom::standard(o);
        HSgm h = phantomSinogram(ph, 0);
        QVERIFY(h.hasData());
        const RampFilter f = filterOf(W(window), cutoff, P(padding));
        auto bp = pipelineOf("back-projection", f), gr = pipelineOf("gridding", f);
        const int N = SlicePipeline::lengthFor(h.width);
        HSgm h2 = h;
        QVERIFY(bp->run(h, 0, whole(N)));
        QVERIFY(gr->run(h2, 0, whole(N)));
        QCOMPARE(gr->size(), N);
        double rms, range;
        compare(*bp, *gr, &rms, &range);
        QVERIFY2(rms < 1e-3 * range, qPrintable(QString("RMS %1 % of the range").arg(100 * rms / range)));

    }

    // A disc filling 90 % of the field and one off the axis inside it: their
    // interiors read twice their attenuation to 0.5 %, the air about 0.
    void discsReadTheirAttenuation()
    {
        Phantom::Options o;
        o.width = 513;
        o.height = 1;
        o.projections = 720;
        o.energies = {Phantom::refEnergy};
        Phantom ph(o);
        Phantom::Ellipsoid big, off;
        const int N = 510;      // the sinogram keeps a margin at either end
        const double g = N / 2;
        big.ru = big.rv = 0.9 * g;
        big.mu0 = 0.01;
        off.cu = 60;
        off.cv = -90;
        off.ru = off.rv = 40;
        off.mu0 = 0.01;
        ph.parts = {big, off};
        HSgm h = phantomSinogram(ph, 0);
        QCOMPARE(SlicePipeline::lengthFor(h.width), N);
        auto gr = pipelineOf("gridding", RampFilter());
        QVERIFY(gr->run(h, 0, whole(N)));
        double bigSum = 0, offSum = 0, air = 0;
        int bigCount = 0, offCount = 0, airCount = 0;
        for (int z = 0; z < N; ++z)
            for (int x = 0; x < N; ++x) {
                const double r = std::hypot(x - g, z - g), ro = std::hypot(x - g - 60, z - g + 90);
                const double v = gr->resAt(z, x);
                if (ro < 30) {
                    offSum += v;
                    ++offCount;
                } else if (ro > 52 && r < big.ru - 8) {
                    bigSum += v;
                    ++bigCount;
                }
                else if (r > big.ru + 4 && r < g - 2) {
                    air += v;
                    ++airCount;
                }
            }
        QVERIFY(airCount > 100);
        const double bigOff = bigSum / bigCount / 0.02 - 1, offOff = offSum / offCount / 0.04 - 1;
        QVERIFY2(std::fabs(bigOff) < 0.005, qPrintable(QString("large disc %1 % off").arg(100 * bigOff)));
        QVERIFY2(std::fabs(offOff) < 0.005, qPrintable(QString("small disc %1 % off").arg(100 * offOff)));
        QVERIFY2(std::fabs(air / airCount) < 0.003 * 0.02, qPrintable(QString::number(air / airCount)));
    }

    // A region and an angle offset: the region's pixels as in the whole slice
    // (to rounding), nothing outside it; projection-by-projection steps give
    // back-projection's growing slice, and all of them the slice at once to
    // 0.1 % of its range.
    void regionOffsetAndSteps()
    {
        Phantom::Options o;
        o.width = 201;
        o.height = 1;
        o.projections = 240;
        o.corOffset = 3.5;
        const Phantom ph = Phantom::standard(o);
        HSgm h = phantomSinogram(ph, 0);
        auto all = pipelineOf("gridding", RampFilter()), part = pipelineOf("gridding", RampFilter());
        const int N = SlicePipeline::lengthFor(h.width);
        QVERIFY(all->run(h, 12.5, whole(N)));
        const SliceRegion region{30.7, 55, 121, 140.2};
        QVERIFY(N > 150);
        QVERIFY(part->run(h, 12.5, region));
        double rms, range;
        compare(*all, *all, &rms, &range);
        const double g = N / 2;
        int inside = 0;
        for (int z = 0; z < N; ++z)
            for (int x = 0; x < N; ++x) {
                const bool in = x >= 30 && x < 121 && z >= 55 && z < 141 && std::hypot(x - g, z - g) < g;
                const double v = part->resAt(z, x);
                if (!in) {
                    QVERIFY2(v == 0, qPrintable(QString("(%1, %2) written").arg(x).arg(z)));
                    continue;
                }
                ++inside;
                QVERIFY2(std::fabs(v - all->resAt(z, x)) <= 1e-12 * range,
                         qPrintable(QString("(%1, %2): %3 != %4").arg(x).arg(z).arg(v).arg(all->resAt(z, x))));
            }
        QCOMPARE(inside, 91 * 86);

        auto steps = pipelineOf("gridding", RampFilter());
        QVERIFY(steps->begin(h));
        for (int i = 0; i < o.projections; ++i)
            steps->step(h, i, 12.5, whole(N));
        QVERIFY(steps->resValid());
        compare(*all, *steps, &rms, &range);
        QVERIFY2(rms < 1e-3 * range, qPrintable(QString("steps: RMS %1 % of the range").arg(100 * rms / range)));
    }
};

QTEST_APPLESS_MAIN(TestGridding)
#include "TestGridding.moc"
