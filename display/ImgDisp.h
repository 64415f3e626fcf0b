#pragma once
// An image on a drawing area: the visible region of it, zoom with the wheel
// about the mouse, pan by dragging, Shift-drag selection, point picking and
// saving the visible part.
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

    // Image point (column, row) under a drawing-area pixel, for the current region.
    QPointF imagePoint(double px, double py);

signals:
    void newPos(int ix, int iy);
    void newS(QRectF s);
    void selectedAPoint(double x, double y, MouseC::MStat s);

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
    void repaintArea();
};
