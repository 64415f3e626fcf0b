// Transform, ramp filter and back-projection of one slice, checked against a
// deliberately plain evaluation (direct DFT, direct loops).
#include "CtCore.h"
#include "FftwLock.h"
#include "HSgm.h"

#include <QTest>

#include <cmath>
#include <complex>
#include <random>
#include <thread>
#include <vector>

namespace {

using Region = CtCore::Region;

// Plain filtered back-projection of an n x w sinogram; also the sum of the
// magnitudes added into each pixel, the scale against which errors count.
struct Plain {
    int N = 0;
    std::vector<double> res, mag;
};

Plain plainFbp(const std::vector<double> &sgm, int w, int n, double offsetDeg, const Region &r)
{
    Plain p;
    const int N = w - w % 2;
    p.N = N;
    p.res.assign(size_t(N) * N, 0.0);
    p.mag.assign(size_t(N) * N, 0.0);
    const double g = N / 2;
    for (int i = 0; i < n; ++i) {
        // direct DFT, forward sign -1
        std::vector<std::complex<double>> S(N);
        for (int k = 0; k < N; ++k) {
            std::complex<double> acc = 0;
            for (int m = 0; m < N; ++m)
                acc += sgm[size_t(i) * w + m] * std::polar(1.0, -2 * M_PI * double(k) * m / N);
            S[k] = acc;
        }
        // ramp, then direct inverse DFT (sign +1); 1/N for the inverse, 1/n
        // the angular weight (the values are twice the attenuation per pixel)
        std::vector<double> f(N);
        for (int m = 0; m < N; ++m) {
            std::complex<double> acc = 0;
            for (int k = 0; k < N; ++k) {
                const double ramp = 2 * M_PI / N * std::min(k, N - k);
                acc += S[k] * ramp * std::polar(1.0, 2 * M_PI * double(k) * m / N);
            }
            f[m] = acc.real() / (double(N) * n);
        }
        const double th = offsetDeg * M_PI / 180 + i * M_PI / n;
        for (int z = int(std::trunc(r.z0)); z < r.z1; ++z) {
            for (int x = int(std::trunc(r.x0)); x < r.x1; ++x) {
                if (!(std::sqrt((x - g) * (x - g) + (z - g) * (z - g)) < g))
                    continue;
                const double t = g + (x - g) * std::cos(th) - (z - g) * std::sin(th);
                const int j = int(std::floor(t));
                if (j < 0 || j >= N - 1)
                    continue;
                const double v = f[j] + (f[j + 1] - f[j]) * (t - j);
                p.res[size_t(z) * N + x] += v;
                p.mag[size_t(z) * N + x] += std::fabs(v);
            }
        }
    }
    return p;
}

HSgm randomSinogram(int w, int n, unsigned seed)
{
    HSgm h;
    h.resize(w, n);
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> d(-1.0, 3.0);
    for (double &v : h.sgm)
        v = d(gen);
    return h;
}

// Every pixel within 1e-9 of the plain value, relative to the magnitude of
// what was summed into it; pixels the plain loop never touches stay 0.
void compareToPlain(const CtCore &core, const Plain &p)
{
    QCOMPARE(core.size(), p.N);
    QCOMPARE(core.result().size(), p.res.size());
    for (size_t k = 0; k < p.res.size(); ++k) {
        const double got = core.result()[k], want = p.res[k];
        if (p.mag[k] == 0) {
            if (got != 0)
                QFAIL(qPrintable(QString("pixel %1 written outside circle/region: %2").arg(k).arg(got)));
            continue;
        }
        if (!(std::fabs(got - want) <= 1e-9 * p.mag[k]))
            QFAIL(qPrintable(QString("pixel (x %1, z %2): %3 != %4")
                                 .arg(k % p.N).arg(k / p.N).arg(got, 0, 'g', 17).arg(want, 0, 'g', 17)));
    }
}

} // namespace

