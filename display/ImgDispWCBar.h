#pragma once
// Image display with a colour bar beside the picture and the bar's
// Fix/Min/Max panel below it.
#include "ImgDisp.h"

class ColorBar;
class QGridLayout;

class ImgDispWCBar : public ImgDisp
{
    Q_OBJECT
public:
    explicit ImgDispWCBar(QWidget *parent = nullptr);

    ColorBar *CBar;
    // The grid below the picture (row 1 of the image's grid).
    QGridLayout *lowerGrid;

signals:
    void newBar();
};
