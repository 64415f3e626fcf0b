// bench-multict [S]: slices per second of a multi-slice run over the
// 1024 x 720 case (1024-pixel lines, 720 projections) with 1 worker on S
// slices (default 8) and 2 workers on 2 S, each on a thread of its own and
// driven by the range rule, without saving (five pairs timed back to back,
// the median ratio) and with image and data saving through the saver thread;
// and the time to format one data file of the 1020 x 1020 result.
#include "CtCalc2.h"
#include "DataFileText.h"
#include "DataSaver.h"
#include "ImgDatas.h"
#include "Phantom.h"
#include "SgmRange.h"
#include "Sinogram.h"
#include "SlicePipeline.h"
#include "WorkerRig.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

double runSlices(Sinogram *sino, double cor, int N, int n, int nWorkers, int slices,
                 const QString &saveDir)
{
    WorkerRig rig(sino, cor, N, n, nWorkers, slices, saveDir);
    QElapsedTimer t;
    t.start();
    rig.run();
    const double calcSec = t.nsecsElapsed() * 1e-9;
    rig.drainSaver();
    const double allSec = t.nsecsElapsed() * 1e-9;
    if (!saveDir.isEmpty())
        std::printf("    saver done %.2f s after start (%d failures)\n", allSec, rig.saver().failures());
    return slices / calcSec;
}

}

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int slices = argc > 1 ? std::max(2, atoi(argv[1])) : 8;

    QTemporaryDir dir;
    Phantom::Options o;
    o.width = 1024;
    o.height = 2 * slices;   // the two-worker legs take twice as many
    o.projections = 720;
    const Phantom ph = Phantom::standard(o);
    std::printf("writing %d projections of 1024 x %d ...\n", o.projections, o.height);
    ImgDatas datas;
    if (!WorkerRig::loadSeries(ph, dir.path(), datas))
        return 1;
    Sinogram sino;
    sino.setImgDatas(&datas);
    const double cor = ph.cor();
    const int N = SlicePipeline::lengthFor(SgmRange(true, o.width, cor).width);
    const int n = datas.count();
    std::printf("%d slices, N = %d, n = %d, %d hardware threads\n", slices, N, n,
                QThread::idealThreadCount());

    // one worker on `slices` slices against two on twice as many, timed in
    // pairs one right after the other (the order alternating), so that a
    // machine whose speed drifts under other load changes both alike
    std::vector<double> ratios;
    double one = 0, two = 0;
    for (int k = 0; k < 5; ++k) {
        const bool oneFirst = k % 2 == 0;
        const double a = runSlices(&sino, cor, N, n, oneFirst ? 1 : 2, oneFirst ? slices : 2 * slices, QString());
        const double b = runSlices(&sino, cor, N, n, oneFirst ? 2 : 1, oneFirst ? 2 * slices : slices, QString());
        const double r1 = oneFirst ? a : b, r2 = oneFirst ? b : a;
        std::printf("  pair %d: 1 worker %.2f slices/s, 2 workers %.2f slices/s, %.2fx\n", k + 1, r1, r2, r2 / r1);
        ratios.push_back(r2 / r1);
        one += r1 / 5;
        two += r2 / 5;
    }
    std::vector<double> sorted = ratios;
    std::sort(sorted.begin(), sorted.end());
    std::printf("1 worker : %.2f slices/s (mean of the pairs)\n", one);
    std::printf("2 workers: %.2f slices/s  (%.2f x one worker, median of the pairs; target >= 1.9)\n", two,
                sorted[sorted.size() / 2]);
    QTemporaryDir out;
    const double twoSave = runSlices(&sino, cor, N, n, 2, slices, out.path());
    std::printf("2 workers saving PNG and data: %.2f slices/s  (%.2f x without saving)\n",
                twoSave, twoSave / two);

    SlicePipeline pipe;
    HSgm h;
    sino.genSinogram0(&h, true, cor, slices / 2);
    pipe.run(h, 0, {0, 0, double(N), double(N)});
    QElapsedTimer t;
    t.start();
    const int reps = 5;
    qsizetype bytes = 0;
    for (int r = 0; r < reps; ++r)
        bytes += DataFileText::make(pipe.res().data(), pipe.size(), {0, 0, double(N), double(N)},
                                   -1e30, 1e30, 0).size();
    std::printf("data-file text %d x %d: %.1f ms, %.1f MB\n", N, N,
                t.nsecsElapsed() * 1e-6 / reps, double(bytes) / reps / 1e6);
    return 0;
}
