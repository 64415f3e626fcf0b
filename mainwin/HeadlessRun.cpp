#include "HeadlessRun.h"

#include "Batch.h"
#include "Body.h"
#include "DataSaver.h"

#include <QCoreApplication>

#include <cstdio>

HeadlessRun::HeadlessRun(Body *body, QObject *parent) : QObject(parent), body(body)
{
    // The interpreter lives on its own thread; the end is queued to this one.
    connect(body->batch(), &Batch::batchFinished, this, &HeadlessRun::batchFinished,
            Qt::QueuedConnection);
}

HeadlessRun::Status HeadlessRun::statusOf(const Counts &c)
{
    if (c.batchUnreadable)
        return CouldNotRun;
    if (c.commandsFailed > 0 || c.filesNotWritten > 0 || c.otherFailures > 0)
        return SomethingFailed;
    return Succeeded;
}

QString HeadlessRun::summary(const Counts &c)
{
    return QStringLiteral("tomix: %1 commands run, %2 failed; %3 files written, %4 not written; "
                          "%5 other failures")
        .arg(c.commandsRun)
        .arg(c.commandsFailed)
        .arg(c.filesWritten)
        .arg(c.filesNotWritten)
        .arg(c.otherFailures);
}

HeadlessRun::Counts HeadlessRun::counts() const
{
    // Results handed to the saver before now are written first.
    DataSaver *saver = body->dataSaver();
    saver->settle();
    Counts c;
    c.batchUnreadable = body->batch()->lastLoadFailed();
    c.commandsRun = body->batch()->commandsRun();
    c.commandsFailed = body->batch()->commandsFailed();
    c.filesWritten = saver->filesWritten();
    c.filesNotWritten = saver->failures();
    c.otherFailures = body->failures();
    return c;
}

void HeadlessRun::batchFinished()
{
    if (ended)
        return;
    ended = true;
    const Counts c = counts();
    std::fprintf(stderr, "%s\n", qPrintable(summary(c)));
    std::fflush(stderr);
    QCoreApplication::exit(statusOf(c));
}
