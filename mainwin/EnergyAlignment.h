#pragma once
// "Align Energies": lines up the data sets of a CT-XAFS sequence. Each set
// handed over finds its shift (dx, dy) against the reference set ("Reference
// Set", 1-based as "From"/"To"; the first set by default) by phase
// correlation of a few projections spread over the turn (ShiftFinder), and
// logs it: "Set 7112.5eV shifted by (0.84, -1.37) px against 7100eV". The
// sequence hands the shift to Proc Control, from where every run adds it:
// the CoR moves by the shift across the axis, the slices by the shift along
// it, and every set is reconstructed on the reference set's grid, so that
// pixel (x, z) of slice k is one point of the sample at every energy.
//
// The reference's projections are read from its own files (with the I0 of
// its energy and the loaded BG), so that a set can be aligned without the
// reference loaded - a cluster task that reconstructs one set does the same.
// They are kept until the reference, its files, I0 or BG change.
//
// With "Auto CoR" the CoR is the reference set's, found once on its own
// projections at the current slice; each set takes it plus its shift.
// Unchecked, "Auto CoR" still asks for the reference set's CoR: each set
// keeps the CoR it finds and is reconstructed on the reference set's grid.
//
// States: off (the box unchecked: sets are built as they stand); on, no
// reference read; on, reference held (views, and CoRs found per slice).
// A shift that cannot be found (no such reference set, unreadable files,
// other sizes, no clear peak) is named on the warning channel and the set
// is built unshifted, still on the reference grid; the caller counts it.
// GUI thread only.
#include "EnergyShift.h"
#include "ShiftFinder.h"

#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class ImgData;
class ImgDatas;
class QCheckBox;
class QBoxLayout;
class QSpinBox;
class SelectDataDir;

class EnergyAlignment : public QObject
{
    Q_OBJECT
public:
    // `i0For` gives the I0 file a set of that energy is loaded with (empty:
    // the I0 image stays as chosen).
    EnergyAlignment(SelectDataDir *sets, ImgDatas *images,
                    std::function<QString(double energy)> i0For, QObject *parent = nullptr);

    // Puts "Align Energies" and "Reference Set" as a row into `column` at `at`.
    void placeControls(QBoxLayout *column, int at);
    QCheckBox *alignBox() const { return box; }
    QSpinBox *referenceBox() const { return refBox; }
    bool isOn() const;
    // 1-based.
    int reference() const;

    // The loaded series is set `index` (0-based) of the list: its shift
    // against the reference, logged. False (named) when it cannot be found;
    // *shift is then on with no shift (the reference grid, nothing moved).
    bool shiftOfLoadedSet(int index, EnergyShift *shift);
    // The reference set's CoR at `slice` for the axis (Auto CoR), found on its
    // own projections and logged; false (named) when not found.
    bool referenceCor(bool rotAxIsV, int slice, double *cor);

private:
    // Reads the reference's views when they are not held; false with `why`.
    bool holdReference(QString *why);
    // Opens a file into a reader held in memory; null when it can't be read.
    static ImgData *open(const QString &file);

    SelectDataDir *sets;
    ImgDatas *images;
    std::function<QString(double)> i0For;
    QCheckBox *box;
    QSpinBox *refBox;

    // the reference held: what it was read from, its views, its CoRs found
    QString heldKey;
    QString refName;
    int refCount = 0;
    std::vector<ShiftFinder::Plane> refViews;
    QMap<QString, double> refCors;
};
