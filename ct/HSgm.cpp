#include "HSgm.h"
#include "SgmRange.h"

#include <QDebug>

#include <algorithm>

#include <cmath>
#include <cstdint>

void HSgm::resize(int w, int h)
{
    resize(w, h, true);
}

void HSgm::resize(int w, int h, bool zero)
{
    const std::int64_t n = (w > 0 && h > 0) ? std::int64_t(w) * std::int64_t(h) : 0;
    width = w;
    height = h;
    if (n > 0 && std::size_t(n) <= sgm.capacity() && std::size_t(n) <= raw.capacity()) {
        // room enough: reuse the arrays, contents start at zero as when new
        if (zero) {
            sgm.assign(std::size_t(n), 0.0);
            raw.assign(std::size_t(n), 0.0);
        } else {
            sgm.resize(std::size_t(n));
            raw.resize(std::size_t(n));
        }
        return;
    }
    std::vector<double>().swap(sgm);
    std::vector<double>().swap(raw);
    if (n > 0) {
        sgm.assign(std::size_t(n), 0.0);
        raw.assign(std::size_t(n), 0.0);
    }
}

void HSgm::clear()
{
    width = height = 0;
    sgm.clear();
    raw.clear();
}

HSgm::Begin HSgm::begin(bool rotAxIsV, double cor, int sliceNo, int dim, int nLines,
                        int nImages, SgmRange &range)
{
    return begin(rotAxIsV, cor, sliceNo, dim, nLines, nImages, range, true);
}

HSgm::Begin HSgm::begin(bool rotAxIsV, double cor, int sliceNo, int dim, int nLines,
                        int nImages, SgmRange &range, bool zero)
{
    if (sliceNo < 0 || sliceNo >= nLines) {
        // with no series loaded there are no lines to be outside of
        if (nImages > 0)
            qDebug().noquote() << "Slice out of image lines : " + QString::number(sliceNo);
        slice = sliceNo;
        resize(0, 0);
        return Emptied;
    }
    // a CoR below 1, or not a number, builds nothing
    if (!(std::floor(cor) > 0))
        return Untouched;
    if (std::ceil(cor) >= dim)
        return Untouched;
    slice = sliceNo;
    range = SgmRange(rotAxIsV, dim, cor);
    if (range.half < 1) {
        resize(0, 0);
        return Emptied;
    }
    resize(range.width, nImages > 0 ? nImages : 0, zero);
    return Ready;
}

void HSgm::setRow(int i, const SgmRange &range, const double *line,
                  const double *i0, const double *bg)
{
    if (i < 0 || i >= height || range.width != width || !hasData())
        return;
    double *r = raw.data() + std::size_t(i) * std::size_t(width);
    double *s = sgm.data() + std::size_t(i) * std::size_t(width);
    range.resample(line, r);
    for (int j = 0; j < width; ++j) {
        double a = i0[j] - bg[j];
        double b = r[j] - bg[j];
        if (a <= 0)     // a NaN passes unchanged
            a = 1.0;
        if (b <= 0)
            b = 1.0;
        s[j] = std::log(a / b);
    }
}

bool HSgm::build(bool rotAxIsV, double cor, int sliceNo, int dim, int nLines, int nImages,
                 const LineReader &readI0, const LineReader &readBg,
                 const ImageLineReader &readImage)
{
    SgmRange range;
    // every row is set below when there is a reader: no need to zero them first
    if (begin(rotAxIsV, cor, sliceNo, dim, nLines, nImages, range, !readImage) != Ready)
        return false;
    // the record's own scratch lines: reused from slice to slice (assign keeps
    // the capacity), never shared with another record
    lineBuf.assign(std::size_t(dim), 0.0);
    i0Buf.assign(std::size_t(width), 1.0);
    bgBuf.assign(std::size_t(width), 0.0);
    if (readI0 && readI0(lineBuf.data()))
        range.resample(lineBuf.data(), i0Buf.data());
    if (readBg && readBg(lineBuf.data()))
        range.resample(lineBuf.data(), bgBuf.data());
    if (height <= 0 || !readImage)
        return false;
    for (int i = 0; i < height; ++i) {
        readImage(i, lineBuf.data());
        setRow(i, range, lineBuf.data(), i0Buf.data(), bgBuf.data());
    }
    return true;
}
