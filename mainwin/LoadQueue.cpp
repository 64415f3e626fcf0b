#include "LoadQueue.h"

#include "ImgDatas.h"
#include "SelectDataFiles.h"

#include <QDebug>

LoadQueue::LoadQueue(ImgDatas *images, SelectDataFiles *files, std::function<bool()> runBusy,
                     QObject *parent)
    : QObject(parent), imgDatas(images), ctFiles(files), busy(std::move(runBusy))
{
    connect(this, &LoadQueue::askLoadNextDataFile, this, &LoadQueue::loadNextDataFile, Qt::QueuedConnection);
    connect(this, &LoadQueue::noticeFinishedLoadDataFiles, this, &LoadQueue::finishedLoadDataFiles,
            Qt::QueuedConnection);
}

void LoadQueue::select(QStringList files, bool clear)
{
    if (busy()) {
        // The workers read the collection: the new series loads when the run
        // and every slice it handed out are over.
        qDebug().noquote() << "Loading waits until the reconstruction run ends";
        deferredFiles = files;
        deferredClear = clear;
        deferred = true;
        return;
    }
    if (clear) {
        // A new series may come from another detector setting: its first
        // image sets the size anew.
        emit clearing();
    }
    if (clear || !loading) {
        loadTried = 0;
        loadRejected.clear();
    }
    pendingFiles = files;
    loading = true;
    // A selection made while a series is still loading replaces what was
    // pending; the chain already under way loads it, so there is never more
    // than one chain (and one end of loading).
    askNextFile();
}

void LoadQueue::resume()
{
    // One loading chain at a time: a selection made during the run replaces
    // what was still pending.
    if (deferred) {
        deferred = false;
        paused = false;
        select(deferredFiles, deferredClear);
    } else if (paused) {
        paused = false;
        askNextFile();
    }
}

void LoadQueue::askNextFile()
{
    if (queued)
        return;
    queued = true;
    emit askLoadNextDataFile();
}

void LoadQueue::loadNextDataFile()
{
    queued = false;
    if (busy()) {
        paused = true;      // goes on when the run ends
        return;
    }
    if (pendingFiles.isEmpty()) {
        emit noticeFinishedLoadDataFiles();
        return;
    }
    const QString path = pendingFiles.takeFirst();
    ++loadTried;
    if (imgDatas->add(path))
        ctFiles->appendFile(path);
    else
        loadRejected << path;
    askNextFile();
}

void LoadQueue::finishedLoadDataFiles()
{
    if (!pendingFiles.isEmpty()) {
        // files were chosen after the chain had seen its list empty
        askNextFile();
        return;
    }
    loading = false;
    const QString loaded = QStringLiteral("Loaded %1 of %2 files").arg(loadTried - loadRejected.size()).arg(loadTried);
    if (loadRejected.isEmpty())
        qDebug().noquote() << loaded;
    else
        qWarning().noquote() << loaded + ", rejected : " + loadRejected.join(QStringLiteral(", "));
    ctFiles->showLoadResult(loadTried - loadRejected.size(), loadTried, loadRejected);
    emit this->loaded();
}
