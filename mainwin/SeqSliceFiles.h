#pragma once
// The saved data files of one slice, one per energy of a CT-XAFS sequence.
// A sequence saves slice S of the data set with tag TAG (its name, e.g.
// "7112.5eV") as NAME-TAG-SSSSS.dat, in the data folder itself, in its
// folder TAG (sub-folders of energy) or in its folder SSSSS (sub-folders of
// slice); all three places are looked at, whatever the switches are now, so
// files of earlier runs are found too. A tag counts when it names an energy
// (EnergyName: a number and its unit); jump maps ("jump-...") and CoR
// trials ("...-cor70.35") are no energies. A tag found in several places
// counts once. Widget-free.
#include "EnergyFile.h"

#include <QList>
#include <QString>

class SeqSliceFiles
{
public:
    // The files of `slice` under `path` whose names start with `name`
    // (may be empty), in no particular order.
    static QList<EnergyFile> find(const QString &path, const QString &name, int slice);
    // The tag of a file name NAME-TAG-SSSSS.dat of that name and slice;
    // empty when the name is not of that form.
    static QString tagOf(const QString &fileName, const QString &name, int slice);
};
