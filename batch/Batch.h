#pragma once
// Batch interpreter: steps through a batch file one line at a time, handles the
// control words itself and hands every other line to the command dispatcher,
// waiting for batchCheckEnd() before the next line runs.
#include "BatchCmd.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>

class Batch : public QObject
{
    Q_OBJECT

public:
    explicit Batch(QObject *parent = nullptr);

    // Result flag of the last command, read by ":ifok" and ":ifng". The
    // dispatcher writes it from the GUI thread while it runs a command.
    std::atomic<bool> ok{true};

    // State of the run. Read these only on the thread the interpreter lives on.
    bool isRunning() const { return running; }
    int currentLine() const { return current; }
    const QStringList &script() const { return lines; }

signals:
    void batchExecNext();
    void batchFinishALine();
    void batchExCmd(BatchCmd cmd);
    // The run has ended: past the last line, ":end" or ":stop", stopped, or
    // toggled off by batchExec().
    void batchFinished();

public slots:
    void batchStart();
    void batchStop();
    void batchNext();
    void batchLoad(QString fname);
    void batchExec();
    void batchCheckEnd();

private:
    // Leaves the running state and tells listeners.
    void endRun();

    bool running = false;
    int current = 0;
    QStringList lines;
};
