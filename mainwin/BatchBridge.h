#pragma once
// Between the batch interpreter (on its own thread) and the window: runs each
// line the batch hands over, sets the batch's ok flag for ":ifng", and tells
// the batch when to go on (checkEnd()), which is not before a series load
// or a run the line depends on is over.
//
// States:
//   ready       - the next line runs as soon as it arrives.
//   cmd waiting - a line arrived while a series was loading (or waited for a
//                 run to end before loading): it runs once that load has
//                 ended (seriesLoaded).
//   load held   - a line started a load: the batch goes on when it has
//                 ended, failed when a file was rejected.
//   run held    - a line started a run (BodyCommands::Outcome::HeldByRun):
//                 the window tells the batch when the run ends.
#include "BatchCmd.h"

#include <QObject>

class Batch;
class BodyCommands;
class LoadQueue;

class BatchBridge : public QObject
{
    Q_OBJECT
public:
    BatchBridge(Batch *batch, BodyCommands *commands, LoadQueue *loader, QObject *parent = nullptr);

    // A line of the batch: run now, or once the series being loaded is in.
    void command(const BatchCmd &cmd);
    // The series has loaded: the line that waited runs, or the batch goes on
    // after the load a line started. True when that load was the batch's
    // (its rejected files made the line fail, they count there).
    bool seriesLoaded();

signals:
    // The batch may go on with its next line.
    void checkEnd();

private:
    // A line of the batch, executed: tells the batch how it went and when to go on.
    void run(const BatchCmd &cmd);

    Batch *batchInt;
    BodyCommands *commands;
    LoadQueue *loader;
    // The batch waits for a load that one of its commands started ...
    bool loadHeld = false;
    // ... or with its next command for a load already under way.
    bool cmdWaiting = false;
    BatchCmd waitingCmd;
};