class TestCtCore : public QObject
{
    Q_OBJECT

private slots:
    void constants()
    {
        // ramp factors for N = 8: 0 1 2 3 4 3 2 1 times 2 pi / 8
        const int want[8] = {0, 1, 2, 3, 4, 3, 2, 1};
        for (int k = 0; k < 8; ++k)
            QCOMPARE(CtCore::rampFactor(k, 8), 2 * M_PI / 8 * want[k]);
        // 180 projections without offset are 1 degree apart from 0
        for (int i = 0; i < 180; ++i)
            QVERIFY(std::fabs(CtCore::projAngle(0, i, 180) - i * M_PI / 180) < 1e-15);
        QVERIFY(std::fabs(CtCore::projAngle(30, 0, 180) - M_PI / 6) < 1e-15);
        // N is the sinogram width rounded down to even
        QCOMPARE(CtCore::fftLengthFor(199), 198);
        QCOMPARE(CtCore::fftLengthFor(3), 2);
        QCOMPARE(CtCore::fftLengthFor(1), 0);
        QCOMPARE(CtCore::fftLengthFor(0), 0);
    }

    void againstPlainEvaluation_data()
    {
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("n");
        QTest::addColumn<double>("offset");
        QTest::addColumn<double>("x0");
        QTest::addColumn<double>("z0");
        QTest::addColumn<double>("x1");
        QTest::addColumn<double>("z1");
        QTest::newRow("N 16, full grid") << 17 << 12 << 0.0 << 0.0 << 0.0 << 16.0 << 16.0;
        QTest::newRow("N 24 (not a power of 2), offset") << 25 << 7 << 13.5 << 0.0 << 0.0 << 24.0 << 24.0;
        QTest::newRow("N 2, smallest") << 3 << 4 << 0.0 << 0.0 << 0.0 << 2.0 << 2.0;
        QTest::newRow("fractional region") << 21 << 9 << -40.0 << 3.5 << 2.0 << 11.0 << 9.2;
        QTest::newRow("region beyond grid") << 19 << 10 << 90.0 << -5.0 << -5.0 << 2047.0 << 2047.0;
        QTest::newRow("negative region start") << 19 << 10 << 0.0 << -1.5 << -0.5 << 7.0 << 30.0;
        QTest::newRow("empty region") << 19 << 5 << 0.0 << 8.0 << 8.0 << 8.0 << 20.0;
    }
    void againstPlainEvaluation()
    {
        QFETCH(int, w);
        QFETCH(int, n);
        QFETCH(double, offset);
        QFETCH(double, x0);
        QFETCH(double, z0);
        QFETCH(double, x1);
        QFETCH(double, z1);
        const Region r{x0, z0, x1, z1};
        const HSgm h = randomSinogram(w, n, unsigned(w * 31 + n));
        const Plain p = plainFbp(h.sgm, w, n, offset, r);

        // the row's own length: the filter of earlier versions
        RampFilter none;
        none.padding = RampFilter::Padding::None;

        // the whole slice at once, rows in blocks
        CtCore core;
        core.setFilter(none);
        QVERIFY(core.reconstruct(h, offset, r));
        compareToPlain(core, p);

        // projection by projection, as the one-by-one mode does it
        CtCore one;
        QVERIFY(one.prepare(CtCore::fftLengthFor(w), n, none));
        one.clearRes();
        for (int i = 0; i < n; ++i) {
            one.transform(i, h.sgmRow(i));
            one.filter(i);
            one.backProject(i, offset, r);
        }
        compareToPlain(one, p);
        QVERIFY(one.res == core.res);   // same sums in the same order

        // the plain kernel of the core
        CtCore plain;
        QVERIFY(plain.prepare(CtCore::fftLengthFor(w), n, none));
        plain.clearRes();
        for (int i = 0; i < n; ++i) {
            plain.transform(i, h.sgmRow(i));
            plain.filter(i);
            plain.backProjectPlain(i, offset, r);
        }
        compareToPlain(plain, p);
    }

    void filterHasNoDc()
    {
        // without padding a constant row has only a DC component: filtered to zero
        RampFilter none;
        none.padding = RampFilter::Padding::None;
        CtCore core;
        QVERIFY(core.prepare(8, 1, none));
        const double row[9] = {2, 2, 2, 2, 2, 2, 2, 2, 99};
        core.transform(0, row);
        QCOMPARE(core.spectra[0][0][0], 16.0);
        core.filter(0);
        for (int k = 0; k < 8; ++k)
            QVERIFY(std::fabs(core.filtered[0][k]) < 1e-14);
    }

