#pragma once
// "Sinogram": builds the sinogram of one slice from the loaded projection
// series - one image line per projection, resampled about the centre of
// rotation and normalised as ln((I0 - BG) / (I - BG)) - and shows it, with
// the magnitude of its 2-D Fourier transform on request.
//
// genSinogram0 may be called from any thread with a record of the caller's
// own: it touches only that record and reads the image collection, which must
// not change while a reconstruction runs. Everything else is GUI-thread only.
#include "CorrectionSettings.h"
#include "EnergyShift.h"
#include "HSgm.h"
#include "SlicePipeline.h"

#include <QFrame>

#include <vector>

class ImgDatas;
class ProcCtrl;

namespace Ui {
class Sinogram;
}

class Sinogram : public QFrame
{
    Q_OBJECT

public:
    explicit Sinogram(QWidget *parent = nullptr);
    ~Sinogram() override;

    // Stores the process-control panel and follows its slice, CoR, axis and
    // auto-update changes. Called once.
    void setProcCtrl(ProcCtrl *procCtrl);
    // The projections with their I0 and BG images (a plain pointer).
    void setImgDatas(ImgDatas *imgDatas);
    ProcCtrl *procCtrl() const { return pCtrl; }
    ImgDatas *imgDatas() const { return datas; }

    // The panel's own sinogram as built, read by the single-slice calculator.
    HSgm hSgm;
    // hSgm through the corrections (empty while they are all off); the
    // picture shows it unless "Show Raw" is ticked.
    HSgm corrected;
    const HSgm &shown() const;

    // The corrections of the picture and of the CoR finder's sinogram; a
    // change builds and draws the sinogram again.
    void setCorrections(const CorrectionSettings &c);
    const CorrectionSettings &corrections() const { return corr; }
    // Runs the corrections on h in place (GUI thread); false (named on the
    // warning channel) when a stage could not be prepared.
    bool correct(HSgm *h);

    Ui::Sinogram *ui;

public slots:
    // Builds the sinogram of line `slice` into `hSgm`; true when rows were
    // built. A CoR below 1 (or not a number) or reaching the far edge builds
    // nothing and leaves the record as it was; a slice outside the image lines
    // or a CoR within a pixel of the edge leaves it empty.
    bool genSinogram0(HSgm *hSgm, bool rotAxIsV, double cor, int slice);
    // genSinogram0 into the panel's record with ProcCtrl's axis, CoR and slice;
    // true when rows were built.
    bool genSinogram();
    // The sinogram image: n rows as they are, then the same n rows mirrored.
    void genSgmImage();
    // The Fourier-sinogram image when "Gen Fou. Sinogram" is checked.
    void genFouSImage();
    // genSinogram and genSgmImage when auto update is on.
    void genImage();
    void corUpdated();
    void sliceNoUpdated();
    void rotAxUpdated();
    void autoUpdateUpdated();
    void corEditingFinished();
    // Value under the mouse in the sinogram image.
    void newPos(double x, double y);
    void setGenFouS(bool f);

public:
    // genSinogram0 from only the listed projections, in that order (row i
    // from projection images[i]); indices outside the series build nothing.
    bool genSinogram0(HSgm *hSgm, bool rotAxIsV, double cor, int slice,
                      const std::vector<int> &images);
    // genSinogram0 of a data set shifted against the reference set of its
    // sequence: `cor` is the set's own (the shift included), the line lies at
    // slice + the shift along the axis, and the row has the samples of the
    // reference set's grid. An EnergyShift that is off builds as above.
    bool genSinogram0(HSgm *hSgm, bool rotAxIsV, double cor, int slice, const EnergyShift &shift);
    // The "Auto Update Sinogram" box of the process-control panel.
    bool autoUpdate() const;
    // The ion-chamber ratio (I0raw / I0i0, 1: none) the panel's own
    // sinogram is built with (HSgm::i0Scale); a change rebuilds the picture
    // when auto update is on. Callers of genSinogram0 set their record's.
    void setI0Scale(double scale);
    double i0Scale() const { return ionScale; }

private:
    void regenerate();
    void remakeCorrected();
    bool build(HSgm *hSgm, bool rotAxIsV, double cor, int slice, const std::vector<int> *images,
               const EnergyShift &shift = EnergyShift());

    CorrectionSettings corr;
    SlicePipeline chain;            // the corrections' stages (no method run)
    CorrectionSettings chainHas;
    ProcCtrl *pCtrl = nullptr;
    ImgDatas *datas = nullptr;
    double ionScale = 1.0;
};
