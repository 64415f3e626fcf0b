#pragma once
// Finds the shift of one data set's projections against those of a reference
// set (CT-XAFS: the sample and the beam move a little between energies) by
// phase correlation: for a few projections at the same angles, the
// normalised cross-power spectra of the two sets' absorbance images
// ln((I0 - BG) / (I - BG)) are summed; their inverse transform peaks at the
// shift. The integer peak is refined on a 0.05-pixel grid by the DFT of the
// summed spectrum about it, then by a parabola through the best point and
// its neighbours. The images are tapered at their borders (the transform
// takes them as periodic); since the taper stays while the content moves,
// the set is moved back by the shift found (cubic interpolation) and the
// rest found again, a few rounds, until what is left is below 0.002 pixel.
//
// A set is shifted by (dx, dy) when a feature at (x, y) of a reference
// projection lies at (x + dx, y + dy) in the set's projection.
//
// Plain C++ on the caller's thread; FFT plans are made and destroyed under
// the process-wide planner lock.
#include <QString>

#include <vector>

class ImgData;

class ShiftFinder
{
public:
    // One image as doubles, row-major, row 0 first.
    struct Plane {
        int w = 0, h = 0;
        std::vector<double> v;
    };

    struct Result {
        bool ok = false;
        double dx = 0, dy = 0;
        double peak = 0;    // height of the correlation peak, 1 for identical images
        QString error;      // why nothing was found
    };

    // The projections (of n, in order) compared: `views` spread evenly over
    // the turn, first and last included (all when n is smaller).
    static std::vector<int> viewsOf(int n, int views = 5);

    // ln((I0 - BG) / (I - BG)) of one projection, I0 1 and BG 0 where there is
    // no image; a difference not above 0 counts as 1 and a value that is not
    // finite as 0. I0 and BG must have the projection's size.
    static Plane absorbance(const ImgData &image, const ImgData *i0, const ImgData *bg);

    // The shift of `set` against `ref` (projection k of one against
    // projection k of the other; all of one size). Fails, with a reason, when
    // sizes differ, the images carry nothing to correlate, or no clear peak
    // stands out (peak below minPeak).
    static Result find(const std::vector<Plane> &ref, const std::vector<Plane> &set);

    static constexpr double minPeak = 0.05;
    static constexpr int maxRounds = 5;
    // Width (cycles per pixel) of the Gaussian weight of the spectrum.
    static constexpr double band = 0.12;
};