    void detectorCoordinate()
    {
        // filtered row f[j] = j: the back-projected value is t itself
        const int N = 32, g = N / 2;
        CtCore core;
        QVERIFY(core.prepare(N, 1));
        for (int j = 0; j < N; ++j)
            core.filtered[0][j] = j;
        const Region all{0, 0, double(N), double(N)};

        core.clearRes();
        core.backProject(0, 0.0, all);      // theta 0: t = x
        for (int z = 0; z < N; ++z)
            for (int x = 0; x < N; ++x)
                if ((x - g) * (x - g) + (z - g) * (z - g) < g * g && x < N - 1)
                    QVERIFY(std::fabs(core.resAt(z, x) - x) < 1e-12);

        core.clearRes();
        core.backProject(0, 90.0, all);     // theta 90 deg: t = 2g - z
        int inside = 0;
        for (int z = 0; z < N; ++z)
            for (int x = 0; x < N; ++x)
                if ((x - g) * (x - g) + (z - g) * (z - g) < g * g && z > 1) {
                    QVERIFY(std::fabs(core.resAt(z, x) - (2 * g - z)) < 1e-12);
                    ++inside;
                }
        QVERIFY(inside > 600);
    }

    void writesOnlyInsideCircle()
    {
        // region (0, 0, 2047, 2047) with N = 198 keeps to the circle of radius 99 about (99, 99)
        const int N = 198, g = 99, n = 5;
        CtCore core;
        QVERIFY(core.prepare(N, n));
        core.clearRes();
        for (int i = 0; i < n; ++i)
            std::fill(core.filtered[i], core.filtered[i] + N, 1.0);
        core.backProjectAll(17.0, Region{0, 0, 2047, 2047});
        QCOMPARE(core.res.size(), size_t(N) * N);
        int written = 0;
        for (int z = 0; z < N; ++z)
            for (int x = 0; x < N; ++x) {
                const bool inside = (x - g) * (x - g) + (z - g) * (z - g) < g * g;
                const double v = core.resAt(z, x);
                if (!inside)
                    QCOMPARE(v, 0.0);
                written += v != 0;
            }
        QVERIFY(written > 0.99 * M_PI * g * g);
        core.findExtremes();
        QCOMPARE(core.resMax, double(n));
        QCOMPARE(core.resMin, 0.0);
    }

    void refusesWhatCannotBeTransformed()
    {
        CtCore core;
        HSgm one;
        one.resize(1, 10);      // width 1: N = 0
        QVERIFY(!core.reconstruct(one, 0, Region{0, 0, 2047, 2047}));
        QCOMPARE(core.fftN, 0);
        QVERIFY(core.res.empty());
        QVERIFY(!core.resValid);
        HSgm none;              // empty record
        QVERIFY(!core.reconstruct(none, 0, Region{0, 0, 2047, 2047}));
        QVERIFY(!core.prepare(1, 5));
        QVERIFY(!core.prepared());
        // a region that is not a number computes nothing
        const HSgm h = randomSinogram(9, 3, 7);
        const double nan = std::nan("");
        QVERIFY(core.reconstruct(h, 0, Region{nan, 0, 8, 8}));
        for (double v : core.res)
            QCOMPARE(v, 0.0);
    }

    void buffersAreReused()
    {
        CtCore core;
        const HSgm a = randomSinogram(33, 20, 1), b = randomSinogram(33, 20, 2);
        const Region r{0, 0, 2047, 2047};
        QVERIFY(core.reconstruct(a, 0, r));
        const double *res = core.res.data();
        const double *in = core.fwdIn;
        const fftw_plan plan = core.fwdPlan;
        const double *f0 = core.filtered[0];
        QVERIFY(core.reconstruct(b, 0, r));
        QCOMPARE(core.res.data(), res);
        QCOMPARE(core.fwdIn, in);
        QCOMPARE(core.fwdPlan, plan);
        QCOMPARE(core.filtered[0], f0);
        // a second slice leaves nothing of the first behind
        CtCore fresh;
        QVERIFY(fresh.reconstruct(b, 0, r));
        QVERIFY(fresh.res == core.res);
        // another number of projections rebuilds
        const HSgm c = randomSinogram(33, 21, 3);
        QVERIFY(core.reconstruct(c, 0, r));
        QCOMPARE(int(core.spectra.size()), 21);
        QCOMPARE(core.nProj, 21);
    }

