#include "CorrectionSettings.h"

#include "AirColumns.h"
#include "RingRemoval.h"
#include "SlicePipeline.h"
#include "ZingerRemoval.h"

#include <cmath>
#include <memory>

bool CorrectionSettings::operator==(const CorrectionSettings &o) const
{
    return rings == o.rings && ringSnr == o.ringSnr && ringLarge == o.ringLarge
        && ringSmall == o.ringSmall && zingers == o.zingers
        && zingerThreshold == o.zingerThreshold && airColumns == o.airColumns;
}

bool CorrectionSettings::snrValid(double snr)
{
    return std::isfinite(snr) && snr > 0;
}

bool CorrectionSettings::windowValid(int w)
{
    return w >= 1;
}

bool CorrectionSettings::thresholdValid(double t)
{
    return std::isfinite(t) && t >= 0;
}

void CorrectionSettings::addStagesTo(SlicePipeline &p) const
{
    if (zingers)
        p.addStage(std::make_unique<ZingerRemoval>(zingerThreshold));
    if (rings)
        p.addStage(std::make_unique<RingRemoval>(ringSnr, ringLarge, ringSmall));
    if (airColumns > 0)
        p.addStage(std::make_unique<AirColumns>(airColumns));
}

void CorrectionSettings::fit(SlicePipeline &p, CorrectionSettings &installed) const
{
    if (*this == installed && p.stageCount() == (zingers ? 1 : 0) + (rings ? 1 : 0) + (airColumns > 0 ? 1 : 0))
        return;
    p.clearStages();
    addStagesTo(p);
    installed = *this;
}
