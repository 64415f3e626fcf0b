#pragma once
// A reconstruction method: from a normalised sinogram (n rows of one
// projection each, `width` samples) to an N x N slice, N = width rounded
// down to even. Filtered back-projection (BackProjector) is the one method
// today; another method implements this interface and is handed to the
// SlicePipeline.
//
// prepare() makes every buffer; after it the calls below allocate nothing.
// One object is used by one thread at a time.
#include "RampFilter.h"
#include "SliceRegion.h"

#include <vector>

class HSgm;

class Reconstructor
{
public:
    virtual ~Reconstructor() = default;

    // Buffers for N samples per row (N >= 2) and n projections, with the
    // filter of the run (a method without a filter ignores it). Kept when
    // already of that kind. False (and nothing prepared) when N < 2 or the
    // memory cannot be had.
    virtual bool prepare(int N, int n, const RampFilter &filter) = 0;
    virtual void release() = 0;
    // N and n prepared for; N = 0 when not prepared.
    virtual int size() const = 0;
    virtual int projections() const = 0;
    // Threads a whole slice may use (1: the calling thread only).
    virtual void setThreads(int threads) = 0;

    // Zeroes the N x N result and marks it not valid.
    virtual void clearResult() = 0;
    // A whole slice in two steps: filter() takes every row of h through the
    // method's filter (FBP: padded, transformed, ramp and window, back), then
    // project() adds every filtered projection into the result.
    virtual void filter(const HSgm &h) = 0;
    virtual void project(double angleOffsetDeg, const SliceRegion &region) = 0;
    // Projection i of h alone, filtered and added (a slice shown as it
    // grows); n such calls in order give the result of filter() + project().
    virtual void addOne(const HSgm &h, int i, double angleOffsetDeg, const SliceRegion &region) = 0;

    // N x N, row-major: result()[z * N + x].
    virtual const std::vector<double> &result() const = 0;
    // At least one projection has been added since clearResult().
    virtual bool resultValid() const = 0;
};
