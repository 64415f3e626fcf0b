#pragma once
// The way from projection lines to one reconstructed slice, in stages:
//
//   build        raw lines, I0 and BG to the normalised sinogram (HSgm)
//   corrections  an ordered chain of SinogramStage, run in place on it
//   filter       the padded ramp filter of the run (RampFilter), part of
//   method       the Reconstructor (BackProjector: filtered back-projection)
//   result       N x N values, row z, column x, with their extremes
//
// Every calculator (the single-slice panel at once and projection by
// projection, the multi-slice workers, CoR trials, benchmarks) reconstructs
// through one of these; the CoR finder's sinogram comes from build().
//
// A pipeline owns its stages' and method's buffers. prepare() makes them;
// after it a run allocates nothing per slice as long as the sinogram keeps
// its size and the filter stays. One pipeline is used by one thread at a
// time; FFT plans are made under the process-wide planner lock.
#include "RampFilter.h"
#include "HSgm.h"
#include "SliceRegion.h"

#include <memory>
#include <string>
#include <vector>

class Reconstructor;
class SinogramStage;

class SlicePipeline
{
public:
    // With filtered back-projection as its method.
    SlicePipeline();
    explicit SlicePipeline(std::unique_ptr<Reconstructor> method);
    ~SlicePipeline();
    SlicePipeline(const SlicePipeline &) = delete;
    SlicePipeline &operator=(const SlicePipeline &) = delete;

    // Grid size N for a sinogram width: the width rounded down to even (the
    // last sample of an odd row is left out); 0 when nothing to transform.
    static int lengthFor(int sinogramWidth);

    // --- build
    // The whole sinogram build of HSgm::build (I0/BG samples, dead-pixel
    // mending, ln((I0 - BG) / (I - BG))); true when rows were built.
    static bool build(HSgm &h, bool rotAxIsV, double cor, int slice, int dim, int nLines,
                      int nImages, const HSgm::LineReader &readI0,
                      const HSgm::LineReader &readBg, const HSgm::ImageLineReader &readImage);

    // --- corrections
    // Appends a stage to the chain (run in the order added).
    void addStage(std::unique_ptr<SinogramStage> stage);
    int stageCount() const { return int(stages.size()); }
    // Empties the chain (a new set of corrections follows with addStage()).
    void clearStages();
    // Runs the chain on h in place, preparing the stages first when h's size
    // differs from the last one's; false (named on the warning channel, h as
    // the stages before it left it) when a stage cannot be prepared for it.
    bool correct(HSgm &h);

    // --- filter and method
    // The filter of the next prepare(); the prepared one is kept until then.
    void setFilter(const RampFilter &f) { wanted = f; }
    const RampFilter &filter() const { return wanted; }
    // Threads a whole slice may use: 1 for a worker of a range, the cores
    // for a lone slice (rows of the slice shared out, same result).
    void setThreads(int threads);
    // Buffers for sinograms of `width` samples and n projections with the
    // filter set; kept when already of that kind. False when the width
    // leaves nothing to transform or memory is short.
    bool prepare(int width, int n);
    bool prepare(int width, int n, const RampFilter &f)
    {
        setFilter(f);
        return prepare(width, n);
    }
    // N and n prepared for (N = 0: not prepared).
    int size() const;
    int projections() const;
    // h has the size the pipeline is prepared for and a result grid exists.
    bool fits(const HSgm &h) const;

    // --- runs
    // A whole slice: prepares for h (when needed), clears the result, runs
    // the corrections, every projection through the method, and finds the
    // extremes. False when no calculation took place.
    bool run(HSgm &h, double angleOffsetDeg, const SliceRegion &region);
    // Projection by projection, the result growing: begin() prepares for h,
    // runs the corrections and clears the result; step(i) adds projection i.
    // step() of all i in order equals run().
    bool begin(HSgm &h);
    void step(const HSgm &h, int i, double angleOffsetDeg, const SliceRegion &region);
    // run() in its two method steps, for a caller that times them (after
    // begin()): every row of h through the filter, then every filtered
    // projection into the result.
    void filterAll(const HSgm &h);
    void projectAll(double angleOffsetDeg, const SliceRegion &region);
    // Zeroes the result.
    void clearResult();

    // --- result
    const std::vector<double> &res() const;
    double resAt(int z, int x) const
    {
        return res()[std::size_t(z) * std::size_t(size()) + std::size_t(x)];
    }
    bool resValid() const;
    // res() is a whole N x N grid.
    bool hasResult() const;
    // resMin / resMax over the grid, when resValid().
    void findExtremes();
    double resMin = 0, resMax = 0;

    // --- method, by name (ReconMethod)
    // The method of that name becomes the pipeline's unless it already is
    // (its buffers are made at the next prepare); false, nothing changed,
    // for an unknown name.
    bool useMethod(const std::string &name);
    // The name of the method in use ("" for one handed to the constructor).
    const std::string &methodName() const { return methodName_; }

    Reconstructor &method() { return *recon; }
    const Reconstructor &method() const { return *recon; }

private:
    std::vector<std::unique_ptr<SinogramStage>> stages;
    std::unique_ptr<Reconstructor> recon;
    RampFilter wanted;
    std::string methodName_;
    int stagesW = -1, stagesH = -1;     // size the stages are prepared for; -1: none
};
