#pragma once
// Drawing surface of every picture: clears to white, sets its coordinate
// window, and lets three layers of painters draw through signals. Mouse
// activity goes to the MouseC record; wheel turns become a zoom factor.
#include "ChCoord.h"
#include "MouseC.h"

#include <QFrame>

#include <QPainter>

class DispA : public QFrame
{
    Q_OBJECT
public:
    explicit DispA(QWidget *parent = nullptr);

    ChCoord coord;
    MouseC mouse;
    double wheelStep = 0;
    double wheelFactor = 1.0 / 1.1;

signals:
    void drawImage0(QPainter *p);
    void drawImage1(QPainter *p);
    void drawImage2(QPainter *p);
    void mouseMoved0();
    void mousePressed0();
    void mouseReleased0();
    void mouseDoubleClicked0();
    void wheelMoved0();

protected:
    void paintEvent(QPaintEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    void wheelEvent(QWheelEvent *e) override;
};
