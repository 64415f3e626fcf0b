#include "CtCalc2.h"
#include "CalcConds.h"
#include "CtCalc2Ui.h"
#include "DataFileText.h"
#include "Handoff.h"
#include "SaveQueue.h"
#include "SavingData.h"
#include "SavingImg.h"
#include "Sinogram.h"

#include <QDebug>
#include <QMetaMethod>
#include <QThread>

#include <algorithm>

#include <cmath>

CtCalc2::CtCalc2(CalcConds *conds, QObject *parent) : QObject(parent), conds(conds)
{
    qRegisterMetaType<SavingData *>();
    qRegisterMetaType<SavingImg *>();
    qRegisterMetaType<CtCalc2::Job>();
    qRegisterMetaType<GreyMap>();
    Handoff::release(this);
}

CtCalc2::~CtCalc2()
{
    // destroyed on the window's thread once the worker's thread has finished
    Handoff::acquire(this);
}

bool CtCalc2::onOwnThread() const
{
    return QThread::currentThread() == thread();
}

void CtCalc2::setUi(CtCalc2Ui *panel)
{
    ui = panel;
    Handoff::release(this);
    if (!panel)
        return;
    panel->calc = this;
    connect(this, &CtCalc2::sliceStarted, panel, &CtCalc2Ui::noticedStart);
    connect(this, &CtCalc2::sliceEnded, panel, &CtCalc2Ui::noticedEnd);
    connect(this, &CtCalc2::sliceCor, panel, &CtCalc2Ui::showCor);
    connect(this, &CtCalc2::regionDefaulted, panel, &CtCalc2Ui::setCR);
    connect(this, &CtCalc2::cBarRange, panel, &CtCalc2Ui::setCBarRange);
    connect(this, &CtCalc2::resImage, panel, &CtCalc2Ui::showResImage);
    connect(this, &CtCalc2::resValue, panel, &CtCalc2Ui::showValue);
}

void CtCalc2::prepare(int width, int n, const RampFilter &filter, const std::string &method)
{
    if (!onOwnThread()) {
        {
            std::lock_guard<std::mutex> lock(jobsLock);
            prepares.push_back(PrepareRequest{width, n, filter, method});
        }
        Handoff::release(this);
        QMetaObject::invokeMethod(this, "takePrepare", Qt::QueuedConnection);
        return;
    }
    Handoff::Scope scope(this);
    pipeline.useMethod(method);
    pipeline.prepare(width, n, filter);    // plans are made under the process-wide planner lock
    fftN = pipeline.size();
    nProj = pipeline.projections();
}

QString CtCalc2::trialTag(const QString &tag, double cor)
{
    const QString c = QStringLiteral("cor") + QString::number(cor, 'g', 6);
    return tag.isEmpty() ? c : tag + QStringLiteral("-") + c;
}

void CtCalc2::reserve(bool trial, int bpThreads)
{
    Job j = ui ? ui->snapshot() : Job();
    j.trial = trial;
    j.bpThreads = std::max(1, bpThreads);
    if (conds) {
        j.angleOffset = conds->angleOffset;
        j.lowerLimit = conds->lowerLimit;
        j.upperLimit = conds->upperLimit;
        j.dataOffset = conds->dataOffset;
        j.filter = conds->filter;
        j.i0Scale = conds->i0Scale;
        j.corrections = conds->corrections;
        // CoR trials try the CoRs as given, on the set as it stands
        if (!trial)
            j.shift = conds->shift;
        j.method = conds->method;
    }
    // handed over under a lock: a copy made inside the event queue would
    // be written after any release mark we could set before posting
    {
        std::lock_guard<std::mutex> lock(jobsLock);
        jobs.push_back(j);
    }
    claims.fetch_add(1);
    // posted before startCt, so it reaches the worker first
    Handoff::release(this);
    QMetaObject::invokeMethod(this, "takeJob", Qt::QueuedConnection);
}

