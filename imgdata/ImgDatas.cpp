#include "ImgDatas.h"

#include "ImgData.h"

#include <QDebug>

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
    imgs.at(index)->toImage(image, bar);
    emit imageUpdated();
    return true;
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
