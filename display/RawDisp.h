#pragma once
// The main window's raw-image display.
#include "ImgDispWPV.h"

class RawDisp : public ImgDispWPV
{
    Q_OBJECT
public:
    explicit RawDisp(QWidget *parent = nullptr);
};
