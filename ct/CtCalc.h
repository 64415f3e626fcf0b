#pragma once
// "CT Calc": reconstructs the current slice from the Sinogram panel's record
// by filtered back-projection, in one go or projection by projection with the
// partial image shown after each projection, and shows the result through its
// colour bar. The numerics are those of a SlicePipeline; the calculation runs on the
// GUI thread, paced in the one-by-one mode by a CtProgress on its own thread.
#include "CorrectionSettings.h"
#include "HSgm.h"
#include "SlicePipeline.h"

#include <QDateTime>
#include <QFrame>
#include <QImage>
#include <QRectF>
#include <QString>

class CalcConds;
class CtProgress;
class HSgm;
class QThread;
class Sinogram;

namespace Ui {
class CtCalc;
}

class CtCalc : public QFrame
{
    Q_OBJECT

public:
    // `conds` (may be null: angle offset 0) is read at every calculation.
    explicit CtCalc(CalcConds *conds, QWidget *parent = nullptr);
    ~CtCalc() override;

    void setSinogram(Sinogram *s) { sinogram = s; }
    bool isRunning() const { return running; }
    // Running, or an at-once calculation posted and not yet carried out.
    bool isBusy() const { return running || atOncePending; }
    // Why the last startCt started nothing (empty when it started).
    QString refusal;

    // Stages, buffers and result: res is N x N, row z, column x (pipeline.resAt).
    SlicePipeline pipeline;
    const std::vector<double> &res() const { return pipeline.res(); }
    int fftN() const { return pipeline.size(); }

    Sinogram *sinogram = nullptr;
    CalcConds *conds = nullptr;
    CtProgress *progress = nullptr;
    QThread *progressThread = nullptr;
    HSgm *hSgm = nullptr;       // the record being reconstructed
    // With corrections on, a copy of the panel's record: the stages work on
    // it in place and the panel keeps the sinogram as built.
    HSgm corrected;
    CorrectionSettings installed;   // the stages the pipeline holds
    int nProj = 0;
    bool running = false;
    bool regionSet = false;
    QDateTime startTime, endTime;

    // Save settings; the single-slice calculation writes no files.
    bool saveImage = false, saveData = false;
    QString imagePath, imageName, imageTag;
    QString dataPath, dataName, dataTag;

    Ui::CtCalc *ui;

signals:
    void askToStartCalc();
    void startCalcAll();
    void calcFinished();
    void startCalcOneByOne();
    void finishedCalcOne();
    void dRUpdated(double rx0, double rz0, double rx1, double rz1);
    void cRUpdated(double rx0, double rz0, double rx1, double rz1);

public slots:
    void calcCt();
    // True when a calculation was started; otherwise `refusal` says why not.
    bool startCt();
    void stopCt();
    void endCt();
    void calcAll();
    void calcOne(int iz);
    void genResImage();
    void setDR(double rx0, double rz0, double rx1, double rz1);
    void setCR(double rx0, double rz0, double rx1, double rz1);
    void setCRegion();
    void noticedNewS(QRectF s);
    void noticedNewPos(double x, double z);
    void setFixColorScale(bool f);
    void setCBarMinMaxForced(double min, double max);
    void setSaveImage(bool f, QString path, QString name, QString tag);
    void setSaveData(bool f, QString path, QString name, QString tag);

private:
    // The calculation region as the Crx0..Crz1 fields show it now.
    SliceRegion calcRegion() const;
    // The record still has the size the buffers were made for.
    bool sinogramFits() const;
    double angleOffset() const;

    int nextProj = 0;   // the projection the one-by-one chain is due to deliver
    bool atOncePending = false;     // startCalcAll emitted, calcAll not yet run
};
