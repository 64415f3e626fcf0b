#pragma once
// The main window of Tomix: owns every panel, worker and workflow (LoadQueue,
// RunControl, BatchBridge, XafsSequence, ViewerWorkflow) and the helpers
// that keep panels in step (LoadResets, RawOverlay, RegionSync, SetupDialog),
// and wires them to the form.
#include "BatchCmd.h"
#include "CalcConds.h"
#include "RegionSync.h"

#include <QFileInfo>
#include <QFrame>
#include <QList>
#include <QStringList>

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QThread;
class Batch;
class BatchBridge;
class BodyCommands;
class CtCalc;
class CtCalc2;
class CtCalc2Ui;
class CorTrialStrip;
class CtDisp;
class DataSaver;
class ImgDatas;
class LoadQueue;
class LoadResets;
class LogDock;
class OrvexLink;
class PopDockBase;
class RawDisp;
class RawOverlay;
class RunControl;
class EnergyCurvePanel;
class ViewerWorkflow;
class Sinogram;
class XafsBatch;
class XafsSequence;
namespace Ui { class Body; }

class Body : public QFrame
{
    Q_OBJECT
    // The command set and the setup files reach every control, as a user does.
    friend class BodyCommands;
    friend class SetupFile;
    friend class SettingsTable;
public:
    explicit Body(QWidget *parent = nullptr);
    ~Body() override;

    // Access for the command dispatcher, setup files and tests.
    Ui::Body *form() const { return ui; }
    ImgDatas *images() const { return imgDatas; }
    Sinogram *sinogram() const { return sgm; }
    CtCalc *ctCalc() const { return ctCalc1; }
    CtDisp *ctDisp() const { return ctImages; }
    CorTrialStrip *corTrials() const { return trialStrip; }
    // "Auto CoR" of the sequence controls: every data set finds its CoR
    // before it is reconstructed.
    QCheckBox *autoCorBox() const { return autoCor; }
    RawDisp *rawDisp() const { return raw; }
    OrvexLink *orvexLink() const { return orx; }
    // Every line written to the terminal ("Log", closed at start) and, in
    // the status bar, the last failure.
    LogDock *logDock() const { return logLines; }
    QLabel *lastFailureLabel() const { return lastFailure; }
    DataSaver *dataSaver() const { return saver; }
    EnergyCurvePanel *spectrumPanel() const { return spectrum; }
    XafsBatch *xafsBatch() const { return xafs; }
    Batch *batch() const { return batchInt; }
    const QList<CtCalc2 *> &workers() const { return ctc2s; }
    const QList<CtCalc2Ui *> &workerPanels() const { return ctc2Uis; }
    CalcConds &calcConds() { return conds; }
    bool isCalculating() const;
    // A stopped run whose workers still finish the slices they hold.
    bool isEnding() const;
    bool isLoading() const;
    // Failures outside the batch's own commands since construction: lines of
    // the configuration or a setup file that failed, configuration files
    // INCLUDEd that could not be read, setup files that could not be read or
    // written, rejected image files of a series, result folders that could
    // not be made, slices of runs no batch command started that could not be
    // reconstructed. Each was named by a warning.
    int failures() const { return failureCount; }
    // Image files of the series being (or last) loaded that were rejected.
    int rejectedOnLoad() const;
    int orxStage() const;
    bool orxContinuous() const;
    const QList<double> &i0EnergyList() const;
    // Files that would be sent to the viewer for a slice (see sendSliceFilesToViewer).
    void sendSliceFilesToViewer(int slice);

    // `resetOnLoad` flags: regions, slice-to, slice, CoR.
    bool resetRegionsOnLoad = true;
    bool resetSliceToOnLoad = true;
    bool resetSliceOnLoad = true;
    bool resetCorOnLoad = true;
    // A run was started by the batch (calc_exec).
    bool batchStarted = false;

signals:
    void batchCalcStart();
    void batchCalcFinished();
    void finishing();
    void finishedLoadingCTFiles();
    void calcFinished();
    void callBatchLoad(QString fname);
    void callBatchExec();
    void callBatchCheckEnd();

private slots:
    // The series has loaded: conditions reset to its size, the sequence and
    // the batch go on.
    void seriesLoaded();
    void showDispRaw();
    void showSinogram();
public slots:
    // Reconstructs the current slice at the CoRs from..to by step on the
    // workers, shown in "CoR Trials". False, after a warning, when no run
    // can start (a run going on, no images, no valid list).
    bool startCorTrials(double from, double to, double step);
    void toggleCalcCt();
    void startCalcCt();
    void stopCalcCt();
private slots:
    void setShowAdditionalInfo(bool f);
    void setShowAdditionalAdditionalInfo(bool f);
    void changedCtSel(QAbstractButton *button);
    void changedAutoExec();
public slots:
    void batchExCmd(BatchCmd cmd);
public slots:
    void saveSetup(QString fname);
    void loadSetup(QString fname);
private slots:
    void ctImage(int no, QImage img);
public slots:
    void batchLoad(QString fname);
    void batchExec();
    void setFixColorScale(bool f);
    void setColorMin(double v);
    void setColorMax(double v);
    void setAutoSaveImage(bool f);
    void setAutoSaveData(bool f);

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    QThread *startThreadFor(QObject *o);
    bool hasImages() const;
    // Regions and colour scale as the settings set them, to every panel.
    void applyRegions(double rx0, double rz0, double rx1, double rz1, bool calcRegion, QObject *from)
    {
        regions->apply(rx0, rz0, rx1, rz1, calcRegion, from);
    }
    void fixColorScaleChanged() { regions->fixColorScaleChanged(); }
    double colorMin() const { return regions->colorMin(); }
    double colorMax() const { return regions->colorMax(); }
    // A line of the configuration or a setup file: the batch is not told.
    void runOwnCommand(const BatchCmd &cmd);
    // The log dock and the status bar below the window's panels.
    void buildLogAndStatus();

    Ui::Body *ui;
    bool showAllCt2Images = false;
    CalcConds conds;

    int failureCount = 0;
    // the setup files being loaded, outermost first (canonical paths)
    QStringList setupsLoading;
    BodyCommands *commands;

    Batch *batchInt;
    XafsBatch *xafs;
    RawDisp *raw;
    Sinogram *sgm;
    CtCalc *ctCalc1;
    ImgDatas *imgDatas;
    CtDisp *ctImages;
    CorTrialStrip *trialStrip = nullptr;
    QCheckBox *autoCor = nullptr;
    XafsSequence *sequence = nullptr;
    LoadQueue *loader = nullptr;
    BatchBridge *bridge = nullptr;
    RunControl *runs = nullptr;
    OrvexLink *orx;
    ViewerWorkflow *viewer = nullptr;
    RegionSync *regions = nullptr;
    RawOverlay *overlay = nullptr;
    LoadResets *resets = nullptr;
    LogDock *logLines = nullptr;
    QLabel *lastFailure = nullptr;
    DataSaver *saver = nullptr;
    QThread *saverThread = nullptr;
    QButtonGroup *ctSel = nullptr;
    QList<CtCalc2 *> ctc2s;
    QList<CtCalc2Ui *> ctc2Uis;
    QList<QThread *> threads;
    bool shownOnce = false;
    EnergyCurvePanel *spectrum = nullptr;
};
