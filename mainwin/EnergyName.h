#pragma once
// Energies read from the names of CT-XAFS files and directories.
//
// A projection file is named sample-energy-index, e.g. "Fe-7112_5eV-00012.img";
// the energy token is the text between the last two "-" of the file name.
// A token is a number followed by its unit: the number is the text up to and
// including the token's last digit, with "_" read as a decimal point; the
// unit is what follows it. "keV" (any case) counts 1000 eV, any other unit 1 eV.
// Text that does not read as a number counts as 0.
#include <QString>

// The text between the last two "-" of the file name (a path is reduced to its
// file name first). Without a "-" the name is kept whole; with one "-" the
// part before it is the token.
QString energyTokenOf(const QString &fileName);
// The number of a token: its text up to the last digit, "_" read as ".";
// 0 when it has no digit or does not read as a number.
double energyNumberOf(const QString &token);
// The unit of a token: the text after its last digit (the whole token when it
// has no digit).
QString energyUnitOf(const QString &token);
// 1000 for "keV" (any case), else 1.
double energyMultiplierOf(const QString &unit);
// The energy in eV a token denotes: number x multiplier.
double energyOfToken(const QString &token);
// The energy in eV of a file named sample-energy-index.
double energyFromFileName(const QString &fileName);
