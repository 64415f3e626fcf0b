#pragma once
// The reconstruction filter of a run: window, cut-off and padding. A small
// value copied into every calculator when a run starts.
//
// Let N be the samples of a sinogram row the filter takes (the width rounded
// down to even) and n the number of projections.
//
// Padded ("zero", "edge"): each row is extended to P samples, P the smallest
// power of two >= 2N, so that the convolution does not wrap around into the
// row. "zero" fills samples N .. P-1 with 0; "edge" (objects wider than the
// field of view) fills the first (P-N)/2 of them with the row's last value
// and the rest with its first value. The ramp is the DFT of the spatial
// discrete ramp h[0] = 1/4, h[m] = h[P-m] = -1/(pi m)^2 for odd m < P/2 and 0
// for even m, times 2 pi: H[k] = 2 pi sum_m h[m] exp(-2 pi i k m / P). Its
// zero frequency is right (a slice keeps its mean), which a sampled |w| is
// not. The transform length is P.
//
// "none": the row's own length N, H[k] = 2 pi / N min(k, N - k), exactly the
// filter of earlier versions (results saved before are reproduced).
//
// The window w(x), x = f / c with f = min(k, L - k) / L in cycles per pixel
// (L the transform length) and c the cut-off, multiplies H; w = 0 where x > 1.
// The filtered row is the first N samples of the inverse DFT divided by L n:
// twice the attenuation per pixel, the unit of every saved data file.
#include <string>
#include <vector>

class RampFilter
{
public:
    enum class Window { Ramp, SheppLogan, Cosine, Hamming, Hann };
    enum class Padding { Zero, Edge, None };

    Window window = Window::Ramp;
    double cutoff = 0.5;        // cycles per pixel, 0 < cutoff <= 0.5
    Padding padding = Padding::Zero;

    bool operator==(const RampFilter &o) const
    {
        return window == o.window && cutoff == o.cutoff && padding == o.padding;
    }
    bool operator!=(const RampFilter &o) const { return !(*this == o); }

    // "ramp", "shepp-logan", "cosine", "hamming", "hann"; "zero", "edge", "none".
    static const char *windowName(Window w);
    static const char *paddingName(Padding p);
    static std::vector<std::string> windowNames();
    static std::vector<std::string> paddingNames();
    // Exact names, letter case aside; false (and *w untouched) for any other.
    static bool windowFromName(const std::string &name, Window *w);
    static bool paddingFromName(const std::string &name, Padding *p);
    // 0 < c <= 0.5 (false for a NaN).
    static bool cutoffValid(double c);

    // w(x) of a window, x = f / cut-off; 0 where x > 1.
    static double windowValue(Window w, double x);
    // Transform length for N samples: N for "none", else the smallest power
    // of two >= 2N (0 when N < 2 or P would overflow).
    static int transformLength(int N, Padding p);
    // The spatial discrete ramp h[0 .. P-1] (P even).
    static void spatialRamp(int P, double *h);
    // Fills samples N .. L-1 of a row whose first N samples are set.
    static void pad(double *row, int N, int L, Padding p);
    // Window factor of frequency index k (0 <= k <= L/2) for this filter.
    double windowAt(int k, int L) const;

    int transformLength(int N) const { return transformLength(N, padding); }
};
