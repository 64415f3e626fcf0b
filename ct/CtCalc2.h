#pragma once
// One multi-slice worker: lives on a QThread of its own and reconstructs the
// slices handed to it, one at a time, with the numerical core of the
// single-slice calculator.
//
// Protocol. The main window emits startCt(worker, ...) to every worker; only
// the addressed worker acts, and only when it is idle. Before emitting, the
// window calls reserve() on the addressed worker (GUI thread): it copies the
// panel's calculation region, the colour bar's range, markers and "Fix"
// state and the data limits, and marks the worker busy until it reports the
// slice finished, so that a slice still queued to it keeps the run alive.
// calcFinished follows every slice, also one that produced nothing; such a
// slice is announced by sliceRefused first.
//
// The worker never touches a widget: times, slice number, the region it
// chose, the colour-bar range, the slice image and value readouts reach the
// panel by queued signal; images are rendered into a worker-owned QImage and
// handed over as copies. Save records go to the DataSaver by queued signal
// and belong to it from then on.
#include "CorrectionSettings.h"
#include "EnergyShift.h"
#include "GreyMap.h"
#include "HSgm.h"
#include "SavingData.h"
#include "SavingImg.h"
#include "ReconMethod.h"
#include "SlicePipeline.h"

#include <QDateTime>
#include <QImage>
#include <QObject>
#include <QString>

#include <atomic>
#include <deque>
#include <mutex>

class CalcConds;
class CtCalc2Ui;
class SaveQueue;
class Sinogram;

class CtCalc2 : public QObject
{
    Q_OBJECT
public:
    // What a slice needs from the GUI thread, copied when it is dispatched.
    struct Job {
        SliceRegion region{0, 0, 2047, 2047};      // calculation region
        bool regionSet = false;     // false: the first slice sets (0, 0, N, N)
        bool fixed = false;         // colour bar "Fix"
        GreyMap grey;               // colour-bar range and markers
        double angleOffset = 0;     // degrees
        double lowerLimit = 0, upperLimit = 0, dataOffset = 0;
        bool trial = false;         // a CoR trial: image always made, saved flat under trialTag
        int bpThreads = 1;          // back-projection threads (more for a lone slice)
        RampFilter filter;          // window, cut-off and padding of the run
        double i0Scale = 1.0;       // ion-chamber ratio the sinogram is built with
        CorrectionSettings corrections;     // the sinogram stages of the run
        EnergyShift shift;          // the set's shift against its sequence's reference
        std::string method = ReconMethod::backProjection;  // reconstruction method of the run
    };

    explicit CtCalc2(CalcConds *conds = nullptr, QObject *parent = nullptr);
    ~CtCalc2() override;

    CtCalc2Ui *ui = nullptr;
    CalcConds *conds = nullptr;
    Sinogram *sinogram = nullptr;
    HSgm hSgm;
    std::atomic<bool> busy{false};
    int fftN = 0;
    int nProj = 0;
    SlicePipeline pipeline;         // stages, buffers and result of the slices
    QImage dispImage;               // worker-owned; copies go out
    bool imageMade = false;
    bool genAndDispImage = true;
    bool imgSaveOn = false;
    QString imgPath, imgName, imgTag;
    bool dataSaveOn = false;
    QString dataPath, dataName, dataTag;
    // The saver's queue: a record is handed over only when it has room (the
    // worker waits for it). Set once before the worker's thread starts.
    SaveQueue *saveQueue = nullptr;
    Job job;                        // the conditions of the current slice
    int sliceNo = 0;                // slice in work / last worked on
    double corUsed = 0;             // the CoR that slice is reconstructed at
    QDateTime startTime, endTime;

    // GUI thread, once: pairs the worker with its panel and connects them.
    void setUi(CtCalc2Ui *panel);
    void setSinogram(Sinogram *s) { sinogram = s; }
    // The pipeline's buffers for sinograms `width` samples wide (the grid is
    // that rounded down to even), n projections and the filter (no change
    // when already of that kind). From another thread the request is queued
    // to the worker's thread.
    // `method` names the reconstruction method (ReconMethod; an unknown
    // name keeps the method in use).
    void prepare(int width, int n, const RampFilter &filter = RampFilter(),
                 const std::string &method = ReconMethod::backProjection);

    // GUI thread, right before emitting startCt for this worker (see above);
    // a CoR trial when `trial`; a slice that runs alone may back-project on
    // `bpThreads` threads.
    void reserve(bool trial = false, int bpThreads = 1);
    // The tag of a CoR trial's files: tag + "-cor" + the CoR in the shortest
    // 6-digit form, or "cor" + CoR for an empty tag ("F-cor70.35", "cor70.35").
    static QString trialTag(const QString &tag, double cor);
    // Busy with a slice or holding one that has not started yet.
    bool isBusy() const { return busy.load() || claims.load() > 0; }
    // Slices refused since construction; raised before the worker turns
    // idle, so whoever sees it idle sees its count.
    int refused() const { return refusedCount.load(); }

signals:
    void askToStartCalc();
    // A slice handed to the worker gave no result (CoR or slice outside the
    // image, a line without a finite pixel, ...): named on the warning
    // channel and sent before that slice's calcFinished.
    void sliceRefused(int slice, QString why);
    void calcFinished();
    void saveDataWDiscard(SavingData *data);
    void saveImgWDiscard(SavingImg *img);
    void ctImage(int slice, QImage imge);
    // A CoR trial's image with the CoR it was made at.
    void trialImage(double cor, int slice, QImage image);

    // To the panel.
    void sliceStarted(int slice, QDateTime when);
    void sliceCor(double cor);
    void sliceEnded(QDateTime when);
    void regionDefaulted(double rx0, double rz0, double rx1, double rz1);
    void cBarRange(double min, double max);
    void resImage(QImage image);
    void resValue(double v);

public slots:
    void startCt(CtCalc2 *ctc2, bool rotAxIsV, double cor, int slice, bool genAndDispImage);
    void startCt(CtCalc2 *ctc2, bool rotAxIsV, double cor, int slice);
    void genResImage();
    void saveImage();
    void saveData();
    // May be called from any thread; applied on the worker's thread.
    void setSaveImage(bool f, QString path, QString name, QString tag);
    void setSaveData(bool f, QString path, QString name, QString tag);
    void beginingCt();
    void endingCt();

    // Renders again with a new colour-bar state (the user changed the bar)
    // and shows the result.
    void reRender(const GreyMap &grey, bool fixed);
    // Sends resValue for the pixel at column x, row z, if there is one.
    void valueAt(double x, double z);
    // Takes the conditions of the next slice (one posted per reserve()).
    void takeJob();
    // Carries out the oldest prepare() asked from another thread.
    void takePrepare();

private:
    void releaseClaim();
    bool onOwnThread() const;

    std::atomic<int> claims{0};
    std::atomic<int> refusedCount{0};
    std::mutex jobsLock;
    std::deque<Job> jobs;       // reserved, not yet taken
    // prepare() asked from another thread, not yet carried out (under
    // jobsLock): the values cross threads here, where the sanitizer sees the
    // lock, not inside the event queue
    struct PrepareRequest {
        int width = 0, n = 0;
        RampFilter filter;
        std::string method;
    };
    std::deque<PrepareRequest> prepares;
    CorrectionSettings installed;   // the stages the pipeline holds
};

Q_DECLARE_METATYPE(CtCalc2::Job)
Q_DECLARE_METATYPE(GreyMap)
