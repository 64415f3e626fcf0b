#include "BatchBridge.h"

#include "Batch.h"
#include "BodyCommands.h"
#include "LoadQueue.h"

#include <QDebug>

BatchBridge::BatchBridge(Batch *batch, BodyCommands *commands, LoadQueue *loader, QObject *parent)
    : QObject(parent), batchInt(batch), commands(commands), loader(loader)
{
}

void BatchBridge::command(const BatchCmd &cmd)
{
    // A series being loaded (by the configuration, a setup file, the dialog
    // or the batch) would be reconstructed half-loaded, and settings made now
    // overwritten by the after-load resets: the command waits for the end of
    // loading.
    if (loader->isLoading() || loader->isDeferred()) {
        waitingCmd = cmd;
        cmdWaiting = true;
        return;
    }
    run(cmd);
}

void BatchBridge::run(const BatchCmd &cmd)
{
    switch (commands->exec(cmd, true)) {
    case BodyCommands::Outcome::HeldByRun:
        // the batch goes on when the run ends (batchCalcFinished)
        return;
    case BodyCommands::Outcome::Failed:
        batchInt->ok = false;
        break;
    case BodyCommands::Outcome::Unknown:
        qWarning().noquote() << "Unknown command : " + cmd.name;
        batchInt->ok = false;
        break;
    case BodyCommands::Outcome::Done:
        break;
    }
    // a load the command started: the batch goes on when it has finished
    if (loader->isLoading() || loader->isDeferred()) {
        loadHeld = true;
        return;
    }
    emit checkEnd();
}

bool BatchBridge::seriesLoaded()
{
    // The batch goes on: with the command that waited for this load, or with
    // its next line when one of its commands started the load.
    if (cmdWaiting) {
        cmdWaiting = false;
        run(waitingCmd);
    } else if (loadHeld) {
        loadHeld = false;
        if (!loader->rejected().isEmpty())
            batchInt->ok = false;       // the command that loaded the series failed
        emit checkEnd();
        return true;
    }
    return false;
}
