#pragma once
// The window's side of a CT-XAFS sequence: hands the data sets the
// sequencer (XafsBatch) asks for to the series loader, each with the I0
// image of the energy nearest its own, names results after the set, finds
// each set's CoR ("Auto CoR") and shows the sequence's stages.
//
// States:
//   idle       - no sequence; a data set chosen by hand still loads with its
//                I0 and its name as tag.
//   running    - between XafsBatch::starting and ::finished: the save tags
//                found at the start are kept and come back at the end.
//   set loading - a set was handed to the loader (setLoading()); when the
//                series has loaded (seriesLoaded) it finds its shift against
//                the reference set ("Align Energies", EnergyAlignment), then
//                its CoR, back to running / idle. Without the alignment,
//                "Auto CoR" finds the set's own CoR and puts it on the grid
//                of the reference set's CoR (EnergyShift::onGridOf). Any
//                other load clears the shift.
//   refused    - the set's I0 can't be read (refused()): the series is
//                emptied, nothing loads; cleared by clearRefused().
#include <QFileInfoList>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class EnergyAlignment;
class QCheckBox;
class QBoxLayout;
class Sinogram;
class XafsBatch;
namespace Ui { class Body; }

class XafsSequence : public QObject
{
    Q_OBJECT
public:
    XafsSequence(Ui::Body *ui, XafsBatch *xafs, Sinogram *sgm, QObject *parent = nullptr);

    void setAutoCorBox(QCheckBox *box) { autoCor = box; }
    // "Align Energies" and "Reference Set", put as a row into `column` at `at`.
    EnergyAlignment *alignment() const { return align; }
    void placeAlignControls(QBoxLayout *column, int at);
    // The listed I0 file of the energy nearest `energy`; empty when none is listed.
    QString i0FileFor(double energy) const;
    const QList<double> &i0EnergyList() const { return i0Energies; }
    // The last data set handed over was refused (its I0 file can't be read).
    bool refused() const { return setRefused; }
    void clearRefused() { setRefused = false; }
    // The series has loaded (sized: it has an image size): a data set of the
    // sequence finds its own CoR, as samples drift between energies.
    void seriesLoaded(bool sized);

signals:
    void setFirstSet(int firstIdx);
    void setNextSet(int lastIdx);
    void stage(QString msg, qulonglong dEt);
    // A data set could not be loaded (named by a warning).
    void failed();

public slots:
    void selectedDir(QString dir, QStringList patterns);
    void selectedFileInfoList(QFileInfoList fileInfoList);
    void newSets(int count);
    void setFirstImageSet();
    void setNextImageSet();
    void startingSeqCalc();
    void finishedSeqCalc();
    void i0FilesSelected(QStringList files, bool clear);
    void noticedStage(QString msg, qlonglong dEt);

private:
    // Loads the listed I0 file of the energy nearest the current set's; false
    // (refusedI0 names it) when that file can't be read.
    bool setI0FileFromList();
    // The data set handed over is not loaded (its I0 can't be read): named,
    // setRefused set, the series emptied.
    // The set's tags and I0; false (the set refused) when its I0 can't be read.
    bool beginSet();
    // Names the set that keeps the CoR before it.
    void keptCor() const;
    void refuseSet();

    Ui::Body *ui;
    XafsBatch *xafs;
    Sinogram *sgm;
    QCheckBox *autoCor = nullptr;
    EnergyAlignment *align = nullptr;
    QList<double> i0Energies;
    // The image and data tags a "Seq. Calc." found; each data set's name
    // replaces them while it runs, and they come back when it ends.
    QString seqImageTag, seqDataTag;
    bool setLoading = false;    // the series being loaded is a data set handed over
    bool setRefused = false;
    QString refusedI0;
};
