#include "ImgDatas.h"

#include "ImgData.h"
#include "ColorBar.h"

#include <QDebug>
#include <QImage>

ImgDatas::ImgDatas(QObject *parent)
    : QObject(parent)
{
}

ImgDatas::~ImgDatas()
{
    clear();
}

void ImgDatas::clear()
{
    clearImgs();
    width = 0;
    height = 0;
}

void ImgDatas::clearImgs()
{
    for (ImgData *&d : imgs) {
        delete d;
        d = nullptr;
    }
    imgs.clear();
}

bool ImgDatas::add(const QString &filePath)
{
    ImgData *d = ImgData::newImgData(ImgData::fileType(filePath));
    if (!d)
        return false;
    d->keepInMemory = true;
    d->fileName = filePath;
    d->open();
    if (!d->ready) {
        qWarning().noquote() << "File is not ready to access " + filePath;
        delete d;
        return false;
    }
    if (width == 0) {
        width = d->width;
        height = d->height;
    }
    if (d->width == width && d->height == height) {
        imgs << d;
        return true;
    }
    qWarning().noquote() << QString("Mismatch image size: (%1, %2) != (%3, %4) : ")
                                  .arg(width).arg(height).arg(d->width).arg(d->height)
                              + filePath;
    delete d;
    return false;
}

bool ImgDatas::toImage(int index, QImage *image, ColorBar *bar)
{
    if (index < 0 || index >= imgs.size())
        return false;
    render(imgs.at(index), image, bar);
    emit imageUpdated();
    return true;
}

void ImgDatas::render(ImgData *img, QImage *image, ColorBar *bar)
{
    if (!img || !img->ready)
        return;
    img->findExtremes();
    bar->setRangeUnlessFixed(img->minV, img->maxV);
    const GreyMap map = bar->greyMap();
    *image = QImage(img->width, img->height, QImage::Format_Grayscale8);
    if (image->isNull())
        return;
    for (int y = 0; y < img->height; ++y) {
        const double *row = img->readRow(y, img->rowBuf);
        uchar *line = image->scanLine(y);
        for (int x = 0; x < img->width; ++x)
            line[x] = uchar(map.greyOf(row[x]));
    }
}

static ImgData *readySlot(ImgData **slot)
{
    return (slot && *slot && (*slot)->ready) ? *slot : nullptr;
}

ImgData *ImgDatas::i0() const
{
    return readySlot(i0Img);
}

ImgData *ImgDatas::bg() const
{
    return readySlot(bgImg);
}
