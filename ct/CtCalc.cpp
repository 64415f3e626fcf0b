#include "CtCalc.h"
#include "NumberField.h"
#include "RegionFields.h"

#include "CalcConds.h"
#include "ColorBar.h"
#include "CtProgress.h"
#include "HSgm.h"
#include "ProcCtrl.h"
#include "ImgDispWPV.h"
#include "Sinogram.h"

#include "ui_CtCalc.h"

#include <QCoreApplication>
#include <QDebug>
#include <QLineEdit>
#include <QThread>

#include <algorithm>

#include <cmath>

namespace {
const char timeFormat[] = "hh:mm:ss.zzz";

QString num(double v)
{
    return QString::number(v, 'g', 6);
}

}

CtCalc::CtCalc(CalcConds *c, QWidget *parent)
    : QFrame(parent), conds(c), progress(new CtProgress), progressThread(new QThread),
      ui(new Ui::CtCalc)
{
    ui->setupUi(this);
    for (QLineEdit *e : {ui->Drx0, ui->Drz0, ui->Drx1, ui->Drz1, ui->Crx0, ui->Crz0, ui->Crx1,
                         ui->Crz1})
        NumberField::fit(e);
    progressThread->setObjectName("CtProgress");
    progress->moveToThread(progressThread);

    connect(ui->StartCalc, &QPushButton::clicked, this, &CtCalc::askToStartCalc);
    connect(ui->SetCRegion, &QPushButton::clicked, this, &CtCalc::setCRegion);
    connect(ui->DispCt, &ImgDispWCBar::newBar, this, &CtCalc::genResImage);
    connect(ui->DispCt, &ImgDisp::newS, this, &CtCalc::noticedNewS);
    connect(ui->DispCt, &ImgDispWPV::newPosInvY, this, &CtCalc::noticedNewPos);
    // a region typed by hand is as good as one set through setCR: the first
    // calculation keeps it
    for (QLineEdit *e : {ui->Crx0, ui->Crz0, ui->Crx1, ui->Crz1})
        connect(e, &QLineEdit::textEdited, this, [this] { regionSet = true; });

    // across threads: queued
    connect(this, &CtCalc::startCalcAll, progress, &CtProgress::startCalcAll);
    connect(progress, &CtProgress::calcAll, this, &CtCalc::calcAll);
    connect(this, &CtCalc::startCalcOneByOne, progress, &CtProgress::startCalcOneByOne);
    connect(progress, &CtProgress::calcOne, this, &CtCalc::calcOne);
    connect(this, &CtCalc::finishedCalcOne, progress, &CtProgress::calcNext);
    // the end of a chain that was stopped meanwhile has been reported already
    connect(progress, &CtProgress::finishedCalcOneByOne, this, [this] {
        if (running)
            endCt();
    });

    setCR(0, 0, 2047, 2047);
    regionSet = false;
}

CtCalc::~CtCalc()
{
    progressThread->quit();
    progressThread->wait();
    delete progress;
    delete progressThread;
    delete ui;
}

double CtCalc::angleOffset() const
{
    return conds ? conds->angleOffset : 0.0;
}

SliceRegion CtCalc::calcRegion() const
{
    SliceRegion r;
    r.x0 = ui->Crx0->text().toDouble();
    r.z0 = ui->Crz0->text().toDouble();
    r.x1 = ui->Crx1->text().toDouble();
    r.z1 = ui->Crz1->text().toDouble();
    return r;
}

bool CtCalc::sinogramFits() const
{
    return hSgm && pipeline.fits(*hSgm);
}

void CtCalc::calcCt()
{
    if (running)
        endCt();
    else
        startCt();
}

