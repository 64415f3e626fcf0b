#pragma once
// An image made pixel by pixel from several images of one size: the I0 or
// BG image of several exposures. Each pixel is the mean of the images'
// pixels there, or their median (an even count: the mean of the two middle
// values). Only finite pixels take part; a pixel finite in none of the images
// stays NaN, for the sinogram's dead-pixel mending. Held in memory as doubles,
// so it reads like any image held in memory (several threads at once).
#include "ImgData.h"

#include <vector>

class ImgDataCombined : public ImgData
{
public:
    // The combination of `parts` (each ready, all of one size, at least
    // one); its fileName names them all. Null, with *why saying so, when
    // they cannot be combined. The caller owns the result.
    static ImgDataCombined *combine(const std::vector<const ImgData *> &parts, bool median,
                                    QString *why = nullptr);
    // One pixel's value from the values of the parts there (finite or not;
    // `values` is reordered).
    static double combinePixel(std::vector<double> &values, bool median);

    // Not read from a file: readProps() and load() have nothing to read.
    bool readProps(const QString &fname, int *w, int *h) override;
    bool load() override;
    double *readRow(int y, double *out) const override;
    double *readColumn(int x, double *out) const override;

private:
    std::vector<double> px;     // width x height, row-major
};
