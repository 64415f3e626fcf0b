#pragma once
// The inner loop of the back-projection, in three variants of one rule:
// a portable one, one for AVX2 and one for AVX-512, chosen at run time from
// what the processor offers. The variant can be forced with the environment
// variable TOMIX_BP_KERNEL ("portable", "avx2", "avx512"; read once) or with
// force(); a variant the processor lacks is never run. "avx512" needs
// AVX-512 F and DQ, "avx2" AVX2 and FMA.
//
// Every variant adds, for each pixel (x, z) strictly inside the inscribed
// circle of the N x N grid and each projection i (in order i0 .. i1-1),
//     t = (g + (x - g) * cos_i) - (z - g) * sin_i,   j = floor(t),
//     res[z][x] += f_i[j] + (f_i[j + 1] - f_i[j]) * (t - j)   if 0 <= t < N - 1.
// t is rounded step by step as written, so every pixel meets the same samples
// with the same weight and the same cut at the detector's end as in the
// straightforward loop; the vector variants fuse the interpolation's
// multiply-add, which moves a pixel by a few units in the last place of its
// terms. Pixels of a row are taken from exact integer circle bounds, not a
// per-pixel test. The vector variants work on tiles of pixels whose samples
// for one projection lie in one short window, loaded once per tile and
// projection and picked out by lane permutes; the sums of a tile stay in
// registers over a block of projections.
//
// Any table is safe: the vector variants run only projections whose cosine
// and sine are finite with cos^2 + sin^2 <= 1 (a block with any other goes
// through the portable variant), keep their windows inside padded copies of
// the rows, and the portable variant tests t before it becomes an index.
#include <cstddef>

class BackProjectKernel
{
public:
    enum Variant { Auto = 0, Portable, Avx2, Avx512 };

    // Room the filtered rows are allocated with before index 0 and after
    // index N - 1 (the kernels themselves read only samples 0 .. N - 1).
    static constexpr int rowPad = 32;

    // One back-projection call: rows [zBegin, zEnd) and columns [xBegin,
    // xEnd) (already clipped to the grid) of projections [i0, i1).
    struct Job {
        double *res = nullptr;                  // N x N, res[z * N + x]
        int N = 0;
        int zBegin = 0, zEnd = 0, xBegin = 0, xEnd = 0;
        int i0 = 0, i1 = 0;
        const double *cosTab = nullptr;         // per projection
        const double *sinTab = nullptr;
        const double *const *filtered = nullptr;    // per projection, N samples (+ rowPad around)
    };

    static bool supported(Variant v);
    // The variant run() uses now (never Auto).
    static Variant active();
    // Makes v the active variant; Auto goes back to the environment / the
    // best the processor offers. False (and nothing changes) when v is not
    // supported here.
    static bool force(Variant v);
    static const char *name(Variant v);
    // Variant of a name as name() gives it; Auto for anything else.
    static Variant fromName(const char *text);

    // Columns lo..hi-1 of row z that are strictly inside the circle of radius
    // g = N / 2 about (g, g), intersected with [xBegin, xEnd); false when none.
    static bool rowSpan(int z, int N, int xBegin, int xEnd, int &lo, int &hi);
    // Projections per block for transform length N: their samples and
    // differences stay in the core's second-level cache.
    static int projectionBlock(int N);

    static void run(const Job &job);
    // With a given variant; falls back to the portable one when unsupported.
    static void run(const Job &job, Variant v);
};
