#pragma once
// Batch interpreter: steps through a batch file one line at a time, handles the
// control words itself and hands every other line to the command dispatcher,
// waiting for batchCheckEnd() before the next line runs.
#include "BatchCmd.h"

#include <QObject>
#include <QSet>
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

    // Commands handed to the dispatcher that have finished, and those of them
    // that failed (ok false afterwards; "seq_exec_next" at the last set is no
    // failure). Readable from any thread.
    int commandsRun() const { return run.load(); }
    int commandsFailed() const { return failed.load(); }
    // The last batchLoad() could not read its file. Readable from any thread.
    bool lastLoadFailed() const { return loadFailed.load(); }

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
    // Collects the targets of every ":goto" of the script.
    void findLabels();

    bool running = false;
    int current = 0;
    QStringList lines;
    // Lines named by a ":goto": jump targets, not commands.
    QSet<QString> labels;
    // A command is with the dispatcher; its name.
    bool awaiting = false;
    QString dispatched;
    std::atomic<int> run{0};
    std::atomic<int> failed{0};
    std::atomic<bool> loadFailed{false};
};
