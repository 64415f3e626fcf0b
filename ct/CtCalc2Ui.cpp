#include "CtCalc2Ui.h"
#include "NumberField.h"
#include "RegionFields.h"
#include "ui_CtCalc.h"

#include "ColorBar.h"
#include "Handoff.h"
#include "ImgDispWPV.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <cmath>

namespace {
QString num(double v)
{
    return QString::number(v, 'g', 6);
}
}

CtCalc2Ui::CtCalc2Ui(QWidget *parent) : QFrame(parent), ui(new Ui::CtCalc)
{
    ui->setupUi(this);
    for (QLineEdit *e : {ui->Drx0, ui->Drz0, ui->Drx1, ui->Drz1, ui->Crx0, ui->Crz0, ui->Crx1,
                         ui->Crz1})
        NumberField::fit(e);
    // the worker's slices are handed out by the main window
    ui->StartCalc->setEnabled(false);
    ui->CalcAtOnce->setEnabled(false);
    connect(ui->SetCRegion, &QPushButton::clicked, this, &CtCalc2Ui::setCRegion);
    connect(ui->DispCt, &ImgDisp::newS, this, &CtCalc2Ui::noticedNewS);
    connect(ui->DispCt, &ImgDispWPV::newPosInvY, this, &CtCalc2Ui::noticedNewPos);
    connect(ui->DispCt, &ImgDispWCBar::newBar, this, &CtCalc2Ui::barChanged);
    setCR(0, 0, 2047, 2047);
    regionSet = false;

    // the CoR of the slice shown, right of its number
    corField = new QLineEdit(this);
    corField->setObjectName(QStringLiteral("ShowCor"));
    corField->setReadOnly(true);
    corField->setMaximumWidth(70);
    corField->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    corField->setStyleSheet(ui->ShowSliceNo->styleSheet());
    for (QBoxLayout *box : findChildren<QBoxLayout *>()) {
        const int at = box->indexOf(ui->ShowSliceNo);
        if (at >= 0) {
            box->insertWidget(at + 1, new QLabel(tr("CoR"), this));
            box->insertWidget(at + 2, corField);
            break;
        }
    }
}

CtCalc2Ui::~CtCalc2Ui()
{
    delete ui;
}

SliceRegion CtCalc2Ui::calcRegion() const
{
    return SliceRegion{ui->Crx0->text().toDouble(), ui->Crz0->text().toDouble(),
                          ui->Crx1->text().toDouble(), ui->Crz1->text().toDouble()};
}

CtCalc2::Job CtCalc2Ui::snapshot() const
{
    CtCalc2::Job j;
    j.region = calcRegion();
    j.regionSet = regionSet;
    j.fixed = ui->DispCt->CBar->isFixed();
    j.grey = ui->DispCt->CBar->greyMap();
    return j;
}

void CtCalc2Ui::setDR(double rx0, double rz0, double rx1, double rz1)
{
    if (!setRegionFields({ui->Drx0, ui->Drz0, ui->Drx1, ui->Drz1}, {rx0, rz0, rx1, rz1}))
        return;
    ui->DispCt->region = QRectF(rx0, rz0, rx1 - rx0, rz1 - rz0);
    ui->DispCt->scaled = true;
    ui->DispCt->update();
    ui->DispCt->dispA()->update();
    emit dRUpdated(rx0, rz0, rx1, rz1);
}

void CtCalc2Ui::setCR(double rx0, double rz0, double rx1, double rz1)
{
    if (!setRegionFields({ui->Crx0, ui->Crz0, ui->Crx1, ui->Crz1}, {rx0, rz0, rx1, rz1}))
        return;
    regionSet = true;
    emit cRUpdated(rx0, rz0, rx1, rz1);
}

void CtCalc2Ui::setCRegion()
{
    // the pixels whose centres are in view (pixel k covers k - 0.5 .. k + 0.5)
    setCR(std::ceil(ui->Drx0->text().toDouble()), std::ceil(ui->Drz0->text().toDouble()),
          std::floor(ui->Drx1->text().toDouble()), std::floor(ui->Drz1->text().toDouble()));
}

void CtCalc2Ui::noticedNewS(QRectF s)
{
    setDR(s.x(), s.y(), s.x() + s.width(), s.y() + s.height());
}

void CtCalc2Ui::noticedNewPos(double x, double z)
{
    if (!calc)
        return;
    // the result belongs to the worker's thread: ask there
    CtCalc2 *c = calc;
    Handoff::release(c);
    QMetaObject::invokeMethod(c, "valueAt", Qt::QueuedConnection, Q_ARG(double, x),
                              Q_ARG(double, z));
}

void CtCalc2Ui::showStartTime()
{
    startTime = QDateTime::currentDateTime();
    ui->StartT->setText(startTime.toString("hh:mm:ss.zzz"));
}

void CtCalc2Ui::showEndTime()
{
    endTime = QDateTime::currentDateTime();
    ui->EndT->setText(endTime.toString("hh:mm:ss.zzz"));
}

void CtCalc2Ui::showSpentT()
{
    ui->SpentT->setText(num(startTime.msecsTo(endTime) / 1000.0));
}

void CtCalc2Ui::showSliceNo(int no)
{
    ui->ShowSliceNo->setText(QString::number(no));
}

void CtCalc2Ui::showCor(double cor)
{
    corField->setText(num(cor));
}

void CtCalc2Ui::newImage()
{
    ui->DispCt->newImage();
}

void CtCalc2Ui::saveImage(QString fname)
{
    ui->DispCt->saveImage(fname);
}

void CtCalc2Ui::setFixColorScale(bool f)
{
    ui->DispCt->CBar->setFixColorScale(f);
}

void CtCalc2Ui::setCBarMinMaxForced(double min, double max)
{
    ui->DispCt->CBar->setMin(min);
    ui->DispCt->CBar->setMax(max);
    ui->DispCt->CBar->update();
}

void CtCalc2Ui::noticedStart(int slice, QDateTime when)
{
    startTime = when;
    ui->StartT->setText(when.toString("hh:mm:ss.zzz"));
    // the previous slice's end and time are not this slice's
    ui->EndT->setText(QStringLiteral("--"));
    ui->SpentT->setText(QStringLiteral("--"));
    showSliceNo(slice);
}

void CtCalc2Ui::noticedEnd(QDateTime when)
{
    endTime = when;
    ui->EndT->setText(when.toString("hh:mm:ss.zzz"));
    showSpentT();
}

void CtCalc2Ui::showResImage(QImage image)
{
    ui->DispCt->image = image;
    newImage();
}

void CtCalc2Ui::setCBarRange(double min, double max)
{
    if (ui->DispCt->CBar->setRangeUnlessFixed(min, max))
        ui->DispCt->CBar->update();
}

void CtCalc2Ui::showValue(double v)
{
    ui->DispCt->setVal(v);
}

void CtCalc2Ui::barChanged()
{
    if (!calc)
        return;
    CtCalc2 *c = calc;
    const GreyMap grey = ui->DispCt->CBar->greyMap();
    const bool fixed = ui->DispCt->CBar->isFixed();
    Handoff::release(c);
    QMetaObject::invokeMethod(c, "reRender", Qt::QueuedConnection, Q_ARG(GreyMap, grey),
                              Q_ARG(bool, fixed));
}
