#include "RegionSync.h"
#include "ui_Body.h"

#include "CtCalc.h"
#include "CtCalc2Ui.h"

#include <QCheckBox>
#include <QLineEdit>

RegionSync::RegionSync(Ui::Body *ui, CtCalc *ct1, QObject *parent)
    : QObject(parent), ui(ui), ct1(ct1)
{
    connect(ct1, &CtCalc::cRUpdated, this, &RegionSync::cRUpdated);
    connect(ct1, &CtCalc::dRUpdated, this, &RegionSync::dRUpdated);
    connect(ui->FixColorScale, &QCheckBox::toggled, this, &RegionSync::fixColorScaleChanged);
    connect(ui->ColorMin, &QLineEdit::editingFinished, this, &RegionSync::fixColorScaleChanged);
    connect(ui->ColorMax, &QLineEdit::editingFinished, this, &RegionSync::fixColorScaleChanged);
}

void RegionSync::addPanel(CtCalc2Ui *panel)
{
    connect(panel, &CtCalc2Ui::cRUpdated, this, &RegionSync::cRUpdated);
    connect(panel, &CtCalc2Ui::dRUpdated, this, &RegionSync::dRUpdated);
    panels << panel;
}

void RegionSync::apply(double rx0, double rz0, double rx1, double rz1, bool calcRegion, QObject *from)
{
    if (from != ct1) {
        if (calcRegion)
            ct1->setCR(rx0, rz0, rx1, rz1);
        else
            ct1->setDR(rx0, rz0, rx1, rz1);
    }
    for (CtCalc2Ui *p : std::as_const(panels)) {
        if (p == from)
            continue;
        if (calcRegion)
            p->setCR(rx0, rz0, rx1, rz1);
        else
            p->setDR(rx0, rz0, rx1, rz1);
    }
}

void RegionSync::dRUpdated(double rx0, double rz0, double rx1, double rz1)
{
    apply(rx0, rz0, rx1, rz1, false, sender());
}

void RegionSync::cRUpdated(double rx0, double rz0, double rx1, double rz1)
{
    apply(rx0, rz0, rx1, rz1, true, sender());
}

void RegionSync::fixColorScaleChanged()
{
    const bool f = ui->FixColorScale->isChecked();
    ct1->setFixColorScale(f);
    for (CtCalc2Ui *p : std::as_const(panels))
        p->setFixColorScale(f);
    if (f) {
        ct1->setCBarMinMaxForced(colorMin(), colorMax());
        for (CtCalc2Ui *p : std::as_const(panels))
            p->setCBarMinMaxForced(colorMin(), colorMax());
    }
}

double RegionSync::colorMin() const
{
    return ui->ColorMin->text().toDouble();
}

double RegionSync::colorMax() const
{
    return ui->ColorMax->text().toDouble();
}
