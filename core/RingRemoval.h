#pragma once
// Ring removal: a detector pixel whose response is off makes a stripe (a
// column) in the sinogram and a ring in the slice. Three steps, after Vo,
// Atwood and Drakopoulos, "Superior techniques for eliminating ring artifacts
// in X-ray micro-tomography", Optics Express 26 (2018):
//
//  1. unresponsive and fluctuating stripes: columns whose variation along the
//     projections differs from that of their neighbours (a dead pixel shows
//     too little, a flickering one too much) are detected and rebuilt, row
//     by row, by linear interpolation between the nearest sound columns;
//  2. large stripes: every column is sorted along the projections and the
//     sorted image smoothed across the columns over `large` pixels; the
//     trimmed means of sorted and smoothed columns give each column's
//     offset; the columns whose offset stands out take their smoothed values;
//  3. small-to-medium stripes: that sorted image smoothed across by a median
//     of `small` pixels, the smoothed values standing for the columns'.
//
// Two guards keep a sound sinogram sound. A median across the columns cuts
// the peaks of real structure (the column through the middle of a round
// body is the highest of its neighbours at every rank), which made streaks
// and a dot at the centre; so the smoothing of step 2 is a local quadratic
// fit plus the median of what is left after it, and step 2 changes only the
// columns found to stand out. And what steps 2 and 3 change in a column is
// taken out as one offset, the median of the change over the column's
// ranks: a pixel's gain error is exactly that in ln(I0 / I), and real
// structure, which the sorting smooths differently in every row, keeps its
// shape. The medians and offsets are measured at 64 ranks spread evenly
// over the projections (all when fewer), which keeps the two steps at a
// small part of a back-projection.
//
// Stripes stand out when the extreme of the sorted detection list lies more
// than `snr` times the list's spread (its middle half fitted by a line) off
// that line. The sinogram holds ln(I0 / I): a pixel's gain error is an
// offset there, so step 2 takes differences where the intensity domain would
// take ratios.
#include "SinogramStage.h"

#include <utility>
#include <vector>

class RingRemoval : public SinogramStage
{
public:
    RingRemoval(double snr, int large, int small);
    const char *name() const override { return "rings"; }
    bool prepare(int width, int height) override;
    void apply(HSgm &h) override;

    // The steps alone, for benchmarks (after prepare()): step 1, and steps 2
    // and 3 with their offsets taken out.
    void removeUnresponsive(HSgm &h);
    void removeStripeOffsets(HSgm &h);

    // 1 where list[i] is a stripe by the rule above (mask has list's size;
    // `sorted` is scratch of that size).
    static void detectStripes(const double *list, int n, double snr, double *mask, double *sorted);
    // out[j] = median of in[j - win / 2 .. j + win / 2] (mirrored at the
    // ends; the window held to the row's length and made odd); `scratch`
    // holds win values.
    static void medianRow(const double *in, double *out, int n, int win, double *scratch);

    // The part of a row a median cannot see through: a local quadratic fit
    // (window win) plus the median (window win) of what is left of the row
    // after it. A smooth row, peaks included, comes out as it went in; a
    // column off its neighbours is taken out. fit, rest: len values; buf: win.
    static void smoothRow(const double *in, double *out, int len, int win, double *fit,
                          double *rest, double *buf);

private:
    // Row of the sorted image (0 .. projections - 1) of sampled rank i.
    int rankAt(int i) const;
    // mask dilated by one column each way.
    void dilate(int n);

    double snr;
    int large, small;
    int w = 0, n = 0, ranks = 0;
    // sorted columns at the sampled ranks: [i * w + c]; as sorted, and smoothed
    std::vector<double> sorted, original, smooth;
    std::vector<double> column;
    std::vector<double> list, list2, mask, maskTmp, scratch, fitRow, restRow;
};
