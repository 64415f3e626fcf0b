#include "SelectAImgFile.h"
#include "ui_SelectAImgFile.h"
#include "ui_SelectAFile.h"

#include "ColorBar.h"
#include "ImgData.h"
#include "ImgDatas.h"
#include "ImgDispWPV.h"

#include <QDebug>
#include <QGridLayout>

SelectAImgFile::SelectAImgFile(QWidget *parent)
    : SelectAFile(parent), imgUi(new Ui::SelectAImgFile), view(new ImgDispWPV)
{
    auto *holder = new QFrame(this);
    imgUi->setupUi(holder);
    rowLayout()->addWidget(holder, 0, 5);
    defaultExpTime = imgUi->ExpTimeLE->text().toDouble();

    connect(this, &SelectAFile::fileSelected, this, &SelectAImgFile::loadImage);
    connect(this, &SelectAFile::clear, this, &SelectAImgFile::clear);
    connect(view, &ImgDispWPV::newPosInvY, this, &SelectAImgFile::noticedNewPos);
    connect(imgUi->ShowImg, &QPushButton::clicked, this, [this] {
        if (img)
            view->show();
    });
}

SelectAImgFile::~SelectAImgFile()
{
    delete img;
    delete view;
    delete imgUi;
}

double SelectAImgFile::expTime() const
{
    return imgUi->ExpTimeLE->text().toDouble();
}

void SelectAImgFile::setExpTime(double time)
{
    imgUi->ExpTimeLE->setText(QString::number(time, 'g', 6));
}

void SelectAImgFile::setHeld(bool h)
{
    held = h;
    if (held)
        return;
    const Pending p = pending;
    pending = Pending::None;
    if (p == Pending::Load)
        loadImage(pendingFile);
    else if (p == Pending::Clear)
        clearImage();
}

void SelectAImgFile::loadImage(const QString &fname)
{
    if (held) {
        qDebug().noquote() << "Image loads when the reconstruction run has ended : " + fname;
        pending = Pending::Load;
        pendingFile = fname;
        loadFailed = false;     // not tried yet
        return;
    }
    loadFailed = true;
    ImgData *d = ImgData::newImgData(ImgData::fileType(fname));
    if (!d) {
        qWarning().noquote() << "Can't read image file : " + fname;
        ui->FilePath->setToolTip(QString());
        setStat(false);
        return;
    }
    d->keepInMemory = true;
    d->fileName = fname;
    d->open();
    if (!d->ready) {
        qWarning().noquote() << "Can't read image file : " + fname;
        ui->FilePath->setToolTip(QString());
        setStat(false);
        delete d;      // a previously held image stays
        return;
    }
    loadFailed = false;
    if (img) {
        setStat(false);
        delete img;
        img = nullptr;
    }
    img = d;
    checkSize();
    ImgDatas::render(img, &view->image, view->CBar);
    view->newImage();
    view->show();
}

void SelectAImgFile::setSeriesSize(int w, int h)
{
    seriesWidth = w;
    seriesHeight = h;
    if (!loadFailed)
        checkSize();
}

bool SelectAImgFile::sizeFits() const
{
    return img && (seriesWidth == 0 || (img->width == seriesWidth && img->height == seriesHeight));
}

void SelectAImgFile::checkSize()
{
    if (!img)
        return;
    if (sizeFits()) {
        ui->FilePath->setToolTip(QString());
        setStat(true);
        return;
    }
    const QString sizes = QStringLiteral(": (%1, %2) != (%3, %4)")
                              .arg(seriesWidth).arg(seriesHeight).arg(img->width).arg(img->height);
    qWarning().noquote() << "Mismatch image size" + sizes + " : " + img->fileName;
    ui->FilePath->setToolTip(tr("Mismatch image size") + sizes);
    setStat(false);
}

void SelectAImgFile::noticedNewPos(double x, double y)
{
    if (!img)
        return;
    view->setVal(img->valueAt(int(x), int(y)));
}

void SelectAImgFile::clear()
{
    if (held) {
        qDebug().noquote() << "Image is cleared when the reconstruction run has ended";
        pending = Pending::Clear;
        return;
    }
    clearImage();
}

void SelectAImgFile::clearImage()
{
    delete img;
    img = nullptr;
    ui->FilePath->setToolTip(QString());
    setExpTime(defaultExpTime);
}
