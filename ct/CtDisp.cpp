#include "CtDisp.h"
#include "ui_CtDisp.h"

#include <QSpinBox>

CtDisp::CtDisp(QWidget *parent) : QFrame(parent), ui(new Ui::CtDisp)
{
    ui->setupUi(this);
    connect(ui->seeker_, &SeekCtrl::newIndex, this, &CtDisp::showImg);
}

CtDisp::~CtDisp()
{
    delete ui;
}

void CtDisp::clear()
{
    images.clear();
    shown = -1;
}

void CtDisp::addImg(int no, const QImage &img)
{
    QImage kept = img;
    if (img.width() > keptSide || img.height() > keptSide) {
        kept = img.scaled(keptSide, keptSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        // smooth scaling works in 32 bits; grey levels fit in 8
        if (img.format() == QImage::Format_Grayscale8 && kept.format() != img.format())
            kept = kept.convertToFormat(QImage::Format_Grayscale8);
    }
    images.append(qMakePair(no, kept));
    for (int i = int(images.size()) - 1; i > 0 && images.at(i - 1).first > no; --i)
        images.swapItemsAt(i, i - 1);
    const int last = int(images.size()) - 1;
    ui->seeker_->setMaximum(last);
    if (QSpinBox *index = ui->seeker_->findChild<QSpinBox *>("Index"))
        index->setValue(last);
    // the spin box reports only a change of value: after a clear the last
    // index may be the one it already holds
    showImg(last);
}

void CtDisp::showImg(int idx)
{
    if (idx < 0 || idx >= int(images.size()))
        return;
    shown = idx;
    ui->dispA_->image = images.at(idx).second;
    ui->dispA_->newImage();
}
