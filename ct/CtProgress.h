#pragma once
// Paces the projection-by-projection reconstruction from a thread of its own:
// one queued calcOne per projection, the next only after the calculator
// reports the previous one done, so that the window repaints in between.
// Its two counters are touched only on its own thread.
#include <QObject>

class CtProgress : public QObject
{
    Q_OBJECT

public:
    explicit CtProgress(QObject *parent = nullptr);

    int total = 0;      // number of projections
    int current = 0;    // projection in progress

signals:
    void calcAll();
    void calcOne(int pc);
    void finishedCalcOneByOne();

public slots:
    // A new one-by-one run of `total` projections from projection 0.
    void setTotal(int total);
    void startCalcAll();
    void startCalcOneByOne();
    void calcNext();
};
