#pragma once
// What a series' loading resets in the window. Before a new series: the
// collection emptied, the seek control and the raw display's scale with it.
// After it: the I0/BG selectors learn the series' size, the seek control its
// length, the raw image and (with auto update) the sinogram are redrawn, and
// the slice-to, the slice, the CoR and every panel's regions are set afresh
// from the image size where their reset flag is raised (raised at start,
// lowered once used or when a command sets the value), where the series'
// selector does not keep the conditions,
// or where the series is of another size than the last.
#include <QObject>
#include <QSize>

class ImgDatas;
class RawDisp;
class RawOverlay;
class RegionSync;
class Sinogram;
namespace Ui { class Body; }

class LoadResets : public QObject
{
    Q_OBJECT
public:
    // The reset flags, owned by the window (commands and setup files lower them).
    struct Flags
    {
        bool &regions, &sliceTo, &slice, &cor;
    };

    LoadResets(Ui::Body *ui, ImgDatas *images, RawDisp *raw, Sinogram *sgm, RawOverlay *overlay,
               RegionSync *regions, Flags flags, QObject *parent = nullptr);

    // Before a new series.
    void clear();
    // After a load; false when nothing of a size was loaded (no file matched,
    // every file refused): then no condition is touched.
    bool seriesLoaded();

private:
    Ui::Body *ui;
    ImgDatas *imgDatas;
    RawDisp *raw;
    Sinogram *sgm;
    RawOverlay *overlay;
    RegionSync *regions;
    Flags reset;
    QSize lastSeriesSize;           // of the last series loaded (invalid: none yet)
};
