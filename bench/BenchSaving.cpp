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
#include "CtCalc2.h"
#include "CtDisp.h"
#include "DataSaver.h"
#include "ImgDatas.h"
#include "Phantom.h"
#include "SaveQueue.h"
#include "SgmRange.h"
#include "Sinogram.h"
#include "SlicePipeline.h"
#include "WorkerRig.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <cstdio>
#include <cstring>
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
    ImgDatas datas;
    if (!WorkerRig::loadSeries(ph, dir.path(), datas))
        return 1;
    Sinogram sino;
    sino.setImgDatas(&datas);
    const double cor = ph.cor();
    const int N = SlicePipeline::lengthFor(SgmRange(true, o.width, cor).width);
    std::printf("%d runs of %d slices, N = %d, %d projections, %d workers, saving data and PNG, %s queue\n",
                runs, rows, N, datas.count(), nWorkers, bounded ? "bounded" : "UNBOUNDED");
    std::printf("before the first run: peak %.0f MB\n", peakMB());

    WorkerRig rig(&sino, cor, N, datas.count(), nWorkers, rows, out.path(), bounded);
    DataSaver &saver = rig.saver();
    CtDisp list;
    // what the saver holds: records handed over and not yet written
    std::atomic<int> handed{0}, most{0};
    const auto handedOne = [&] {
        const int now = ++handed - saver.filesWritten() - saver.failures();
        int m = most.load();
        while (now > m && !most.compare_exchange_weak(m, now)) {
        }
    };
    for (CtCalc2 *w : rig.workers()) {
        QObject::connect(w, &CtCalc2::ctImage, &list, &CtDisp::addImg);
        QObject::connect(w, &CtCalc2::saveDataWDiscard, w, handedOne, Qt::DirectConnection);
        QObject::connect(w, &CtCalc2::saveImgWDiscard, w, handedOne, Qt::DirectConnection);
    }

    QElapsedTimer t;
    t.start();
    for (int r = 1; r <= runs; ++r) {
        // as the window does: a run closes the queue and opens it when it ends
        saver.queue()->setCapacity(SaveQueue::perWorker * nWorkers);
        saver.queue()->close();
        rig.run();
        saver.queue()->open();
        const qint64 listBytes = list.keptBytes();
        std::printf("after %4d slices (%.0f s): peak %.0f MB, at most %d records waiting for the saver, "
                    "list %.0f MB\n",
                    r * rows, t.elapsed() / 1000.0, peakMB(), most.load(), listBytes / 1e6);
        std::fflush(stdout);
    }
    rig.drainSaver();
    std::printf("saver done after %.0f s: %d files written, %d failures; peak %.0f MB\n",
                t.elapsed() / 1000.0, saver.filesWritten(), saver.failures(), peakMB());
    return 0;
}
