#include "ImgDisp.h"

#include "ChCoord.h"
#include "DispA.h"

#include <QPainter>

#include <cmath>
#include <limits>

namespace {
// Truncation toward zero that stays defined for NaN and values beyond int.
int truncToInt(double v)
{
    if (std::isnan(v))
        return 0;
    if (v >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (v <= double(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return int(v);
}

bool onlyShift(int mods)
{
    return (mods & Qt::ShiftModifier) && !(mods & (Qt::ControlModifier | Qt::AltModifier));
}

bool noModifier(int mods)
{
    return !(mods & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier));
}
}

ImgDisp::ImgDisp(QWidget *parent)
    : DispAWLayout(parent), mouse(&dispA()->mouse), coord(&dispA()->coord)
{
    setAttribute(Qt::WA_MouseTracking);
    connect(this, &DispAWLayout::wheelMoved0, this, &ImgDisp::onWheelMoved);
    connect(this, &DispAWLayout::mouseMoved0, this, &ImgDisp::onMouseMoved);
    connect(this, &DispAWLayout::mousePressed0, this, &ImgDisp::onMousePressed);
    connect(this, &DispAWLayout::mouseReleased0, this, &ImgDisp::onMouseReleased);
    connect(this, &DispAWLayout::drawImage1, this, &ImgDisp::draw);
}

void ImgDisp::setCoordFromRegion()
{
    coord->setReal(region.x(), region.y() + region.height(), region.x() + region.width(),
                   region.y());
}

void ImgDisp::repaintArea()
{
    dispA()->update();
}

QPointF ImgDisp::imagePoint(double px, double py)
{
    // the window is set on every repaint; set it here too so that events
    // before the first repaint map through the area's real size
    coord->setWindow(0, dispA()->height(), dispA()->width(), 0);
    setCoordFromRegion();
    return QPointF(coord->toRealX(px), coord->toRealY(py));
}

void ImgDisp::newImage()
{
    if (qint64(image.width()) * image.height() < 1)
        return;
    if (!scaled) {
        region = QRectF(0, 0, image.width(), image.height());
        setCoordFromRegion();
        scaled = true;
        emit newS(region);
    }
    repaintArea();
}

void ImgDisp::resetScale()
{
    region = QRectF(0, 0, image.width(), image.height());
    setCoordFromRegion();
    repaintArea();
}

bool ImgDisp::saveImage(QString fname)
{
    const QRect r(truncToInt(region.x()), truncToInt(region.y()), truncToInt(region.width()),
                  truncToInt(region.height()));
    // QImage::copy takes an empty rectangle for the whole image: a region of
    // less than one pixel has nothing visible to save
    if (r.width() < 1 || r.height() < 1)
        return false;
    const QImage part = image.copy(r);
    if (part.isNull())
        return false;
    return part.save(fname);
}

void ImgDisp::draw(QPainter *p)
{
    if (image.isNull() || region.width() <= 0 || region.height() <= 0)
        return;
    // Only the visible region is sampled into the area; the image itself is
    // neither converted nor copied here.
    p->drawImage(QRectF(0, 0, dispA()->width(), dispA()->height()), image, region);
}

void ImgDisp::onWheelMoved()
{
    const double w = dispA()->width();
    const double h = dispA()->height();
    if (w <= 0 || h <= 0)
        return;
    const double f = dispA()->wheelFactor;
    const double px = mouse->curX;
    const double py = mouse->curY;
    const QPointF r = imagePoint(px, py);
    const double nw = region.width() * f;
    const double nh = region.height() * f;
    region = QRectF(r.x() - px / w * nw, r.y() - py / h * nh, nw, nh);
    setCoordFromRegion();
    emit newS(region);
    repaintArea();
}

void ImgDisp::onMouseMoved()
{
    const QPointF cur = imagePoint(mouse->curX, mouse->curY);
    emit newPos(truncToInt(cur.x()), truncToInt(cur.y()));
    if (!mouse->pressed)
        return;
    if (mouse->pressButton == Qt::LeftButton) {
        if (onlyShift(mouse->pressMods)) {
            selection.setSize(QSizeF(cur.x() - selection.x(), cur.y() - selection.y()));
        } else if (noModifier(mouse->pressMods)) {
            const QPointF prev = imagePoint(mouse->prevX, mouse->prevY);
            region.translate(prev - cur);
            setCoordFromRegion();
            emit newS(region);
        }
    }
    repaintArea();
}

void ImgDisp::onMousePressed()
{
    const QPointF cur = imagePoint(mouse->curX, mouse->curY);
    if (onlyShift(mouse->pressMods)) {
        if (mouse->pressButton == Qt::LeftButton) {
            selecting = true;
            selected = false;
            selection = QRectF(cur, QSizeF(0, 0));
        } else if (mouse->pressButton == Qt::RightButton) {
            selecting = false;
            selected = false;
            selection = QRectF(0, 0, 0, 0);
        }
    }
    repaintArea();
}

void ImgDisp::onMouseReleased()
{
    const int mods = mouse->pressMods;
    if (mouse->pressButton == Qt::LeftButton) {
        if (onlyShift(mods) && selecting) {
            selecting = false;
            const QPointF a = selection.topLeft();
            const QPointF b = a + QPointF(selection.width(), selection.height());
            if (a.x() != b.x() && a.y() != b.y()) {
                selection = QRectF(QPointF(std::min(a.x(), b.x()), std::min(a.y(), b.y())),
                                   QSizeF(std::abs(b.x() - a.x()), std::abs(b.y() - a.y())));
                selected = true;
            }
        } else if (noModifier(mods)) {
            const QPointF pt = imagePoint(mouse->curX, mouse->curY);
            emit selectedAPoint(pt.x(), pt.y(), mouse->mStat());
        }
    } else if (mouse->pressButton == Qt::RightButton && noModifier(mods)) {
        const QPointF pt = imagePoint(mouse->curX, mouse->curY);
        emit selectedAPoint(pt.x(), pt.y(), mouse->mStat());
    }
    repaintArea();
}
