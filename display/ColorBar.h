#pragma once
// Vertical grey ramp holding the value range of one picture, with two
// draggable markers that stretch the ramp, and a small control form (Fix,
// Min, Max) that owners place in their own layout.
#include "DispA.h"
#include "DrawText.h"
#include "GreyMap.h"

class QFrame;
#include <QPainter>
namespace Ui { class CBarUI; }

class ColorBar : public DispA
{
    Q_OBJECT
public:
    explicit ColorBar(QWidget *parent = nullptr);
    ~ColorBar() override;

    double minV = 0;
    double maxV = 1;
    double lowFrac = 0;
    double highFrac = 1;
    bool dragging = false;
    double *dragTarget = &lowFrac;
    Ui::CBarUI *ui;
    DrawText textPainter;

    void setMin(double x);
    void setMax(double x);
    bool isFixed() const;
    int greyOf(double v) const { return GreyMap::greyOf(v, minV, maxV, lowFrac, highFrac); }

    // The current mapping as a value, for rendering off the GUI thread.
    GreyMap greyMap() const { return GreyMap{minV, maxV, lowFrac, highFrac}; }
    // What a renderer does with the range of a new picture: setMin/setMax
    // unless Fix is checked. Returns whether the range was taken.
    bool setRangeUnlessFixed(double mn, double mx);

    // The base frame of the control form ("CBarUIBase").
    QFrame *controlFrame() const;

signals:
    void newBar();

public slots:
    void draw1(QPainter *p);
    void onMouseMoved();
    void onMousePressed();
    void onMouseReleased();
    void minVEdited();
    void maxVEdited();
    void setFixColorScale(bool f);

private:
    QFrame *uiHolder;
};
