#pragma once
// Run control: starts a reconstruction run (one slice, a slice range on the
// workers, or CoR trials), hands out the slices as workers come free,
// stops it, and says when the run and every slice it handed out are over.
//
// States:
//   idle    - no run; start() begins one (a run that can start nothing is
//             refused: named, ended at once, counted or failed to the batch).
//   running - isCalculating(): slices are handed out; the last one done, the
//             run's end or stop() -> ending.
//   ending  - isEnding(): the run is over (calcFinished emitted, the batch
//             told when it started the run) but workers still hold slices;
//             when the last is done -> idle, emitting idle().
// A start asked for while running or ending is pending: it starts on the way
// to idle, instead of idle() (so a paused load waits for that run too).
#include "CalcConds.h"
#include "CorTrialRun.h"

#include <QDateTime>
#include <QList>
#include <QObject>

class Batch;
class CorTrialStrip;
class CtCalc;
class CtCalc2;
class CtDisp;
class DataSaver;
class ImgDatas;
namespace Ui { class Body; }

class RunControl : public QObject
{
    Q_OBJECT
public:
    RunControl(Ui::Body *ui, CalcConds &conds, ImgDatas *images, CtCalc *ctCalc1,
               const QList<CtCalc2 *> &workers, DataSaver *saver, CtDisp *ctImages,
               CorTrialStrip *trialStrip, Batch *batch, bool &batchStarted,
               QObject *parent = nullptr);

    bool isCalculating() const { return calculating; }
    bool isEnding() const { return ending; }
    bool workersBusy() const;

public slots:
    void toggle();
    void start();
    void stop();
    // Reconstructs the current slice at the CoRs from..to by step on the
    // workers. False, after a warning, when no run can start.
    bool startCorTrials(double from, double to, double step);
    // A worker finished a slice: the next ones are handed out.
    void execMultiCtCalc();
    void ctCalcFinished();

signals:
    void startCt(CtCalc2 *ctc2, bool rotAxIsV, double cor, int slice, bool genImg);
    void calcFinished();
    // A run the batch started has ended (its ok flag set on failure).
    void batchCalcFinished();
    // n failures of runs no batch command started (each named by a warning).
    void failed(int n);
    // The run and every slice it handed out are over, no run pending.
    void idle();

private:
    bool hasImages() const;
    void prepareWorkers();
    void setupSaveConds();
    // Says on the warning channel, once per save folder, how many of the
    // files the run is about to write exist already there.
    void warnOverwrites();
    void execSingleCtCalc();
    void dispatchTrials();
    // A run that starts nothing ends at once, and a batch hears it failed.
    void endRefusedRun(const QString &why);
    // The run did all it was asked: its progress is full.
    void endCompletedRun();
    // The run and every slice it handed out are over: what waited is done.
    void finishRunIfIdle();
    // Slices the workers refused since the last call (named by them).
    int takeRefusedSlices();

    Ui::Body *ui;
    CalcConds &conds;
    ImgDatas *imgDatas;
    CtCalc *ctCalc1;
    const QList<CtCalc2 *> &ctc2s;
    DataSaver *saver;
    CtDisp *ctImages;
    CorTrialStrip *trialStrip;
    Batch *batchInt;
    // The run being started was asked for by the batch (calc_exec): set by
    // the batch's commands, taken by the run.
    bool &batchStarted;
    CorTrialRun trialRun;

    bool calculating = false;
    bool ending = false;        // stopped; workers still hold slices
    bool startPending = false;  // a start asked for while the run was ending
    bool pendingByBatch = false;    // ... by the batch (calc_exec)
    bool runFailed = false;     // the run started nothing
    // Slices the workers refused, as far as counted (see takeRefusedSlices).
    long long refusedSeen = 0;
    QDateTime startTime, endTime;
};
