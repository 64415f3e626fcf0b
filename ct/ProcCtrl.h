#pragma once
// "Proc Control": the conditions of a reconstruction the user edits - slice,
// centre of rotation, two recorded CoR/slice pairs, rotation axis, slice range
// and step, angle offset, worker threads, the two switches and the filter
// (window, cut-off, padding).
#include "EnergyShift.h"
#include "RampFilter.h"

#include <QFrame>

class QAbstractButton;
class CalcConds;

namespace Ui {
class ProcCtrl;
}

class ProcCtrl : public QFrame
{
    Q_OBJECT

public:
    explicit ProcCtrl(QWidget *parent = nullptr);
    ~ProcCtrl() override;

    // Typed values, read directly by the sinogram panel; changed only through
    // the setters and the form, which announce every change.
    bool rotAxIsV = false;
    int sliceNo = 1000;
    double cor = 1000;
    double recCor1 = 0, recCor2 = 0;
    int recSlice1 = -1, recSlice2 = -1;

    // Form values; text that does not parse gives 0.
    int getSliceFrom() const;
    int getSliceTo() const;
    int getSliceStep() const;
    double getAngleOffset() const;
    int getThreads() const;
    bool isAutoUpdate() const;
    bool isAutoExec() const;

    // The loaded data set's shift against the reference set of its sequence
    // (off: none). The CoR and the recorded pairs stay the reference set's;
    // a run adds the shift (CalcConds::shift). Set by the sequence on every load.
    const EnergyShift &energyShift() const { return shiftOfSet; }
    void setEnergyShift(const EnergyShift &s);

    // Recorded pair k (1 or 2); slice < 0 shows an empty field.
    void setRecordedCoR(int k, int slice, double cor);
    // The Threads maximum and the "/n" label.
    void setMaxThreads(int n);
    void setThreads(int n);
    void setAutoUpdate(bool on);
    void setAutoExec(bool on);
    // Selects the axis button; emits rotAxUpdated only when the axis changes.
    void setRotAxIsV(bool v);

    // The filter shown: "Filter", "Cut-off" and "Padding". A cut-off field
    // that does not hold a value in (0, 0.5] is named on the warning channel
    // and the last valid cut-off is used (and shown again).
    RampFilter filterSpec() const;
    // Each refuses (false, nothing changed) an unknown name or a cut-off
    // outside (0, 0.5].
    bool setFilterWindow(const QString &name);
    bool setFilterCutoff(double c);
    bool setFilterPadding(const QString &name);
    // The reconstruction method shown ("Method": a ReconMethod name);
    // setMethod refuses (false, nothing changed) an unknown name.
    QString methodName() const;
    bool setMethod(const QString &name);

    // CoR for slice s: along the line through the two recorded pairs when both
    // are set and differ in slice, otherwise the current CoR.
    double corForSlice(int s) const;
    // Copies the conditions into the record; the step points from From to To.
    void fillConds(CalcConds *conds, bool doCt1, bool doCt2) const;

signals:
    void autoUpdateUpdated();
    void autoExecUpdated();
    void rotAxUpdated();
    void sliceNoUpdated();
    void corUpdated();
    void askGenImage();
    // "Find": find the CoR of the current slice with the chosen method.
    void askFindCor(QString method);

public slots:
    void setCor(double cor);
    void setSliceNo(int sliceNo);
    void setSliceFrom(int from);
    void setSliceTo(int to);
    void setSliceStep(int step);
    void setAngleOffset(double deg);
    void recordCoR();
    void clearRecordedCoR();
    void sliceNoEditingFinished();
    void corEditingFinished();
    void rotAxSelectionChanged(QAbstractButton *button);
    // "Find" turns red when nothing was found, back when something was.
    void showFindResult(bool found);

private:
    void showRecorded(int k);
    // Takes the cut-off field if it is valid, else shows the last valid one.
    void cutOffEditingFinished();

    double cutOff = 0.5;        // last valid cut-off

    Ui::ProcCtrl *ui;
    EnergyShift shiftOfSet;     // see energyShift()
};
