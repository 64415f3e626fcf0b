#include "SeekCtrl.h"
#include "ui_SeekCtrl.h"

SeekCtrl::SeekCtrl(QWidget *parent)
    : QFrame(parent), ui(new Ui::SeekCtrl)
{
    ui->setupUi(this);
    connect(ui->Seek, &QSlider::sliderMoved, this, &SeekCtrl::sliderMoved);
    connect(ui->Index, &QSpinBox::valueChanged, this, &SeekCtrl::indexChanged);
    connect(ui->Inc, &QToolButton::clicked, this, &SeekCtrl::inc);
    connect(ui->Dec, &QToolButton::clicked, this, &SeekCtrl::dec);
}

SeekCtrl::~SeekCtrl()
{
    delete ui;
}

void SeekCtrl::setMaximum(int max)
{
    ui->Seek->setMaximum(max);
    ui->Index->setMaximum(max);
}

int SeekCtrl::maximum() const
{
    return ui->Seek->maximum();
}

int SeekCtrl::value() const
{
    return ui->Seek->value();
}

void SeekCtrl::sliderMoved(int val)
{
    ui->Index->setValue(val);
    emit newIndex(val);
}

void SeekCtrl::indexChanged(int val)
{
    ui->Seek->setValue(val);
    emit newIndex(val);
}

void SeekCtrl::inc()
{
    stepTo(qMin(ui->Seek->value() + 10, ui->Seek->maximum()));
}

void SeekCtrl::dec()
{
    const int cur = ui->Seek->value();
    stepTo(cur < 11 ? 0 : cur - 10);
}

void SeekCtrl::stepTo(int v)
{
    if (v == ui->Seek->value())
        return;
    ui->Seek->setValue(v);
    ui->Index->setValue(v);
    emit newIndex(v);
}
