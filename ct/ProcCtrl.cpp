#include "ProcCtrl.h"
#include "NumberField.h"
#include "CalcConds.h"
#include "CtCore.h"

#include "ui_ProcCtrl.h"

#include <QDebug>

#include <cmath>
#include <cstdlib>
#include <limits>

ProcCtrl::ProcCtrl(QWidget *parent) : QFrame(parent), ui(new Ui::ProcCtrl)
{
    ui->setupUi(this);
    NumberField::fit(ui->Cor);
    sliceNo = ui->SliceNo->text().toInt();
    cor = ui->Cor->text().toDouble();
    clearRecordedCoR();
    ui->RotAxH->setChecked(true);
    rotAxIsV = ui->RotAxV->isChecked();

    connect(ui->AutoUpdate, &QCheckBox::toggled, this, &ProcCtrl::autoUpdateUpdated);
    connect(ui->AutoExecCtCalc, &QCheckBox::toggled, this, &ProcCtrl::autoExecUpdated);
    connect(ui->SliceNo, &QLineEdit::editingFinished, this, &ProcCtrl::sliceNoEditingFinished);
    connect(ui->Cor, &QLineEdit::editingFinished, this, &ProcCtrl::corEditingFinished);
    connect(ui->RotAxGroup, &QButtonGroup::buttonClicked, this, &ProcCtrl::rotAxSelectionChanged);
    connect(ui->ClearRecCoR, &QPushButton::clicked, this, &ProcCtrl::clearRecordedCoR);
    // "Record" records the current slice and CoR as pair 1
    connect(ui->RecCoR, &QPushButton::clicked, this, &ProcCtrl::recordCoR);
    connect(ui->CutOff, &QLineEdit::editingFinished, this, &ProcCtrl::cutOffEditingFinished);
    connect(ui->FindCor, &QPushButton::clicked, this,
            [this] { emit askFindCor(ui->FindCorMethod->currentText()); });
}

ProcCtrl::~ProcCtrl()
{
    delete ui;
}

int ProcCtrl::getSliceFrom() const
{
    return ui->SliceFrom->text().toInt();
}

int ProcCtrl::getSliceTo() const
{
    return ui->SliceTo->text().toInt();
}

int ProcCtrl::getSliceStep() const
{
    return ui->SliceStep->text().toInt();
}

double ProcCtrl::getAngleOffset() const
{
    return ui->AngleOffset->text().toDouble();
}

int ProcCtrl::getThreads() const
{
    return ui->Threads->value();
}

bool ProcCtrl::isAutoUpdate() const
{
    return ui->AutoUpdate->isChecked();
}

bool ProcCtrl::isAutoExec() const
{
    return ui->AutoExecCtCalc->isChecked();
}

void ProcCtrl::setCor(double c)
{
    if (c == cor)       // a NaN on either side counts as a change
        return;
    cor = c;
    ui->Cor->setText(QString::number(c, 'g', 6));
    emit corUpdated();
}

void ProcCtrl::setSliceNo(int s)
{
    if (s == sliceNo)
        return;
    sliceNo = s;
    ui->SliceNo->setText(QString::number(s));
    emit sliceNoUpdated();
}

void ProcCtrl::setSliceFrom(int from)
{
    ui->SliceFrom->setText(QString::number(from));
}

void ProcCtrl::setSliceTo(int to)
{
    ui->SliceTo->setText(QString::number(to));
}

void ProcCtrl::setSliceStep(int step)
{
    ui->SliceStep->setText(QString::number(step));
}

void ProcCtrl::setAngleOffset(double deg)
{
    ui->AngleOffset->setText(QString::number(deg, 'g', 6));
}

void ProcCtrl::setThreads(int n)
{
    ui->Threads->setValue(n);
}

void ProcCtrl::setMaxThreads(int n)
{
    ui->Threads->setMaximum(n);
    ui->MaxThreads->setText(QString("/%1").arg(n));
}

void ProcCtrl::setAutoUpdate(bool on)
{
    ui->AutoUpdate->setChecked(on);
}

void ProcCtrl::setAutoExec(bool on)
{
    ui->AutoExecCtCalc->setChecked(on);
}

void ProcCtrl::setRotAxIsV(bool v)
{
    if (v)
        ui->RotAxV->setChecked(true);
    else
        ui->RotAxH->setChecked(true);
    rotAxSelectionChanged(v ? ui->RotAxV : ui->RotAxH);
}

void ProcCtrl::showRecorded(int k)
{
    const int s = (k == 1) ? recSlice1 : recSlice2;
    const double c = (k == 1) ? recCor1 : recCor2;
    QLineEdit *field = (k == 1) ? ui->RecordedCoR1 : ui->RecordedCoR2;
    if (s < 0)
        field->clear();
    else
        field->setText(tr("%1 at %2").arg(c).arg(s));
}

void ProcCtrl::setRecordedCoR(int k, int slice, double c)
{
    if (k == 1) {
        recSlice1 = slice;
        recCor1 = c;
    } else if (k == 2) {
        recSlice2 = slice;
        recCor2 = c;
    } else {
        return;
    }
    showRecorded(k);
}

void ProcCtrl::recordCoR()
{
    setRecordedCoR(2, recSlice1, recCor1);
    setRecordedCoR(1, sliceNo, cor);
}

