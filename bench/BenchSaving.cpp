// bench-saving [--runs R] [--unbounded]: the memory of a long multi-slice run
// that saves every slice as data and PNG. Two workers reconstruct 1024-pixel
// slices (180 projections, 100 rows) through the window's dispatcher, hand
// their records to the saver thread and their images to the "CT Images"
// list, as the main window does; R runs of 100 slices one after the other
// (default 4: 400 slices; 20 gives 2000), the list kept over all of them as
// in one long run. After each run it prints the peak resident memory so far
// (VmHWM), the most records the saver held and the list's pictures: with the
// saver's queue bounded the saver's share stays flat from the first run on,
// and the list keeps its pictures within its budget (64 MB), however many
// slices there are.
// --unbounded hands records over without waiting for room, as before the
// bound; the saver then falls behind (PNG and data files take longer than a
// slice) and the peak grows with every run: use few runs.
#include "CalcConds.h"
#include "CtCalc2.h"
#include "CtCalc2Ui.h"
#include "CtDisp.h"
#include "DataSaver.h"
#include "ImgDatas.h"
#include "Phantom.h"
#include "SaveQueue.h"
#include "SgmRange.h"
#include "Sinogram.h"
#include "SliceDispatcher.h"
#include "SlicePipeline.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace {

// Peak resident set of this process in MB (VmHWM).
double peakMB()
{
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1;
}

struct Run : QObject {
    CalcConds conds;
    std::vector<CtCalc2 *> workers;
    bool calculating = false;
    QEventLoop loop;
    std::function<void(CtCalc2 *, int)> send;

    void step()
    {
        if (!calculating)
            return;
        const auto o = SliceDispatcher::dispatch(
            conds, int(workers.size()), [this](int i) { return workers[size_t(i)]->isBusy(); },
            [&](int i, int s) { send(workers[size_t(i)], s); });
        if (o.ended) {
            calculating = false;
            loop.quit();
        }
    }
};

}

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int runs = 4;
    bool bounded = true;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--runs") && i + 1 < argc)
            runs = std::max(1, atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--unbounded"))
            bounded = false;
    }
    constexpr int rows = 100, nWorkers = 2;

    QTemporaryDir dir, out;
    Phantom::Options o;
    o.width = 1024;
    o.height = rows;
    o.projections = 180;
    const Phantom ph = Phantom::standard(o);
    QString err;
    if (!ph.writeSeries(dir.path(), &err)) {
        std::printf("%s\n", qPrintable(err));
        return 1;
    }
    ImgDatas datas;
    for (const QString &f : QDir(dir.path()).entryList({"*.img"}, QDir::Files, QDir::Name))
        datas.add(dir.filePath(f));
    Sinogram sino;
    sino.setImgDatas(&datas);
    const double cor = ph.cor();
    const int N = SlicePipeline::lengthFor(SgmRange(true, o.width, cor).width);
    std::printf("%d runs of %d slices, N = %d, %d projections, %d workers, saving data and PNG, %s queue\n",
                runs, rows, N, datas.count(), nWorkers, bounded ? "bounded" : "UNBOUNDED");
    std::printf("before the first run: peak %.0f MB\n", peakMB());

    Run run;
    run.conds.rotAxIsV = true;
    run.conds.cor = cor;
    run.conds.rangeMode = run.conds.doCt2 = true;
    run.conds.sliceFrom = 0;
    run.conds.sliceTo = rows - 1;
    run.conds.sliceStep = 1;
    run.conds.threads = nWorkers;
    run.conds.lowerLimit = -1e30;
    run.conds.upperLimit = 1e30;

    DataSaver saver;
    QThread saverThread;
    saver.moveToThread(&saverThread);
    saverThread.start();
    CtDisp list;
    std::vector<std::unique_ptr<QThread>> threads;
    std::vector<std::unique_ptr<CtCalc2Ui>> panels;
    std::vector<std::unique_ptr<CtCalc2>> owned;
    for (int i = 0; i < nWorkers; ++i) {
        owned.push_back(std::make_unique<CtCalc2>(&run.conds));
        panels.push_back(std::make_unique<CtCalc2Ui>());
        CtCalc2 *w = owned.back().get();
        w->setUi(panels.back().get());
        w->setSinogram(&sino);
        if (bounded)
            w->saveQueue = saver.queue();
        threads.push_back(std::make_unique<QThread>());
        w->moveToThread(threads.back().get());
        threads.back()->start();
        QObject::connect(w, &CtCalc2::saveDataWDiscard, &saver, &DataSaver::saveDataWDiscard);
        QObject::connect(w, &CtCalc2::saveImgWDiscard, &saver, &DataSaver::saveImgWDiscard);
        QObject::connect(w, &CtCalc2::ctImage, &list, &CtDisp::addImg);
        w->setSaveImage(true, out.path(), "img", "E1");
        w->setSaveData(true, out.path(), "dat", "E1");
        w->prepare(N, datas.count());
        run.workers.push_back(w);
    }
    // what the saver holds: records handed over and not yet written
    std::atomic<int> handed{0}, most{0};
    const auto handedOne = [&] {
        const int now = ++handed - saver.filesWritten() - saver.failures();
        int m = most.load();
        while (now > m && !most.compare_exchange_weak(m, now)) {
        }
    };
    for (CtCalc2 *w : run.workers) {
        QObject::connect(w, &CtCalc2::saveDataWDiscard, w, handedOne, Qt::DirectConnection);
        QObject::connect(w, &CtCalc2::saveImgWDiscard, w, handedOne, Qt::DirectConnection);
        QObject::connect(w, &CtCalc2::calcFinished, &run, [&] { run.step(); });
    }
    run.send = [&](CtCalc2 *w, int s) {
        w->reserve();
        QMetaObject::invokeMethod(w, [w, s, cor] { w->startCt(w, true, cor, s, false); },
                                  Qt::QueuedConnection);
    };

    QElapsedTimer t;
    t.start();
    for (int r = 1; r <= runs; ++r) {
        // as the window does: a run closes the queue and opens it when it ends
        saver.queue()->setCapacity(SaveQueue::perWorker * nWorkers);
        saver.queue()->close();
        run.calculating = true;
        SliceDispatcher::start(run.conds);
        run.step();
        if (run.calculating)
            run.loop.exec();
        saver.queue()->open();
        qint64 listBytes = 0;
        for (const auto &e : std::as_const(list.images))
            listBytes += e.second.sizeInBytes();
        std::printf("after %4d slices (%.0f s): peak %.0f MB, at most %d records waiting for the saver, "
                    "list %.0f MB\n",
                    r * rows, t.elapsed() / 1000.0, peakMB(), most.load(), listBytes / 1e6);
        std::fflush(stdout);
    }
    QMetaObject::invokeMethod(&saver, [] {}, Qt::BlockingQueuedConnection);
    std::printf("saver done after %.0f s: %d files written, %d failures; peak %.0f MB\n",
                t.elapsed() / 1000.0, saver.filesWritten(), saver.failures(), peakMB());
    for (auto &th : threads) {
        th->quit();
        th->wait();
    }
    saverThread.quit();
    saverThread.wait();
    return 0;
}
