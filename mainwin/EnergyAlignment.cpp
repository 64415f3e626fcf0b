#include "EnergyAlignment.h"

#include "CorFinder.h"
#include "ImgData.h"
#include "ImgDatas.h"
#include "SelectDataDir.h"
#include "SlicePipeline.h"

#include <QCheckBox>
#include <QDebug>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>

#include <memory>

namespace {
using Reader = std::unique_ptr<ImgData>;

QString pixels(double v)
{
    return QString::number(v, 'f', 2);
}
}   // namespace

EnergyAlignment::EnergyAlignment(SelectDataDir *sets, ImgDatas *images,
                                 std::function<QString(double)> i0For, QObject *parent)
    : QObject(parent), sets(sets), images(images), i0For(std::move(i0For)),
      box(new QCheckBox(tr("Align Energies"))), refBox(new QSpinBox)
{
    box->setObjectName(QStringLiteral("SeqAlign"));
    box->setToolTip(tr("Every data set finds its shift against the reference set and is "
                       "reconstructed on the reference set's grid"));
    refBox->setObjectName(QStringLiteral("SeqAlignReference"));
    refBox->setRange(1, 99999);
    refBox->setValue(1);
    refBox->setToolTip(tr("The data set the others are aligned to (1: the first)"));
}

void EnergyAlignment::placeControls(QBoxLayout *column, int at)
{
    // a row of their own: beside "Auto CoR" the sequence row would not fit
    // a laptop screen
    auto *row = new QHBoxLayout;
    row->setObjectName(QStringLiteral("SeqAlignRow"));
    row->setSpacing(4);
    row->addWidget(box);
    auto *label = new QLabel(tr("Reference Set"));
    label->setObjectName(QStringLiteral("SeqAlignReferenceLBL"));
    row->addWidget(label);
    row->addWidget(refBox);
    row->addStretch(1);
    column->insertLayout(at, row);
}

bool EnergyAlignment::isOn() const
{
    return box->isChecked();
}

int EnergyAlignment::reference() const
{
    return refBox->value();
}

ImgData *EnergyAlignment::open(const QString &file)
{
    ImgData *d = ImgData::newImgData(ImgData::fileType(file));
    if (!d)
        return nullptr;
    d->keepInMemory = true;
    d->fileName = file;
    d->open();
    if (!d->ready) {
        delete d;
        return nullptr;
    }
    return d;
}

bool EnergyAlignment::holdReference(QString *why)
{
    const int k = reference() - 1;
    const QStringList files = sets->filesOfSet(k);
    if (files.isEmpty()) {
        *why = k >= sets->count() ? QStringLiteral("there is no reference set %1 (%2 sets)").arg(k + 1).arg(sets->count())
                                  : QStringLiteral("the reference set %1 has no files").arg(k + 1);
        return false;
    }
    const QString i0File = i0For ? i0For(sets->energyOfSet(k)) : QString();
    const ImgData *bg = images->bg();
    const QString key = QStringList{QString::number(k), files.join(QLatin1Char('\n')), i0File,
                                    bg ? bg->fileName : QString(),
                                    i0File.isEmpty() && images->i0() ? images->i0()->fileName : QString()}
                            .join(QLatin1Char('|'));
    if (key == heldKey && !refViews.empty())
        return true;
    heldKey.clear();
    refViews.clear();
    refCors.clear();
    Reader i0Own(i0File.isEmpty() ? nullptr : open(i0File));
    if (!i0File.isEmpty() && !i0Own) {
        *why = QStringLiteral("the reference set's I0 image can't be read : ") + i0File;
        return false;
    }
    const ImgData *i0 = i0Own ? i0Own.get() : images->i0();
    std::vector<ShiftFinder::Plane> views;
    for (int v : ShiftFinder::viewsOf(int(files.size()))) {
        Reader img(open(files.at(v)));
        if (!img) {
            *why = QStringLiteral("the reference projection can't be read : ") + files.at(v);
            return false;
        }
        views.push_back(ShiftFinder::absorbance(*img, i0, bg));
    }
    refViews = std::move(views);
    refName = sets->nameOfSet(k);
    refCount = int(files.size());
    heldKey = key;
    return true;
}

