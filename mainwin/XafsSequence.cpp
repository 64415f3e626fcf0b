#include "XafsSequence.h"
#include "ui_Body.h"

#include "CorActions.h"
#include "EnergyAlignment.h"
#include "EnergyName.h"
#include "Sinogram.h"
#include "StateStyle.h"
#include "XafsBatch.h"

#include <QCheckBox>
#include <QDebug>

#include <cmath>

XafsSequence::XafsSequence(Ui::Body *ui, XafsBatch *xafs, Sinogram *sgm, QObject *parent)
    : QObject(parent), ui(ui), xafs(xafs), sgm(sgm),
      align(new EnergyAlignment(ui->SelDDir, sgm->imgDatas(),
                                [this](double e) { return i0FileFor(e); }, this))
{
}

void XafsSequence::placeAlignControls(QBoxLayout *column, int at)
{
    align->placeControls(column, at);
}

void XafsSequence::seriesLoaded(bool sized)
{
    ProcCtrl *pc = ui->procCtrl;
    if (!setLoading) {
        // a series loaded by hand is no set of the sequence: nothing to add
        pc->setEnergyShift(EnergyShift());
        return;
    }
    setLoading = false;
    EnergyShift shift;
    const bool aligned = sized && align->isOn();
    if (aligned) {
        // shift first, then the CoR: the reference set's, which the shift moves
        if (!align->shiftOfLoadedSet(ui->SelDDir->currentIndex(), &shift))
            emit failed();
        pc->setEnergyShift(shift);
        double cor = 0;
        if (autoCor->isChecked()) {
            if (align->referenceCor(pc->rotAxIsV, pc->sliceNo, &cor))
                pc->setCor(cor);
            else
                keptCor();
        }
        if (sgm->autoUpdate())
            sgm->genSinogram();
        return;
    }
    if (!(sized && autoCor->isChecked())) {
        pc->setEnergyShift(shift);
        return;
    }
    // Each set finds its own CoR, and is reconstructed on the grid of the
    // reference set's CoR, centred on its own axis: the slices of all
    // energies are of one size, and pixel (x, z) is one point of the sample.
    double refCor = 0;
    if (align->referenceCor(pc->rotAxIsV, pc->sliceNo, &refCor)) {
        shift = EnergyShift::onGridOf(refCor);
    } else {
        qWarning().noquote() << QStringLiteral("Data set %1 reconstructed on the grid of its own CoR : "
                                               "the reference set's CoR was not found")
                                    .arg(ui->SelDDir->currentName());
        emit failed();
    }
    pc->setEnergyShift(shift);
    const double before = pc->cor;
    const CorFinder::Result r = CorActions(sgm, pc).find(pc->sliceNo, CorFinder::defaultMethod);
    if (r.ok)
        pc->setCor(r.cor);      // the sinogram follows the new CoR
    else
        keptCor();
    if (pc->cor == before)
        sgm->genImage();        // the same CoR, the new grid
}

void XafsSequence::selectedDir(QString dir, QStringList patterns)
{
    if (!beginSet())
        return;
    if (!ui->CTFiles->chooseInDir(dir, patterns, true)) {   // a set never adds to another
        setLoading = false;
        emit failed();
    }
}

void XafsSequence::selectedFileInfoList(QFileInfoList fileInfoList)
{
    if (!beginSet())
        return;
    ui->CTFiles->chooseFileInfos(fileInfoList, true);
}

bool XafsSequence::beginSet()
{
    const QString name = ui->SelDDir->currentName();
    ui->SelectImageSaveDir->setAddTag(name);
    ui->SelectDataSaveDir->setAddTag(name);
    if (!setI0FileFromList()) {
        refuseSet();
        return false;
    }
    setLoading = true;
    return true;
}

void XafsSequence::keptCor() const
{
    qWarning().noquote() << QStringLiteral("Data set %1 keeps the previous CoR %2")
                                .arg(ui->SelDDir->currentName(), QString::number(ui->procCtrl->cor, 'g', 6));
}

void XafsSequence::refuseSet()
{
    qWarning().noquote() << QStringLiteral("Data set %1 not loaded : its I0 image can't be read : ")
                                    .arg(ui->SelDDir->currentName())
                                + refusedI0;
    setRefused = true;
    // The series goes: what is left of the previous set must not be
    // reconstructed under this set's name, nor this set with another
    // energy's I0. A sequence then finds nothing to reconstruct, counts that
    // and goes on with the next set.
    ui->CTFiles->chooseFileInfos(QFileInfoList(), true);
}

void XafsSequence::newSets(int count)
{
    if (ui->keepOnNewSet->isChecked())
        return;
    ui->SeqCalcFrom->setValue(1);
    ui->SeqCalcTo->setValue(count);
}

void XafsSequence::setFirstImageSet()
{
    emit stage(tr("Loading first Data Set"), qulonglong(xafs->markStage()));
    emit setFirstSet(ui->SeqCalcFrom->value() - 1);
}

void XafsSequence::setNextImageSet()
{
    qDebug() << "loading next data set";
    emit stage(tr("Loading next Data Set"), qulonglong(xafs->markStage()));
    emit setNextSet(ui->SeqCalcTo->value() - 1);
}

void XafsSequence::startingSeqCalc()
{
    seqImageTag = ui->SelectImageSaveDir->addTag();
    seqDataTag = ui->SelectDataSaveDir->addTag();
    ui->SeqCalc->setStyleSheet(StateStyle::activeRun);
}

void XafsSequence::finishedSeqCalc()
{
    // a later run of the user's must not write under the last set's name
    ui->SelectImageSaveDir->setAddTag(seqImageTag);
    ui->SelectDataSaveDir->setAddTag(seqDataTag);
    ui->SeqCalc->setStyleSheet(StateStyle::idleRun);
}

void XafsSequence::i0FilesSelected(QStringList files, bool clear)
{
    if (clear)
        i0Energies.clear();
    for (const QString &f : files) {
        i0Energies << energyFromFileName(f);
        ui->SelI0Files->appendFile(f);
    }
}

void XafsSequence::noticedStage(QString msg, qlonglong dEt)
{
    ui->ProgressMsg->setText(msg);
    ui->DeltaET->setText(QString::number(double(dEt / 100) / 10, 'g', 6));
    ui->TotalET->setText(QString::number(xafs->elapsed() / 1000));
}

QString XafsSequence::i0FileFor(double e) const
{
    int best = 0;
    for (int i = 1; i < i0Energies.size(); ++i)
        if (std::abs(i0Energies.at(i) - e) < std::abs(i0Energies.at(best) - e))
            best = i;
    if (best >= ui->SelI0Files->count())
        return QString();
    return ui->SelI0Files->file(best);
}

bool XafsSequence::setI0FileFromList()
{
    const QString file = i0FileFor(ui->SelDDir->currentEnergy());
    if (file.isEmpty())
        return true;        // no I0 files listed: the I0 image stays as chosen
    ui->I0ImgSel->fileSelected0(file);
    // an unreadable file leaves the previous image in the selector: that
    // is another energy's I0, or none
    if (ui->I0ImgSel->lastLoadFailed()) {
        refusedI0 = file;
        return false;
    }
    return true;
}
