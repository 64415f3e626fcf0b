#pragma once
// The inner loop of the back-projection, in three variants of one rule:
// a portable one, one for AVX2 and one for AVX-512, chosen at run time from
// what the processor offers. The variant can be forced with the environment
// variable TOMIX_BP_KERNEL ("portable", "avx2", "avx512"; read once) or with
// force(); a variant the processor lacks is never run. "avx512" needs
// AVX-512 F and DQ.
//
// Every variant adds, for each pixel (x, z) strictly inside the inscribed
// circle of the N x N grid and each projection i (in order i0 .. i1-1),
//     t = (g + (x - g) * cos_i) - (z - g) * sin_i,   j = floor(t),
//     res[z][x] += f_i[j] + (f_i[j + 1] - f_i[j]) * (t - j)   if j < N - 1,
// with every product and sum rounded on its own (no fused multiply-add), so
// t, j and each term are exactly those of the straightforward loop. Pixels
// of a row are taken from exact integer circle bounds, not a per-pixel test.
// The sum of a pixel is held in a register over a block of projections and
// added in projection order.
#include <cstddef>

class BackProjectKernel
{
public:
    enum Variant { Auto = 0, Portable, Avx2, Avx512 };

    // Samples every filtered row must have readable (any value) before index 0
    // and after index N - 1: the AVX-512 kernel loads whole windows of samples.
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
    // Projections per block for transform length N: their filtered rows stay
    // in the core's second-level cache.
    static int projectionBlock(int N);

    static void run(const Job &job);
    // With a given variant; falls back to the portable one when unsupported.
    static void run(const Job &job, Variant v);
};
