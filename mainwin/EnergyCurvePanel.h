#pragma once
// "Spectrum": the value of a pixel of a slice against energy, over every
// energy whose data file of that slice is saved (SeqSliceFiles), and the
// slice's edge-jump map.
//
// A plain click on a CT image (the CT1 display or "CT Images") picks the
// pixel and the slice; the plot is the mean over a square of 1, 3 or 5
// pixels about it. A Shift-drag picks a rectangle: its mean per energy.
// While a pixel is picked the save folders are looked at every second and
// the plot is made again when the files changed, so it grows during a
// sequence as the energies are saved. Energies whose file can't be read or
// does not hold the pixel are named (warning, status line), not plotted.
// "Export CSV" writes the points shown. "Jump Map" makes, shows and saves
// the map of the slice at E0; a click on the map picks its pixel.
// GUI thread only.
#include "JumpMap.h"
#include "EnergyCurveActions.h"

#include <QFrame>
#include <QRect>
#include <QStringList>

#include <functional>

class CalcConds;
class CtCalc;
class CtDisp;
class ImgDisp;
class QChart;
class QLineSeries;
class QTimer;
class QValueAxis;
namespace Ui { class EnergyCurvePanel; }

class EnergyCurvePanel : public QFrame
{
    Q_OBJECT
public:
    // `where` tells the save settings at the moment they are needed.
    explicit EnergyCurvePanel(std::function<EnergyCurveActions::Where()> where, QWidget *parent = nullptr);
    ~EnergyCurvePanel() override;

    // Picks from clicks and Shift-drags on the two CT displays; CT1's slice
    // is that of its last calculation (conds).
    void watch(CtDisp *ctImages, CtCalc *ct1, const CalcConds *conds);

    QLineSeries *series() const { return line; }
    QChart *chart() const { return plot; }
    ImgDisp *jumpDisplay() const { return jumpDisp; }
    int pickedSlice() const { return slice; }
    // The rectangle of result pixels averaged (empty before a pick).
    QRect pickedRect() const { return rect; }
    Ui::EnergyCurvePanel *form() const { return ui; }

public slots:
    // The square of the chosen size about (x, z) of `slice`.
    void pickPixel(int slice, int x, int z);
    // The rectangle x0..x1, z0..z1 (inclusive, either order) of `slice`.
    void pickRegion(int slice, int x0, int z0, int x1, int z1);
    // Looks at the save folders again; plots anew when the files changed
    // (or always, with `force`).
    void refresh(bool force = false);
    // Writes the points shown as CSV; false after a warning.
    bool exportCsv(const QString &file);
    // Makes, saves and shows the jump map of `slice` at E0; false after a
    // warning.
    bool makeJumpMap(double e0, int slice);

private:
    void plotPoints(const EnergyCurve &s);
    void showStatus(const QStringList &failures);
    void askExportCsv();

    Ui::EnergyCurvePanel *ui;
    std::function<EnergyCurveActions::Where()> where;
    QChart *plot;
    QLineSeries *line;
    QValueAxis *xAxis, *yAxis;
    ImgDisp *jumpDisp;
    QTimer *rescan;
    int slice = -1;
    QRect rect;
    QString fileState;          // paths, sizes and times of the files plotted
    EnergyCurve shown;
    int jumpSlice = -1, jumpX0 = 0, jumpZ0 = 0;
};
