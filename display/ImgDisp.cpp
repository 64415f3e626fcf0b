#include "ImgDisp.h"

#include "ChCoord.h"
#include "DispA.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdlib>
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

QRectF ImgDisp::imageRect() const
{
    return QRectF(-0.5, -0.5, image.width(), image.height());
}

int ImgDisp::pixelOf(double v)
{
    return truncToInt(std::floor(v + 0.5));
}

bool ImgDisp::inImage(int ix, int iy) const
{
    return ix >= 0 && iy >= 0 && ix < image.width() && iy < image.height();
}

QRectF ImgDisp::view() const
{
    const double w = dispA()->width();
    const double h = dispA()->height();
    const double rw = region.width();
    const double rh = region.height();
    if (!(w > 0 && h > 0 && rw > 0 && rh > 0))
        return region;
    // one scale for both axes: the axis that is short of room sets it
    const double s = std::min(w / rw, h / rh);
    const double vw = w / s;
    const double vh = h / s;
    if (!std::isfinite(vw) || !std::isfinite(vh))
        return region;
    const QPointF c = region.center();
    return QRectF(c.x() - vw / 2, c.y() - vh / 2, vw, vh);
}

void ImgDisp::setCoordFromRegion()
{
    const QRectF v = view();
    coord->setReal(v.x(), v.y() + v.height(), v.x() + v.width(), v.y());
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
    return QPointF(coord->toRealX(px + 0.5), coord->toRealY(py + 0.5));
}

void ImgDisp::newImage()
{
    if (qint64(image.width()) * image.height() < 1)
        return;
    if (!scaled) {
        region = imageRect();
        setCoordFromRegion();
        scaled = true;
        emit newS(region);
    }
    repaintArea();
}

void ImgDisp::resetScale()
{
    region = imageRect();
    setCoordFromRegion();
    repaintArea();
}

bool ImgDisp::saveImage(QString fname)
{
    // the pixels that the region covers, whole or in part
    const int x0 = pixelOf(region.left());
    const int y0 = pixelOf(region.top());
    const int x1 = truncToInt(std::ceil(region.right() + 0.5)) - 1;
    const int y1 = truncToInt(std::ceil(region.bottom() + 0.5)) - 1;
    // QImage::copy takes an empty rectangle for the whole image: a region of
    // less than one pixel has nothing visible to save
    if (region.width() < 1 || region.height() < 1 || x1 < x0 || y1 < y0)
        return false;
    const QImage part = image.copy(QRect(QPoint(x0, y0), QPoint(x1, y1)));
    if (part.isNull())
        return false;
    return part.save(fname);
}

void ImgDisp::draw(QPainter *p)
{
    if (image.isNull() || region.width() <= 0 || region.height() <= 0)
        return;
    coord->setWindow(0, dispA()->height(), dispA()->width(), 0);
    setCoordFromRegion();
    // Only the part of the image inside the view is sampled into the area;
    // the image itself is neither converted nor copied here. Source
    // coordinates of QImage put pixel k at k .. k + 1.
    const QRectF shown = view().intersected(imageRect());
    if (!shown.isEmpty()) {
        const QRectF target(QPointF(coord->toWinX(shown.left()), coord->toWinY(shown.top())),
                            QPointF(coord->toWinX(shown.right()), coord->toWinY(shown.bottom())));
        p->drawImage(target, image, shown.translated(0.5, 0.5));
    }
    if (selecting || selected) {
        const QRectF s = selection;
        const QRectF onScreen(QPointF(coord->toWinX(s.left()), coord->toWinY(s.top())),
                              QPointF(coord->toWinX(s.right()), coord->toWinY(s.bottom())));
        QPen pen(QColor(0, 224, 255));
        pen.setStyle(Qt::DashLine);
        p->setPen(pen);
        p->setBrush(Qt::NoBrush);
        p->drawRect(onScreen.normalized());
    }
}

void ImgDisp::onWheelMoved()
{
    // a sideways wheel (or a trackpad swiped sideways) does not zoom
    if (dispA()->wheelStep == 0)
        return;
    const double w = dispA()->width();
    const double h = dispA()->height();
    if (w <= 0 || h <= 0)
        return;
    const double f = dispA()->wheelFactor;
    const QPointF r = imagePoint(mouse->curX, mouse->curY);
    // scaled about the image point under the mouse, which therefore stays there
    region = QRectF(r.x() - (r.x() - region.x()) * f, r.y() - (r.y() - region.y()) * f,
                    region.width() * f, region.height() * f);
    setCoordFromRegion();
    emit newS(region);
    repaintArea();
}

void ImgDisp::onMouseMoved()
{
    const QPointF cur = imagePoint(mouse->curX, mouse->curY);
    emit newPos(pixelOf(cur.x()), pixelOf(cur.y()));
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

bool ImgDisp::isClick() const
{
    return std::abs(mouse->releaseX - mouse->pressX) + std::abs(mouse->releaseY - mouse->pressY)
           <= clickSlop;
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
                emit selectionMade(selection);
            }
        } else if (noModifier(mods) && isClick()) {
            const QPointF pt = imagePoint(mouse->curX, mouse->curY);
            emit selectedAPoint(pt.x(), pt.y(), mouse->mStat());
        }
    } else if (mouse->pressButton == Qt::RightButton && noModifier(mods) && isClick()) {
        const QPointF pt = imagePoint(mouse->curX, mouse->curY);
        emit selectedAPoint(pt.x(), pt.y(), mouse->mStat());
    }
    repaintArea();
}
