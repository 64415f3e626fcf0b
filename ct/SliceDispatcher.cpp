#include "SliceDispatcher.h"
#include "CalcConds.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

void SliceDispatcher::start(CalcConds &conds)
{
    conds.nextSlice = conds.sliceFrom;
    conds.rangeDone = false;
}

bool SliceDispatcher::inRange(const CalcConds &c, int s)
{
    return s >= std::min(c.sliceFrom, c.sliceTo) && s <= std::max(c.sliceFrom, c.sliceTo);
}

bool SliceDispatcher::nextInRange(const CalcConds &c)
{
    return !c.rangeDone && inRange(c, c.nextSlice);
}

SliceDispatcher::Outcome SliceDispatcher::dispatch(CalcConds &c, int workers,
                                                   const std::function<bool(int)> &isBusy,
                                                   const std::function<void(int, int)> &send)
{
    Outcome o;
    const int k = std::max(0, std::min(c.threads, workers));
    for (int i = 0; i < k; ++i) {
        if (nextInRange(c) && !isBusy(i)) {
            send(i, c.nextSlice);
            ++o.sent;
            // a step of 0 would hand out the same slice for ever: go by one
            // towards sliceTo instead
            const int step = c.sliceStep != 0 ? c.sliceStep : (c.sliceTo < c.sliceFrom ? -1 : 1);
            const long long next = (long long)c.nextSlice + step;
            if (next < INT32_MIN || next > INT32_MAX) {
                // the next slice is past the int limits, so past the range
                c.rangeDone = true;
                break;
            }
            c.nextSlice = int(next);
        }
    }
    for (int i = 0; i < k; ++i)
        if (isBusy(i))
            ++o.busy;
    // past the int limits the next slice is one step beyond the last
    const long long next = (long long)c.nextSlice + (c.rangeDone ? c.sliceStep : 0);
    o.percent = progress(c.sliceFrom, c.sliceTo, c.sliceStep, next, o.busy);
    // without a worker to use nothing could ever be handed out
    o.ended = o.busy == 0 && (!nextInRange(c) || k == 0);
    return o;
}

double SliceDispatcher::progress(int from, int to, int step, long long next, int busy)
{
    const long long s = std::llabs((long long)step) >= 2 ? std::llabs((long long)step) : 1;
    const long long done = std::llabs(next - from) / s - busy + 1;
    const long long all = std::llabs((long long)to - from) / s + 1;
    const double permille = std::trunc(double(done) / double(all) * 1000.0);
    return std::clamp(permille / 10.0, 0.0, 100.0);
}

QString SliceDispatcher::progressText(double percent)
{
    return QString("%1 %").arg(percent, 0, 'f', 1);
}
