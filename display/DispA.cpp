#include "DispA.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

DispA::DispA(QWidget *parent) : QFrame(parent)
{
    setFrameShape(QFrame::StyledPanel);
    setMouseTracking(true);
}

void DispA::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    coord.setWindow(0, height(), width(), 0);
    emit drawImage0(&p);
    emit drawImage1(&p);
    emit drawImage2(&p);
    p.end();
}

void DispA::mouseMoveEvent(QMouseEvent *e)
{
    if (e->modifiers() & Qt::AltModifier)
        return;
    const QPointF pf = e->position();
    mouse.moved(int(pf.x()), int(pf.y()), int(e->button()), int(e->modifiers()));
    emit mouseMoved0();
    update();
}

void DispA::mousePressEvent(QMouseEvent *e)
{
    const QPointF pf = e->position();
    mouse.pressedAt(int(pf.x()), int(pf.y()), int(e->button()), int(e->modifiers()));
    emit mousePressed0();
}

void DispA::mouseReleaseEvent(QMouseEvent *e)
{
    const QPointF pf = e->position();
    mouse.releasedAt(int(pf.x()), int(pf.y()), int(e->button()), int(e->modifiers()));
    emit mouseReleased0();
}

void DispA::mouseDoubleClickEvent(QMouseEvent *e)
{
    const QPointF pf = e->position();
    mouse.doubleClickedAt(int(pf.x()), int(pf.y()), int(e->button()), int(e->modifiers()));
    emit mouseDoubleClicked0();
}

void DispA::wheelEvent(QWheelEvent *e)
{
    // eighths of a degree to notches of 15 degrees
    wheelStep = e->angleDelta().y() * 0.125 / 15;
    wheelFactor = wheelStep < 0 ? 1.1 : 1.0 / 1.1;
    emit wheelMoved0();
}
