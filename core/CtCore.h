#pragma once
// The buffers and FFT plans of one filtered back-projection, and its three
// per-projection steps: transform, ramp filter, back-projection.
//
// Symbols: n projections, sinogram width w, N = w rounded down to even (the
// samples of a row that are filtered and the size of the grid), grid centre
// g = N / 2, L the transform length of the filter (RampFilter: a power of two
// >= 2N for a padded row, N for padding "none"). The result is an N x N grid,
// row z, column x; only pixels strictly inside the inscribed circle are
// computed.
//
// prepare() allocates everything; after it a calculation allocates nothing
// (but for the threads of a slice shared out, see bpThreads).
// Plans are made and destroyed under the process-wide planner lock, so cores
// may be prepared and released on any thread. One core is used by one
// thread at a time.
#include "RampFilter.h"
#include "SliceRegion.h"

#include <fftw3.h>

#include <vector>

class HSgm;

class CtCore
{
public:
    // Calculation region in result pixels: x from trunc(x0) while x < x1,
    // z from trunc(z0) while z < z1.
    using Region = SliceRegion;

    CtCore() = default;
    ~CtCore();
    CtCore(const CtCore &) = delete;
    CtCore &operator=(const CtCore &) = delete;

    // N x N, row-major (row z, column x), and whether at least one projection
    // was back-projected into it since it was cleared.
    const std::vector<double> &result() const { return res; }
    bool resultValid() const { return resValid; }
    // The extremes findExtremes() found.
    double resultMin() const { return resMin; }
    double resultMax() const { return resMax; }
    // N and n the buffers were made for (N = 0: not prepared).
    int size() const { return fftN; }
    int projections() const { return nProj; }
    // Filtered projection i (N samples, readable BackProjectKernel::rowPad
    // around): the input of the back-projection. Written directly only by
    // tests that feed the kernels rows of their own.
    const double *filteredRow(int i) const { return filtered[std::size_t(i)]; }
    double *filteredRow(int i) { return filtered[std::size_t(i)]; }
    const double *const *filteredRows() const { return filtered.data(); }

    // Transform length for a sinogram width: the width rounded down to even.
    static int fftLengthFor(int sinogramWidth);
    // Ramp factor of frequency index k for length N: 2 pi / N * min(k, N - k).
    static double rampFactor(int k, int N);
    // The filter table H[k], k = 0 .. L/2, of rows of N samples padded to L:
    // the ramp (2 pi DFT of the spatial ramp; without padding |w| sampled)
    // times the window. in, out and plan: a forward transform of length L,
    // used as scratch.
    static void filterTable(const RampFilter &f, int N, int L, double *in, fftw_complex *out,
                            fftw_plan plan, std::vector<double> *H);
    // Angle of projection i of n in radians: offset + i * pi / n.
    static double projAngle(double angleOffsetDeg, int i, int n);

    // The filter of the next prepare(); the current one is kept until then.
    void setFilter(const RampFilter &f) { wanted = f; }
    const RampFilter &filter() const { return wanted; }
    // Builds buffers, plans and the filter table for N samples, n projections
    // and the filter set by setFilter unless they are already of that kind.
    // N < 2 (nothing to transform) releases everything and returns false, as
    // does a failed allocation.
    bool prepare(int N, int n);
    bool prepare(int N, int n, const RampFilter &f)
    {
        setFilter(f);
        return prepare(N, n);
    }
    bool prepared() const { return fftN >= 2; }
    void release();

    // Sizes res to N x N and zeroes it; clears resValid.
    void clearRes();
    double &resAt(int z, int x) { return res[std::size_t(z) * std::size_t(fftN) + std::size_t(x)]; }
    double resAt(int z, int x) const { return res[std::size_t(z) * std::size_t(fftN) + std::size_t(x)]; }

