#include "RawOverlay.h"
#include "ui_Body.h"

#include "ChCoord.h"
#include "DispA.h"
#include "ImgData.h"
#include "ImgDatas.h"
#include "RawDisp.h"
#include "RegionSync.h"
#include "ViewerWorkflow.h"

#include <QCheckBox>
#include <QPainter>

RawOverlay::RawOverlay(Ui::Body *ui, RawDisp *raw, ImgDatas *images, RegionSync *regions,
                       ViewerWorkflow *viewer, QObject *parent)
    : QObject(parent), ui(ui), raw(raw), imgDatas(images), regions(regions), viewer(viewer)
{
    crossPen = QPen(QColor(255, 255, 0));
    slicePen = QPen(QColor(255, 232, 232));
    rangePen = QPen(QColor(255, 200, 200));
    corPen = QPen(QColor(255, 232, 232));
    corPen.setDashPattern({10, 3, 4, 3});
    dispRegionPen = QPen(QColor(255, 0, 0));
    calcRegionPen = QPen(QColor(232, 255, 0));

    connect(raw, &DispAWLayout::drawImage2, this, &RawOverlay::draw);
    connect(raw, &ImgDispWPV::newPosInvY, this, &RawOverlay::newPosOnRawImg);
    connect(raw, &ImgDispWCBar::newBar, this, &RawOverlay::updateRawImage);
    connect(raw, &ImgDisp::selectedAPoint, this, &RawOverlay::selectedAPointInRawImg);
    connect(raw, &ImgDisp::selectionMade, this, &RawOverlay::selectionMadeInRawImg);
    connect(ui->ShowDispRegion, &QCheckBox::toggled, this, [this](bool f) {
        showDispRegion = f;
        this->raw->update();
    });
    connect(ui->ShowCalcRegion, &QCheckBox::toggled, this, [this](bool f) {
        showCalcRegion = f;
        this->raw->update();
    });
    connect(ui->seekCtrl, &SeekCtrl::newIndex, this, &RawOverlay::updateRawImage);
    connect(imgDatas, &ImgDatas::imageUpdated, raw, qOverload<>(&QWidget::update));
    for (auto sig : {&ProcCtrl::rotAxUpdated, &ProcCtrl::sliceNoUpdated, &ProcCtrl::corUpdated})
        connect(ui->procCtrl, sig, raw, qOverload<>(&QWidget::update));
}

bool RawOverlay::hasImages() const
{
    return imgDatas->count() > 0;
}

void RawOverlay::newPosOnRawImg(double x, double y)
{
    const int idx = ui->seekCtrl->value();
    double v = 0;
    // a position left of or above the image is outside, not pixel 0
    if (idx >= 0 && idx < imgDatas->count() && x >= 0 && y >= 0)
        v = imgDatas->img(idx)->valueAt(int(x), int(y));
    raw->setVal(v);
}

void RawOverlay::updateRawImage()
{
    if (imgDatas->toImage(ui->seekCtrl->value(), &raw->image, raw->CBar))
        raw->newImage();
}

void RawOverlay::draw(QPainter *p)
{
    if (!hasImages() || raw->image.isNull())
        return;
    const ProcCtrl *pc = ui->procCtrl;
    const bool v = pc->rotAxIsV;
    const ChCoord *c = raw->coord;
    const double w = raw->dispA()->width();
    const double h = raw->dispA()->height();
    auto across = [&](const QPen &pen, double at) {      // a line at a slice position
        p->setPen(pen);
        if (v)
            p->drawLine(QPointF(0, c->toWinY(at)), QPointF(w, c->toWinY(at)));
        else
            p->drawLine(QPointF(c->toWinX(at), 0), QPointF(c->toWinX(at), h));
    };

    // cross-hair at the mouse
    p->setPen(crossPen);
    const MouseC *m = raw->mouse;
    p->drawLine(QPointF(m->curX, 0), QPointF(m->curX, h));
    p->drawLine(QPointF(0, m->curY), QPointF(w, m->curY));

    across(slicePen, pc->sliceNo);
    across(rangePen, pc->getSliceFrom());
    across(rangePen, pc->getSliceTo());
    // centre of rotation: along the axis
    p->setPen(corPen);
    if (v)
        p->drawLine(QPointF(c->toWinX(pc->cor), 0), QPointF(c->toWinX(pc->cor), h));
    else
        p->drawLine(QPointF(0, c->toWinY(pc->cor)), QPointF(w, c->toWinY(pc->cor)));

    if ((raw->selected || raw->selecting) && (showDispRegion || showCalcRegion)) {
        const QRectF s = raw->selection;
        const QRectF onScreen(QPointF(c->toWinX(s.left()), c->toWinY(s.top())),
                              QPointF(c->toWinX(s.right()), c->toWinY(s.bottom())));
        p->setBrush(Qt::NoBrush);
        if (showDispRegion) {
            p->setPen(dispRegionPen);
            p->drawRect(onScreen.normalized());
        }
        if (showCalcRegion) {
            p->setPen(calcRegionPen);
            p->drawRect(onScreen.normalized());
        }
    }
}

void RawOverlay::selectionMadeInRawImg(QRectF s)
{
    if (!showCalcRegion || !hasImages())
        return;
    // the pixels under the two corners of the drag
    const bool v = ui->procCtrl->rotAxIsV;
    const double a = ImgDisp::pixelOf(v ? s.left() : s.top());
    const double b = ImgDisp::pixelOf(v ? s.right() : s.bottom());
    regions->apply(a, a, b, b, false, nullptr);
    regions->apply(a, a, b, b, true, nullptr);
    ui->procCtrl->setSliceFrom(ImgDisp::pixelOf(v ? s.top() : s.left()));
    ui->procCtrl->setSliceTo(ImgDisp::pixelOf(v ? s.bottom() : s.right()));
}

void RawOverlay::selectedAPointInRawImg(double x, double y, MouseC::MStat s)
{
    const bool v = ui->procCtrl->rotAxIsV;
    if (int(s) == 0) {
        const int slice = ImgDisp::pixelOf(v ? y : x);     // the row or column clicked
        ui->procCtrl->setSliceNo(slice);
        if (ui->SendMsg2Orvex->isChecked())
            viewer->sendSliceFiles(slice);
    } else if (int(s) == 8) {
        ui->procCtrl->setCor(v ? x : y);
    }
}
