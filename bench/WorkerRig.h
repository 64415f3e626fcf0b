#pragma once
// The window's multi-slice path without the window, for benchmarks: a range
// of slices 0 .. slices-1 about one CoR handed out by the dispatcher's range
// rule to `workers` CtCalc2 workers, each on a thread of its own with a panel,
// their save records to a DataSaver on its own thread. GUI thread only.
#include "CalcConds.h"
#include "DataSaver.h"

#include <QEventLoop>
#include <QObject>
#include <QString>
#include <QThread>

#include <memory>
#include <vector>

class CtCalc2;
class ImgDatas;
class Phantom;
class CtCalc2Ui;
class Sinogram;

class WorkerRig : public QObject
{
public:
    // Workers prepared for sinograms `width` samples wide and n projections;
    // with saveDir set they save every slice as image and data there; with
    // boundedQueue they wait for room in the saver's queue, as the window's do.
    WorkerRig(Sinogram *sino, double cor, int width, int n, int workers, int slices,
              const QString &saveDir = QString(), bool boundedQueue = false);
    ~WorkerRig() override;

    // One run over the whole range; returns when every slice is handed out
    // and the last one done.
    void run();
    // Waits until the saver has written everything handed to it.
    void drainSaver();
    // Writes the phantom's series into dir and loads its projections into
    // datas; false (said on stdout) when it cannot be written.
    static bool loadSeries(const Phantom &ph, const QString &dir, ImgDatas &datas);

    DataSaver &saver() { return dataSaver; }
    const std::vector<CtCalc2 *> &workers() const { return list; }

private:
    void step();

    CalcConds conds;
    double cor;
    bool calculating = false;
    QEventLoop loop;
    DataSaver dataSaver;
    QThread saverThread;
    std::vector<CtCalc2 *> list;
    std::vector<std::unique_ptr<QThread>> threads;
    std::vector<std::unique_ptr<CtCalc2Ui>> panels;
    std::vector<std::unique_ptr<CtCalc2>> owned;
};
