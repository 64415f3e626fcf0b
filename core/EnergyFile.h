#pragma once
// One saved data file of a slice at one energy of a CT-XAFS sequence: the
// energy in eV, the tag it was saved under (the data set's name, e.g.
// "7112.5eV") and the file's path.
#include <QString>

struct EnergyFile {
    double energy = 0;
    QString tag;
    QString path;
};
