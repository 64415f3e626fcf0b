#include "CtFileSet.h"

#include "EnergyName.h"

CtFileSet::CtFileSet(const QFileInfo &first, QObject *parent)
    : QObject(parent), files_{first}, firstName_(first.fileName())
{
    prefix_ = prefixOf(firstName_);
    sampleName_ = prefixOf(prefix_);
    energyToken_ = energyTokenOf(firstName_);
    unit_ = energyUnitOf(energyToken_);
    multiplier_ = energyMultiplierOf(unit_);
    energyNumber_ = energyNumberOf(energyToken_);
}

QString CtFileSet::prefixOf(const QString &fileName)
{
    const qsizetype last = fileName.lastIndexOf(QLatin1Char('-'));
    return last < 0 ? fileName : fileName.left(last);
}

bool CtFileSet::add(const QFileInfo &file)
{
    if (prefixOf(file.fileName()) != prefix_)
        return false;
    files_.append(file);
    return true;
}
