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
    const QString corText = QString::number(cor, 'g', 6);
    const QString image = QStringLiteral("(0 .. %1)").arg(dim - 1);
    if (sliceNo < 0 || sliceNo >= nLines) {
        // with no series loaded there are no lines to be outside of
        if (nImages > 0) {
            qDebug().noquote() << "Slice out of image lines : " + QString::number(sliceNo);
            why = QStringLiteral("outside the image %1 (0 .. %2)")
                      .arg(rotAxIsV ? QStringLiteral("rows") : QStringLiteral("columns"))
                      .arg(nLines - 1);
        } else {
            why = QStringLiteral("no projection images loaded");
        }
        slice = sliceNo;
        resize(0, 0);
        return Emptied;
    }
    // a CoR below 1, or not a number, builds nothing
    if (!(std::floor(cor) > 0) || std::ceil(cor) >= dim) {
        why = QStringLiteral("CoR %1 outside the image %2").arg(corText, image);
        return Untouched;
    }
    slice = sliceNo;
    range = SgmRange(rotAxIsV, dim, cor);
    if (range.half < 1) {
        why = QStringLiteral("CoR %1 within a pixel of the edge of the image %2").arg(corText, image);
        resize(0, 0);
        return Emptied;
    }
    why.clear();
    resize(range.width, nImages > 0 ? nImages : 0, zero);
    return Ready;
}

int HSgm::mendLine(double *line, int dim, int lo, int hi, int which)
{
    lo = std::max(lo, 0);
    hi = std::min(hi, dim - 1);
    int mended = 0;
    int right = -1;     // the nearest finite pixel right of the pixel mended last
    for (int j = lo; j <= hi; ++j) {
        if (std::isfinite(line[j]))
            continue;
        // left of j everything from lo on is finite by now
        int left = j - 1;
        while (left >= 0 && !std::isfinite(line[left]))
            --left;
        if (right <= j) {
            right = j + 1;
            while (right < dim && !std::isfinite(line[right]))
                ++right;
        }
        if (left < 0 && right >= dim)
            return -1;
        if (left < 0)
            line[j] = line[right];
        else if (right >= dim)
            line[j] = line[left];
        else
            line[j] = line[left] + (line[right] - line[left]) * double(j - left) / double(right - left);
        ++mended;
        if (int(badPixels.size()) < namedPixels)
            badPixels.push_back(BadPixel{which, j});
    }
    badCount += mended;
    return mended;
}

void HSgm::setRow(int i, const SgmRange &range, const double *line,
                  const double *i0, const double *bg)
{
    setRowScaled(i, range, line, i0, bg, i0Scale);
}

void HSgm::setRowScaled(int i, const SgmRange &range, const double *line, const double *i0,
                        const double *bg, double scale)
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
        s[j] = std::log(a * scale / b);
    }
}

bool HSgm::build(bool rotAxIsV, double cor, int sliceNo, int dim, int nLines, int nImages,
                 const LineReader &readI0, const LineReader &readBg,
                 const ImageLineReader &readImage)
{
    badCount = 0;
    badPixels.clear();
    deadLine = noLine;
    SgmRange range;
    // every row is set below when there is a reader: no need to zero them first
    if (begin(rotAxIsV, cor, sliceNo, dim, nLines, nImages, range, !readImage) != Ready)
        return false;
    // the pixels the samples are taken from: iCor - (half - 1) .. iCor + half
    const int lo = range.iCor - (range.half - 1);
    const int hi = range.iCor + range.half;
    const auto dead = [this](int which) {
        deadLine = which;
        why = which == i0Line   ? QStringLiteral("no finite pixel in the line of the I0 image")
            : which == bgLine   ? QStringLiteral("no finite pixel in the line of the BG image")
                                : QStringLiteral("no finite pixel in the line of image %1").arg(which);
        resize(0, 0);
        return false;
    };
    // the record's own scratch lines: reused from slice to slice (assign keeps
    // the capacity), never shared with another record
    lineBuf.assign(std::size_t(dim), 0.0);
    i0Buf.assign(std::size_t(width), 1.0);
    bgBuf.assign(std::size_t(width), 0.0);
    // the ion-chamber ratio scales a measured I0 only
    double scale = 1.0;
    if (readI0 && readI0(lineBuf.data())) {
        if (mendLine(lineBuf.data(), dim, lo, hi, i0Line) < 0)
            return dead(i0Line);
        range.resample(lineBuf.data(), i0Buf.data());
        scale = i0Scale;
    }
    if (readBg && readBg(lineBuf.data())) {
        if (mendLine(lineBuf.data(), dim, lo, hi, bgLine) < 0)
            return dead(bgLine);
        range.resample(lineBuf.data(), bgBuf.data());
    }
    if (height <= 0 || !readImage) {
        why = QStringLiteral("no projection images loaded");
        return false;
    }
    for (int i = 0; i < height; ++i) {
        readImage(i, lineBuf.data());
        if (mendLine(lineBuf.data(), dim, lo, hi, i) < 0)
            return dead(i);
        setRowScaled(i, range, lineBuf.data(), i0Buf.data(), bgBuf.data(), scale);
    }
    return true;
}
