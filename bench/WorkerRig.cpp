#include "WorkerRig.h"

#include "CtCalc2.h"
#include "CtCalc2Ui.h"
#include "ImgDatas.h"
#include "Phantom.h"
#include "SliceDispatcher.h"

#include <QDir>

#include <cstdio>

WorkerRig::WorkerRig(Sinogram *sino, double c, int width, int n, int workers, int slices,
                     const QString &saveDir, bool boundedQueue)
    : cor(c)
{
    conds.rotAxIsV = true;
    conds.cor = cor;
    conds.rangeMode = conds.doCt2 = true;
    conds.sliceFrom = 0;
    conds.sliceTo = slices - 1;
    conds.sliceStep = 1;
    conds.threads = workers;
    conds.lowerLimit = -1e30;
    conds.upperLimit = 1e30;

    dataSaver.moveToThread(&saverThread);
    saverThread.start();
    for (int i = 0; i < workers; ++i) {
        owned.push_back(std::make_unique<CtCalc2>(&conds));
        panels.push_back(std::make_unique<CtCalc2Ui>());
        CtCalc2 *w = owned.back().get();
        w->setUi(panels.back().get());
        w->setSinogram(sino);
        if (boundedQueue)
            w->saveQueue = dataSaver.queue();
        threads.push_back(std::make_unique<QThread>());
        w->moveToThread(threads.back().get());
        threads.back()->start();
        connect(w, &CtCalc2::saveDataWDiscard, &dataSaver, &DataSaver::saveDataWDiscard);
        connect(w, &CtCalc2::saveImgWDiscard, &dataSaver, &DataSaver::saveImgWDiscard);
        connect(w, &CtCalc2::calcFinished, this, [this] { step(); });
        w->setSaveImage(!saveDir.isEmpty(), saveDir, "img", "E1");
        w->setSaveData(!saveDir.isEmpty(), saveDir, "dat", "E1");
        w->prepare(width, n);
        list.push_back(w);
    }
}

WorkerRig::~WorkerRig()
{
    for (auto &th : threads) {
        th->quit();
        th->wait();
    }
    saverThread.quit();
    saverThread.wait();
}

void WorkerRig::run()
{
    calculating = true;
    SliceDispatcher::start(conds);
    step();
    if (calculating)
        loop.exec();
}

void WorkerRig::drainSaver()
{
    dataSaver.settle();
}

void WorkerRig::step()
{
    if (!calculating)
        return;
    const auto o = SliceDispatcher::dispatch(
        conds, int(list.size()), [this](int i) { return list[size_t(i)]->isBusy(); },
        [this](int i, int s) {
            CtCalc2 *w = list[size_t(i)];
            w->reserve();
            const double c = cor;
            QMetaObject::invokeMethod(w, [w, s, c] { w->startCt(w, true, c, s, false); },
                                      Qt::QueuedConnection);
        });
    if (o.ended) {
        calculating = false;
        loop.quit();
    }
}

bool WorkerRig::loadSeries(const Phantom &ph, const QString &dir, ImgDatas &datas)
{
    QString err;
    if (!ph.writeSeries(dir, &err)) {
        std::printf("%s\n", qPrintable(err));
        return false;
    }
    for (const QString &f : QDir(dir).entryList({"*.img"}, QDir::Files, QDir::Name))
        datas.add(QDir(dir).filePath(f));
    return true;
}
