#include "ImgDataTiff.h"

#include <QDebug>
#include <QFile>

#include <tiffio.h>

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// libtiff reads the file from `bytes` through these callbacks; the handle is
// the reader itself.
struct TiffMemoryIo
{
    static ImgDataTiff *self(thandle_t h) { return static_cast<ImgDataTiff *>(h); }

    static tmsize_t read(thandle_t h, void *buf, tmsize_t n)
    {
        ImgDataTiff *d = self(h);
        const qint64 left = qint64(d->bytes.size()) - d->pos;
        if (n <= 0 || left <= 0)
            return 0;
        const qint64 k = std::min<qint64>(n, left);
        std::memcpy(buf, d->bytes.constData() + d->pos, size_t(k));
        d->pos += k;
        return tmsize_t(k);
    }
    static tmsize_t write(thandle_t, void *, tmsize_t) { return -1; }
    static toff_t seek(thandle_t h, toff_t off, int whence)
    {
        ImgDataTiff *d = self(h);
        qint64 base = 0;
        if (whence == SEEK_CUR)
            base = d->pos;
        else if (whence == SEEK_END)
            base = d->bytes.size();
        if (off > toff_t(LLONG_MAX) - toff_t(base))
            return toff_t(-1);
        d->pos = base + qint64(off);
        return toff_t(d->pos);
    }
    static int close(thandle_t) { return 0; }
    static toff_t size(thandle_t h) { return toff_t(self(h)->bytes.size()); }
    static int map(thandle_t, void **, toff_t *) { return 0; }
    static void unmap(thandle_t, void *, toff_t) {}

    static int error(TIFF *, void *user, const char *module, const char *fmt, va_list ap)
    {
        ImgDataTiff *d = static_cast<ImgDataTiff *>(user);
        if (d->libError.isEmpty()) {
            char text[512];
            std::vsnprintf(text, sizeof text, fmt, ap);
            d->libError = module ? QString::fromLocal8Bit(module) + QStringLiteral(": ")
                                       + QString::fromLocal8Bit(text)
                                 : QString::fromLocal8Bit(text);
        }
        return 1;   // handled: nothing on stderr
    }
    // Warnings go to the warning channel with the file's name: some (a tag
    // array of the wrong length, say) are all that tells of a damaged file.
    // A file cannot flood the log: after a few, the rest are only counted.
    static int warning(TIFF *, void *user, const char *module, const char *fmt, va_list ap)
    {
        ImgDataTiff *d = static_cast<ImgDataTiff *>(user);
        if (++d->libWarnings > ImgDataTiff::maxWarnings)
            return 1;
        char text[512];
        std::vsnprintf(text, sizeof text, fmt, ap);
        const QString what = module ? QString::fromLocal8Bit(module) + QStringLiteral(": ")
                                          + QString::fromLocal8Bit(text)
                                    : QString::fromLocal8Bit(text);
        qWarning().noquote() << QStringLiteral("TIFF file %1 : %2").arg(d->fileName, what);
        return 1;
    }
};

namespace {
TIFF *handle(void *p) { return static_cast<TIFF *>(p); }
}

ImgDataTiff::~ImgDataTiff()
{
    close();
    std::free(pixels);
}

void ImgDataTiff::close()
{
    if (tif)
        TIFFClose(handle(tif));
    tif = nullptr;
    if (libWarnings > maxWarnings)
        qWarning().noquote() << QStringLiteral("TIFF file %1 : %2 more warnings not shown")
                                    .arg(fileName).arg(libWarnings - maxWarnings);
    libWarnings = 0;
    bytes = QByteArray();
    pos = 0;
}

void ImgDataTiff::init()
{
    ImgData::init();
    release();
}

void ImgDataTiff::release()
{
    close();
    std::free(pixels);
    pixels = nullptr;
    cols = rows = sampleBytes = 0;
    rowBytes = 0;
    libError.clear();
    state = 0;
}

bool ImgDataTiff::refuse(const QString &reason)
{
    QString why = reason;
    if (!libError.isEmpty())
        why += QStringLiteral(" (") + libError + QStringLiteral(")");
    qWarning().noquote() << QStringLiteral("Can not read TIFF file %1 : %2").arg(fileName, why);
    release();
    return false;
}

