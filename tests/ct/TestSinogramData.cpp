// The sinogram record: sampling about the centre of rotation, normalisation
// by I0 and BG, and the requests that build nothing.
#include "CtCore.h"
#include "HSgm.h"
#include "SgmRange.h"

#include <QTest>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace {
// Readers over lines held in memory; counts the reads.
struct Lines {
    int dim = 0;
    std::vector<std::vector<double>> images;
    std::vector<double> i0, bg;     // empty: no such image
    int reads = 0;

    HSgm::LineReader i0Reader()
    {
        return [this](double *line) {
            ++reads;
            if (i0.empty())
                return false;
            std::copy(i0.begin(), i0.end(), line);
            return true;
        };
    }
    HSgm::LineReader bgReader()
    {
        return [this](double *line) {
            ++reads;
            if (bg.empty())
                return false;
            std::copy(bg.begin(), bg.end(), line);
            return true;
        };
    }
    HSgm::ImageLineReader imageReader()
    {
        return [this](int i, double *line) {
            ++reads;
            std::copy(images[size_t(i)].begin(), images[size_t(i)].end(), line);
        };
    }
    bool build(HSgm &h, double cor, int slice, int nLines = 100)
    {
        return h.build(true, cor, slice, dim, nLines, int(images.size()), i0Reader(), bgReader(),
                       imageReader());
    }
};

Lines ramps(int dim, int n)
{
    Lines l;
    l.dim = dim;
    for (int i = 0; i < n; ++i) {
        std::vector<double> line(static_cast<size_t>(dim));
        for (int k = 0; k < dim; ++k)
            line[size_t(k)] = 10.0 * i + k;
        l.images.push_back(line);
    }
    return l;
}
} // namespace

class TestSinogramData : public QObject
{
    Q_OBJECT

private slots:
    void geometry_data()
    {
        QTest::addColumn<int>("dim");
        QTest::addColumn<double>("cor");
        QTest::addColumn<int>("half");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("iCor");
        QTest::addColumn<double>("frac");
        QTest::newRow("100.25 of 1000") << 1000 << 100.25 << 100 << 199 << 100 << 0.25;
        QTest::newRow("near far edge") << 1000 << 990.5 << 8 << 15 << 990 << 0.5;
        QTest::newRow("1.0") << 3 << 1.0 << 1 << 1 << 1 << 0.0;
        QTest::newRow("dim - 1") << 50 << 49.0 << 0 << -1 << 49 << 0.0;
        QTest::newRow("not a number") << 50 << std::nan("") << 0 << -1 << 0 << 0.0;
        QTest::newRow("infinite") << 50 << HUGE_VAL << 0 << -1 << 0 << 0.0;
    }
    void geometry()
    {
        QFETCH(int, dim);
        QFETCH(double, cor);
        QFETCH(int, half);
        QFETCH(int, width);
        QFETCH(int, iCor);
        QFETCH(double, frac);
        const SgmRange r(true, dim, cor);
        QCOMPARE(r.half, half);
        QCOMPARE(r.width, width);
        QCOMPARE(r.iCor, iCor);
        QCOMPARE(r.frac, frac);
        QCOMPARE(r.valid(), half >= 1);
    }

    void resampling()
    {
        // a line whose pixel k holds k samples its own coordinates
        std::vector<double> line(1000);
        for (int k = 0; k < 1000; ++k)
            line[size_t(k)] = k;
        const SgmRange r(false, 1000, 100.25);
        std::vector<double> out(size_t(r.width), -1);
        r.resample(line.data(), out.data());
        for (int m = 0; m < r.width; ++m)
            QCOMPARE(out[size_t(m)], 1.25 + m);
        QCOMPARE(out[size_t(r.half - 1)], 100.25);     // centre sample at the CoR

        // the last sample reaches the last pixel, never beyond
        const SgmRange e(false, 10, 4.5);
        QCOMPARE(e.half, 4);
        std::vector<double> small(line.begin(), line.begin() + 10), o(7);
        e.resample(small.data(), o.data());
        QCOMPARE(o.front(), 1.5);
        QCOMPARE(o.back(), 7.5);
    }