void CtCalc2::takeJob()
{
    Handoff::Scope scope(this);
    std::lock_guard<std::mutex> lock(jobsLock);
    if (!jobs.empty()) {        // one per reserve(), in order
        job = jobs.front();
        jobs.pop_front();
    }
}

void CtCalc2::takePrepare()
{
    PrepareRequest r;
    {
        std::lock_guard<std::mutex> lock(jobsLock);
        if (prepares.empty())
            return;
        r = prepares.front();
        prepares.pop_front();
    }
    prepare(r.width, r.n, r.filter, r.method);
}

void CtCalc2::releaseClaim()
{
    int c = claims.load();
    while (c > 0 && !claims.compare_exchange_weak(c, c - 1)) {
    }
}

void CtCalc2::startCt(CtCalc2 *ctc2, bool rotAxIsV, double cor, int slice)
{
    startCt(ctc2, rotAxIsV, cor, slice, true);
}

void CtCalc2::startCt(CtCalc2 *ctc2, bool rotAxIsV, double cor, int slice, bool genAndDisp)
{
    if (ctc2 != this)
        return;
    Handoff::Scope scope(this);
    if (busy.load() || !ui) {
        releaseClaim();
        return;
    }
    genAndDispImage = genAndDisp;
    sliceNo = slice;
    corUsed = cor;
    beginingCt();
    emit sliceCor(cor);
    qInfo().noquote() << QStringLiteral("Slice %1 at CoR %2").arg(slice).arg(QString::number(cor, 'g', 6));

    // built afresh or empty: a CoR the generator refuses must not leave the
    // previous slice's rows in place (the memory is kept for the next slice)
    hSgm.clear();
    hSgm.i0Scale = job.i0Scale;
    const bool built = sinogram && sinogram->genSinogram0(&hSgm, rotAxIsV, cor, slice, job.shift);
    QString refusal;
    if (!built || !hSgm.hasData() || qint64(hSgm.width) * hSgm.height <= 0) {
        refusal = hSgm.why.isEmpty() ? QStringLiteral("no sinogram") : hSgm.why;
    } else {
        const int N = SlicePipeline::lengthFor(hSgm.width);
        if (N < 2) {
            refusal = QStringLiteral("CoR %1 leaves a sinogram of %2 sample(s), too narrow to "
                                     "reconstruct")
                          .arg(QString::number(cor, 'g', 6)).arg(hSgm.width);
        } else {
            if (!job.regionSet) {
                job.region = SliceRegion{0, 0, double(N), double(N)};
                job.regionSet = true;
                emit regionDefaulted(0, 0, N, N);
            }
            pipeline.setThreads(job.bpThreads);
            pipeline.useMethod(job.method);     // a new method is prepared by run()
            pipeline.setFilter(job.filter);     // prepared again only if it differs
            job.corrections.fit(pipeline, installed);   // remade only when they changed
            const bool done = pipeline.run(hSgm, job.angleOffset, job.region);
            fftN = pipeline.size();
            nProj = pipeline.projections();
            if (done) {
                imageMade = false;
                if (genAndDispImage || job.trial)
                    genResImage();
                if (imgSaveOn)
                    saveImage();
                if (dataSaveOn)
                    saveData();
                if (job.trial)
                    emit trialImage(corUsed, sliceNo, dispImage);
                else if (imageMade)
                    emit ctImage(sliceNo, dispImage);
            } else {
                refusal = QStringLiteral("the reconstruction of %1 x %2 could not be prepared")
                              .arg(N).arg(hSgm.height);
            }
        }
    }
    if (!refusal.isEmpty()) {
        // named here; counted by whoever runs the slices (refused())
        qWarning().noquote() << QStringLiteral("Slice %1 not reconstructed : ").arg(slice) + refusal;
        refusedCount.fetch_add(1);
        emit sliceRefused(slice, refusal);
    }
    endingCt();
}

