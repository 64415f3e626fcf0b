#include "CorTrialRun.h"

#include <QString>

#include <cmath>

QList<double> CorTrialRun::cors(double from, double to, double step)
{
    QList<double> out;
    if (!(step > 0) || !std::isfinite(from) || !std::isfinite(to) || !std::isfinite(step) || to < from)
        return out;
    const double count = std::floor((to - from) / step + 1e-6) + 1;
    if (count > maxTrials)
        return out;
    for (int k = 0; k < int(count); ++k)
        out << QString::number(from + k * step, 'g', 6).toDouble();
    return out;
}

void CorTrialRun::start(const QList<double> &l)
{
    list = l;
    next = 0;
    active = true;
}

CorTrialRun::Outcome CorTrialRun::dispatch(int threads, int workers,
                                           const std::function<bool(int)> &isBusy,
                                           const std::function<void(int, double)> &send)
{
    Outcome o;
    const int n = std::min(std::max(threads, 1), workers);
    for (int i = 0; i < n && next < list.size(); ++i) {
        if (!isBusy(i))
            send(i, list.at(next++));
    }
    for (int i = 0; i < n; ++i)
        o.busy += isBusy(i) ? 1 : 0;
    o.ended = next >= list.size() && o.busy == 0;
    return o;
}
