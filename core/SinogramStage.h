#pragma once
// One correction of the normalised sinogram between its build and the
// reconstruction (ring removal, zinger removal, ...). A SlicePipeline runs
// its stages in order on every sinogram it reconstructs.
//
// prepare() is called when the sinogram's size changes and may allocate;
// apply() then works in place and allocates nothing, so a stage can run
// slice after slice on a worker thread. One stage object belongs to one
// pipeline.
class HSgm;

class SinogramStage
{
public:
    virtual ~SinogramStage() = default;
    // Short name for log lines ("rings", "zingers").
    virtual const char *name() const = 0;
    // Scratch for sinograms of width x height; false when it cannot be had.
    virtual bool prepare(int width, int height) = 0;
    // Corrects the rows of h in place; h has the size last prepared for.
    virtual void apply(HSgm &h) = 0;
};
