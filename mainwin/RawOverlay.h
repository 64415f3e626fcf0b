#pragma once
// The raw image and what is drawn over it, kept in step with the process
// control and the seek control: the projection shown (and the value under
// the mouse), the cross-hair, the slice and the slice range, the centre of
// rotation, and the Shift-drag selection as display region (red, with
// "ShowDispRegion") and as calculation region (yellow-green, with
// "ShowCalcRegion"; a finished drag then sets every panel's regions and the
// slice range). A click picks the slice (and, with "SendMsg2Orvex", sends
// its files to the viewer); a right click sets the CoR.
#include "MouseC.h"

#include <QObject>
#include <QPen>
#include <QRectF>

class ImgDatas;
class QPainter;
class RawDisp;
class RegionSync;
class ViewerWorkflow;
namespace Ui { class Body; }

class RawOverlay : public QObject
{
    Q_OBJECT
public:
    RawOverlay(Ui::Body *ui, RawDisp *raw, ImgDatas *images, RegionSync *regions, ViewerWorkflow *viewer,
               QObject *parent = nullptr);

    bool showsDispRegion() const { return showDispRegion; }
    bool showsCalcRegion() const { return showCalcRegion; }

public slots:
    // The projection the seek control names, through the raw display's colour bar.
    void updateRawImage();

private slots:
    void newPosOnRawImg(double x, double y);
    void draw(QPainter *p);
    void selectedAPointInRawImg(double x, double y, MouseC::MStat s);
    void selectionMadeInRawImg(QRectF s);

private:
    bool hasImages() const;

    Ui::Body *ui;
    RawDisp *raw;
    ImgDatas *imgDatas;
    RegionSync *regions;
    ViewerWorkflow *viewer;
    bool showDispRegion = false;
    bool showCalcRegion = false;
    QPen crossPen, slicePen, rangePen, corPen, dispRegionPen, calcRegionPen;
};
