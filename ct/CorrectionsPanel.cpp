#include "CorrectionsPanel.h"

#include "NumberField.h"
#include "StateStyle.h"

#include "ui_CorrectionsPanel.h"

#include <QCheckBox>
#include <QDebug>
#include <QLineEdit>
#include <QSpinBox>

CorrectionsPanel::CorrectionsPanel(QWidget *parent) : QFrame(parent), ui(new Ui::CorrectionsPanel)
{
    ui->setupUi(this);
    NumberField::fit(ui->RingSnr);
    NumberField::fit(ui->ZingerThreshold);
    showSettings();
    for (QCheckBox *b : {ui->Rings, ui->Zingers})
        connect(b, &QCheckBox::toggled, this, &CorrectionsPanel::takeControls);
    for (QSpinBox *s : {ui->RingLarge, ui->RingSmall, ui->AirColumns})
        connect(s, &QSpinBox::valueChanged, this, &CorrectionsPanel::takeControls);
    for (QLineEdit *e : {ui->RingSnr, ui->ZingerThreshold})
        connect(e, &QLineEdit::editingFinished, this, &CorrectionsPanel::takeControls);
}

CorrectionsPanel::~CorrectionsPanel()
{
    delete ui;
}

void CorrectionsPanel::takeControls()
{
    if (showing)
        return;
    CorrectionSettings c = cur;
    c.rings = ui->Rings->isChecked();
    c.ringLarge = ui->RingLarge->value();
    c.ringSmall = ui->RingSmall->value();
    c.zingers = ui->Zingers->isChecked();
    c.airColumns = ui->AirColumns->value();
    bool ok = false;
    const double snr = ui->RingSnr->text().toDouble(&ok);
    const bool snrOk = ok && CorrectionSettings::snrValid(snr);
    if (snrOk)
        c.ringSnr = snr;
    else
        qWarning().noquote() << "Ring SNR refused : " + ui->RingSnr->text();
    const double thr = ui->ZingerThreshold->text().toDouble(&ok);
    const bool thrOk = ok && CorrectionSettings::thresholdValid(thr);
    if (thrOk)
        c.zingerThreshold = thr;
    else
        qWarning().noquote() << "Zinger threshold refused : " + ui->ZingerThreshold->text();
    ui->RingSnr->setStyleSheet(snrOk ? QString() : QString::fromLatin1(StateStyle::failed));
    ui->ZingerThreshold->setStyleSheet(thrOk ? QString() : QString::fromLatin1(StateStyle::failed));
    if (c != cur) {
        cur = c;
        emit changed();
    }
}

void CorrectionsPanel::showSettings()
{
    showing = true;
    ui->Rings->setChecked(cur.rings);
    ui->RingSnr->setText(QString::number(cur.ringSnr, 'g', 6));
    ui->RingLarge->setValue(cur.ringLarge);
    ui->RingSmall->setValue(cur.ringSmall);
    ui->Zingers->setChecked(cur.zingers);
    ui->ZingerThreshold->setText(QString::number(cur.zingerThreshold, 'g', 6));
    ui->AirColumns->setValue(cur.airColumns);
    ui->RingSnr->setStyleSheet(QString());
    ui->ZingerThreshold->setStyleSheet(QString());
    showing = false;
}

bool CorrectionsPanel::setRings(bool on, double snr, int large, int small)
{
    if (!CorrectionSettings::snrValid(snr) || !CorrectionSettings::windowValid(large)
        || !CorrectionSettings::windowValid(small) || large > ui->RingLarge->maximum()
        || small > ui->RingSmall->maximum())
        return false;
    CorrectionSettings c = cur;
    c.rings = on;
    c.ringSnr = snr;
    c.ringLarge = large;
    c.ringSmall = small;
    return take(c);
}

bool CorrectionsPanel::setZingers(bool on, double threshold)
{
    if (!CorrectionSettings::thresholdValid(threshold))
        return false;
    CorrectionSettings c = cur;
    c.zingers = on;
    c.zingerThreshold = threshold;
    return take(c);
}

bool CorrectionsPanel::setAirColumns(int k)
{
    if (k < 0 || k > ui->AirColumns->maximum())
        return false;
    CorrectionSettings c = cur;
    c.airColumns = k;
    return take(c);
}

bool CorrectionsPanel::take(const CorrectionSettings &c)
{
    const bool differs = c != cur;
    cur = c;
    showSettings();
    if (differs)
        emit changed();
    return true;
}
