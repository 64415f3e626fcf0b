#pragma once
// Reader of TIFF files (".tif", ".tiff") through libtiff.
//
// Read: the first page of a greyscale image (one sample per pixel, min-is-black
// or min-is-white, values taken as stored) with 8-, 16- or 32-bit unsigned
// integer samples or 32-bit floating-point samples; in strips or in tiles;
// uncompressed, LZW, Deflate or PackBits (with or without a predictor); either
// byte order. Pages after the first are ignored with a debug line.
//
// Refused, with a warning line that names the file and the reason: colour or
// multi-sample images, 64-bit samples, other sample formats, other
// compressions, strip or tile tables too short for the image or pointing out
// of the file, and any file libtiff cannot decode or reports an error in (a
// damaged strip or tile included). Nothing of a refused file is kept.
// libtiff's warnings go to the warning channel with the file's name.
//
// The file is untrusted: it is read into memory whole and decoded from there,
// and an image whose pixels would take more than 16 MiB plus 4096 times the
// file size (more than any of the accepted compressions can expand) or more
// than 2^31 - 1 pixels is refused before anything is allocated for it.
//
// The pixels are always held in memory, whatever keepInMemory says; readRow
// and readColumn change nothing but the caller's array, so several threads may
// read one image at once. Rows and columns outside the image read as 0.
#include "ImgData.h"

#include <QByteArray>

#include <cstdint>

class ImgDataTiff : public ImgData
{
public:
    ImgDataTiff() = default;
    ~ImgDataTiff() override;

    void init() override;
    bool readProps(const QString &fname, int *w, int *h) override;
    bool load() override;
    double *readRow(int y, double *out) const override;
    double *readColumn(int x, double *out) const override;

    enum class Sample { U8, U16, U32, F32 };

    // Allowance for decoded pixels beyond expansion x file size.
    static constexpr qint64 sizeSlack = qint64(16) << 20;
    static constexpr qint64 maxExpansion = 4096;

    int state = 0;      // 0: nothing read, 1: properties read, 2: pixels decoded

private:
    void close();
    // Closes the file and forgets its pixels, size and state: not ready.
    void release();
    bool refuse(const QString &reason);
    double value(const uchar *p) const;
    // n samples from p on, stride bytes apart, as doubles
    double *readLine(const uchar *p, qint64 stride, int n, double *out) const;
    // Every one of the first `count` strips (tiles) has data inside the file.
    bool stripsInFile(uint32_t count, const char *what);
    bool decodeStrips();
    bool decodeTiles();

    // The file while it is decoded.
    QByteArray bytes;
    qint64 pos = 0;
    void *tif = nullptr;        // TIFF *
    QString libError;           // first error libtiff reported
    int libWarnings = 0;        // warnings libtiff gave while the file was open
    static constexpr int maxWarnings = 8;

    // Size and sample layout validated by readProps; reads use these.
    int cols = 0;
    int rows = 0;
    int sampleBytes = 0;
    Sample sample = Sample::U16;
    qint64 rowBytes = 0;
    uchar *pixels = nullptr;    // rows x rowBytes, host byte order

    friend struct TiffMemoryIo;
};
