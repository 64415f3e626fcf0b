#include "FuzzDispatcher.h"

FuzzDispatcher::FuzzDispatcher(Batch *batch, const QString &scriptPath)
    : batch(batch), scriptPath(scriptPath)
{
    connect(batch, &Batch::batchExCmd, this, &FuzzDispatcher::batchExCmd);
    connect(this, &FuzzDispatcher::callBatchCheckEnd, batch, &Batch::batchCheckEnd,
            Qt::QueuedConnection);
}

void FuzzDispatcher::batchExCmd(BatchCmd cmd)
{
    ++commands;
    // Some names fail, like a failed "seq_exec_next", so ":ifng" branches run.
    batch->ok = qHash(cmd.name) % 3 != 0;
    const QString n = cmd.name.toLower();
    if (n == QLatin1String("reload"))
        batch->batchLoad(scriptPath);       // loading while running
    else if (n == QLatin1String("hold"))
        return;                             // a calculation that never ends
    emit callBatchCheckEnd();
}