bool EnergyAlignment::shiftOfLoadedSet(int index, EnergyShift *shift)
{
    *shift = EnergyShift(0, 0);
    const QString name = sets->nameOfSet(index);
    QString why;
    if (holdReference(&why)) {
        const int n = images->count();
        if (index == reference() - 1) {
            qInfo().noquote() << QStringLiteral("Set %1 is the reference of the alignment").arg(name);
            return true;
        }
        if (n != refCount) {
            why = QStringLiteral("%1 projections against %2 of the reference set %3").arg(n).arg(refCount).arg(refName);
        } else {
            std::vector<ShiftFinder::Plane> views;
            for (int v : ShiftFinder::viewsOf(n))
                views.push_back(ShiftFinder::absorbance(*images->img(v), images->i0(), images->bg()));
            const ShiftFinder::Result r = ShiftFinder::find(refViews, views);
            if (r.ok) {
                *shift = EnergyShift(r.dx, r.dy);
                qInfo().noquote() << QStringLiteral("Set %1 shifted by (%2, %3) px against %4")
                                         .arg(name, pixels(r.dx), pixels(r.dy), refName);
                return true;
            }
            why = r.error;
        }
    }
    qWarning().noquote() << QStringLiteral("Set %1 not aligned, reconstructed unshifted : ").arg(name) + why;
    return false;
}

bool EnergyAlignment::referenceCor(bool rotAxIsV, int slice, double *cor)
{
    QString why;
    const QString at = QStringLiteral("(slice %1, %2, reference set %3)")
                           .arg(slice).arg(CorFinder::methodName(CorFinder::defaultMethod));
    if (!holdReference(&why)) {
        qWarning().noquote() << QStringLiteral("CoR not found : %1 ").arg(why) + at.arg(reference());
        return false;
    }
    const QString key = QStringLiteral("%1 %2").arg(rotAxIsV).arg(slice);
    if (refCors.contains(key)) {
        *cor = refCors.value(key);
        return true;
    }
    const int k = reference() - 1;
    const QStringList files = sets->filesOfSet(k);
    const QString i0File = i0For ? i0For(sets->energyOfSet(k)) : QString();
    Reader i0Own(i0File.isEmpty() ? nullptr : open(i0File));
    const ImgData *i0 = i0Own ? i0Own.get() : images->i0();
    const ImgData *bg = images->bg();
    std::vector<Reader> used;
    CorFinder::Result r;
    for (int i : CorFinder::imagesUsed(CorFinder::defaultMethod, int(files.size()))) {
        used.emplace_back(open(files.at(i)));
        if (!used.back()) {
            r.error = QStringLiteral("the reference projection can't be read : ") + files.at(i);
            break;
        }
    }
    if (r.error.isEmpty()) {
        const int w = used.front()->width, h = used.front()->height;
        const auto fits = [w, h](const ImgData *d) { return d && d->width == w && d->height == h; };
        const int dim = rotAxIsV ? w : h;
        const int nLines = rotAxIsV ? h : w;
        const auto lineOf = [rotAxIsV, slice](const ImgData *d, double *line) {
            if (rotAxIsV)
                d->readRow(slice, line);
            else
                d->readColumn(slice, line);
        };
        const auto refReader = [&](const ImgData *d) -> HSgm::LineReader {
            if (!fits(d))
                return HSgm::LineReader();
            return [d, lineOf](double *line) {
                lineOf(d, line);
                return true;
            };
        };
        HSgm sgm;
        SlicePipeline::build(sgm, rotAxIsV, CorFinder::samplingCor(dim), slice, dim, nLines,
                             int(used.size()), refReader(i0), refReader(bg),
                             [&used, &fits, lineOf](int i, double *line) {
            const ImgData *d = used[std::size_t(i)].get();
            if (fits(d))
                lineOf(d, line);
        });
        r = CorFinder::find(sgm, dim, CorFinder::defaultMethod);
    }
    if (!r.ok) {
        qWarning().noquote() << QStringLiteral("CoR not found : %1 ").arg(r.error) + at.arg(refName);
        return false;
    }
    qInfo().noquote() << QStringLiteral("CoR found : %1 ").arg(QString::number(r.cor, 'g', 6)) + at.arg(refName);
    refCors.insert(key, r.cor);
    *cor = r.cor;
    return true;
}
