#pragma once
// What the Spectrum tab and the commands seq_spectrum / seq_jump_map do with
// the saved data files of a slice: the spectrum at a pixel or a region as a
// CSV file, and the edge-jump map saved beside the slices as
// NAME-jump-TAG-SSSSS.dat (the data files' layout) and .png, TAG naming E0
// ("jump-7112.5eV"). The map goes where the slice's files of every energy
// meet: the slice's folder with sub-folders of slice (or sub-folders without
// "of Energy"), else the save folder itself; its picture into the image
// save folder when one is set, else beside the data file. Every failure is
// named by a warning; files are written whole or not at all (WholeFile).
// Widget-free.
#include "EnergyFile.h"
#include "EnergyCurve.h"
#include "JumpMap.h"

#include <QImage>
#include <QList>
#include <QString>

namespace Ui { class Body; }

class EnergyCurveActions
{
public:
    // The save settings of the window that say where the files are.
    struct Where {
        QString dataPath, dataName;
        QString imagePath, imageName;
        bool subFolders = false, ofEnergy = false, ofSlice = false;
    };
    static Where of(const Ui::Body *ui);

    explicit EnergyCurveActions(const Where &where) : where(where) {}

    // The slice's data files, one per energy.
    QList<EnergyFile> files(int slice) const;
    // Spectrum over the square of side `size` (1, 3 or 5) centred on (x, z)
    // written to `file` as CSV. False, after warnings, when the size is not
    // one of those, no energy has a file, an energy could not be read, or the
    // file could not be written.
    bool writeSpectrum(int x, int z, int slice, int size, const QString &file) const;
    // Makes, saves and hands back (in `map`, `picture`) the jump map at E0.
    // False, after a warning, when it could not be made or saved whole.
    bool saveJumpMap(double e0, int slice, JumpMap *map = nullptr, QImage *picture = nullptr) const;

    // "jump-" and E0 as a tag: "jump-7112.5eV".
    static QString jumpTag(double e0);
    // The map as a grey picture, its lowest value black, its highest white.
    static QImage pictureOf(const JumpMap &map);

private:
    Where where;
};