    void requestsThatBuildNothing()
    {
        Lines l = ramps(50, 4);
        HSgm h;
        QVERIFY(l.build(h, 20.0, 7));
        QCOMPARE(h.width, 39);
        QCOMPARE(h.height, 4);
        QCOMPARE(h.slice, 7);
        const std::vector<double> before = h.sgm;

        // CoR below 1, not a number, or reaching the far edge: record kept
        for (double cor : {0.5, 0.0, -3.0, std::nan(""), 50.0, 49.5, HUGE_VAL, -HUGE_VAL}) {
            l.reads = 0;
            QVERIFY(!l.build(h, cor, 8));
            QCOMPARE(l.reads, 0);
            QCOMPARE(h.width, 39);
            QCOMPARE(h.slice, 7);
            QVERIFY(h.sgm == before);
        }
        // CoR dim - 1: within one pixel of the edge, record emptied
        QVERIFY(!l.build(h, 49.0, 8));
        QVERIFY(!h.hasData());
        QCOMPARE(h.width, 0);
        QCOMPARE(h.height, 0);
        QVERIFY(h.sgm.empty() && h.raw.empty());

        // a slice outside the image lines reaches no reader and empties the record
        QVERIFY(l.build(h, 20.0, 7));
        for (int slice : {-1, 100, 1 << 30}) {
            l.reads = 0;
            QTest::ignoreMessage(QtDebugMsg,
                                 qPrintable("Slice out of image lines : " + QString::number(slice)));
            QVERIFY(!l.build(h, 20.0, slice, 100));
            QCOMPARE(l.reads, 0);
            QVERIFY(!h.hasData());
            CtCore core;    // and nothing is calculated from it
            QVERIFY(!core.reconstruct(h, 0, CtCore::Region{0, 0, 2047, 2047}));
        }
        QVERIFY(l.build(h, 20.0, 99, 100));     // the last line is fine

        // no projection images: height 0, no data
        Lines none = ramps(50, 0);
        QVERIFY(!none.build(h, 20.0, 3));
        QCOMPARE(h.height, 0);
        QVERIFY(!h.hasData());
    }

    // A NaN or infinite pixel is a dead detector pixel: it takes the linear
    // interpolation between the nearest finite pixels of its line (the one
    // there is at a line's end), also where a sample weighs it by 0; a line
    // without a finite pixel builds nothing and is named.
    void nonFinitePixelsMended()
    {
        const double nan = std::nan(""), inf = std::numeric_limits<double>::infinity();
        Lines l;
        l.dim = 9;
        l.images = {{1, 2, 3, 4, 5, 6, 7, 8, 9},
                    {1, 2, nan, inf, 5, 6, 7, 8, 9},
                    {-inf, 2, 3, 4, 5, 6, 7, 8, nan},   // pixel 0 is never sampled
                    {nan, nan, 3, 4, 5, 6, 7, 8, 9}};
        l.i0.assign(9, 100.0);
        l.i0[4] = nan;
        HSgm h;
        // CoR 4: samples at pixels 1 .. 7 (fraction 0), which read pixels 1 .. 8
        QVERIFY(l.build(h, 4.0, 0));
        QCOMPARE(h.width, 7);
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 7; ++j) {
                const double v = (i == 3 && j == 0) ? 3.0 : j + 2.0;
                QCOMPARE(h.rawRow(i)[j], v);
                QCOMPARE(h.sgmRow(i)[j], std::log(100.0 / v));
            }
        QCOMPARE(h.badCount, 5);
        QCOMPARE(int(h.badPixels.size()), HSgm::namedPixels);
        QCOMPARE(h.badPixels[0].line, HSgm::i0Line);
        QCOMPARE(h.badPixels[0].pos, 4);
        QCOMPARE(h.badPixels[1].line, 1);
        QCOMPARE(h.badPixels[1].pos, 2);
        QVERIFY(h.why.isEmpty());

        l.images.push_back(std::vector<double>(9, nan));
        QVERIFY(!l.build(h, 4.0, 0));
        QVERIFY(!h.hasData());
        QCOMPARE(h.deadLine, 4);
        QVERIFY(h.why.contains("no finite pixel"));
        l.images.pop_back();
        l.i0.assign(9, -inf);
        QVERIFY(!l.build(h, 4.0, 0));
        QCOMPARE(h.deadLine, HSgm::i0Line);

