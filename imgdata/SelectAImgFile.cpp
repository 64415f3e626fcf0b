#include "SelectAImgFile.h"
#include "ui_SelectAImgFile.h"
#include "ui_SelectAFile.h"

#include "ColorBar.h"
#include "ImgData.h"
#include "ImgDataCombined.h"
#include "ImgDatas.h"
#include "ImgDispWPV.h"

#include <QCheckBox>
#include <QDebug>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>

#include <algorithm>
#include <memory>
#include <vector>

SelectAImgFile::SelectAImgFile(QWidget *parent)
    : SelectAFile(parent), imgUi(new Ui::SelectAImgFile), view(new ImgDispWPV)
{
    auto *holder = new QFrame(this);
    imgUi->setupUi(holder);
    rowLayout()->addWidget(holder, 0, 5);
    defaultExpTime = imgUi->ExpTimeLE->text().toDouble();

    connect(this, &SelectAFile::fileSelected, this, [this](const QString &fname) {
        several.clear();
        loadImage(fname);
    });
    connect(this, &SelectAFile::clear, this, &SelectAImgFile::clear);
    // the dialog takes several files; one chosen goes the one-file way
    dialog()->setFileMode(QFileDialog::ExistingFiles);
    disconnect(dialog(), &QFileDialog::fileSelected, this, &SelectAFile::fileSelected0);
    connect(dialog(), &QFileDialog::filesSelected, this, &SelectAImgFile::filesSelected0);
    connect(imgUi->Median, &QCheckBox::toggled, this, [this] {
        if (several.size() > 1)
            loadImages(several);
    });
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
    if (p == Pending::Load && !pendingFiles.isEmpty())
        loadImages(pendingFiles);
    else if (p == Pending::Load)
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
        pendingFiles.clear();
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
    adopt(d);
}

void SelectAImgFile::adopt(ImgData *d)
{
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

QString SelectAImgFile::pathsText(const QStringList &files)
{
    if (files.size() == 1)
        return files.first();
    QStringList items;
    for (const QString &f : files) {
        const bool blank = std::any_of(f.cbegin(), f.cend(), [](QChar c) { return c.isSpace(); });
        items << (blank ? QLatin1Char('"') + f + QLatin1Char('"') : f);
    }
    return items.join(QLatin1Char(' '));
}

QStringList SelectAImgFile::paths() const
{
    if (!several.isEmpty())
        return several;
    return path().isEmpty() ? QStringList() : QStringList{path()};
}

bool SelectAImgFile::median() const
{
    return imgUi->Median->isChecked();
}

void SelectAImgFile::setMedian(bool on)
{
    imgUi->Median->setChecked(on);
}

void SelectAImgFile::filesSelected0(const QStringList &fnames)
{
    if (fnames.size() <= 1) {
        fileSelected0(fnames.value(0));
        return;
    }
    setPath(pathsText(fnames));
    setName(QFileInfo(fnames.first()).fileName().section(QLatin1Char('.'), 0, 0));
    several = fnames;
    loadImages(fnames);
}

void SelectAImgFile::loadImages(const QStringList &fnames)
{
    if (held) {
        qDebug().noquote() << "Images load when the reconstruction run has ended : " + fnames.join(", ");
        pending = Pending::Load;
        pendingFiles = fnames;
        loadFailed = false;     // not tried yet
        return;
    }
    // every file read, all of one size, or nothing changes: the image held
    // before stays
    loadFailed = true;
    ui->FilePath->setToolTip(QString());
    std::vector<std::unique_ptr<ImgData>> parts;
    for (const QString &f : fnames) {
        std::unique_ptr<ImgData> d(ImgData::newImgData(ImgData::fileType(f)));
        if (d) {
            d->keepInMemory = true;
            d->fileName = f;
            d->open();
        }
        if (!d || !d->ready) {
            qWarning().noquote() << "Can't read image file : " + f;
            setStat(false);
            return;
        }
        parts.push_back(std::move(d));
    }
    std::vector<const ImgData *> list;
    for (const std::unique_ptr<ImgData> &p : parts)
        list.push_back(p.get());
    QString why;
    ImgData *c = ImgDataCombined::combine(list, median(), &why);
    if (!c) {
        qWarning().noquote() << "Images not combined : " + why;
        ui->FilePath->setToolTip(why);
        setStat(false);
        return;
    }
    qInfo().noquote() << QStringLiteral("%1 images combined by their %2 : ")
                             .arg(fnames.size())
                             .arg(median() ? QStringLiteral("median") : QStringLiteral("mean"))
                             + fnames.join(QStringLiteral(", "));
    adopt(c);
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
    several.clear();
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
