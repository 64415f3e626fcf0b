#pragma once
// Reader of ITEX ".img" files.
//
// Layout (little-endian): "IM", a 16-bit comment length n, 60 more header bytes,
// n bytes of comment text, then width x height unsigned pixels of 2 or 4 bytes,
// row after row. Size and pixel width come only from the comment, which is a
// list of comma-separated key=value items (a comma between double quotes
// belongs to its item; the text after the last separating comma is ignored):
// "Prop_ImageWidth=", "Prop_ImageHeight=", "BytesPerPixel=",
// "Prop_ExposureTime1=", "Prop_ExposureTime2=" and "areSource=" (the fallback
// size x1 - x0 by y1 - y0 when the explicit size is missing).
//
// The comment is untrusted text, so a file is rejected (with a debug line
// naming it) when
//  - "BytesPerPixel=" is missing or is not 2 or 4;
//  - width x height exceeds 2^31 - 1 pixels (all sizes are computed in 64 bits);
//  - the announced pixel block is larger than what the file holds after the
//    comment by more than max(what it holds, 16 MiB). A truncated file thus
//    stays readable as long as at least half of its pixels (or all but 16 MiB
//    of them) are present, the missing pixels reading as 0, while a short file
//    announcing a huge image never leads to a wild allocation: the memory a
//    reader takes is bounded by twice the file size plus 16 MiB.
// A truncated file is named on the warning channel ("ITEX file shorter
// than its image size"). Pixels past the end of a truncated file, and a last pixel cut in the
// middle, read as 0 by rows and columns alike. Rows and columns outside
// the image read as 0 as well.
#include "ImgData.h"

#include <QFile>

class ImgDataITEX : public ImgData
{
public:
    ImgDataITEX();
    ~ImgDataITEX() override;

    void init() override;
    bool readProps(const QString &fname, int *w, int *h) override;
    bool load() override;
    double *readRow(int y, double *out) const override;
    double *readColumn(int x, double *out) const override;

    // Allowance for missing pixels of a truncated file, beyond what it holds.
    static constexpr qint64 truncationSlack = qint64(16) << 20;

    mutable QFile file;     // open from load() until destruction
    qint64 dataOffset;      // byte offset of the first pixel = 64 + comment length
    int bytesPerPixel;      // 2 or 4
    uchar *lineBuf;         // one raw row (width x bytesPerPixel), for reads from the file
    uchar *imgBuf;          // all raw pixels, when kept in memory (std::malloc / aligned_alloc)

private:
    void freeBuffers();
    void toDoubles(const uchar *src, double *out, int n) const;

    // Size validated by readProps; reads use these, never the public fields.
    int cols = 0;
    int rows = 0;
    qint64 rowBytes = 0;
    qint64 pixelBytes = 0;
};
