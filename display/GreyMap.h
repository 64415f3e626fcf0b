#pragma once
// The grey mapping of every picture, free of widgets so that workers can
// render with exactly the rule the colour bar shows. Copy one GreyMap per
// job (ColorBar::greyMap()) and use it on any thread.
//
// t = (v - minV) / (maxV - minV); g = (t - lowFrac) * 256 / (highFrac - lowFrac),
// clamped to 0..255 and truncated. Where the arithmetic breaks down the level
// is still defined: NaN gives 0; an empty range gives 0 at or below minV and
// 255 above (before the markers are applied); markers at the same height give
// 0 at or below the marker and 255 above.
#include <QImage>

#include <cmath>
#include <cstddef>
#include <limits>

struct GreyMap
{
    double minV = 0;
    double maxV = 1;
    double lowFrac = 0;
    double highFrac = 1;

    int greyOf(double v) const { return greyOf(v, minV, maxV, lowFrac, highFrac); }

    // Grey level of a position t in the range (0 = minV, 1 = maxV).
    static int greyOfFrac(double t, double lowFrac, double highFrac)
    {
        if (std::isnan(t))
            return 0;
        const double w = highFrac - lowFrac;
        double g;
        if (w == 0)
            g = t > lowFrac ? 255 : 0;
        else
            g = (t - lowFrac) * 256 / w;
        if (!(g > 0)) // also NaN
            return 0;
        if (g >= 255)
            return 255;
        return int(g);
    }

    static int greyOf(double v, double minV, double maxV, double lowFrac = 0,
                      double highFrac = 1)
    {
        if (std::isnan(v))
            return 0;
        const double r = maxV - minV;
        double t;
        if (r == 0)
            t = v > minV ? std::numeric_limits<double>::infinity()
                         : -std::numeric_limits<double>::infinity();
        else
            t = (v - minV) / r;
        return greyOfFrac(t, lowFrac, highFrac);
    }

    // An 8-bit grey picture of width x height values stored row by row
    // (row 0 at the top). Null when the size is empty or cannot be allocated.
    QImage render(const double *values, int width, int height) const
    {
        if (!values || width <= 0 || height <= 0)
            return QImage();
        QImage img(width, height, QImage::Format_Grayscale8);
        if (img.isNull())
            return img;
        for (int y = 0; y < height; ++y) {
            uchar *line = img.scanLine(y);
            const double *row = values + std::size_t(y) * std::size_t(width);
            for (int x = 0; x < width; ++x)
                line[x] = uchar(greyOf(row[x]));
        }
        return img;
    }
};
