// Every back-projection kernel the processor offers against the formula
// evaluated pixel by pixel: random sizes, odd regions, regions past the
// grid, angle offsets, a single projection. A pixel passes when it is within
// 1e-9 of the plain value relative to the sum of the magnitudes of the terms
// added into it; a pixel the plain loop leaves alone must stay as it was.
#include "BackProjectKernel.h"
#include "CtCore.h"

#include <QTest>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

Q_DECLARE_METATYPE(BackProjectKernel::Variant)

namespace {

using Region = CtCore::Region;
using Variant = BackProjectKernel::Variant;

// The straightforward loop with its own sum of |terms| per pixel.
struct Plain {
    std::vector<double> res, mag;
};

Plain plain(const CtCore &core, double offsetDeg, const Region &r, const std::vector<double> &start)
{
    const int N = core.fftN, n = core.nProj;
    Plain p;
    p.res = start;
    p.mag.assign(start.size(), 0.0);
    const double g = N / 2;
    for (int i = 0; i < n; ++i) {
        const double th = CtCore::projAngle(offsetDeg, i, n);
        const double c = std::cos(th), s = std::sin(th);
        const double *f = core.filtered[size_t(i)];
        for (int z = int(std::trunc(r.z0)); z < r.z1; ++z) {
            for (int x = int(std::trunc(r.x0)); x < r.x1; ++x) {
                if (!(std::sqrt((x - g) * (x - g) + (z - g) * (z - g)) < g))
                    continue;
                const double t = g + (x - g) * c - (z - g) * s;
                const double jf = std::floor(t);
                if (jf < 0 || jf >= N - 1)
                    continue;
                const int j = int(jf);
                const double v = f[j] + (f[j + 1] - f[j]) * (t - j);
                p.res[size_t(z) * N + x] += v;
                p.mag[size_t(z) * N + x] += std::fabs(v);
            }
        }
    }
    return p;
}

bool compare(const CtCore &core, const Plain &p, QString &why)
{
    const int N = core.fftN;
    for (size_t k = 0; k < p.res.size(); ++k) {
        const double got = core.res[k], want = p.res[k];
        const bool ok = p.mag[k] == 0 ? got == want : std::fabs(got - want) <= 1e-9 * p.mag[k];
        if (!ok) {
            why = QString("N %1 n %2: pixel (x %3, z %4): %5, plain %6")
                      .arg(N).arg(core.nProj).arg(k % N).arg(k / N)
                      .arg(got, 0, 'g', 17).arg(want, 0, 'g', 17);
            return false;
        }
    }
    return true;
}

// A core of N x n with random filtered rows and a random start in res (so
// that writes outside the circle or region would show).
void fillRandom(CtCore &core, std::mt19937 &gen)
{
    std::uniform_real_distribution<double> d(-1.0, 1.0);
    for (double *f : core.filtered)
        for (int k = 0; k < core.fftN; ++k)
            f[k] = d(gen);
    core.clearRes();
    for (double &v : core.res)
        v = d(gen);
}

// Restores automatic selection at the end of a test function.
struct KernelGuard {
    ~KernelGuard() { BackProjectKernel::force(BackProjectKernel::Auto); }
};

} // namespace

class TestCtKernels : public QObject
{
    Q_OBJECT

private slots:
    void variants_data()
    {
        QTest::addColumn<Variant>("variant");
        QTest::newRow("portable") << BackProjectKernel::Portable;
        QTest::newRow("avx2") << BackProjectKernel::Avx2;
        QTest::newRow("avx512") << BackProjectKernel::Avx512;
    }

    // Whole-slice back-projection (backProjectAll) of random cases.
    void variants()
    {
        QFETCH(Variant, variant);
        if (!BackProjectKernel::supported(variant))
            QSKIP("this processor lacks the instructions of the variant");
        KernelGuard guard;
        QVERIFY(BackProjectKernel::force(variant));
        QCOMPARE(BackProjectKernel::active(), variant);

        std::mt19937 gen(1234u + unsigned(variant));
        std::uniform_int_distribution<int> sizeD(1, 180), projD(1, 40);
        std::uniform_real_distribution<double> offD(-400.0, 400.0), u(0.0, 1.0);
        for (int round = 0; round < 24; ++round) {
            const int N = 2 * sizeD(gen);
            const int n = round % 6 == 0 ? 1 : projD(gen);
            CtCore core;
            QVERIFY(core.prepare(N, n));
            fillRandom(core, gen);
            const std::vector<double> start = core.res;
            Region r;
            switch (round % 4) {
            case 0:     // the whole grid and far beyond
                r = {-50, -7.5, 2.0 * N + 9, 3.0 * N};
                break;
            case 1:     // the usual grid region
                r = {0, 0, double(N), double(N)};
                break;
            default:    // an odd, fractional region, partly past the grid
                r = {N * (u(gen) - 0.2), N * (u(gen) - 0.2), N * (0.3 + u(gen)), N * (0.3 + u(gen))};
                break;
            }
            // exact quarter turns, where sines and cosines are 0 or +-1, now and then
            const double offset = round % 5 == 0 ? 90.0 * (round % 3) : offD(gen);
            core.backProjectAll(offset, r);
            QVERIFY(core.resValid);
            QString why;
            if (!compare(core, plain(core, offset, r, start), why))
                QFAIL(qPrintable(QString("round %1 offset %2: ").arg(round).arg(offset) + why));
        }
    }

