#pragma once
// The CoR trials of one slice as a run on the multi-slice workers, free of
// widgets and threads: the list of CoRs and which idle worker gets which.
// Each CoR is held in the shortest 6-digit form, so that the CoR a trial is
// made at is exactly the number its label and file name show.
#include <QList>

#include <functional>

class CorTrialRun
{
public:
    static constexpr int maxTrials = 200;

    // FROM, FROM + STEP, ... up to TO inclusive (to a millionth of STEP).
    // Empty when STEP is not above 0, a bound is not finite, TO < FROM, or
    // there would be more than maxTrials.
    static QList<double> cors(double from, double to, double step);

    struct Outcome {
        int busy = 0;           // busy workers among the first `threads`
        bool ended = false;     // every trial handed out and none busy
    };

    // Starts a run over `list`.
    void start(const QList<double> &list);
    // Hands the next trials to the idle ones of the first `threads` of
    // `workers` workers (isBusy(i), send(i, cor)).
    Outcome dispatch(int threads, int workers, const std::function<bool(int)> &isBusy,
                     const std::function<void(int, double)> &send);

    bool active = false;
    QList<double> list;
    int next = 0;
};
