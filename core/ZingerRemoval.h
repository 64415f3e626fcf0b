#pragma once
// Zinger removal: a direct hit on the detector leaves one sample far off its
// neighbours. A sinogram value that differs from the median of its 3 x 3
// neighbourhood (projections by detector pixels; at the border the
// neighbourhood is mirrored) by more than the threshold is replaced by that
// median. The medians are taken from the sinogram as it came in.
#include "SinogramStage.h"

#include <vector>

class ZingerRemoval : public SinogramStage
{
public:
    explicit ZingerRemoval(double threshold) : thr(threshold) {}
    const char *name() const override { return "zingers"; }
    bool prepare(int width, int height) override;
    void apply(HSgm &h) override;
    // Values replaced by the last apply().
    long replaced() const { return lastReplaced; }

private:
    double thr;
    long lastReplaced = 0;
    std::vector<double> copy;   // the incoming sinogram
};
