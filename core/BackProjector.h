#pragma once
// Filtered back-projection as a Reconstructor: each row padded and
// filtered by the RampFilter of the run, then back-projected over the
// region by the fastest kernel the processor offers (CtCore).
#include "CtCore.h"
#include "Reconstructor.h"

class BackProjector : public Reconstructor
{
public:
    bool prepare(int N, int n, const RampFilter &filter) override;
    void release() override { core.release(); }
    int size() const override { return core.size(); }
    int projections() const override { return core.projections(); }
    void setThreads(int threads) override { core.setThreads(threads); }

    void clearResult() override { core.clearRes(); }
    void filter(const HSgm &h) override;
    void project(double angleOffsetDeg, const SliceRegion &region) override;
    void addOne(const HSgm &h, int i, double angleOffsetDeg, const SliceRegion &region) override;
    // Filtered projection i (after filter()) added alone, by the kernel of
    // addOne / by the plain formula pixel by pixel: the yardsticks of the
    // fast kernels (benchmarks).
    void projectOne(int i, double angleOffsetDeg, const SliceRegion &region);
    void addOnePlain(int i, double angleOffsetDeg, const SliceRegion &region);

    const std::vector<double> &result() const override { return core.result(); }
    bool resultValid() const override { return core.resultValid(); }

    // The buffers and plans, for inspection (tests, benchmarks).
    const CtCore &buffers() const { return core; }

private:
    CtCore core;
};
