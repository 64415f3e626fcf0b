#pragma once
// "Corrections": the sinogram stages of the runs (rings, zingers, air
// columns) and their parameters. A field that does not hold a valid value
// is refused (named on the warning channel, the field red) and the previous
// value stays; changed() follows every change of settings().
#include "CorrectionSettings.h"

#include <QFrame>

namespace Ui {
class CorrectionsPanel;
}

class CorrectionsPanel : public QFrame
{
    Q_OBJECT

public:
    explicit CorrectionsPanel(QWidget *parent = nullptr);
    ~CorrectionsPanel() override;

    const CorrectionSettings &settings() const { return cur; }
    // Each false (nothing changed, a warning names why) for a value a stage
    // cannot work with.
    bool setRings(bool on, double snr, int large, int small);
    bool setZingers(bool on, double threshold);
    bool setAirColumns(int k);

    Ui::CorrectionsPanel *ui;

signals:
    void changed();

private:
    void takeControls();    // the controls into cur
    void showSettings();    // cur into the controls
    // c becomes the settings, shown; changed() when they differ. True.
    bool take(const CorrectionSettings &c);
    CorrectionSettings cur;
    bool showing = false;
};