    void coresOnSeveralThreads()
    {
        // plans made and destroyed on several threads at once, each core
        // executed on its own thread; results as on one thread
        const HSgm h = randomSinogram(45, 30, 11);
        const Region r{0, 0, 2047, 2047};
        CtCore ref;
        QVERIFY(ref.reconstruct(h, 5.0, r));
        std::vector<std::vector<double>> out(4);
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&, t] {
                for (int round = 0; round < 10; ++round) {
                    CtCore core;
                    const HSgm other = randomSinogram(15 + 2 * round, 3 + t, unsigned(round));
                    core.reconstruct(other, 0, r);
                    core.release();
                    core.reconstruct(h, 5.0, r);
                    out[t] = core.res;
                }
            });
        for (auto &th : threads)
            th.join();
        for (const auto &o : out)
            QVERIFY(o == ref.res);
    }

    void sliceSharedOutOverThreads()
    {
        // one slice's rows over several threads: the same sums to the bit,
        // for regions of every shape, and nothing written outside the region
        const HSgm h = randomSinogram(129, 40, 5);
        const Region regions[] = {{0, 0, 2047, 2047}, {3.5, 7.2, 101.9, 120.1}, {10, 60, 90, 75},
                                  {0, 0, 128, 23}};
        for (const Region &r : regions) {
            CtCore one;
            QVERIFY(one.reconstruct(h, 3.0, r));
            for (int threads : {2, 3, 7}) {
                CtCore many;
                many.bpThreads = threads;
                QVERIFY(many.reconstruct(h, 3.0, r));
                QVERIFY2(many.res == one.res, qPrintable(QString("%1 threads").arg(threads)));
            }
        }
    }

    void uniformDisc()
    {
        // a disc of attenuation mu per pixel and radius R about the CoR,
        // projected analytically over 180 degrees, comes back as 2 mu inside
        const int dim = 129, n = 180;
        const double cor = 64, R = 30, mu = 0.01, I0 = 1000, BG = 10;
        HSgm h;
        const bool built = h.build(true, cor, 0, dim, 1, n,
            [&](double *line) { std::fill(line, line + dim, I0); return true; },
            [&](double *line) { std::fill(line, line + dim, BG); return true; },
            [&](int, double *line) {
                for (int k = 0; k < dim; ++k) {
                    const double d = k - cor;
                    const double p = d * d < R * R ? 2 * mu * std::sqrt(R * R - d * d) : 0.0;
                    line[k] = BG + (I0 - BG) * std::exp(-p);
                }
            });
        QVERIFY(built);
        QCOMPARE(h.width, 127);
        CtCore core;
        QVERIFY(core.reconstruct(h, 0, Region{0, 0, 2047, 2047}));
        const int g = core.fftN / 2;
        // mean over the inner part of the disc, and over a ring outside it
        double in = 0, out = 0;
        int nIn = 0, nOut = 0;
        for (int z = 0; z < core.fftN; ++z)
            for (int x = 0; x < core.fftN; ++x) {
                const double rr = std::hypot(x - g, z - g);
                if (rr < R - 5) {
                    in += core.resAt(z, x);
                    ++nIn;
                } else if (rr > R + 5 && rr < g - 5) {
                    out += core.resAt(z, x);
                    ++nOut;
                }
            }
        in /= nIn;
        out /= nOut;
        // the contrast is twice the attenuation per pixel, the scale of the
        // saved data files (anything else would mean the angular weight or
        // the ramp scale is wrong); the ramp's zero at DC shifts the whole
        // field by a small offset
        const double expected = 2 * mu;
        QVERIFY2(std::fabs((in - out) - expected) < 0.05 * expected,
                 qPrintable(QString("inside %1 outside %2").arg(in).arg(out)));
        QVERIFY2(std::fabs(out) < 0.2 * expected, qPrintable(QString("offset %1").arg(out)));
    }
};

QTEST_GUILESS_MAIN(TestCtCore)
#include "TestCtCore.moc"
