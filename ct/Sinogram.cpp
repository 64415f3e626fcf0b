#include "Sinogram.h"
#include "NumberField.h"

#include "AlignedLines.h"
#include "ColorBar.h"
#include "FftwLock.h"
#include "ImgData.h"
#include "ImgDatas.h"
#include "ImgDispWPV.h"
#include "ProcCtrl.h"
#include "SlicePipeline.h"

#include "ui_Sinogram.h"

#include <QCheckBox>
#include <QStringList>

#include <QDebug>

#include <fftw3.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>

namespace {
// The I0 or BG image when it is ready and of the projections' size; an image
// of another size would be read past the line buffers.
const ImgData *refImage(const ImgData *d, const ImgDatas *datas)
{
    if (!d)
        return nullptr;
    if (d->width != datas->width || d->height != datas->height) {
        qDebug().noquote() << QString("Mismatch image size: (%1, %2) != (%3, %4) : ")
                                      .arg(datas->width).arg(datas->height)
                                      .arg(d->width).arg(d->height)
                                  + d->fileName;
        return nullptr;
    }
    return d;
}
}

Sinogram::Sinogram(QWidget *parent) : QFrame(parent), ui(new Ui::Sinogram)
{
    ui->setupUi(this);
    NumberField::fit(ui->Cor);
    // the Fourier picture takes room only when it is asked for, under the
    // sinogram: beside it, the two pictures would not fit a laptop screen
    ui->DispFouS->setVisible(ui->GenFouS->isChecked());
    connect(ui->GenFouS, &QCheckBox::toggled, ui->DispFouS, &QWidget::setVisible);
    // ticked: the picture of the sinogram shown now, not of the next one
    connect(ui->GenFouS, &QCheckBox::toggled, this, [this](bool on) {
        if (on)
            genFouSImage();
    });
    connect(ui->DispSinogram, &ImgDispWPV::newPosInvY, this, &Sinogram::newPos);
    connect(ui->DispSinogram, &ImgDispWCBar::newBar, this, &Sinogram::genImage);
    connect(ui->Cor, &QLineEdit::editingFinished, this, &Sinogram::corEditingFinished);
    // the raw or the corrected sinogram, both of the record built last
    connect(ui->ShowRaw, &QCheckBox::toggled, this, &Sinogram::genSgmImage);
    // "Gen Image" builds and draws the sinogram whatever the auto-update box says
    connect(ui->GenImg, &QPushButton::clicked, this, &Sinogram::regenerate);
}

Sinogram::~Sinogram()
{
    delete ui;
}

void Sinogram::setProcCtrl(ProcCtrl *procCtrl)
{
    if (pCtrl)
        disconnect(pCtrl, nullptr, this, nullptr);
    pCtrl = procCtrl;
    if (!pCtrl)
        return;
    connect(pCtrl, &ProcCtrl::sliceNoUpdated, this, &Sinogram::sliceNoUpdated);
    connect(pCtrl, &ProcCtrl::corUpdated, this, &Sinogram::corUpdated);
    connect(pCtrl, &ProcCtrl::rotAxUpdated, this, &Sinogram::rotAxUpdated);
    connect(pCtrl, &ProcCtrl::autoUpdateUpdated, this, &Sinogram::autoUpdateUpdated);
}

void Sinogram::setImgDatas(ImgDatas *imgDatas)
{
    datas = imgDatas;
}

bool Sinogram::genSinogram0(HSgm *h, bool rotAxIsV, double cor, int slice)
{
    return build(h, rotAxIsV, cor, slice, nullptr);
}

bool Sinogram::genSinogram0(HSgm *h, bool rotAxIsV, double cor, int slice,
                            const std::vector<int> &images)
{
    if (!datas)
        return false;
    for (int i : images)
        if (i < 0 || i >= datas->count()) {
            if (h)
                h->why = QStringLiteral("no projection %1").arg(i);
            return false;
        }
    return build(h, rotAxIsV, cor, slice, &images);
}

bool Sinogram::genSinogram0(HSgm *h, bool rotAxIsV, double cor, int slice, const EnergyShift &shift)
{
    return build(h, rotAxIsV, cor, slice, nullptr, shift);
}

