#pragma once
// The range rule of a multi-slice run, free of widgets and threads: which
// idle workers get which slices, the progress, and when the run is over.
//
// The next slice starts at sliceFrom and moves by the signed sliceStep; a
// slice is handed out while it lies between sliceFrom and sliceTo (inclusive,
// either order). On every step the first `threads` workers (in creation
// order) that are not busy get the next slice each, then the busy ones are
// counted: the run is over when the next slice has left the range and none
// of them is busy.
//
// A worker counts as busy from the moment a slice is sent to it until it has
// reported that slice finished (see CtCalc2::reserve): a slice still queued
// to a worker thus keeps the run alive.
#include <QString>

#include <functional>

class CalcConds;

class SliceDispatcher
{
public:
    struct Outcome {
        int sent = 0;           // slices handed out in this step
        int busy = 0;           // busy workers among the first `threads`
        double percent = 0;     // progress, one decimal, 0..100
        bool ended = false;     // range exhausted and no worker busy
    };

    // Sets conds.nextSlice to conds.sliceFrom.
    static void start(CalcConds &conds);
    // Whether s lies between sliceFrom and sliceTo, inclusive, either order.
    static bool inRange(const CalcConds &conds, int s);
    // Whether conds.nextSlice is still to be handed out: in the range, and
    // not the last slice before the int limits already handed out.
    static bool nextInRange(const CalcConds &conds);

    // One dispatch step over `workers` workers: isBusy(i) tells whether
    // worker i is busy, send(i, slice) hands slice to worker i. Uses the first
    // min(conds.threads, workers) workers; advances conds.nextSlice.
    static Outcome dispatch(CalcConds &conds, int workers, const std::function<bool(int)> &isBusy,
                            const std::function<void(int, int)> &send);

    // Progress in percent after handing out up to `next` with `busy` slices
    // still in work: the per-mille value truncated, divided by 10, within
    // 0..100. Counts in steps of |step| (1 for a step below 2 in size).
    static double progress(int from, int to, int step, long long next, int busy);
    // "%1 %" with one decimal, e.g. "37.5 %".
    static QString progressText(double percent);
};
