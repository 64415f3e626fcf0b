#include "ImgDataTiff.h"

void ImgDataTiff::init()
{
    ImgData::init();
    state = 0;
}

bool ImgDataTiff::readProps(const QString &, int *, int *)
{
    state = 0;
    return true;
}

bool ImgDataTiff::load()
{
    return true;
}

double *ImgDataTiff::readRow(int, double *out) const
{
    return out;
}

double *ImgDataTiff::readColumn(int, double *out) const
{
    return out;
}