bool Sinogram::build(HSgm *h, bool rotAxIsV, double cor, int slice, const std::vector<int> *images,
                     const EnergyShift &shift)
{
    if (!h)
        return false;
    if (!datas) {
        h->why = QStringLiteral("no projection images loaded");
        return false;
    }
    const ImgDatas *d = datas;
    const int dim = rotAxIsV ? d->width : d->height;
    const int nLines = rotAxIsV ? d->height : d->width;
    const int n = images ? int(images->size()) : d->count();
    // with no projections loaded there is nothing to compare I0 and BG with
    const ImgData *i0 = n > 0 ? refImage(d->i0(), d) : nullptr;
    const ImgData *bg = n > 0 ? refImage(d->bg(), d) : nullptr;
    auto readRef = [rotAxIsV, slice](const ImgData *img) -> HSgm::LineReader {
        if (!img)
            return HSgm::LineReader();
        return [img, rotAxIsV, slice](double *line) {
            if (rotAxIsV)
                img->readRow(slice, line);
            else
                img->readColumn(slice, line);
            return true;
        };
    };
    bool built = false;
    if (shift.on && n > 0) {
        // a set shifted against its sequence's reference: lines between image
        // lines, samples on the reference grid
        AlignedLines al(rotAxIsV, dim, nLines, slice, cor, shift);
        if (!al.valid()) {
            h->clear();
            h->why = al.why();
            return false;
        }
        auto lineAt = [rotAxIsV](const ImgData *img, int line, double *out) {
            if (rotAxIsV)
                img->readRow(line, out);
            else
                img->readColumn(line, out);
        };
        auto refAt = [lineAt](const ImgData *img) -> AlignedLines::RefLineAt {
            if (!img)
                return AlignedLines::RefLineAt();
            return [img, lineAt](int line, double *out) {
                lineAt(img, line, out);
                return true;
            };
        };
        built = SlicePipeline::build(*h, rotAxIsV, al.virtualCor(), AlignedLines::virtualSlice,
                                     al.virtualDim(), AlignedLines::virtualLines, n,
                                     al.wrap(refAt(i0)), al.wrap(refAt(bg)),
                                     al.wrap([d, images, lineAt](int i, int line, double *out) {
            lineAt(d->img(images ? (*images)[std::size_t(i)] : i), line, out);
        }));
        h->slice = slice;
    } else {
        built = SlicePipeline::build(*h, rotAxIsV, cor, slice, dim, nLines, n,
                                     readRef(i0), readRef(bg),
                                     [d, rotAxIsV, slice, images](int i, double *line) {
            const ImgData *img = d->img(images ? (*images)[std::size_t(i)] : i);
            if (rotAxIsV)
                img->readRow(slice, line);
            else
                img->readColumn(slice, line);
        });
    }
    // the files behind the lines the build names
    const auto fileOf = [d, i0, bg, images](int line) -> QString {
        if (line == HSgm::i0Line)
            return i0 ? i0->fileName : QString();
        if (line == HSgm::bgLine)
            return bg ? bg->fileName : QString();
        const ImgData *img = d->img(images ? (*images)[std::size_t(line)] : line);
        return img ? img->fileName : QString();
    };
    const QString lineName = rotAxIsV ? QStringLiteral("row %1").arg(slice)
                                      : QStringLiteral("column %1").arg(slice);
    if (h->deadLine != HSgm::noLine)
        h->why = QStringLiteral("no finite pixel in %1 of %2").arg(lineName, fileOf(h->deadLine));
    if (h->badCount > 0) {
        QStringList where;
        for (const HSgm::BadPixel &b : h->badPixels) {
            const int x = rotAxIsV ? b.pos : slice;
            const int y = rotAxIsV ? slice : b.pos;
            where << QStringLiteral("%1 (x %2, y %3)").arg(fileOf(b.line)).arg(x).arg(y);
        }
        if (h->badCount > int(where.size()))
            where << QStringLiteral("...");
        qWarning().noquote() << QStringLiteral("Slice %1 : %2 non-finite pixel(s) replaced from "
                                               "their neighbours in the %3 : ")
                                        .arg(slice).arg(h->badCount)
                                        .arg(rotAxIsV ? QStringLiteral("row") : QStringLiteral("column"))
                                    + where.join(QStringLiteral(", "));
    }
    return built;
}

void Sinogram::setCorrections(const CorrectionSettings &c)
{
    if (c == corr)
        return;
    corr = c;
    // the picture shows the new corrections of the record it shows at once
    remakeCorrected();
    genSgmImage();
}

void Sinogram::remakeCorrected()
{
    if (corr.any() && hSgm.hasData()) {
        corrected = hSgm;
        if (!correct(&corrected))
            corrected.clear();
    } else {
        corrected.clear();
    }
}

bool Sinogram::correct(HSgm *h)
{
    if (!h || !corr.any() || !h->hasData())
        return true;
    corr.fit(chain, chainHas);
    return chain.correct(*h);
}

const HSgm &Sinogram::shown() const
{
    const bool raw = ui->ShowRaw->isChecked();
    return !raw && corr.any() && corrected.hasData() ? corrected : hSgm;
}

bool Sinogram::genSinogram()
{
    if (!pCtrl)
        return false;
    hSgm.i0Scale = ionScale;
    // a shifted data set is shown at its own CoR (the panel's plus the shift)
    const EnergyShift &shift = pCtrl->energyShift();
    const bool built = genSinogram0(&hSgm, pCtrl->rotAxIsV, pCtrl->cor + shift.acrossAxis(pCtrl->rotAxIsV),
                                    pCtrl->sliceNo, shift);
    // the corrected record follows the one just built
    remakeCorrected();
    // with auto update on, the picture always shows the record just built
    if (autoUpdate())
        genSgmImage();
    return built;
}

