#include "RunControl.h"
#include "ui_Body.h"

#include "Batch.h"
#include "CorTrialStrip.h"
#include "CtCalc.h"
#include "CtCalc2.h"
#include "CtDisp.h"
#include "DataSaver.h"
#include "I0Ratio.h"
#include "ImgDatas.h"
#include "SaveQueue.h"
#include "SgmRange.h"
#include "SliceDispatcher.h"
#include "StateStyle.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QMap>

#include <cmath>
#include <cstdlib>
#include <tuple>

static QString clockText(const QDateTime &t)
{
    return t.toString(QStringLiteral("hh:mm:ss.zzz"));
}

RunControl::RunControl(Ui::Body *ui, CalcConds &conds, ImgDatas *images, CtCalc *ctCalc1,
                       const QList<CtCalc2 *> &workers, DataSaver *saver, CtDisp *ctImages,
                       CorTrialStrip *trialStrip, Batch *batch, bool &batchStarted,
                       QObject *parent)
    : QObject(parent), ui(ui), conds(conds), imgDatas(images), ctCalc1(ctCalc1), ctc2s(workers),
      saver(saver), ctImages(ctImages), trialStrip(trialStrip), batchInt(batch),
      batchStarted(batchStarted)
{
}

bool RunControl::hasImages() const
{
    return imgDatas->count() > 0;
}

void RunControl::toggle()
{
    if (!hasImages())
        return;
    if (calculating)
        stop();
    else
        start();
}

bool RunControl::workersBusy() const
{
    for (const CtCalc2 *w : ctc2s)
        if (w->isBusy())
            return true;
    return false;
}

bool RunControl::startCorTrials(double from, double to, double step)
{
    const QList<double> list = CorTrialRun::cors(from, to, step);
    QString why;
    if (calculating)
        why = QStringLiteral("a run is going on");
    else if (!hasImages() || ctc2s.isEmpty())
        why = QStringLiteral("no projection images loaded");
    else if (list.isEmpty())
        why = QStringLiteral("no CoRs from %1 to %2 by %3 (at most %4)")
                  .arg(from).arg(to).arg(step).arg(CorTrialRun::maxTrials);
    if (!why.isEmpty()) {
        qWarning().noquote() << "CoR trials not started : " + why;
        return false;
    }
    trialRun.start(list);
    start();
    return true;
}

void RunControl::start()
{
    if (calculating || ending || workersBusy()) {
        // The workers still read the conditions and the images of the
        // previous run: this one starts once that is over.
        if (!startPending)
            qDebug().noquote() << "The reconstruction starts when the run in progress has ended";
        startPending = true;
        pendingByBatch = pendingByBatch || batchStarted;
        batchStarted = false;
        return;
    }
    calculating = true;
    runFailed = false;
    startTime = QDateTime::currentDateTime();
    ui->CalcStartT->setText(clockText(startTime));
    ui->CalcEndT->setText(QStringLiteral("--"));
    ui->CalcSpentT->setText(QStringLiteral("--"));
    ui->ProgPerCent->setText(QStringLiteral("0 %"));
    ui->ProgPerCent->setStyleSheet(StateStyle::readOnly);
    ui->CalcCT->setStyleSheet(StateStyle::activeRun);
    // the workers read the I0 and BG images: they change only after the run
    ui->I0ImgSel->setHeld(true);
    ui->BGImgSel->setHeld(true);
    ctImages->clear();
    if (!hasImages()) {
        endRefusedRun(QStringLiteral("No projection images loaded: nothing to reconstruct"));
        return;
    }
    for (auto [on, sel] : {std::pair(ui->AutoSaveImage->isChecked(), ui->SelectImageSaveDir),
                           std::pair(ui->AutoSaveData->isChecked(), ui->SelectDataSaveDir)}) {
        if (on && !QDir().mkpath(sel->path())) {
            qWarning().noquote() << "Can't make folder : " + sel->path();
            emit failed(1);
        }
    }
    saver->setSubFolders(ui->SaveInSubFolders->isChecked(), ui->SubOfEnergy->isChecked(),
                         ui->SubOfSlice->isChecked());
    ui->procCtrl->fillConds(&conds, ui->SelectCt1->isChecked(), ui->SelectCt2->isChecked());
    conds.corrections = ui->corrections->settings();
    // two slices' records (image and data) per worker wait for the saver at
    // most; a worker with more waits for room (no worker is busy here)
    saver->queue()->setCapacity(SaveQueue::perWorker * std::max(1, conds.threads));
    saver->queue()->close();
    conds.upperLimit = ui->DataUpperLimit->text().toDouble();
    conds.lowerLimit = ui->DataLowerLimit->text().toDouble();
    conds.dataOffset = ui->DataOffset->text().toDouble();
    {
        // the ion-chamber ratio of the run; a refused one is named again
        const I0Ratio ratio = I0Ratio::of(ui->I0ofRawImage_, ui->I0ofI0Image_);
        if (ratio.state == I0Ratio::Refused)
            qWarning().noquote() << "I0 scaling refused, the I0 image is not scaled : " + ratio.why;
        conds.i0Scale = ratio.factor;
    }
    if (trialRun.active) {      // trials always run on the workers
        conds.doCt1 = false;
        conds.doCt2 = true;
    }
    prepareWorkers();
    setupSaveConds();
    warnOverwrites();
    if (trialRun.active) {
        trialStrip->clear();
        dispatchTrials();
    } else if (conds.rangeMode) {
        SliceDispatcher::start(conds);
        execMultiCtCalc();
    } else {
        execSingleCtCalc();
    }
}

