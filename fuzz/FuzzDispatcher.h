#pragma once
// Stands in for the main window's command dispatcher in the batch fuzz
// target: takes every command line, sets the result flag from the command's
// name, reloads the script on "reload", never answers "hold", and reports the end of the
// command back through a queued signal as the window does.
#include "Batch.h"

#include <QObject>
#include <QString>

class FuzzDispatcher : public QObject
{
    Q_OBJECT

public:
    FuzzDispatcher(Batch *batch, const QString &scriptPath);

    int commands = 0;

signals:
    void callBatchCheckEnd();

public slots:
    void batchExCmd(BatchCmd cmd);

private:
    Batch *batch;
    QString scriptPath;
};
