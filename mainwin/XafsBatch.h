#pragma once
// The CT-XAFS sequencer: loads one data set after another and reconstructs
// each, by signals to and from the main window. It lives on a thread of its
// own; the window reads its clock (elapsed, lastStage) directly and stamps
// its own stages with markStage(), so both kinds of stage share one clock.
#include <QObject>
#include <QString>

#include <atomic>

class XafsBatch : public QObject
{
    Q_OBJECT
public:
    explicit XafsBatch(QObject *parent = nullptr);

    bool isRunning() const { return running.load(); }
    // Milliseconds since the sequence started; 0 before the first start.
    qint64 elapsed() const;
    // The elapsed time at the last stage message, in milliseconds.
    qint64 lastStage() const { return lastStageMs.load(); }
    // Begins a stage now: returns the milliseconds since the previous stage
    // and records now as the last stage. Safe from any thread.
    qint64 markStage();

signals:
    void stage(const QString &msg, qlonglong dEt);
    void starting();
    void setFirstImageSet();
    void setNextImageSet();
    void execCalculation();
    void finished();

public slots:
    void start();
    void loadedDataSet();
    void calcFinished();
    void noMoreSets();
    void finish();

private:
    void emitStage(const QString &msg);
    static qint64 clockMs();

    static constexpr qint64 notStarted = -1;
    std::atomic<bool> running{false};
    // What the sequence waits for: only the loads it asked for and the runs
    // it started count, not a user's run that was going on already.
    enum class Await { Nothing, Load, Calc };
    std::atomic<Await> awaiting{Await::Nothing};
    std::atomic<qint64> startMs{notStarted};     // clock at the start of the sequence
    std::atomic<qint64> lastStageMs{0};
};
