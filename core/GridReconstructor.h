#pragma once
// Fourier gridding as a Reconstructor: the sum of filtered back-projection,
// evaluated in the frequency plane.
//
// filter() makes back-projection's filtered rows (padded, ramp and window of
// the RampFilter, divided by L n). project() transforms each row over its N
// samples; by the Fourier slice theorem its frequency k / N belongs k M / N
// cells from the centre of an M x M frequency grid (M >= 2N, no prime
// factor above 7: oversampling 2 or a little more) along (cos th, -sin th),
// the rows' n (N / 2 + 1) samples a dense enough polar sampling. Each
// sample, times sinc^2 (the transfer of the linear interpolation between
// detector samples that back-projection uses), and its conjugate opposite are
// spread onto the grid with a separable Kaiser-Bessel kernel of 4 cells read
// from a table of phases; so are the samples of the two neighbouring bands
// (f -+ 1), which linear interpolation adds above Nyquist, where they weigh
// 1 % or more. A 2-D inverse FFT of the
// stored half plane (the slice is real) gives the slice times the kernel's
// transform, which is divided out (deapodisation). Only the N middle rows
// are transformed along x.
//
// Conventions as for back-projection: the grid centre g = N / 2 is the
// rotation axis (the CoR is applied when the sinogram is built), the angle
// of projection i is offset + i pi / n, detector position
// t = g + (x - g) cos th - (z - g) sin th, values are twice the attenuation
// per pixel, and only pixels of the region strictly inside the inscribed
// circle are added to the result. The outermost ring (1 pixel), where
// back-projection leaves out the last detector interval, is back-projected
// from the filtered rows directly.
//
// addOne (the single-slice panel shown as it grows) back-projects the
// filtered row by the plain formula: a gridded slice is one 2-D transform
// of all projections, and one transform per projection would cost n times
// a whole slice. The growing slice is therefore back-projection's; a slice
// done at once is gridded (the two agree to under 0.1 % of the range, RMS).
//
// Speed: spreading is held up by memory (a steep line meets new grid rows
// at every sample), so the rows of the sample a few ahead are prefetched;
// grid rows are an odd number of cache lines apart, so a column does not
// fall into a few cache sets; the FFT plans are measured (the first prepare
// of a size in a process takes seconds, FFTW keeps the result for later
// ones).
//
// Plans are made and destroyed under FftwLock. prepare() makes every buffer
// and plan; filter(), project() and addOne() allocate nothing. The slice
// uses the calling thread only (setThreads is taken but not used: workers
// of a range already keep every core busy).
#include "Reconstructor.h"

#include <fftw3.h>

#include <vector>

class GridReconstructor : public Reconstructor
{
public:
    GridReconstructor() = default;
    ~GridReconstructor() override;
    GridReconstructor(const GridReconstructor &) = delete;
    GridReconstructor &operator=(const GridReconstructor &) = delete;

    bool prepare(int N, int n, const RampFilter &filter) override;
    void release() override;
    int size() const override { return N_; }
    int projections() const override { return n_; }
    void setThreads(int threads) override { threads_ = threads; }

    void clearResult() override;
    void filter(const HSgm &h) override;
    void project(double angleOffsetDeg, const SliceRegion &region) override;
    void addOne(const HSgm &h, int i, double angleOffsetDeg, const SliceRegion &region) override;

    const std::vector<double> &result() const override { return res; }
    bool resultValid() const override { return resValid; }

    // The frequency grid's side M for N samples per row: the least size
    // >= 2N with no prime factor above 7 (0 when N < 2).
    static int gridSizeFor(int N);
    int gridSize() const { return M_; }
    // Cells from one stored row of the grid to the next (>= M / 2 + 1).
    static int gridStrideFor(int M);
    // Kernel width in grid cells.
    static constexpr int kernelWidth = 4;

private:
    // Back-projection's filtered row i (first N samples, divided by L n).
    void filterRow(int i, const double *row);
    // One frequency sample (grid cells px, pz; value re + i im) onto the
    // stored half of the grid; with anyCell false its columns are known to
    // lie inside the half, unfolded.
    void spread(double px, double pz, double re, double im, bool anyCell);
    // A sample and its conjugate at -p, anywhere in the plane.
    void spreadPair(double px, double pz, double re, double im);
    // Asks the cache for the grid rows a sample at (px, pz) updates.
    void prefetchAt(double px, double pz) const;
    // The rim pixels back-projected from the filtered rows into rimSum.
    void backProjectRim();
    double kernelAt(double d) const;
    // Kaiser-Bessel kernel's continuous transform at nu cycles per cell.
    double kernelTransform(double nu) const;

    static constexpr double rimWidth = 1.0;

    int N_ = 0, n_ = 0;         // prepared for; N_ = 0: not prepared
    int L_ = 0;                 // transform length of the filter
    int M_ = 0;                 // grid side
    int S_ = 0;                 // cells from one grid row to the next (M / 2 + 1 used)
    int R_ = 0;                 // transform length of a filtered row in project()
    int threads_ = 1;
    RampFilter prepared_;
    double beta = 0;            // Kaiser-Bessel shape
    std::vector<double> kernelTab;      // C(d) for d = j / tabPerCell, 0 <= d <= W / 2 (+1)
    double tabPerCell = 0;
    std::vector<double> phaseTab;       // (phases + 1) x W signed weights, see spread()
    std::vector<double> deapod;         // 1 / C^(X / M) for X = -N/2 .. N/2 - 1
    std::vector<double> filterTab;      // per k of L: ramp times window (back-projection's)
    std::vector<double> weightTab;      // per k of M: sinc^2, halved ends
    std::vector<double> aliasTab;       // per k of M: the bands below and above
    std::vector<double> phaseRe, phaseIm;   // per k of M: exp(2 pi i k g / M)
    std::vector<double> cosTab, sinTab;     // per projection (sized at prepare)
    std::vector<int> rimX, rimZ;            // pixels of the outermost ring
    std::vector<double> rimSum;             // their back-projected values

    double *rowIn = nullptr;            // L samples
    fftw_complex *rowSpec = nullptr;    // L / 2 + 1
    double *rowBack = nullptr;          // L samples
    fftw_complex *backSpec = nullptr;   // L / 2 + 1
    fftw_plan fwdPlan = nullptr, bwdPlan = nullptr;
    double *rows = nullptr;             // n filtered rows of N
    double *gridIn = nullptr;           // M: a filtered row, zero beyond N
    fftw_complex *gridSpec = nullptr;   // M / 2 + 1
    fftw_plan gridPlan = nullptr;
    fftw_complex *grid = nullptr;       // M rows of S_ cells (M / 2 + 1 used), transformed in place
    fftw_plan colPlan = nullptr;        // columns: complex, along z
    fftw_plan rowPlan = nullptr;        // the N middle rows: complex to real, along x

    std::vector<double> res;    // N x N
    bool resValid = false;
};
