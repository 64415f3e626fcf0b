#include "ImgDispWPV.h"
#include "NumberField.h"

#include "ui_ImgDispWPV.h"

ImgDispWPV::ImgDispWPV(QWidget *parent) : ImgDispWCBar(parent), ui(new Ui::ImgDispWPV)
{
    ui->setupUi(this);
    for (QLineEdit *e : {ui->PosX, ui->PosY, ui->Val})
        NumberField::fit(e);
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
    // outside the picture (its margin, or no picture at all) there is no
    // pixel to read out
    if (!inImage(ix, iy)) {
        ui->PosX->clear();
        ui->PosY->clear();
        ui->Val->clear();
        return;
    }
    ui->PosX->setText(QString::number(ix, 'g', 6));
    ui->PosY->setText(QString::number(iy, 'g', 6));
    emit newPosInvY(ix, iy);
}

void ImgDispWPV::setVal(double v)
{
    ui->Val->setText(QString::number(v, 'g', 6));
}
