// Every back-projection kernel the processor offers against the formula
// evaluated pixel by pixel: random sizes, odd regions, regions past the
// grid, angle offsets, a single projection, and tables of cosines and sines
// that belong to no angle. A pixel passes when it is within 1e-12 of the
// plain value relative to the sum of the magnitudes of the terms of its sum
// (its start value and, for every projection, f[j] and (f[j+1] - f[j])(t - j)):
// the kernels may fuse the interpolation's multiply-add and sum in another
// order, but meet the same samples with the same weights. A pixel the plain
// loop leaves alone must stay as it was.
#include "BackProjectKernel.h"
#include "CtCore.h"

#include <QTest>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

Q_DECLARE_METATYPE(BackProjectKernel::Variant)

namespace {

using Region = CtCore::Region;
using Variant = BackProjectKernel::Variant;

// The straightforward loop with its own sum of |terms| per pixel.
struct Plain {
    std::vector<double> res, mag;
    std::vector<char> touched;
};

// Projections i of tables c, s over rows z0..z1-1, columns x0..x1-1 (inside
// the circle only), from res = start.
Plain plainSum(int N, int n, const double *c, const double *s, const double *const *filtered,
               int z0, int z1, int x0, int x1, const std::vector<double> &start)
{
    Plain p;
    p.res = start;
    p.mag.resize(start.size());
    p.touched.assign(start.size(), 0);
    for (size_t k = 0; k < start.size(); ++k)
        p.mag[k] = std::fabs(start[k]);
    const double g = N / 2;
    for (int i = 0; i < n; ++i) {
        const double *f = filtered[i];
        for (int z = z0; z < z1; ++z) {
            for (int x = x0; x < x1; ++x) {
                if (!(std::sqrt((x - g) * (x - g) + (z - g) * (z - g)) < g))
                    continue;
                const double t = g + (x - g) * c[i] - (z - g) * s[i];
                if (!(t >= 0 && t < N - 1))
                    continue;
                const int j = int(std::floor(t));
                const double a = f[j], b = (f[j + 1] - f[j]) * (t - j);
                const size_t k = size_t(z) * N + x;
                p.res[k] += a + b;
                p.mag[k] += std::fabs(a) + std::fabs(b);
                p.touched[k] = 1;
            }
        }
    }
    return p;
}

Plain plain(const CtCore &core, double offsetDeg, const CtCore::Region &r, const std::vector<double> &start)
{
    const int N = core.size(), n = core.projections();
    std::vector<double> c(static_cast<size_t>(n)), s(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const double th = CtCore::projAngle(offsetDeg, i, n);
        c[size_t(i)] = std::cos(th);
        s[size_t(i)] = std::sin(th);
    }
    const int z0 = std::max(0, int(std::trunc(r.z0))), x0 = std::max(0, int(std::trunc(r.x0)));
    const int z1 = int(std::min<double>(N, std::ceil(r.z1))), x1 = int(std::min<double>(N, std::ceil(r.x1)));
    return plainSum(N, n, c.data(), s.data(), core.filteredRows(), z0, z1, x0, x1, start);
}

bool compareRes(int N, int n, const double *res, const Plain &p, QString &why)
{
    for (size_t k = 0; k < p.res.size(); ++k) {
        const double got = res[k], want = p.res[k];
        const bool ok = !p.touched[k] ? got == want : std::fabs(got - want) <= 1e-12 * p.mag[k];
        if (!ok) {
            why = QString("N %1 n %2: pixel (x %3, z %4): %5, plain %6, terms %7")
                      .arg(N).arg(n).arg(k % N).arg(k / N)
                      .arg(got, 0, 'g', 17).arg(want, 0, 'g', 17).arg(p.mag[k], 0, 'g', 6);
            return false;
        }
    }
    return true;
}

bool compare(const CtCore &core, const Plain &p, QString &why)
{
    return compareRes(core.size(), core.projections(), core.result().data(), p, why);
}

// A core of N x n with random filtered rows and a random start in res (so
// that writes outside the circle or region would show).
void fillRandom(CtCore &core, std::mt19937 &gen)
{
    std::uniform_real_distribution<double> d(-1.0, 1.0);
    for (int i = 0; i < core.projections(); ++i)
        for (int k = 0; k < core.size(); ++k)
            core.filteredRow(i)[k] = d(gen);
    core.clearRes();
    for (int z = 0; z < core.size(); ++z)
        for (int x = 0; x < core.size(); ++x)
            core.resAt(z, x) = d(gen);
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
        std::uniform_int_distribution<int> sizeD(1, 180), projD(1, 40), manyD(41, 300);
        std::uniform_real_distribution<double> offD(-400.0, 400.0), u(0.0, 1.0);
        for (int round = 0; round < 40; ++round) {
            const int N = 2 * sizeD(gen);
            // one projection, a few, or several blocks of them
            const int n = round % 6 == 0 ? 1 : round % 7 == 3 ? manyD(gen) : projD(gen);
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

    // Tables of cosines and sines that belong to no angle: not numbers,
    // infinite, huge, or too long a vector. Every variant adds exactly the
    // terms whose t lies in [0, N - 1) and reads nothing outside the rows,
    // which here are allocated with no room beyond what the kernels may read.
    void tablesOfNoAngle_data() { variants_data(); }
    void tablesOfNoAngle()
    {
        QFETCH(Variant, variant);
        if (!BackProjectKernel::supported(variant))
            QSKIP("this processor lacks the instructions of the variant");
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double inf = std::numeric_limits<double>::infinity();
        const std::vector<std::pair<double, double>> tables = {
            {nan, 0.0}, {0.0, nan}, {inf, 0.0}, {-inf, 0.3}, {0.2, -inf}, {1e300, 0.0},
            {-1e300, 1e300}, {1e18, -1e-18}, {1.0, 1.0}, {3.0, 0.5}, {-0.9, 2.5}, {0.6, 0.8}};
        const int N = 64, n = int(tables.size());
        std::mt19937 gen(5u);
        std::uniform_real_distribution<double> d(-1.0, 1.0);
        std::vector<std::vector<double>> rows(static_cast<size_t>(n));
        std::vector<const double *> filtered;
        std::vector<double> c, s;
        for (int i = 0; i < n; ++i) {
            rows[size_t(i)].assign(size_t(N + 2 * BackProjectKernel::rowPad), 0.0);
            for (int k = 0; k < N; ++k)
                rows[size_t(i)][size_t(BackProjectKernel::rowPad + k)] = d(gen);
            filtered.push_back(rows[size_t(i)].data() + BackProjectKernel::rowPad);
            c.push_back(tables[size_t(i)].first);
            s.push_back(tables[size_t(i)].second);
        }
        // each table alone, and all of them in one block
        for (int first = 0; first <= n; ++first) {
            const int i0 = first < n ? first : 0, i1 = first < n ? first + 1 : n;
            std::vector<double> res(size_t(N) * N);
            for (double &v : res)
                v = d(gen);
            const std::vector<double> start = res;
            BackProjectKernel::Job job;
            job.res = res.data();
            job.N = N;
            job.zBegin = 0;
            job.zEnd = N;
            job.xBegin = 0;
            job.xEnd = N;
            job.i0 = i0;
            job.i1 = i1;
            job.cosTab = c.data();
            job.sinTab = s.data();
            job.filtered = filtered.data();
            BackProjectKernel::run(job, variant);
            const Plain p = plainSum(N, i1 - i0, c.data() + i0, s.data() + i0, filtered.data() + i0,
                                     0, N, 0, N, start);
            QString why;
            if (!compareRes(N, i1 - i0, res.data(), p, why))
                QFAIL(qPrintable(QString("tables %1..%2: ").arg(i0).arg(i1 - 1) + why));
        }
    }

    // An angle offset that is not a number, or infinite: the straightforward
    // loop and the fast kernels add nothing and read nothing outside the rows.
    void offsetNotANumber()
    {
        std::mt19937 gen(11u);
        for (const double offset : {std::numeric_limits<double>::quiet_NaN(),
                                    std::numeric_limits<double>::infinity()}) {
            CtCore core;
            QVERIFY(core.prepare(40, 3));
            fillRandom(core, gen);
            const std::vector<double> start = core.res;
            const Region r{0, 0, 40, 40};
            for (int i = 0; i < 3; ++i)
                core.backProjectPlain(i, offset, r);
            core.backProjectAll(offset, r);
            QVERIFY(core.res == start);
        }
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
