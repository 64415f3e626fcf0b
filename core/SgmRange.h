#pragma once
// Sampling geometry of the sinogram rows about the centre of rotation: the
// rows are resampled symmetrically about the CoR, `half` - 1 samples on each
// side of the centre sample.

class SgmRange
{
public:
    SgmRange() = default;
    // For a line of `dim` pixels (pixel k at coordinate k) and a CoR `cor`.
    SgmRange(bool rotAxIsV, int dim, double cor);

    bool rotAxIsV = false;
    int half = 0;       // floor(min(cor, dim - cor - 1)); 0 for a CoR that is not finite
    int width = 0;      // 2 * half - 1
    int iCor = 0;       // floor(cor)
    double cor = 0;
    double frac = 0;    // cor - iCor

    // Usable for resampling: at least one sample, all inside the line.
    bool valid() const { return half >= 1; }

    // Resamples line (of the `dim` pixels the range was made for) into `width`
    // samples at cor - (half - 1) ... cor + (half - 1), by linear interpolation
    // between the two neighbouring pixels. Does nothing unless valid().
    void resample(const double *line, double *out) const;
};
