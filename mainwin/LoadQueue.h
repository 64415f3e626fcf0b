#pragma once
// The loading chain of a projection series: one file per turn of the event
// loop into the image collection, so the window stays live, and one chain
// (and one end of loading) at a time.
//
// States:
//   idle     - nothing to load (isLoading() false).
//   loading  - files pending; a request for the next file is queued. A new
//              selection replaces what was pending, the chain goes on.
//   paused   - a run began while loading: the workers read the collection,
//              so the chain waits; resume() goes on when the run is over.
//   deferred - a selection made during a run (isDeferred()): it loads at
//              resume(), replacing whatever was paused.
// When the pending list is empty: back to idle, the result is named (qDebug,
// or qWarning with the rejected files) and shown, then loaded() is emitted.
#include <QObject>
#include <QStringList>

#include <functional>

class ImgDatas;
class SelectDataFiles;

class LoadQueue : public QObject
{
    Q_OBJECT
public:
    // runBusy: a run, or a stopped run's workers, still read the collection.
    LoadQueue(ImgDatas *images, SelectDataFiles *files, std::function<bool()> runBusy,
              QObject *parent = nullptr);

    bool isLoading() const { return loading; }
    bool isDeferred() const { return deferred; }
    // Files of the series being (or last) loaded tried, and those rejected.
    int tried() const { return loadTried; }
    const QStringList &rejected() const { return loadRejected; }

public slots:
    // A selection: with clear a new series, else files added to the current.
    void select(QStringList files, bool clear);
    // The run is over: a deferred selection loads, a paused chain goes on.
    void resume();

signals:
    // A new series begins: the collection and what shows it are to be emptied.
    void clearing();
    // The series has loaded (after its result was named and shown).
    void loaded();
    void askLoadNextDataFile();
    void noticeFinishedLoadDataFiles();

private slots:
    void loadNextDataFile();
    void finishedLoadDataFiles();

private:
    void askNextFile();

    ImgDatas *imgDatas;
    SelectDataFiles *ctFiles;
    std::function<bool()> busy;
    QStringList pendingFiles;
    // A selection made during a run, loaded when the run ends.
    QStringList deferredFiles;
    bool deferredClear = false;
    bool deferred = false;
    bool paused = false;
    bool queued = false;        // a request for the next file is on its way
    bool loading = false;
    int loadTried = 0;          // files of the series tried so far
    QStringList loadRejected;   // and those the collection refused
};