bool CtCalc::startCt()
{
    // Nothing started: one line says why, and the caller learns it too.
    // Once the start is shown, so is the end of a run that never began.
    bool startShown = false;
    const auto refuse = [this, &startShown](const QString &why) {
        refusal = why;
        qWarning().noquote() << why;
        if (startShown) {
            endTime = QDateTime::currentDateTime();
            ui->EndT->setText(endTime.toString(timeFormat));
            ui->SpentT->setText(num(startTime.msecsTo(endTime) / 1000.0));
        }
        return false;
    };
    refusal.clear();
    if (!sinogram)
        return refuse(QStringLiteral("No sinogram panel to reconstruct from"));
    if (isBusy())
        return refuse(QStringLiteral("A reconstruction is already in progress"));
    startTime = QDateTime::currentDateTime();
    ui->StartT->setText(startTime.toString(timeFormat));
    // the previous run's end and time are not this run's
    ui->EndT->setText(QStringLiteral("--"));
    ui->SpentT->setText(QStringLiteral("--"));
    startShown = true;

    // a refused CoR leaves the previous slice's rows in the record: not ours
    const bool built = sinogram->genSinogram();
    hSgm = &sinogram->hSgm;
    const CorrectionSettings corr = conds ? conds->corrections : CorrectionSettings();
    corr.fit(pipeline, installed);
    if (corr.any()) {
        corrected = sinogram->hSgm;
        hSgm = &corrected;
    }
    if (!built || !hSgm->hasData() || qint64(hSgm->width) * hSgm->height <= 0) {
        const ProcCtrl *pc = sinogram->procCtrl();
        return refuse(QString("Slice %1 not reconstructed : ").arg(pc ? pc->sliceNo : 0)
                      + (hSgm->why.isEmpty() ? QStringLiteral("no sinogram") : hSgm->why));
    }
    ui->ShowSliceNo->setText(QString::number(hSgm->slice));
    const int n = hSgm->height;
    const int N = SlicePipeline::lengthFor(hSgm->width);
    // one or two samples leave nothing to transform
    if (N < 2)
        return refuse("Sinogram too narrow to reconstruct : " + QString::number(hSgm->width));
    // the filter of this run, kept by the pipeline until its next start;
    // prepared, the sinogram corrected and the result cleared
    pipeline.useMethod(conds ? conds->method : std::string(ReconMethod::backProjection));
    pipeline.setFilter(conds ? conds->filter : RampFilter());
    if (!pipeline.begin(*hSgm))
        return refuse(QString("Can not prepare the reconstruction of %1 x %2").arg(N).arg(n));
    nProj = n;
    if (!regionSet)
        setCR(0, 0, N, N);
    // one slice: its back-projection takes the threads a range would have
    pipeline.setThreads(std::max(1, conds ? conds->threads : QThread::idealThreadCount()));
    QImage blank(N, N, QImage::Format_Grayscale8);
    blank.fill(0);
    ui->DispCt->image = blank;
    ui->DispCt->dispA()->update();

    progressThread->start();
    running = true;
    if (ui->CalcAtOnce->isChecked()) {
        atOncePending = true;
        emit startCalcAll();
        running = false;
    } else {
        nextProj = 0;
        // posted before startCalcOneByOne to the same object: handled first
        QMetaObject::invokeMethod(progress, "setTotal", Qt::QueuedConnection, Q_ARG(int, n));
        emit startCalcOneByOne();
    }
    return true;
}

void CtCalc::stopCt()
{
    endCt();
}

void CtCalc::endCt()
{
    running = false;
    atOncePending = false;      // a posted calcAll of a stopped run does nothing
    progressThread->quit();
    progressThread->wait();
    // a step of the stopped chain still waiting for the pacer must not run
    // into the next calculation
    QCoreApplication::removePostedEvents(progress);
    endTime = QDateTime::currentDateTime();
    ui->EndT->setText(endTime.toString(timeFormat));
    ui->SpentT->setText(num(startTime.msecsTo(endTime) / 1000.0));
    emit calcFinished();
}