void Sinogram::genSgmImage()
{
    ImgDispWPV *disp = ui->DispSinogram;
    const int w = shown().width;
    const int h = shown().height;
    if (!shown().hasData()) {
        disp->image = QImage();
        disp->update();
        genFouSImage();
        return;
    }
    double mn = DBL_MAX, mx = -DBL_MAX;
    for (double v : shown().sgm) {
        mn = std::min(mn, v);
        mx = std::max(mx, v);
    }
    if (disp->CBar->setRangeUnlessFixed(mn, mx))
        disp->CBar->update();

    const GreyMap gm = disp->CBar->greyMap();
    QImage img(w, 2 * h, QImage::Format_Grayscale8);
    if (img.isNull())
        return;
    for (int i = 0; i < h; ++i) {
        const double *row = shown().sgmRow(i);
        uchar *up = img.scanLine(i);
        uchar *down = img.scanLine(h + i);
        for (int j = 0; j < w; ++j) {
            const uchar g = uchar(gm.greyOf(row[j]));
            up[j] = g;
            down[w - 1 - j] = g;
        }
    }
    disp->image = img;
    disp->newImage();
    disp->update();
    genFouSImage();
}

void Sinogram::genFouSImage()
{
    if (!ui->GenFouS->isChecked() || !shown().hasData())
        return;
    const int w = shown().width;
    const int h = shown().height;
    const int rows = 2 * h;
    const std::size_t count = std::size_t(rows) * std::size_t(w);
    auto *in = static_cast<fftw_complex *>(fftw_malloc(sizeof(fftw_complex) * count));
    auto *out = static_cast<fftw_complex *>(fftw_malloc(sizeof(fftw_complex) * count));
    if (!in || !out) {
        fftw_free(in);
        fftw_free(out);
        return;
    }
    const double s = 1.0 / (2.0 * double(w) * double(h));
    for (int i = 0; i < h; ++i) {
        const double *row = shown().sgmRow(i);
        fftw_complex *up = in + std::size_t(i) * std::size_t(w);
        fftw_complex *down = in + std::size_t(h + i) * std::size_t(w);
        for (int j = 0; j < w; ++j) {
            up[j][0] = row[j] * s;
            up[j][1] = 0.0;
            down[w - 1 - j][0] = row[j] * s;
            down[w - 1 - j][1] = 0.0;
        }
    }
    fftw_plan plan;
    {
        FftwLock lock;
        plan = fftw_plan_dft_2d(rows, w, in, out, FFTW_FORWARD, FFTW_ESTIMATE);
    }
    if (plan) {
        fftw_execute(plan);
        FftwLock lock;
        fftw_destroy_plan(plan);
    }

    ImgDispWPV *disp = ui->DispFouS;
    if (disp->CBar->setRangeUnlessFixed(-10, 10))
        disp->CBar->update();
    const GreyMap gm = disp->CBar->greyMap();
    QImage img(w, rows, QImage::Format_Grayscale8);
    if (plan && !img.isNull()) {
        for (int i = 0; i < rows; ++i) {
            uchar *line = img.scanLine(i);
            const fftw_complex *o = out + std::size_t(i) * std::size_t(w);
            for (int j = 0; j < w; ++j)
                line[j] = uchar(gm.greyOf(std::sqrt(o[j][0] * o[j][0] + o[j][1] * o[j][1])));
        }
        disp->image = img;
    }
    fftw_free(in);
    fftw_free(out);
    disp->newImage();
    disp->update();
}

bool Sinogram::autoUpdate() const
{
    return pCtrl && pCtrl->isAutoUpdate();
}

void Sinogram::regenerate()
{
    genSinogram();
    if (!autoUpdate())
        genSgmImage();
}

void Sinogram::genImage()
{
    if (autoUpdate())
        regenerate();
}

void Sinogram::corUpdated()
{
    if (!pCtrl)
        return;
    ui->Cor->setText(QString::number(pCtrl->cor, 'g', 6));
    genImage();
}

void Sinogram::sliceNoUpdated()
{
    genImage();
}

void Sinogram::rotAxUpdated()
{
    genImage();
}

void Sinogram::autoUpdateUpdated()
{
    genImage();
}

void Sinogram::corEditingFinished()
{
    if (pCtrl)
        pCtrl->setCor(ui->Cor->text().toDouble());  // not a number: 0
}

void Sinogram::newPos(double x, double y)
{
    if (!shown().hasData())
        return;
    const int w = shown().width;
    const int h = shown().height;
    const double tx = std::trunc(x), ty = std::trunc(y);
    if (!(tx >= 0 && tx < w && ty >= 0 && ty < 2.0 * h))   // also NaN
        return;
    const int ix = int(tx);
    const int iy = int(ty);
    // the lower half shows each row mirrored; the readout follows the picture
    const double v = iy < h ? shown().sgmRow(iy)[ix] : shown().sgmRow(iy - h)[w - 1 - ix];
    ui->DispSinogram->setVal(v);
}

void Sinogram::setGenFouS(bool f)
{
    ui->GenFouS->setChecked(f);
}

void Sinogram::setI0Scale(double scale)
{
    if (scale == ionScale)
        return;
    ionScale = scale;
    genImage();
}
