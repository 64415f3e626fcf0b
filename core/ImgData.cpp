#include "ImgData.h"
#include "ImgDataITEX.h"
#include "ImgDataTiff.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>

#include <cfloat>

ImgData::ImgData()
    : ready(false), keepInMemory(true), expTime(1.0), width(0), height(0),
      minMaxValid(false), minV(DBL_MAX), maxV(-DBL_MAX),
      rowBuf(nullptr), colBuf(nullptr)
{
}

ImgData::~ImgData()
{
    delete[] rowBuf;
    delete[] colBuf;
}

void ImgData::init()
{
    ready = false;
    keepInMemory = true;
    expTime = 1.0;
    width = 0;
    height = 0;
    fileName.clear();
    minMaxValid = false;
    minV = DBL_MAX;
    maxV = -DBL_MAX;
    delete[] rowBuf;
    delete[] colBuf;
    rowBuf = nullptr;
    colBuf = nullptr;
}

// Images are read from regular files only (a link is followed first): a pipe
// would block the reading thread for ever and a device would never end. A
// path that names nothing goes on, for the reader to say it cannot open it.
static bool refusedAsNotRegular(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() || info.isFile())
        return false;
    qWarning().noquote() << "Not a regular file, not read as an image : " + path;
    return true;
}

bool ImgData::open()
{
    ready = false;
    if (refusedAsNotRegular(fileName))
        return false;
    if (!readProps(fileName, &width, &height))
        return false;
    minMaxValid = false;
    if (!load()) {
        qWarning().noquote() << "Can not open ImgData " + fileName;
        return false;
    }
    delete[] rowBuf;
    delete[] colBuf;
    // readProps never yields negative sizes; a 0 x 0 image gets empty buffers.
    rowBuf = new double[size_t(width > 0 ? width : 0)]();
    colBuf = new double[size_t(height > 0 ? height : 0)]();
    ready = true;
    return true;
}

// Reads up to two bytes of a file; false when it cannot be opened.
static bool firstTwoBytes(const QString &path, const char *what, QByteArray *head)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        qWarning().noquote() << QString("Check File Type (%1):: Can not open ").arg(what) + path;
        return false;
    }
    *head = f.read(2);
    f.close();
    return true;
}

bool ImgData::isItexFile(const QString &path)
{
    QByteArray head;
    return firstTwoBytes(path, "ITEX", &head) && head == "IM";
}

bool ImgData::isTiffFile(const QString &path)
{
    QByteArray head;
    return firstTwoBytes(path, "TIFF", &head) && (head == "II" || head == "MM");
}

int ImgData::fileType(const QString &path)
{
    if (refusedAsNotRegular(path))
        return Unknown;
    if (isItexFile(path))
        return ITEX;
    if (isTiffFile(path))
        return TIFF;
    qWarning().noquote() << "Unknown file type : " + path;
    return Unknown;
}

ImgData *ImgData::newImgData(int type)
{
    ImgData *img = nullptr;
    switch (type) {
    case ITEX:
        img = new ImgDataITEX;
        break;
    case TIFF:
        img = new ImgDataTiff;
        break;
    default:
        return nullptr;
    }
    img->init();
    return img;
}

void ImgData::findExtremes()
{
    if (!ready || minMaxValid)
        return;
    minV = DBL_MAX;
    maxV = -DBL_MAX;
    for (int y = 0; y < height; ++y) {
        const double *row = readRow(y, rowBuf);
        for (int x = 0; x < width; ++x) {
            if (row[x] < minV)
                minV = row[x];
            if (row[x] > maxV)
                maxV = row[x];
        }
    }
    minMaxValid = true;
}

double ImgData::valueAt(int x, int y)
{
    if (!ready || x < 0 || x >= width || y < 0 || y >= height)
        return 0;
    return readRow(y, rowBuf)[x];
}