    // Step 1: spectrum of projection i from its sinogram row (N samples are
    // used; the last sample of the odd-width row is left out), padded to L.
    void transform(int i, const double *row);
    // Step 2: filtered projection i (the first N samples), divided by L n
    // (inverse transform and angular weight; the values are twice the
    // attenuation per pixel, see filterSpectrum()).
    void filter(int i);
    // Steps 1 and 2 in one pass over the row, the spectrum kept only while it
    // is filtered (spectra[i] is left as it was): the same filtered row as
    // transform followed by filter, with a third of the memory traffic.
    void transformAndFilter(int i, const double *row);
    // Step 3: adds projection i, at angleOffsetDeg * pi / 180 + i * pi / n,
    // into res over the region, with linear interpolation between detector
    // samples. Sets resValid.
    void backProject(int i, double angleOffsetDeg, const Region &region);
    // The same as backProject for every projection 0..n-1, each pixel summed
    // in projection order (so the result equals n calls of backProject), by
    // the fastest kernel the processor offers (BackProjectKernel): blocks of
    // projections whose filtered rows stay in cache, each pixel's sum held in
    // a register over a block. With bpThreads > 1 the region's rows are
    // shared out in parts of about equal numbers of pixels, each part on a
    // thread of its own (the calling thread takes the first); every pixel is
    // still summed by one thread in the same order, so the result is the same.
    void backProjectAll(double angleOffsetDeg, const Region &region);
    // Threads one backProjectAll may use: 1 (the calling thread alone) for the
    // workers of a range, which already keep every core busy; the number of
    // cores for a lone slice. A thread that cannot be started leaves its part
    // to the calling thread.
    void setThreads(int threads) { bpThreads = threads; }
    // The formula evaluated pixel by pixel, without any rearrangement; the
    // yardstick for the fast kernels.
    void backProjectPlain(int i, double angleOffsetDeg, const Region &region);

    // A whole slice from a sinogram: checks the size (N >= 2, n >= 1; prepares
    // again when N or n changed), clears res, transforms and filters every row,
    // back-projects all and finds the extremes, with the filter set by
    // setFilter. Returns false when no calculation took place.
    bool reconstruct(const HSgm &hSgm, double angleOffsetDeg, const Region &region);

    // resMin / resMax over the whole grid when resValid.
    void findExtremes();
    // The least and the greatest of v (+DBL_MAX and -DBL_MAX when empty).
    static void extremesOf(const std::vector<double> &v, double *lo, double *hi);

private:
    // Tests of the buffers themselves (made once, reused, spectra and
    // filtered rows against the formulas).
    friend class TestCtCore;
    friend class TestCtKernels;
    friend class TestFilter;

    int fftN = 0;               // N the buffers were made for; 0 = not prepared
    int transN = 0;             // L, the transform length of the prepared filter
    // The rows are real, so only the half spectrum 0..L/2 is computed and
    // kept (the other half is its complex conjugate).
    double *fwdIn = nullptr;        // L samples: the row, then its padding
    fftw_complex *fwdOut = nullptr; // L/2 + 1 frequencies
    fftw_complex *bwdIn = nullptr;  // L/2 + 1 frequencies (overwritten by the inverse)
    double *bwdOut = nullptr;       // L samples
    fftw_plan fwdPlan = nullptr;    // forward (sign -1) fwdIn -> fwdOut
    fftw_plan bwdPlan = nullptr;    // backward (sign +1) bwdIn -> bwdOut
    std::vector<double> filterTab;  // L/2 + 1 factors: ramp H[k] times window
    std::vector<fftw_complex *> spectra;    // n half spectra of L/2 + 1
    std::vector<double *> filtered;         // n filtered rows of N, readable
                                            // BackProjectKernel::rowPad around
    int nProj = 0;              // n of the current calculation
    std::vector<double> res;    // N x N, row-major: res[z * N + x]
    bool resValid = false;      // at least one projection back-projected
    double resMin = 0, resMax = 0;

    int bpThreads = 1;          // see setThreads

    // Filter of the spectrum S, inverse transform and weight into filtered[i].
    void filterSpectrum(int i, const fftw_complex *S);
    // The row's N samples and its padding into fwdIn; the forward transform.
    void transformRow(const double *row);
    // filterTab for the prepared length and filter.
    // Rows zBegin..zEnd-1 of projections i0..i1-1 (grid and region already
    // clipped), through the active kernel.
    void backProjectRows(int i0, int i1, int zBegin, int zEnd, int xBegin, int xEnd);
    // Region clipped to the grid: [xBegin, xEnd) x [zBegin, zEnd); false if empty.
    bool clipRegion(const Region &region, int &xBegin, int &xEnd, int &zBegin, int &zEnd) const;

    std::vector<double> cosTab, sinTab;     // per projection, made per back-projection call
    RampFilter wanted;                      // the filter of the next prepare
    RampFilter prepared_;                   // the filter of the buffers and table
};
