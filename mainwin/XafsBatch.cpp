#include "XafsBatch.h"

#include <chrono>

XafsBatch::XafsBatch(QObject *parent)
    : QObject(parent)
{
}

qint64 XafsBatch::clockMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

qint64 XafsBatch::elapsed() const
{
    const qint64 s = startMs.load();
    return s == notStarted ? 0 : clockMs() - s;
}

qint64 XafsBatch::markStage()
{
    const qint64 now = elapsed();
    const qint64 previous = lastStageMs.exchange(now);
    // Two threads stamping at once may cross by a millisecond.
    return now > previous ? now - previous : 0;
}

void XafsBatch::emitStage(const QString &msg)
{
    emit stage(msg, markStage());
}

void XafsBatch::start()
{
    if (running.load()) {
        finish();
        return;
    }
    running.store(true);
    startMs.store(clockMs());
    lastStageMs.store(0);
    emit starting();
    emitStage(tr("Data Loading"));
    awaiting = Await::Load;
    emit setFirstImageSet();
}

void XafsBatch::loadedDataSet()
{
    if (!running.load() || awaiting != Await::Load)
        return;
    awaiting = Await::Calc;
    emitStage(tr("Calculating"));
    emit execCalculation();
}

void XafsBatch::calcFinished()
{
    if (!running.load() || awaiting != Await::Calc)
        return;
    awaiting = Await::Load;
    emitStage(tr("Finished Calc."));
    emit setNextImageSet();
}

void XafsBatch::noMoreSets()
{
    if (running.load())
        finish();
}

void XafsBatch::finish()
{
    running.store(false);
    awaiting = Await::Nothing;
    emitStage(tr("Finished"));
    emit finished();
}
