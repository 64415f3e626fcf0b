#pragma once
// TIFF files are recognised but not decoded: a TIFF file opens as a ready
// image of 0 x 0 pixels.
#include "ImgData.h"

class ImgDataTiff : public ImgData
{
public:
    ImgDataTiff() = default;
    ~ImgDataTiff() override = default;

    void init() override;
    bool readProps(const QString &fname, int *w, int *h) override;
    bool load() override;
    double *readRow(int y, double *out) const override;
    double *readColumn(int x, double *out) const override;

    int state = 0;  // decoder state; nothing is decoded yet
};
