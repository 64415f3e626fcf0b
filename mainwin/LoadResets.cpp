#include "LoadResets.h"
#include "ui_Body.h"

#include "ImgDatas.h"
#include "RawDisp.h"
#include "RawOverlay.h"
#include "RegionSync.h"
#include "Sinogram.h"

LoadResets::LoadResets(Ui::Body *ui, ImgDatas *images, RawDisp *raw, Sinogram *sgm, RawOverlay *overlay,
                       RegionSync *regions, Flags flags, QObject *parent)
    : QObject(parent), ui(ui), imgDatas(images), raw(raw), sgm(sgm), overlay(overlay), regions(regions),
      reset(flags)
{
}

void LoadResets::clear()
{
    imgDatas->clear();
    ui->seekCtrl->setMaximum(0);
    raw->scaled = false;
}

bool LoadResets::seriesLoaded()
{
    const int seriesW = imgDatas->count() > 0 ? imgDatas->width : 0;
    const int seriesH = imgDatas->count() > 0 ? imgDatas->height : 0;
    ui->I0ImgSel->setSeriesSize(seriesW, seriesH);
    ui->BGImgSel->setSeriesSize(seriesW, seriesH);
    ProcCtrl *pc = ui->procCtrl;
    const int W = imgDatas->width;
    const int H = imgDatas->height;
    const bool v = pc->rotAxIsV;
    // Nothing loaded (no file matched, or every file was refused): there is
    // no image size to derive slice, range, CoR and regions from.
    const bool sized = imgDatas->count() > 0 && W > 0 && H > 0;
    // Conditions of a series of another size do not fit the new one.
    const bool resized = sized && lastSeriesSize.isValid() && lastSeriesSize != QSize(W, H);
    const bool keep = ui->CTFiles->keepConditions() && !resized;
    if (sized)
        lastSeriesSize = QSize(W, H);
    if (sized && (reset.sliceTo || !keep)) {
        pc->setSliceTo((v ? H : W) - 1);
        reset.sliceTo = false;
    }
    if (sized && (reset.slice || !keep)) {
        pc->setSliceNo((v ? H : W) / 2);
        reset.slice = false;
    }
    if (sized && (reset.cor || !keep)) {
        pc->setCor(v ? W * 0.5 : double(H / 2));
        reset.cor = false;
    }
    ui->seekCtrl->setMaximum(qMax(0, imgDatas->count() - 1));
    overlay->updateRawImage();
    if (sgm->autoUpdate())
        sgm->genSinogram();
    if (sized && (reset.regions || !keep)) {
        const double e = (v ? W : H) - 1;
        regions->apply(0, 0, e, e, false, nullptr);
        regions->apply(0, 0, e, e, true, nullptr);
        reset.regions = false;
    }
    return sized;
}