void RunControl::endRefusedRun(const QString &why)
{
    qWarning().noquote() << why;
    runFailed = true;
    stop();
}

void RunControl::stop()
{
    if (!calculating)
        return;             // every run ends once
    calculating = false;
    trialRun.active = false;
    // workers still waiting for room in the saver's queue hand their slice
    // over and finish
    saver->queue()->open();
    // "Calc" during a projection-by-projection run ends it after the
    // projection in progress; its own end is this one
    if (ctCalc1->isBusy())
        ctCalc1->stopCt();
    endTime = QDateTime::currentDateTime();
    ui->CalcEndT->setText(clockText(endTime));
    ui->CalcSpentT->setText(QString::number(startTime.msecsTo(endTime) / 1000.0, 'g', 6));
    ui->CalcCT->setStyleSheet(StateStyle::idleRun);
    if (runFailed) {
        // nothing was reconstructed: the warning said why
        ui->ProgPerCent->setText(tr("Refused"));
        ui->ProgPerCent->setStyleSheet(StateStyle::failed);
    }
    ending = true;
    // the workers are idle here unless the run was stopped by hand
    const int lost = takeRefusedSlices();
    if (batchStarted) {
        batchStarted = false;
        // ":ifng" sees a run that started nothing or lost a slice
        if (runFailed || lost > 0)
            batchInt->ok = false;
        emit batchCalcFinished();
    } else {
        emit failed((runFailed ? 1 : 0) + lost);
    }
    emit calcFinished();
    finishRunIfIdle();
}

void RunControl::finishRunIfIdle()
{
    if (calculating || !ending || workersBusy())
        return;
    ending = false;
    // slices a stopped run's workers refused after its end count on their own
    emit failed(takeRefusedSlices());
    // what was asked for while the workers read the images happens now
    ui->I0ImgSel->setHeld(false);
    ui->BGImgSel->setHeld(false);
    if (startPending) {
        startPending = false;
        batchStarted = pendingByBatch;
        pendingByBatch = false;
        start();
        return;
    }
    emit idle();
}

void RunControl::prepareWorkers()
{
    const int d = conds.rotAxIsV ? imgDatas->width : imgDatas->height;
    // the first slice of the run; a slice at another CoR prepares its worker anew
    const double c = conds.shift.referenceCor(     // a set of a sequence: the reference grid
        conds.corForSlice(conds.rangeMode ? conds.sliceFrom : conds.slice), conds.rotAxIsV);
    const SgmRange range(conds.rotAxIsV, d, c);
    const int width = range.valid() ? range.width : 0;
    const int n = imgDatas->count();
    for (CtCalc2 *w : std::as_const(ctc2s))
        w->prepare(width, n, conds.filter, conds.method);   // queued to the worker's thread
}

void RunControl::setupSaveConds()
{
    const bool img = ui->AutoSaveImage->isChecked();
    const bool dat = ui->AutoSaveData->isChecked();
    SelectAFile *is = ui->SelectImageSaveDir;
    SelectAFile *ds = ui->SelectDataSaveDir;
    ctCalc1->setSaveImage(img, is->path(), is->name(), is->addTag());
    ctCalc1->setSaveData(dat, ds->path(), ds->name(), ds->addTag());
    for (CtCalc2 *w : std::as_const(ctc2s)) {   // both queued to the worker's thread
        w->setSaveImage(img, is->path(), is->name(), is->addTag());
        w->setSaveData(dat, ds->path(), ds->name(), ds->addTag());
    }
}

