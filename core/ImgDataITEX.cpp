#include "ImgDataITEX.h"

#include "LineSyntax.h"

#include <QDebug>
#include <QTextStream>
#include <QtEndian>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace {

// First item of `text` after splitting it completely with nextToken; empty
// when there is none (a key followed directly by the separating comma).
QString firstToken(QString rest)
{
    QString first;
    bool have = false;
    while (!rest.isEmpty()) {
        const QString item = nextToken(rest, rest);
        if (!have) {
            first = item;
            have = true;
        }
    }
    return first;
}

// Base-10 integer; text that is not a number or does not fit in 32 bits gives 0.
int toInt(const QString &text)
{
    bool ok = false;
    const int v = text.toInt(&ok, 10);
    return ok ? v : 0;
}

double toDouble(const QString &text)
{
    bool ok = false;
    const double v = text.toDouble(&ok);
    return ok ? v : 0.0;
}

// Difference of two ints; 0 when it does not fit in an int.
int difference(int a, int b)
{
    const qint64 d = qint64(a) - qint64(b);
    return (d < INT_MIN || d > INT_MAX) ? 0 : int(d);
}

// Pixel blocks of 2 MiB and more are 2 MiB aligned and asked for huge pages:
// a series of large images is mostly fresh memory, and filling it page by
// page of 4 KiB costs far more than copying the pixels from the page cache.
constexpr std::size_t hugePage = std::size_t(2) << 20;

uchar *allocPixels(std::size_t bytes)
{
    if (bytes < hugePage)
        return static_cast<uchar *>(std::malloc(std::max<std::size_t>(bytes, 1)));
    const std::size_t rounded = (bytes + hugePage - 1) / hugePage * hugePage;
    void *p = std::aligned_alloc(hugePage, rounded);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (p)
        madvise(p, rounded, MADV_HUGEPAGE);    // a hint; refusal changes nothing
#endif
    return static_cast<uchar *>(p);
}

} // namespace

ImgDataITEX::ImgDataITEX()
    : dataOffset(0), bytesPerPixel(0), lineBuf(nullptr), imgBuf(nullptr)
{
}

ImgDataITEX::~ImgDataITEX()
{
    if (file.isOpen())
        file.close();
    freeBuffers();
}

void ImgDataITEX::freeBuffers()
{
    delete[] lineBuf;
    std::free(imgBuf);
    lineBuf = nullptr;
    imgBuf = nullptr;
}

void ImgDataITEX::init()
{
    ImgData::init();
    if (file.isOpen())
        file.close();
    dataOffset = 0;
    freeBuffers();
    cols = rows = 0;
    rowBytes = pixelBytes = 0;
}

bool ImgDataITEX::readProps(const QString &fname, int *w, int *h)
{
    *w = 0;
    *h = 0;
    dataOffset = 0;
    bytesPerPixel = 0;
    delete[] lineBuf;
    lineBuf = nullptr;
    cols = rows = 0;
    rowBytes = pixelBytes = 0;

    QFile f(fname);
    if (!f.open(QIODevice::ReadOnly)) {
        qWarning().noquote() << "Can not open ITEX file to read props. " + fname;
        return false;
    }
    const QByteArray head = f.read(10);
    const qint64 fileSize = f.size();
    f.close();
    if (head.size() < 10) {
        qWarning().noquote() << "Error on reading ITEX file props. " + fname;
        return false;
    }
    const int n = qFromLittleEndian<quint16>(head.constData() + 2);
    dataOffset = qint64(n) + 64;

    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qWarning().noquote() << "Can not open ITEX file to read props. " + fname;
        return false;
    }
    int areW = 0, areH = 0;    // fallback size from "areSource="
    if (n > 0) {
        bool complete = f.seek(64);
        QTextStream in(&f);
        in.setEncoding(QStringConverter::Utf8);
        QString item;
        bool inQuotes = false;
        for (int i = 0; complete && i < n; ++i) {
            const QString c = in.read(1);
            if (c.isEmpty()) {
                complete = false;
                break;
            }
            const QChar ch = c.at(0);
            if (ch == QLatin1Char('"')) {
                inQuotes = !inQuotes;
                item += ch;
            } else if (ch == QLatin1Char(',') && !inQuotes) {
                if (item.startsWith(QLatin1String("Prop_ImageWidth=")))
                    *w = toInt(firstToken(item.mid(16)));
                if (item.startsWith(QLatin1String("Prop_ImageHeight=")))
                    *h = toInt(firstToken(item.mid(17)));
                if (item.startsWith(QLatin1String("BytesPerPixel=")))
                    bytesPerPixel = toInt(firstToken(item.mid(14)));
                if (item.startsWith(QLatin1String("Prop_ExposureTime1=")))
                    expTime = toDouble(firstToken(item.mid(19)));
                if (item.startsWith(QLatin1String("Prop_ExposureTime2=")))
                    expTime = toDouble(firstToken(item.mid(19)));
                if (item.startsWith(QLatin1String("areSource="))) {
                    QString rest = item.mid(10);
                    rest.replace(QLatin1Char(','), QLatin1Char(' '));
                    rest.remove(QLatin1Char('"'));
                    const int x0 = toInt(nextToken(rest, rest));
                    const int y0 = toInt(nextToken(rest, rest));
                    const int x1 = toInt(nextToken(rest, rest));
                    const int y1 = toInt(nextToken(rest, rest));
                    areW = difference(x1, x0);
                    areH = difference(y1, y0);
                }
                item.clear();
            } else {
                item += ch;
            }
        }
        if (!complete) {
            // The comment is shorter than announced: no size at all.
            *w = *h = 0;
            areW = areH = 0;
        }
    }
    if (*w < 1)
        *w = areW;
    if (*h < 1)
        *h = areH;
    f.close();

    if (dataOffset <= 64 || *w < 1 || *h < 1)
        return false;

    if (bytesPerPixel != 2 && bytesPerPixel != 4) {
        qWarning().noquote() << "Invalid BytesPerPixel in ITEX file " + fname;
        *w = *h = 0;
        return false;
    }
    // w, h < 2^31: the pixel count fits in 62 bits; the byte count is formed
    // only once the count is known to be below 2^31.
    const qint64 pixels = qint64(*w) * qint64(*h);
    const qint64 bytes = pixels <= INT_MAX ? pixels * bytesPerPixel : 0;
    const qint64 present = std::max<qint64>(0, fileSize - dataOffset);
    if (pixels > INT_MAX || bytes - present > std::max(present, truncationSlack)) {
        qWarning().noquote() << "Absurd image size in ITEX file " + fname;
        *w = *h = 0;
        return false;
    }
    cols = *w;
    rows = *h;
    rowBytes = qint64(cols) * bytesPerPixel;
    pixelBytes = bytes;
    lineBuf = new (std::nothrow) uchar[size_t(rowBytes)];
    if (!lineBuf) {
        qWarning().noquote() << "Absurd image size in ITEX file " + fname;
        cols = rows = 0;
        rowBytes = pixelBytes = 0;
        *w = *h = 0;
        return false;
    }
    return true;
}

