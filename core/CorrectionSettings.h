#pragma once
// The sinogram corrections of a run, as plain values: which stages are on and
// their parameters. Filled from the "Corrections" controls on the GUI thread,
// copied into CalcConds and every worker's job, and turned into a pipeline's
// chain of stages by fit(). All off by default: a pipeline then has no stage
// and its results are those of the uncorrected sinogram, bit for bit.
//
// Chain order: zingers (outliers would look like stripes), rings, air
// columns (the offset of each row is taken after its air pixels are mended).
class SlicePipeline;

struct CorrectionSettings
{
    // ring removal: unresponsive/fluctuating, large and small-to-medium stripes
    bool rings = false;
    double ringSnr = 3;         // stripe detection ratio
    int ringLarge = 51;         // median window of the large-stripe steps (pixels)
    int ringSmall = 21;         // median window of the sorting step (pixels)
    // zinger removal: a value off the median of its 3 x 3 neighbourhood by
    // more than the threshold (sinogram units) becomes that median
    bool zingers = false;
    double zingerThreshold = 0.1;
    // columns of air at each end of every row (0: off); the row is shifted
    // so that their mean is 0
    int airColumns = 0;

    bool any() const { return rings || zingers || airColumns > 0; }
    bool operator==(const CorrectionSettings &o) const;
    bool operator!=(const CorrectionSettings &o) const { return !(*this == o); }

    // Parameters a stage can work with: SNR > 0, windows >= 1, threshold
    // >= 0, air columns >= 0 (all finite).
    static bool snrValid(double snr);
    static bool windowValid(int w);
    static bool thresholdValid(double t);

    // Appends the stages that are on to p, in chain order.
    void addStagesTo(SlicePipeline &p) const;
    // Makes p's chain these settings' when `installed` (what p holds now)
    // differs, and records them there; p's other buffers stay.
    void fit(SlicePipeline &p, CorrectionSettings &installed) const;
};