void CtCalc::calcAll()
{
    if (!atOncePending)
        return;     // stopped before it came to run: its end has been reported
    if (sinogramFits()) {
        pipeline.filterAll(*hSgm);
        pipeline.projectAll(angleOffset(), calcRegion());
        genResImage();
    } else {
        qDebug() << "Sinogram changed before the calculation";
    }
    endCt();
}

void CtCalc::calcOne(int iz)
{
    if (!running || iz != nextProj)
        return;
    if (!sinogramFits() || iz < 0 || iz >= pipeline.projections()) {
        qDebug() << "Sinogram changed during the calculation";
        endCt();
        return;
    }
    pipeline.step(*hSgm, iz, angleOffset(), calcRegion());
    ++nextProj;
    genResImage();
    endTime = QDateTime::currentDateTime();
    ui->EndT->setText(endTime.toString(timeFormat));
    emit finishedCalcOne();
}

void CtCalc::genResImage()
{
    const int N = pipeline.size();
    if (!pipeline.hasResult())
        return;
    ColorBar *bar = ui->DispCt->CBar;
    if (pipeline.resValid()) {
        pipeline.findExtremes();
        if (bar->setRangeUnlessFixed(pipeline.resMin, pipeline.resMax))
            bar->update();
    }
    const QImage img = bar->greyMap().render(pipeline.res().data(), N, N);
    if (img.isNull())
        return;
    ui->DispCt->image = img;
    ui->DispCt->newImage();
    ui->DispCt->dispA()->update();
}

void CtCalc::setDR(double rx0, double rz0, double rx1, double rz1)
{
    if (!setRegionFields({ui->Drx0, ui->Drz0, ui->Drx1, ui->Drz1}, {rx0, rz0, rx1, rz1}))
        return;
    ui->DispCt->region = QRectF(rx0, rz0, rx1 - rx0, rz1 - rz0);
    ui->DispCt->scaled = true;
    ui->DispCt->dispA()->update();
    emit dRUpdated(rx0, rz0, rx1, rz1);
}

void CtCalc::setCR(double rx0, double rz0, double rx1, double rz1)
{
    if (!setRegionFields({ui->Crx0, ui->Crz0, ui->Crx1, ui->Crz1}, {rx0, rz0, rx1, rz1}))
        return;
    regionSet = true;
    emit cRUpdated(rx0, rz0, rx1, rz1);
}

void CtCalc::setCRegion()
{
    // the pixels whose centres are in view (pixel k covers k - 0.5 .. k + 0.5)
    setCR(std::ceil(ui->Drx0->text().toDouble()), std::ceil(ui->Drz0->text().toDouble()),
          std::floor(ui->Drx1->text().toDouble()), std::floor(ui->Drz1->text().toDouble()));
}

void CtCalc::noticedNewS(QRectF s)
{
    setDR(s.x(), s.y(), s.x() + s.width(), s.y() + s.height());
}

void CtCalc::noticedNewPos(double x, double z)
{
    const int N = pipeline.size();
    if (!pipeline.hasResult())
        return;
    const double tx = std::trunc(x), tz = std::trunc(z);
    if (!(tx >= 0 && tx < N && tz >= 0 && tz < N))     // also NaN
        return;
    ui->DispCt->setVal(pipeline.resAt(int(tz), int(tx)));
}

void CtCalc::setFixColorScale(bool f)
{
    ui->DispCt->CBar->setFixColorScale(f);
}

void CtCalc::setCBarMinMaxForced(double min, double max)
{
    ui->DispCt->CBar->setMin(min);
    ui->DispCt->CBar->setMax(max);
    ui->DispCt->CBar->update();
}

void CtCalc::setSaveImage(bool f, QString path, QString name, QString tag)
{
    saveImage = f;
    imagePath = path;
    imageName = name;
    imageTag = tag;
}

void CtCalc::setSaveData(bool f, QString path, QString name, QString tag)
{
    saveData = f;
    dataPath = path;
    dataName = name;
    dataTag = tag;
}
