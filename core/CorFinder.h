#pragma once
// Finds the centre of rotation (CoR) of one slice from its sinogram, by one
// of two independent methods:
//
//  "correlation"  the first projections (0, pi/n, ...) against the mirrored
//                 last ones (pi - pi/n, ...): a projection at pi is the one
//                 at 0 mirrored about the CoR. Each pair is registered to a
//                 fraction of a pixel (cross-correlation through the FFT, its
//                 peak refined on the band-limited correlation); the small
//                 angle between the two members of a pair (k pi / n) is taken
//                 out by fitting the shifts of pairs k = 1..4 to a line and
//                 taking its value at k = 0.
//  "fourier"      the 360-degree sinogram (the rows, then the rows mirrored
//                 about a candidate CoR, as the Fourier-sinogram view shows
//                 it) has the energy of its 2-D Fourier transform inside a
//                 double wedge |m| <= 2 pi R |w| (angular harmonic m, spatial
//                 frequency w, object radius R) only when the candidate is
//                 right; a wrong one breaks the seam between the halves and
//                 spreads energy outside. The metric is the magnitude outside
//                 the wedge, searched coarse to fine: all candidates on few
//                 binned angles, then a narrow range on more, then a golden
//                 section search.
//
// Both work on a sinogram built about samplingCor(dim) - the middle pixel of
// the line, so that the rows hold the whole line at its own pixel positions -
// with every row replaced by its gradient along the row (central differences
// smoothed by a Gaussian of 2 pixels): a level that is no part of the sample
// (no I0, an I0 a few percent off, a beam decaying over the scan) drops out.
// They share nothing else. The value found is rounded to 0.01 pixel, then
// checked: the first row and the last one mirrored about it must match well
// for the signal they carry, clearly better than about a CoR 3 pixels either
// side, best within a pixel of it, and better than the last row taken
// unmirrored (a 360-degree scan, or a sample that does not turn, is refused,
// not handled). Failure (no data, flat data, no clear match, a 360-degree
// scan, a CoR outside the image) is a result with a reason, never a value.
//
// Plain C++ on the caller's thread; FFT plans are made and destroyed under
// the process-wide planner lock, so finders may run on several threads.
#include <QString>

#include <vector>

class HSgm;

class CorFinder
{
public:
    enum class Method { Correlation, Fourier };

    struct Result {
        bool ok = false;
        double cor = 0;     // in pixels along the line, rounded to 0.01
        QString error;      // why nothing was found
    };

    static constexpr Method defaultMethod = Method::Correlation;

    // "correlation", "fourier".
    static QString methodName(Method m);
    // The method of a name (any letter case); an empty name gives the
    // default. False for any other name.
    static bool methodFromName(const QString &name, Method *m);

    // The CoR about which the sinogram handed to find() is built, for lines
    // of dim pixels: floor((dim - 1) / 2).
    static double samplingCor(int dim);
    // The projections (of n, in order) whose rows the method needs: the
    // first and last four for "correlation"; for "fourier" every s-th, s the
    // largest divisor of n that leaves at least 256 (all when n < 512), so
    // that the angles stay evenly spaced over the half turn.
    static std::vector<int> imagesUsed(Method m, int n);
    // Rounded to 0.01.
    static double rounded(double cor);

    // The CoR of the slice whose sinogram `sgm` was built about samplingCor
    // on lines of `dim` pixels (row i = projection at i pi / n).
    static Result find(const HSgm &sgm, int dim, Method m);
};