bool ImgDataITEX::load()
{
    if (file.isOpen())
        file.close();
    std::free(imgBuf);
    imgBuf = nullptr;

    file.setFileName(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning().noquote() << "Can not open ITEX file " + fileName;
        return false;
    }
    // The size must be the one readProps checked.
    if (!lineBuf || width != cols || height != rows)
        return false;
    // Still read: the missing pixels read as 0.
    if (file.size() - dataOffset < pixelBytes)
        qWarning().noquote() << "ITEX file shorter than its image size : " + fileName;
    if (keepInMemory) {
        imgBuf = allocPixels(size_t(pixelBytes));
        if (!imgBuf)
            return false;
        qint64 got = 0;
        if (file.seek(dataOffset))
            got = std::max<qint64>(0, file.read(reinterpret_cast<char *>(imgBuf), pixelBytes));
        got -= got % bytesPerPixel;     // a pixel cut by the end of the file is missing
        std::memset(imgBuf + got, 0, size_t(pixelBytes - got));
    }
    return true;
}

void ImgDataITEX::toDoubles(const uchar *src, double *out, int n) const
{
    if (bytesPerPixel == 2) {
        for (int i = 0; i < n; ++i)
            out[i] = qFromLittleEndian<quint16>(src + 2 * i);
    } else {
        for (int i = 0; i < n; ++i)
            out[i] = qFromLittleEndian<quint32>(src + 4 * i);
    }
}

double *ImgDataITEX::readRow(int y, double *out) const
{
    if (y < 0 || y >= rows) {
        std::fill(out, out + cols, 0.0);
        return out;
    }
    const uchar *src = nullptr;
    if (imgBuf) {
        src = imgBuf + qint64(y) * rowBytes;
    } else {
        qint64 got = 0;
        if (file.isOpen() && file.seek(dataOffset + qint64(y) * rowBytes))
            got = std::max<qint64>(0, file.read(reinterpret_cast<char *>(lineBuf), rowBytes));
        got -= got % bytesPerPixel;
        std::memset(lineBuf + got, 0, size_t(rowBytes - got));
        src = lineBuf;
    }
    toDoubles(src, out, cols);
    return out;
}

double *ImgDataITEX::readColumn(int x, double *out) const
{
    if (x < 0 || x >= cols) {
        std::fill(out, out + rows, 0.0);
        return out;
    }
    const qint64 at = qint64(x) * bytesPerPixel;
    if (imgBuf) {
        const uchar *src = imgBuf + at;
        if (bytesPerPixel == 2) {
            for (int y = 0; y < rows; ++y, src += rowBytes)
                out[y] = qFromLittleEndian<quint16>(src);
        } else {
            for (int y = 0; y < rows; ++y, src += rowBytes)
                out[y] = qFromLittleEndian<quint32>(src);
        }
        return out;
    }
    // From the file: the rows one after another through lineBuf.
    bool more = file.isOpen() && file.seek(dataOffset);
    for (int y = 0; y < rows; ++y) {
        qint64 got = 0;
        if (more) {
            got = std::max<qint64>(0, file.read(reinterpret_cast<char *>(lineBuf), rowBytes));
            more = got == rowBytes;
        }
        if (got < at + bytesPerPixel) {
            out[y] = 0.0;
            continue;
        }
        out[y] = bytesPerPixel == 2 ? double(qFromLittleEndian<quint16>(lineBuf + at))
                                    : double(qFromLittleEndian<quint32>(lineBuf + at));
    }
    return out;
}
