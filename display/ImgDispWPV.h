#pragma once
// Image display with colour bar and a row of read-only fields showing the
// pixel position and value under the mouse, plus "Scale Reset".
#include "ImgDispWCBar.h"

namespace Ui { class ImgDispWPV; }

class ImgDispWPV : public ImgDispWCBar
{
    Q_OBJECT
public:
    explicit ImgDispWPV(QWidget *parent = nullptr);
    ~ImgDispWPV() override;

signals:
    void newPosInvY(double x, double y);

private slots:
    void noticedNewPos(int ix, int iy);

public slots:
    void setVal(double v);

private:
    Ui::ImgDispWPV *ui;
};
