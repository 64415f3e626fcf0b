// The slice pipeline: its corrections run on the sinogram, in order, before
// the filter, in every way a slice is run; its result is the one the core's
// own whole-slice path gives, bit for bit, at once or projection by
// projection; stages are prepared when the size changes, and one that cannot
// be prepared stops the slice.
#include "CtCore.h"
#include "HSgm.h"
#include "SinogramStage.h"
#include "SlicePipeline.h"

#include <QTest>

#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

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

// Adds `add` to every sample, then multiplies it by `mul`; logs its calls.
class Affine : public SinogramStage
{
public:
    Affine(std::string tag, double add, double mul, std::vector<std::string> *log)
        : tag(std::move(tag)), add(add), mul(mul), log(log) {}
    const char *name() const override { return tag.c_str(); }
    bool prepare(int width, int height) override
    {
        log->push_back(tag + " prepare " + std::to_string(width) + "x" + std::to_string(height));
        return ok;
    }
    void apply(HSgm &h) override
    {
        log->push_back(tag + " apply");
        for (double &v : h.sgm)
            v = (v + add) * mul;
    }
    bool ok = true;

private:
    std::string tag;
    double add, mul;
    std::vector<std::string> *log;
};

} // namespace

class TestSlicePipeline : public QObject
{
    Q_OBJECT

private slots:
    // No stage: the result of every path equals the core's whole slice.
    void sameAsCore()
    {
        const int w = 37, n = 24;
        const HSgm h0 = randomSinogram(w, n, 7);
        const SliceRegion r{0, 0, 36, 36};
        RampFilter f;
        CtCore core;
        core.setFilter(f);
        QVERIFY(core.reconstruct(h0, 12.5, r));

        SlicePipeline at;
        at.setFilter(f);
        HSgm h = h0;
        QVERIFY(at.run(h, 12.5, r));
        QCOMPARE(at.size(), 36);
        QVERIFY(at.res() == core.result());
        QCOMPARE(at.resMin, core.resultMin());
        QCOMPARE(at.resMax, core.resultMax());
        // a second slice reuses the result grid
        const double *grid = at.res().data();
        QVERIFY(at.run(h, 12.5, r));
        QCOMPARE(at.res().data(), grid);

        SlicePipeline one;
        one.setFilter(f);
        one.setThreads(3);
        HSgm h2 = h0;
        QVERIFY(one.begin(h2));
        for (int i = 0; i < n; ++i)
            one.step(h2, i, 12.5, r);
        QVERIFY(one.res() == core.result());

        // too narrow, empty: nothing run
        HSgm narrow = randomSinogram(1, n, 1), none;
        QVERIFY(!at.run(narrow, 0, r));
        QVERIFY(!at.run(none, 0, r));
    }

    // Stages run in the order added, prepared for the sinogram's size, on the
    // sinogram before the filter; a stage that cannot be prepared stops the
    // slice before any later stage or the method.
    void corrections()
    {
        const int w = 21, n = 16;
        const HSgm h0 = randomSinogram(w, n, 3);
        const SliceRegion r{0, 0, 20, 20};
        std::vector<std::string> log;

        // what the chain makes of the rows: (v + 1) * 2, then (v + 0.5) * 4
        HSgm want = h0;
        for (double &v : want.sgm)
            v = ((v + 1) * 2 + 0.5) * 4;
        SlicePipeline plain;
        HSgm wantCopy = want;
        QVERIFY(plain.run(wantCopy, 0, r));

        SlicePipeline p;
        p.addStage(std::make_unique<Affine>("a", 1.0, 2.0, &log));
        auto last = std::make_unique<Affine>("b", 0.5, 4.0, &log);
        Affine *b = last.get();
        p.addStage(std::move(last));
        QCOMPARE(p.stageCount(), 2);
        HSgm h = h0;
        QVERIFY(p.run(h, 0, r));
        QVERIFY(h.sgm == want.sgm);
        QVERIFY(p.res() == plain.res());
        const std::vector<std::string> once{"a prepare 21x16", "a apply", "b prepare 21x16",
                                            "b apply"};
        QVERIFY(log == once);

        // projection by projection: corrected once, at the start; a sinogram
        // of the same size finds the stages prepared
        log.clear();
        h = h0;
        QVERIFY(p.begin(h));
        for (int i = 0; i < n; ++i)
            p.step(h, i, 0, r);
        const std::vector<std::string> applied{"a apply", "b apply"};
        QVERIFY(log == applied);
        QVERIFY(p.res() == plain.res());

        // a new size prepares again; a stage that cannot be had stops there
        log.clear();
        b->ok = false;
        h = randomSinogram(w + 2, n, 5);
        const char *named = "Sinogram stage b could not be prepared for 23 x 16";
        QTest::ignoreMessage(QtWarningMsg, named);
        QVERIFY(!p.run(h, 0, r));
        const std::vector<std::string> stopped{"a prepare 23x16", "a apply", "b prepare 23x16"};
        QVERIFY(log == stopped);
        // nor does it count as prepared for the next slice of that size
        log.clear();
        QTest::ignoreMessage(QtWarningMsg, named);
        QVERIFY(!p.run(h, 0, r));
        QVERIFY(log == stopped);
    }
};

QTEST_GUILESS_MAIN(TestSlicePipeline)
#include "TestSlicePipeline.moc"