        // clean lines again: nothing named
        l.i0.assign(9, 100.0);
        l.images = {l.images[0]};
        QVERIFY(l.build(h, 4.0, 0));
        QCOMPARE(h.badCount, 0);
        QCOMPARE(h.deadLine, HSgm::noLine);
    }

    void normalisation()
    {
        const int dim = 40, n = 6;
        const double cor = 19.5;
        std::mt19937 gen(5);
        std::uniform_real_distribution<double> u(0.0, 200.0);
        Lines l;
        l.dim = dim;
        for (int i = 0; i < n; ++i) {
            std::vector<double> line(dim);
            for (double &v : line)
                v = u(gen);
            l.images.push_back(line);
        }
        l.i0.assign(dim, 0);
        l.bg.assign(dim, 0);
        for (int k = 0; k < dim; ++k) {
            l.i0[size_t(k)] = 150 + u(gen) / 4;
            l.bg[size_t(k)] = u(gen) / 4;
        }
        l.i0[3] = 1;    // I0 below BG at some samples
        l.i0[4] = 1;
        HSgm h;
        QVERIFY(l.build(h, cor, 0));
        const SgmRange r(true, dim, cor);
        QCOMPARE(h.width, r.width);
        auto lerp = [&](const std::vector<double> &line, int m) {
            const int j = m - (r.half - 1) + r.iCor;
            return line[size_t(j)] + r.frac * (line[size_t(j + 1)] - line[size_t(j)]);
        };
        int clampedB = 0;
        for (int i = 0; i < n; ++i)
            for (int m = 0; m < h.width; ++m) {
                const double I = lerp(l.images[size_t(i)], m);
                double a = lerp(l.i0, m) - lerp(l.bg, m);
                double b = I - lerp(l.bg, m);
                clampedB += b <= 0;
                if (a <= 0)
                    a = 1;
                if (b <= 0)
                    b = 1;
                QCOMPARE(h.raw[size_t(i) * h.width + m], I);
                QVERIFY(std::fabs(h.sgm[size_t(i) * h.width + m] - std::log(a / b)) < 1e-12);
            }
        QVERIFY(clampedB > 0);
    }

    void withoutI0AndBg()
    {
        // no I0, no BG: sgm = -ln(I), and 0 where I <= 0
        Lines l;
        l.dim = 5;
        l.images = {{2.0, 0.0, -3.0, std::exp(1.0), 1.0}};
        HSgm h;
        QVERIFY(l.build(h, 2.0, 0));
        QCOMPARE(h.width, 3);
        QVERIFY(std::fabs(h.sgm[0] - 0.0) < 1e-15);      // pixel 1: 0 -> clamped
        QVERIFY(std::fabs(h.sgm[1] - 0.0) < 1e-15);      // pixel 2: -3 -> clamped
        QVERIFY(std::fabs(h.sgm[2] + 1.0) < 1e-15);      // pixel 3: e
        // a NaN pixel is a dead one: mended from its neighbours, (2 + 1) / 2
        l.images = {{2.0, std::nan(""), 1.0, 1.0, 1.0}};
        QVERIFY(l.build(h, 2.0, 0));
        QCOMPARE(h.sgm[0], -std::log(1.5));
        // I below BG: the logarithm of I0 - BG
        l.images = {{5.0, 5.0, 5.0, 5.0, 5.0}};
        l.i0.assign(5, 100.0);
        l.bg.assign(5, 20.0);
        QVERIFY(l.build(h, 2.0, 0));
        QVERIFY(std::fabs(h.sgm[1] - std::log(80.0)) < 1e-12);
    }

    void resizing()
    {
        HSgm h;
        QVERIFY(!h.hasData());
        h.resize(3, 4);
        QCOMPARE(h.sgm.size(), size_t(12));
        QCOMPARE(h.raw.size(), size_t(12));
        h.sgm[5] = 7;
        h.resize(3, 4);
        QCOMPARE(h.sgm[5], 0.0);
        h.resize(3, 0);
        QCOMPARE(h.width, 3);
        QVERIFY(h.sgm.empty() && !h.hasData());
        h.resize(-2, -2);       // both negative: no data, no huge allocation
        QVERIFY(h.sgm.empty());
    }
};

QTEST_GUILESS_MAIN(TestSinogramData)
#include "TestSinogramData.moc"
