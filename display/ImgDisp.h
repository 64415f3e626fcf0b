#pragma once
// An image on a drawing area: the visible region of it, zoom with the wheel
// about the mouse, pan by dragging, Shift-drag selection, point picking and
// saving the visible part.
//
// Image coordinates: x the column, y the row, pixel k covering k - 0.5 to
// k + 0.5, so pixel centres lie at whole numbers. `region` is a rectangle in
// these coordinates; it is shown whole, at one scale for both axes, centred
// in the drawing area (the rest is background), so pixels stay square.
#include "DispAWLayout.h"
#include "MouseC.h"

#include <QImage>
#include <QPointF>
#include <QRectF>

class ChCoord;
#include <QPainter>

class ImgDisp : public DispAWLayout
{
    Q_OBJECT
public:
    explicit ImgDisp(QWidget *parent = nullptr);

    MouseC *mouse;
    ChCoord *coord;
    bool scaled = false;
    QRectF region;
    QImage image;
    bool selecting = false;
    bool selected = false;
    QRectF selection;

    // Image point (column, row) under the centre of a drawing-area pixel (the
    // pixel a mouse position names), for the current region.
    QPointF imagePoint(double px, double py);
    // The pixel holding an image point (pixel centres at whole numbers).
    static int pixelOf(double v);
    // Whether pixel (ix, iy) lies in the image.
    bool inImage(int ix, int iy) const;
    // The whole image in image coordinates: (-0.5, -0.5, width, height).
    QRectF imageRect() const;
    // The real rectangle shown in the whole drawing area: `region` widened
    // along one axis to the area's shape, about the same centre.
    QRectF view() const;
    // A release farther than this (in window pixels) from its press ends a
    // drag, not a click.
    static constexpr int clickSlop = 4;

signals:
    void newPos(int ix, int iy);
    void newS(QRectF s);
    void selectedAPoint(double x, double y, MouseC::MStat s);
    // A Shift-drag selection was finished (`selected` is true, `selection` holds it).
    void selectionMade(QRectF s);

private slots:
    void onWheelMoved();
    void onMouseMoved();
    void onMousePressed();
    void onMouseReleased();
    void draw(QPainter *p);

public slots:
    void newImage();
    void resetScale();
    // Saves the visible part; the format follows the suffix. False on failure.
    bool saveImage(QString fname);

private:
    void setCoordFromRegion();
    // The latest release was near its press.
    bool isClick() const;
    void repaintArea();
};