bool ImgDataTiff::readProps(const QString &fname, int *w, int *h)
{
    *w = 0;
    *h = 0;
    release();
    if (fileName != fname)
        fileName = fname;

    QFile f(fname);
    if (!f.open(QIODevice::ReadOnly)) {
        qWarning().noquote() << "Can not open TIFF file " + fname;
        return false;
    }
    bytes = f.readAll();
    f.close();

    const qint64 limit = sizeSlack + maxExpansion * qint64(bytes.size());
    TIFFOpenOptions *opts = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetMaxSingleMemAlloc(opts, tmsize_t(limit));
    TIFFOpenOptionsSetErrorHandlerExtR(opts, &TiffMemoryIo::error, this);
    TIFFOpenOptionsSetWarningHandlerExtR(opts, &TiffMemoryIo::warning, this);
    // "m": no memory mapping, the callbacks serve every read.
    tif = TIFFClientOpenExt(fname.toLocal8Bit().constData(), "rm", this,
                            &TiffMemoryIo::read, &TiffMemoryIo::write, &TiffMemoryIo::seek,
                            &TiffMemoryIo::close, &TiffMemoryIo::size, &TiffMemoryIo::map,
                            &TiffMemoryIo::unmap, opts);
    TIFFOpenOptionsFree(opts);
    if (!tif)
        return refuse(QStringLiteral("not a readable TIFF file"));
    ::TIFF *t = handle(tif);

    uint32_t tw = 0, th = 0;
    uint16_t spp = 1, bps = 1, format = SAMPLEFORMAT_UINT, photometric = PHOTOMETRIC_MINISBLACK;
    uint16_t compression = COMPRESSION_NONE;
    if (!TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &tw) || !TIFFGetField(t, TIFFTAG_IMAGELENGTH, &th))
        return refuse(QStringLiteral("no image size"));
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bps);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(t, TIFFTAG_COMPRESSION, &compression);
    if (!TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric))
        photometric = PHOTOMETRIC_MINISBLACK;

    if (spp != 1)
        return refuse(QStringLiteral("colour or multi-sample image (%1 samples per pixel)").arg(spp));
    if (photometric != PHOTOMETRIC_MINISBLACK && photometric != PHOTOMETRIC_MINISWHITE)
        return refuse(QStringLiteral("colour image (photometric interpretation %1)").arg(photometric));
    if (bps == 64)
        return refuse(QStringLiteral("64-bit samples"));
    if (format == SAMPLEFORMAT_UINT && bps == 8)
        sample = Sample::U8;
    else if (format == SAMPLEFORMAT_UINT && bps == 16)
        sample = Sample::U16;
    else if (format == SAMPLEFORMAT_UINT && bps == 32)
        sample = Sample::U32;
    else if (format == SAMPLEFORMAT_IEEEFP && bps == 32)
        sample = Sample::F32;
    else
        return refuse(QStringLiteral("unsupported samples (%1 bits, sample format %2)").arg(bps).arg(format));
    switch (compression) {
    case COMPRESSION_NONE:
    case COMPRESSION_LZW:
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE:
    case COMPRESSION_PACKBITS:
        break;
    default:
        return refuse(QStringLiteral("unsupported compression %1").arg(compression));
    }

    const qint64 count = qint64(tw) * qint64(th);
    const qint64 need = count * (bps / 8);
    if (tw < 1 || th < 1 || tw > uint32_t(INT_MAX) || th > uint32_t(INT_MAX) || count > INT_MAX
        || need > limit)
        return refuse(QStringLiteral("absurd image size %1 x %2 for a file of %3 bytes")
                          .arg(tw).arg(th).arg(bytes.size()));
    cols = int(tw);
    rows = int(th);
    sampleBytes = bps / 8;
    rowBytes = qint64(cols) * sampleBytes;
    *w = cols;
    *h = rows;
    state = 1;
    return true;
}

bool ImgDataTiff::stripsInFile(uint32_t count, const char *what)
{
    // A StripOffsets or StripByteCounts (TileOffsets, TileByteCounts) array
    // shorter than the image needs comes out of libtiff padded with zeros:
    // offset 0 would read the file's header as pixels.
    ::TIFF *t = handle(tif);
    const quint64 fileSize = quint64(bytes.size());
    for (uint32_t k = 0; k < count; ++k) {
        const quint64 off = TIFFGetStrileOffset(t, k);
        const quint64 n = TIFFGetStrileByteCount(t, k);
        if (off == 0 || n == 0)
            return refuse(QStringLiteral("no data for %1 %2 of %3 (%1 offsets or byte counts "
                                         "missing)").arg(QLatin1String(what)).arg(k).arg(count));
        if (off >= fileSize || n > fileSize - off)
            return refuse(QStringLiteral("%1 %2 of %3 lies past the end of the file")
                              .arg(QLatin1String(what)).arg(k).arg(count));
    }
    return true;
}