void CtCalc2::genResImage()
{
    const int N = pipeline.size();
    if (N < 2 || !pipeline.hasResult())
        return;
    if (!job.fixed) {
        pipeline.findExtremes();
        job.grey.minV = pipeline.resMin;
        job.grey.maxV = pipeline.resMax;
        emit cBarRange(pipeline.resMin, pipeline.resMax);
    }
    // a new image each time: copies handed out earlier stay as they were
    dispImage = job.grey.render(pipeline.res().data(), N, N);
    imageMade = true;
    if (genAndDispImage)
        emit resImage(dispImage);
}

void CtCalc2::reRender(const GreyMap &grey, bool fixed)
{
    Handoff::Scope scope(this);
    job.grey = grey;
    job.fixed = fixed;
    const bool show = genAndDispImage;
    genAndDispImage = true;
    genResImage();
    genAndDispImage = show;
}

void CtCalc2::valueAt(double x, double z)
{
    Handoff::Scope scope(this);
    const int N = pipeline.size();
    if (!pipeline.hasResult() || !(x >= 0) || !(z >= 0))
        return;
    const double ix = std::trunc(x), iz = std::trunc(z);
    if (ix < N && iz < N)
        emit resValue(pipeline.resAt(int(iz), int(ix)));
}

void CtCalc2::saveImage()
{
    if (!imageMade)
        genResImage();
    if (!imageMade)
        return;
    if (!isSignalConnected(QMetaMethod::fromSignal(&CtCalc2::saveImgWDiscard)))
        return;
    if (saveQueue)
        saveQueue->take();      // waits while the saver holds its fill
    auto *rec = new SavingImg(imgPath, imgName, job.trial ? trialTag(imgTag, corUsed) : imgTag,
                              sliceNo, dispImage);
    rec->flat = job.trial;
    rec->queue = saveQueue;
    Handoff::release(rec);
    emit saveImgWDiscard(rec);  // the receiver deletes it
}

void CtCalc2::saveData()
{
    if (!isSignalConnected(QMetaMethod::fromSignal(&CtCalc2::saveDataWDiscard)))
        return;
    // room first: the text of a 1024-pixel slice is some 20 MB
    if (saveQueue)
        saveQueue->take();
    auto *rec = new SavingData(dataPath, dataName, job.trial ? trialTag(dataTag, corUsed) : dataTag,
                               sliceNo);
    rec->flat = job.trial;
    rec->queue = saveQueue;
    const bool whole = pipeline.hasResult();
    rec->data = DataFileText::make(whole ? pipeline.res().data() : nullptr, whole ? pipeline.size() : 0,
                                   job.region, job.lowerLimit, job.upperLimit, job.dataOffset);
    Handoff::release(rec);
    emit saveDataWDiscard(rec);  // the receiver deletes it
}

void CtCalc2::setSaveImage(bool f, QString path, QString name, QString tag)
{
    if (!onOwnThread()) {
        Handoff::release(this);
        QMetaObject::invokeMethod(this, "setSaveImage", Qt::QueuedConnection, Q_ARG(bool, f),
                                  Q_ARG(QString, path), Q_ARG(QString, name),
                                  Q_ARG(QString, tag));
        return;
    }
    Handoff::Scope scope(this);
    imgSaveOn = f;
    imgPath = path;
    imgName = name;
    imgTag = tag;
}

void CtCalc2::setSaveData(bool f, QString path, QString name, QString tag)
{
    if (!onOwnThread()) {
        Handoff::release(this);
        QMetaObject::invokeMethod(this, "setSaveData", Qt::QueuedConnection, Q_ARG(bool, f),
                                  Q_ARG(QString, path), Q_ARG(QString, name),
                                  Q_ARG(QString, tag));
        return;
    }
    Handoff::Scope scope(this);
    dataSaveOn = f;
    dataPath = path;
    dataName = name;
    dataTag = tag;
}

void CtCalc2::beginingCt()
{
    busy.store(true);
    startTime = QDateTime::currentDateTime();
    emit sliceStarted(sliceNo, startTime);
}

void CtCalc2::endingCt()
{
    endTime = QDateTime::currentDateTime();
    emit sliceEnded(endTime);
    busy.store(false);
    releaseClaim();
    emit calcFinished();
}
