// The range rule of a multi-slice run: slices handed out, idle workers
// chosen, progress, end of the run.
#include "CalcConds.h"
#include "SliceDispatcher.h"

#include <QTest>

#include <vector>

namespace {
// Workers as seen by the dispatcher: a slice sent makes one busy until
// finish() is called for it.
struct Pool {
    std::vector<int> holding;                   // slice held, -1 idle
    std::vector<std::pair<int, int>> sent;      // (worker, slice) in order
    explicit Pool(int n) : holding(size_t(n), -1) {}
    SliceDispatcher::Outcome step(CalcConds &c)
    {
        return SliceDispatcher::dispatch(
            c, int(holding.size()), [this](int i) { return holding[size_t(i)] >= 0; },
            [this](int i, int s) {
                QVERIFY(holding[size_t(i)] < 0);
                holding[size_t(i)] = s;
                sent.emplace_back(i, s);
            });
    }
    void finish(int i) { holding[size_t(i)] = -1; }
};

CalcConds range(int from, int to, int step, int threads)
{
    CalcConds c;
    c.rangeMode = true;
    c.doCt2 = true;
    c.sliceFrom = from;
    c.sliceTo = to;
    c.sliceStep = step;
    c.threads = threads;
    SliceDispatcher::start(c);
    return c;
}
}

class TestSliceDispatcher : public QObject
{
    Q_OBJECT
private slots:
    void descendingWithStep()
    {
        CalcConds c = range(10, 0, -3, 1);
        Pool p(1);
        QList<int> slices;
        SliceDispatcher::Outcome o = p.step(c);
        for (int guard = 0; guard < 20 && !o.ended; ++guard) {
            QVERIFY(!o.ended);
            p.finish(0);
            o = p.step(c);
        }
        QVERIFY(o.ended);
        for (auto &s : p.sent)
            slices << s.second;
        QCOMPARE(slices, QList<int>({10, 7, 4, 1}));
        QCOMPARE(c.nextSlice, -2);
        QCOMPARE(o.percent, 100.0);
    }

    void fourWorkersTwoSlices()
    {
        CalcConds c = range(5, 6, 1, 4);
        Pool p(4);
        SliceDispatcher::Outcome o = p.step(c);
        QCOMPARE(o.sent, 2);
        QCOMPARE(p.sent, (std::vector<std::pair<int, int>>{{0, 5}, {1, 6}}));
        QCOMPARE(o.busy, 2);
        QVERIFY(!o.ended);
        p.finish(1);
        o = p.step(c);
        QCOMPARE(o.sent, 0);
        QVERIFY(!o.ended);     // worker 0 still holds slice 5
        p.finish(0);
        o = p.step(c);
        QVERIFY(o.ended);
        QCOMPARE(SliceDispatcher::progressText(o.percent), QString("100.0 %"));
    }

    // Four at once, then one per finished worker; progress never falls and
    // ends at 100 %; only the first `threads` workers are used.
    void tenSlicesFourThreads()
    {
        CalcConds c = range(0, 9, 1, 4);
        Pool p(6);
        SliceDispatcher::Outcome o = p.step(c);
        QCOMPARE(o.sent, 4);
        double last = o.percent;
        int turn = 0;
        while (!o.ended) {
            const int w = turn++ % 4;
            if (p.holding[size_t(w)] < 0)
                continue;
            p.finish(w);
            o = p.step(c);
            QVERIFY(o.sent <= 1);
            QVERIFY(o.percent >= last);
            last = o.percent;
            QVERIFY(turn < 100);
        }
        QCOMPARE(int(p.sent.size()), 10);
        for (auto &s : p.sent)
            QVERIFY(s.first < 4);
        for (int i = 0; i < 10; ++i)
            QCOMPARE(p.sent[size_t(i)].second, i);
        QCOMPARE(o.percent, 100.0);
    }

    void progressValues()
    {
        // ((next - from) div s - busy + 1) / ((to - from) div s + 1), per mille truncated
        QCOMPARE(SliceDispatcher::progress(0, 9, 1, 4, 4), 10.0);
        QCOMPARE(SliceDispatcher::progress(0, 9, 1, 4, 0), 50.0);
        QCOMPARE(SliceDispatcher::progress(0, 2, 1, 1, 0), 66.6);
        QCOMPARE(SliceDispatcher::progress(0, 9, 1, 10, 0), 100.0);   // capped
        QCOMPARE(SliceDispatcher::progress(0, 20, 4, 8, 1), 33.3);
        // a descending range counts in steps of the step's size
        QCOMPARE(SliceDispatcher::progress(10, 0, -3, 4, 2), 25.0);
        QCOMPARE(SliceDispatcher::progress(10, 0, -3, -2, 0), 100.0);
        QCOMPARE(SliceDispatcher::progressText(0), QString("0.0 %"));
        QCOMPARE(SliceDispatcher::progressText(66.6), QString("66.6 %"));
    }

    void oddConditions()
    {
        // step 0 goes by one towards sliceTo instead of repeating a slice
        CalcConds c = range(3, 1, 0, 1);
        Pool p(1);
        p.step(c);
        QCOMPARE(c.nextSlice, 2);
        // no worker to use: the run cannot go on and ends
        CalcConds d = range(0, 5, 1, 0);
        QVERIFY(Pool(2).step(d).ended);
        CalcConds e = range(0, 5, 1, 3);
        QVERIFY(Pool(0).step(e).ended);
        // a single slice
        CalcConds f = range(4, 4, 1, 2);
        Pool q(2);
        SliceDispatcher::Outcome o = q.step(f);
        QCOMPARE(o.sent, 1);
        q.finish(0);
        QVERIFY(q.step(f).ended);
        QVERIFY(SliceDispatcher::inRange(f, 4));
        QVERIFY(!SliceDispatcher::inRange(f, 5));
    }

    // A range at the int limits ends after its last slice, in either
    // direction, instead of handing that slice out again.
    void rangeAtIntLimits()
    {
        for (const int sign : {1, -1}) {
            const int edge = sign > 0 ? INT32_MAX : INT32_MIN;
            CalcConds c = range(edge - 4 * sign, edge, 3 * sign, 1);
            // one worker, busy with its slice until the next step (the slices
            // near the lower limit are negative: no Pool here)
            std::vector<int> got;
            bool busy = false;
            auto step = [&] {
                return SliceDispatcher::dispatch(
                    c, 1, [&](int) { return busy; },
                    [&](int, int slice) {
                        got.push_back(slice);
                        busy = true;
                    });
            };
            for (int round = 0; round < 6; ++round) {
                if (step().ended)
                    break;
                busy = false;
            }
            QCOMPARE(got, (std::vector<int>{edge - 4 * sign, edge - sign}));
            const SliceDispatcher::Outcome last = step();
            QVERIFY(last.ended);
            QCOMPARE(last.percent, 100.0);
        }
    }
};

QTEST_GUILESS_MAIN(TestSliceDispatcher)
#include "TestSliceDispatcher.moc"