bool ImgDataTiff::decodeStrips()
{
    ::TIFF *t = handle(tif);
    uint32_t rps = 0;
    TIFFGetFieldDefaulted(t, TIFFTAG_ROWSPERSTRIP, &rps);
    if (rps < 1 || rps > uint32_t(rows))
        rps = uint32_t(rows);
    const uint32_t strips = uint32_t((qint64(rows) + rps - 1) / rps);
    if (TIFFNumberOfStrips(t) < strips)
        return refuse(QStringLiteral("%1 strips where %2 are needed").arg(TIFFNumberOfStrips(t)).arg(strips));
    if (!stripsInFile(strips, "strip"))
        return false;
    for (uint32_t s = 0; s < strips; ++s) {
        const qint64 y0 = qint64(s) * rps;
        const qint64 n = std::min<qint64>(rps, rows - y0) * rowBytes;
        const tmsize_t got = TIFFReadEncodedStrip(t, s, pixels + y0 * rowBytes, tmsize_t(n));
        if (got != tmsize_t(n))
            return refuse(QStringLiteral("damaged strip %1").arg(s));
    }
    return true;
}

bool ImgDataTiff::decodeTiles()
{
    ::TIFF *t = handle(tif);
    uint32_t tw = 0, th = 0;
    TIFFGetField(t, TIFFTAG_TILEWIDTH, &tw);
    TIFFGetField(t, TIFFTAG_TILELENGTH, &th);
    const qint64 tileBytes = qint64(tw) * qint64(th) * sampleBytes;
    const qint64 limit = sizeSlack + maxExpansion * qint64(bytes.size());
    if (tw < 1 || th < 1 || tileBytes > limit || tileBytes != qint64(TIFFTileSize64(t)))
        return refuse(QStringLiteral("absurd tile size %1 x %2").arg(tw).arg(th));
    const qint64 across = (qint64(cols) + tw - 1) / tw;
    const qint64 down = (qint64(rows) + th - 1) / th;
    if (qint64(TIFFNumberOfTiles(t)) < across * down)
        return refuse(QStringLiteral("%1 tiles where %2 are needed").arg(TIFFNumberOfTiles(t)).arg(across * down));
    if (!stripsInFile(uint32_t(across * down), "tile"))
        return false;
    uchar *tile = static_cast<uchar *>(std::malloc(size_t(tileBytes)));
    if (!tile)
        return refuse(QStringLiteral("not enough memory for a tile"));
    for (qint64 y0 = 0; y0 < rows; y0 += th) {
        for (qint64 x0 = 0; x0 < cols; x0 += tw) {
            const uint32_t k = TIFFComputeTile(t, uint32_t(x0), uint32_t(y0), 0, 0);
            if (TIFFReadEncodedTile(t, k, tile, tmsize_t(tileBytes)) != tmsize_t(tileBytes)) {
                std::free(tile);
                return refuse(QStringLiteral("damaged tile at (%1, %2)").arg(x0).arg(y0));
            }
            const qint64 nx = std::min<qint64>(tw, cols - x0);
            const qint64 ny = std::min<qint64>(th, rows - y0);
            for (qint64 y = 0; y < ny; ++y)
                std::memcpy(pixels + (y0 + y) * rowBytes + x0 * sampleBytes,
                            tile + y * tw * sampleBytes, size_t(nx * sampleBytes));
        }
    }
    std::free(tile);
    return true;
}

bool ImgDataTiff::load()
{
    // The size must be the one readProps checked.
    if (state != 1 || !tif || width != cols || height != rows)
        return false;
    pixels = static_cast<uchar *>(std::calloc(size_t(rows), size_t(rowBytes)));
    if (!pixels)
        return refuse(QStringLiteral("not enough memory for %1 x %2 pixels").arg(cols).arg(rows));
    if (!(TIFFIsTiled(handle(tif)) ? decodeTiles() : decodeStrips()))
        return false;
    // whatever libtiff called an error spoils the file, even where the
    // pixels came out
    if (!libError.isEmpty())
        return refuse(QStringLiteral("libtiff reported an error"));
    if (!TIFFLastDirectory(handle(tif)))
        qDebug().noquote() << "TIFF file has more than one page, pages after the first are ignored : "
                                  + fileName;
    close();
    state = 2;
    return true;
}

double ImgDataTiff::value(const uchar *p) const
{
    switch (sample) {
    case Sample::U8:
        return *p;
    case Sample::U16: {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
    }
    case Sample::U32: {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }
    case Sample::F32: {
        float v;
        std::memcpy(&v, p, 4);
        return v;
    }
    }
    return 0;
}

double *ImgDataTiff::readRow(int y, double *out) const
{
    if (!pixels || y < 0 || y >= rows) {
        std::fill(out, out + cols, 0.0);
        return out;
    }
    return readLine(pixels + qint64(y) * rowBytes, sampleBytes, cols, out);
}

double *ImgDataTiff::readColumn(int x, double *out) const
{
    if (!pixels || x < 0 || x >= cols) {
        std::fill(out, out + rows, 0.0);
        return out;
    }
    return readLine(pixels + qint64(x) * sampleBytes, rowBytes, rows, out);
}

double *ImgDataTiff::readLine(const uchar *p, qint64 stride, int n, double *out) const
{
    for (int i = 0; i < n; ++i, p += stride)
        out[i] = value(p);
    return out;
}