void ProcCtrl::clearRecordedCoR()
{
    setRecordedCoR(1, -1, 0);
    setRecordedCoR(2, -1, 0);
}

void ProcCtrl::sliceNoEditingFinished()
{
    const int s = ui->SliceNo->text().toInt();
    if (s == sliceNo)
        return;
    sliceNo = s;
    emit sliceNoUpdated();
}

void ProcCtrl::corEditingFinished()
{
    const double c = ui->Cor->text().toDouble();
    if (c == cor)
        return;
    cor = c;
    emit corUpdated();
}

void ProcCtrl::rotAxSelectionChanged(QAbstractButton *)
{
    const bool v = ui->RotAxV->isChecked();
    if (v == rotAxIsV)
        return;
    rotAxIsV = v;
    emit rotAxUpdated();
}

void ProcCtrl::showFindResult(bool found)
{
    ui->FindCor->setStyleSheet(found ? QString() : QStringLiteral("background-color: rgb(255, 192, 192);"));
}

RampFilter ProcCtrl::filterSpec() const
{
    RampFilter f;
    RampFilter::windowFromName(ui->Filter->currentText().toStdString(), &f.window);
    RampFilter::paddingFromName(ui->Padding->currentText().toStdString(), &f.padding);
    bool ok = false;
    const double c = ui->CutOff->text().toDouble(&ok);
    if (ok && RampFilter::cutoffValid(c)) {
        f.cutoff = c;
    } else {
        qWarning().noquote() << "Cut-off refused (it lies in (0, 0.5]) : " + ui->CutOff->text()
                                    + ", " + QString::number(cutOff, 'g', 6) + " used";
        ui->CutOff->setText(QString::number(cutOff, 'g', 6));
        f.cutoff = cutOff;
    }
    return f;
}

void ProcCtrl::cutOffEditingFinished()
{
    bool ok = false;
    const double c = ui->CutOff->text().toDouble(&ok);
    if (ok && RampFilter::cutoffValid(c))
        cutOff = c;
    else
        filterSpec();   // names the refusal and shows the valid value again
}

bool ProcCtrl::setFilterWindow(const QString &name)
{
    RampFilter::Window w;
    if (!RampFilter::windowFromName(name.toStdString(), &w))
        return false;
    ui->Filter->setCurrentText(QString::fromLatin1(RampFilter::windowName(w)));
    return true;
}

bool ProcCtrl::setFilterCutoff(double c)
{
    if (!RampFilter::cutoffValid(c))
        return false;
    cutOff = c;
    ui->CutOff->setText(QString::number(c, 'g', 6));
    return true;
}

bool ProcCtrl::setFilterPadding(const QString &name)
{
    RampFilter::Padding p;
    if (!RampFilter::paddingFromName(name.toStdString(), &p))
        return false;
    ui->Padding->setCurrentText(QString::fromLatin1(RampFilter::paddingName(p)));
    return true;
}

QString ProcCtrl::methodName() const
{
    std::string m;
    if (!ReconMethod::fromName(ui->Method->currentText().toStdString(), &m))
        m = ReconMethod::backProjection;
    return QString::fromStdString(m);
}

bool ProcCtrl::setMethod(const QString &name)
{
    std::string m;
    if (!ReconMethod::fromName(name.toStdString(), &m))
        return false;
    ui->Method->setCurrentText(QString::fromStdString(m));
    return true;
}

double ProcCtrl::corForSlice(int s) const
{
    return CalcConds::interpolateCor(cor, recCor1, recSlice1, recCor2, recSlice2, s);
}

void ProcCtrl::fillConds(CalcConds *conds, bool doCt1, bool doCt2) const
{
    if (!conds)
        return;
    conds->doCt1 = doCt1;
    conds->doCt2 = doCt2;
    conds->rotAxIsV = rotAxIsV;
    conds->slice = sliceNo;
    conds->cor = cor;
    conds->recCor1 = recCor1;
    conds->recSlice1 = recSlice1;
    conds->recCor2 = recCor2;
    conds->recSlice2 = recSlice2;
    // an offset whose angle cannot be computed would send every sample of
    // the back-projection to nowhere: refused, the run uses 0
    const double offset = getAngleOffset();
    if (std::isfinite(offset) && std::isfinite(CtCore::projAngle(offset, 0, 1))) {
        conds->angleOffset = offset;
    } else {
        qWarning().noquote() << "Angle offset refused : " + ui->AngleOffset->text();
        conds->angleOffset = 0;
    }
    conds->rangeMode = isAutoExec();
    conds->sliceFrom = getSliceFrom();
    conds->sliceTo = getSliceTo();
    // a step of 0 would hand out the same slice for ever; the step always
    // points from From towards To
    long step = std::labs(long(getSliceStep()));
    if (step < 1)
        step = 1;
    conds->sliceStep = int(conds->sliceFrom > conds->sliceTo ? -step : step);
    conds->threads = getThreads();
    conds->filter = filterSpec();
    conds->shift = shiftOfSet;
    conds->method = methodName().toStdString();
    // recorded pairs give every set of a sequence the same CoR per slice, and
    // with it the same grid: a set's own CoR has no say then
    if (recSlice1 >= 0 && recSlice2 >= 0 && recSlice1 != recSlice2)
        conds->shift.gridCor = std::numeric_limits<double>::quiet_NaN();
}

void ProcCtrl::setEnergyShift(const EnergyShift &s)
{
    shiftOfSet = s;
}
