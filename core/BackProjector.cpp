#include "BackProjector.h"
#include "HSgm.h"

bool BackProjector::prepare(int N, int n, const RampFilter &filter)
{
    return core.prepare(N, n, filter);
}

void BackProjector::filter(const HSgm &h)
{
    const int n = core.projections();
    // each spectrum kept only while it is filtered: a third of the traffic
    for (int i = 0; i < n; ++i)
        core.transformAndFilter(i, h.sgmRow(i));
}

void BackProjector::project(double angleOffsetDeg, const SliceRegion &region)
{
    core.backProjectAll(angleOffsetDeg, region);
}

void BackProjector::projectOne(int i, double angleOffsetDeg, const SliceRegion &region)
{
    core.backProject(i, angleOffsetDeg, region);
}

void BackProjector::addOnePlain(int i, double angleOffsetDeg, const SliceRegion &region)
{
    core.backProjectPlain(i, angleOffsetDeg, region);
}

void BackProjector::addOne(const HSgm &h, int i, double angleOffsetDeg, const SliceRegion &region)
{
    core.transform(i, h.sgmRow(i));
    core.filter(i);
    core.backProject(i, angleOffsetDeg, region);
}
