#include "CtDisp.h"
#include "ui_CtDisp.h"

#include <QSpinBox>

#include <algorithm>
#include <cmath>

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
    resultSizes.clear();
    shown = -1;
    bytes = 0;
    sideNow = keptSide;
}

void CtDisp::setBudget(qint64 b)
{
    budgetBytes = std::max<qint64>(b, 1);
    keepWithinBudget();
}

QImage CtDisp::shrunk(const QImage &img, int side)
{
    if (img.width() <= side && img.height() <= side)
        return img;
    QImage kept = img.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    // smooth scaling works in 32 bits; grey levels fit in 8
    if (img.format() == QImage::Format_Grayscale8 && kept.format() != img.format())
        kept = kept.convertToFormat(QImage::Format_Grayscale8);
    return kept;
}

void CtDisp::keepWithinBudget()
{
    const int before = sideNow;
    while (bytes > budgetBytes && sideNow > minSide) {
        sideNow = std::max(minSide, int(sideNow / std::sqrt(2.0)));
        bytes = 0;
        for (auto &e : images) {
            e.second = shrunk(e.second, sideNow);
            bytes += e.second.sizeInBytes();
        }
    }
    // the picture on screen is one of those made smaller
    if (sideNow != before && shown >= 0 && shown < int(images.size()))
        showImg(shown);
}

void CtDisp::addImg(int no, const QImage &img)
{
    const QImage kept = shrunk(img, sideNow);
    bytes += kept.sizeInBytes();
    images.append(qMakePair(no, kept));
    resultSizes.append(img.size());
    for (int i = int(images.size()) - 1; i > 0 && images.at(i - 1).first > no; --i) {
        images.swapItemsAt(i, i - 1);
        resultSizes.swapItemsAt(i, i - 1);
    }
    // shrinks the pictures already kept too, before the new one is shown
    keepWithinBudget();
    const int last = int(images.size()) - 1;
    ui->seeker_->setMaximum(last);
    if (QSpinBox *index = ui->seeker_->findChild<QSpinBox *>("Index"))
        index->setValue(last);
    // the spin box reports only a change of value: after a clear the last
    // index may be the one it already holds
    showImg(last);
}

bool CtDisp::resultPixelAt(double x, double y, int *slice, int *rx, int *rz) const
{
    if (shown < 0 || shown >= int(images.size()))
        return false;
    const QImage &img = images.at(shown).second;
    const QSize full = resultSizes.at(shown);
    if (img.width() < 1 || img.height() < 1)
        return false;
    // pixel k of the picture covers k - 0.5 .. k + 0.5
    const double gx = std::floor((x + 0.5) * full.width() / img.width());
    const double gz = std::floor((y + 0.5) * full.height() / img.height());
    if (!(gx >= 0 && gz >= 0 && gx < full.width() && gz < full.height()))
        return false;
    *slice = images.at(shown).first;
    *rx = int(gx);
    *rz = int(gz);
    return true;
}

void CtDisp::showImg(int idx)
{
    if (idx < 0 || idx >= int(images.size()))
        return;
    shown = idx;
    ui->dispA_->image = images.at(idx).second;
    ui->dispA_->newImage();
}