void RunControl::warnOverwrites()
{
    if (!conds.doCt2)
        return;     // the single-slice calculator saves nothing
    // the slices the run can reconstruct: those of the image
    const int extent = conds.rotAxIsV ? imgDatas->height : imgDatas->width;
    QList<int> slices;
    if (trialRun.active || !conds.rangeMode) {
        if (conds.slice >= 0 && conds.slice < extent)
            slices << conds.slice;
    } else {
        // the slices from sliceFrom on, by the step, that lie in the image
        const long long step = conds.sliceStep != 0 ? std::llabs(conds.sliceStep) : 1;
        const long long from = conds.sliceFrom, to = conds.sliceTo;
        if (from <= to) {
            const long long first = from < 0 ? from + (-from + step - 1) / step * step : from;
            for (long long s = first; s <= std::min<long long>(to, extent - 1); s += step)
                slices << int(s);
        } else {
            const long long top = extent - 1;
            const long long first = from > top ? from - (from - top + step - 1) / step * step : from;
            for (long long s = first; s >= std::max<long long>(to, 0); s -= step)
                slices << int(s);
        }
    }
    const bool sub = ui->SaveInSubFolders->isChecked();
    const bool energy = ui->SubOfEnergy->isChecked();
    const bool slice = ui->SubOfSlice->isChecked();
    QMap<QString, int> existing;    // by save folder
    QStringList order;
    for (auto [on, sel, ext] : {std::tuple(ui->AutoSaveImage->isChecked(), ui->SelectImageSaveDir, "png"),
                                std::tuple(ui->AutoSaveData->isChecked(), ui->SelectDataSaveDir, "dat")}) {
        if (!on)
            continue;
        const QString path = sel->path();
        QStringList tags;
        if (trialRun.active) {
            for (double cor : std::as_const(trialRun.list))
                tags << CtCalc2::trialTag(sel->addTag(), cor);
        } else {
            tags << sel->addTag();
        }
        int n = 0;
        for (const QString &tag : std::as_const(tags))
            for (int s : std::as_const(slices)) {
                const QString index = DataSaver::indexText(s);
                const QString name = DataSaver::fileName(sel->name(), tag, index, ext);
                const QStringList folders = trialRun.active
                    ? QStringList{path}
                    : DataSaver::foldersFor(sub, energy, slice, path, tag, index);
                for (const QString &folder : folders)
                    if (QFileInfo::exists(QDir(folder).absoluteFilePath(name)))
                        ++n;
            }
        const QString dir = QDir(path).absolutePath();
        if (!existing.contains(dir))
            order << dir;
        existing[dir] += n;
    }
    for (const QString &dir : std::as_const(order))
        if (existing.value(dir) > 0)
            qWarning().noquote() << QStringLiteral("Overwriting %1 existing result files in %2")
                                        .arg(existing.value(dir)).arg(dir);
}

void RunControl::execSingleCtCalc()
{
    if (conds.doCt1 && !ctCalc1->startCt()) {
        // CtCalc has said why; the run ends as every run does
        runFailed = true;
        stop();
        return;
    }
    if (conds.doCt2 && !ctc2s.isEmpty()) {
        // one slice and no single-slice calculator beside it: the slice takes
        // the cores the other workers would have had
        ctc2s.first()->reserve(false, conds.doCt1 ? 1 : std::max(1, conds.threads));
        emit startCt(ctc2s.first(), conds.rotAxIsV, conds.corForSlice(conds.slice), conds.slice,
                     ui->ShowCalcRes->isChecked());
    }
}

void RunControl::execMultiCtCalc()
{
    if (!calculating) {
        finishRunIfIdle();      // a worker of a stopped run has finished
        return;
    }
    if (trialRun.active) {
        dispatchTrials();
        return;
    }
    if (!conds.rangeMode) {
        endCompletedRun();
        return;
    }
    if (!conds.doCt2) {
        // a range is for the workers; the single-slice calculator takes none
        endRefusedRun(QStringLiteral("A slice range is reconstructed by CT2 only: nothing to do"));
        return;
    }
    const bool showRes = ui->ShowCalcRes->isChecked();
    const SliceDispatcher::Outcome out = SliceDispatcher::dispatch(
        conds, int(ctc2s.size()), [this](int i) { return ctc2s.at(i)->isBusy(); },
        [this, showRes](int i, int slice) {
            CtCalc2 *w = ctc2s.at(i);
            w->reserve();
            // each slice at its own CoR when the axis is followed along the slices
            emit startCt(w, conds.rotAxIsV, conds.corForSlice(slice), slice, showRes);
        });
    ui->ProgPerCent->setText(SliceDispatcher::progressText(out.percent));
    if (out.ended)
        stop();
}

void RunControl::dispatchTrials()
{
    const bool showRes = ui->ShowCalcRes->isChecked();
    const CorTrialRun::Outcome out = trialRun.dispatch(
        conds.threads, int(ctc2s.size()), [this](int i) { return ctc2s.at(i)->isBusy(); },
        [this, showRes](int i, double cor) {
            CtCalc2 *w = ctc2s.at(i);
            w->reserve(true);
            emit startCt(w, conds.rotAxIsV, cor, conds.slice, showRes);
        });
    const int n = int(trialRun.list.size());
    ui->ProgPerCent->setText(SliceDispatcher::progressText(
        n > 0 ? std::floor(1000.0 * (trialRun.next - out.busy) / n) / 10 : 100.0));
    if (out.ended)
        stop();
}

int RunControl::takeRefusedSlices()
{
    // each worker has named its refused slices and the reasons
    long long all = 0;
    for (const CtCalc2 *w : std::as_const(ctc2s))
        all += w->refused();
    const int n = int(all - refusedSeen);
    refusedSeen = all;
    return n;
}

void RunControl::ctCalcFinished()
{
    endCompletedRun();      // nothing when the run has ended already
}

void RunControl::endCompletedRun()
{
    if (!calculating)
        return;
    ui->ProgPerCent->setText(SliceDispatcher::progressText(100));
    stop();
}
