#include "ImgDispWPV.h"

#include "ui_ImgDispWPV.h"

ImgDispWPV::ImgDispWPV(QWidget *parent) : ImgDispWCBar(parent), ui(new Ui::ImgDispWPV)
{
    ui->setupUi(this);
    connect(this, &ImgDisp::newPos, this, &ImgDispWPV::noticedNewPos);
    connect(ui->ResetScale, &QPushButton::clicked, this, &ImgDisp::resetScale);
    lowerGrid->addWidget(ui->PVFrame, 0, 0);
    resize(width(), width());
}

ImgDispWPV::~ImgDispWPV()
{
    delete ui;
}

void ImgDispWPV::noticedNewPos(int ix, int iy)
{
    ui->PosX->setText(QString::number(ix, 'g', 6));
    ui->PosY->setText(QString::number(iy, 'g', 6));
    emit newPosInvY(ix, iy);
}

void ImgDispWPV::setVal(double v)
{
    ui->Val->setText(QString::number(v, 'g', 6));
}