    void perProjection_data() { variants_data(); }

    // Projection by projection (backProject) adds up to the same.
    void perProjection()
    {
        QFETCH(Variant, variant);
        if (!BackProjectKernel::supported(variant))
            QSKIP("this processor lacks the instructions of the variant");
        KernelGuard guard;
        QVERIFY(BackProjectKernel::force(variant));
        std::mt19937 gen(99u);
        for (const int N : {2, 4, 34, 150}) {
            CtCore core;
            QVERIFY(core.prepare(N, 7));
            fillRandom(core, gen);
            const std::vector<double> start = core.res;
            const Region r{1.5, -3, N - 0.5, N + 20.0};
            for (int i = 0; i < 7; ++i)
                core.backProject(i, -33.3, r);
            QString why;
            if (!compare(core, plain(core, -33.3, r, start), why))
                QFAIL(qPrintable(why));
        }
    }

    // A wide grid so that long runs of sixteen pixels meet samples near
    // both ends of the detector, with a few hundred projections.
    void wideGrid_data() { variants_data(); }
    void wideGrid()
    {
        QFETCH(Variant, variant);
        if (!BackProjectKernel::supported(variant))
            QSKIP("this processor lacks the instructions of the variant");
        KernelGuard guard;
        QVERIFY(BackProjectKernel::force(variant));
        std::mt19937 gen(7u);
        CtCore core;
        QVERIFY(core.prepare(700, 200));    // more than one block of projections
        fillRandom(core, gen);
        const std::vector<double> start = core.res;
        const Region r{0, 0, 700, 700};
        core.backProjectAll(12.345, r);
        QString why;
        if (!compare(core, plain(core, 12.345, r, start), why))
            QFAIL(qPrintable(why));
    }

    // Circle bounds per row select exactly the pixels of the strict test.
    void rowSpanIsTheStrictCircle()
    {
        for (int N = 2; N <= 400; N += (N < 40 ? 2 : 26)) {
            const int g = N / 2;
            for (int z = -2; z < N + 2; ++z) {
                for (const auto &[xb, xe] : {std::pair<int, int>{0, N}, {3, N / 2 + 1}, {g, g + 1}}) {
                    int lo = 0, hi = 0;
                    const bool any = BackProjectKernel::rowSpan(z, N, xb, xe, lo, hi);
                    for (int x = xb; x < xe; ++x) {
                        const std::int64_t dx = x - g, dz = z - g;
                        const bool inside = std::sqrt(double(dx * dx + dz * dz)) < double(g);
                        const bool taken = any && x >= lo && x < hi;
                        if (inside != taken)
                            QFAIL(qPrintable(QString("N %1 z %2 x %3: inside %4 taken %5")
                                                 .arg(N).arg(z).arg(x).arg(inside).arg(taken)));
                    }
                }
            }
        }
    }

    // Names, forcing and falling back.
    void selection()
    {
        KernelGuard guard;
        QVERIFY(BackProjectKernel::supported(BackProjectKernel::Portable));
        QVERIFY(!BackProjectKernel::supported(BackProjectKernel::Auto));
        for (Variant v : {BackProjectKernel::Portable, BackProjectKernel::Avx2, BackProjectKernel::Avx512})
            QCOMPARE(BackProjectKernel::fromName(BackProjectKernel::name(v)), v);
        QCOMPARE(BackProjectKernel::fromName("sse9"), BackProjectKernel::Auto);
        QCOMPARE(BackProjectKernel::fromName(nullptr), BackProjectKernel::Auto);

        QVERIFY(BackProjectKernel::force(BackProjectKernel::Portable));
        QCOMPARE(BackProjectKernel::active(), BackProjectKernel::Portable);
        for (Variant v : {BackProjectKernel::Avx2, BackProjectKernel::Avx512}) {
            if (!BackProjectKernel::supported(v)) {
                QVERIFY(!BackProjectKernel::force(v));     // refused, nothing changes
                QCOMPARE(BackProjectKernel::active(), BackProjectKernel::Portable);
            }
        }
        QVERIFY(BackProjectKernel::force(BackProjectKernel::Auto));
        QVERIFY(BackProjectKernel::active() != BackProjectKernel::Auto);
        QVERIFY(BackProjectKernel::supported(BackProjectKernel::active()));
    }
};

QTEST_GUILESS_MAIN(TestCtKernels)
#include "TestCtKernels.moc"
