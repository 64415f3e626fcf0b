#include "CorActions.h"

#include "HSgm.h"
#include "ImgDatas.h"
#include "ProcCtrl.h"
#include "Sinogram.h"

#include <QDebug>

#include <algorithm>
#include <vector>

CorActions::CorActions(Sinogram *sinogram, ProcCtrl *procCtrl) : sgm(sinogram), pc(procCtrl) {}

CorFinder::Result CorActions::find(int slice, CorFinder::Method m) const
{
    CorFinder::Result r;
    const ImgDatas *d = sgm ? sgm->imgDatas() : nullptr;
    if (!d || !pc || d->count() < 1) {
        r.error = QStringLiteral("no projection images loaded");
    } else {
        const bool v = pc->rotAxIsV;
        const int dim = v ? d->width : d->height;
        HSgm h;
        h.i0Scale = sgm->i0Scale();
        const std::vector<int> used = CorFinder::imagesUsed(m, d->count());
        if (!sgm->corrections().any()) {
            sgm->genSinogram0(&h, v, CorFinder::samplingCor(dim), slice, used);
        } else {
            // the corrections see the whole sinogram (a stripe is a column
            // over all projections); the method then takes its rows from it
            HSgm all;
            all.i0Scale = h.i0Scale;
            if (sgm->genSinogram0(&all, v, CorFinder::samplingCor(dim), slice) && sgm->correct(&all)) {
                h.resize(all.width, int(used.size()));
                h.slice = all.slice;
                for (std::size_t k = 0; k < used.size(); ++k) {
                    std::copy(all.sgmRow(used[k]), all.sgmRow(used[k]) + all.width,
                              h.sgm.begin() + std::ptrdiff_t(k) * all.width);
                    std::copy(all.rawRow(used[k]), all.rawRow(used[k]) + all.width,
                              h.raw.begin() + std::ptrdiff_t(k) * all.width);
                }
            } else {
                h.why = all.why;
            }
        }
        r = CorFinder::find(h, dim, m);
    }
    const QString where = QStringLiteral("(slice %1, %2)").arg(slice).arg(CorFinder::methodName(m));
    if (r.ok)
        qInfo().noquote() << QStringLiteral("CoR found : %1 ").arg(QString::number(r.cor, 'g', 6)) + where;
    else
        qWarning().noquote() << QStringLiteral("CoR not found : %1 ").arg(r.error) + where;
    return r;
}

bool CorActions::findAndSet(const QString &methodName) const
{
    CorFinder::Method m;
    if (!CorFinder::methodFromName(methodName, &m)) {
        qWarning().noquote() << "CoR not found : no such method : " + methodName;
        return false;
    }
    const CorFinder::Result r = find(pc->sliceNo, m);
    if (r.ok)
        pc->setCor(r.cor);
    return r.ok;
}

bool CorActions::findAndRecord(int k, int slice) const
{
    if (k != 1 && k != 2) {
        qWarning().noquote() << QStringLiteral("CoR not found : no recorded pair %1").arg(k);
        return false;
    }
    const CorFinder::Result r = find(slice, CorFinder::defaultMethod);
    if (r.ok)
        pc->setRecordedCoR(k, slice, r.cor);
    return r.ok;
}
