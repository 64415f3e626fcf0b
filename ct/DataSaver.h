#pragma once
// Writes the save records of the multi-slice workers, on a thread of its
// own, strictly in arrival order: creates the sub-folders and writes each
// file once, or twice when sub-folders of both energy and slice are asked
// for.
//
//  subFolders  ofEnergy  ofSlice   files
//  off         any       any       path/file
//  on          on        off       path/tag/file
//  on          on        on        path/tag/file and path/index/file
//  on          off       any       path/index/file
//
// A record marked flat (a CoR trial) goes into path itself.
//
// Every file is written under a temporary name in its folder and renamed
// into place only when complete (WholeFile): a file that does not fit on the
// disk leaves nothing under its name. A folder that cannot be made or a file
// that cannot be written is reported by a warning naming it and counted; the
// next record is processed as usual.
#include "SaveQueue.h"
#include "SavingData.h"
#include "SavingImg.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>

class QImage;

class DataSaver : public QObject
{
    Q_OBJECT
public:
    explicit DataSaver(QObject *parent = nullptr);

    // "Save in Sub Folders", "of Energy", "of Slice": set with setSubFolders
    // once the saver runs on its thread.
    bool subFolders = false;
    bool ofEnergy = false;
    bool ofSlice = false;

    // QImage quality of the PNG images: a middle zlib level, files a few
    // percent larger than at the default level, written in less than half
    // the time.
    static constexpr int pngQuality = 50;

    // "%05d" of the slice number.
    static QString indexText(int slice);
    // "%1-%2-%3.%4" (name, tag, index, ext), or "%1-%2.%4" (tag, index, ext)
    // when name is empty.
    static QString fileName(const QString &name, const QString &tag, const QString &index,
                            const QString &ext);
    // "%1%2%3": path, the native directory separator, the sub-folder name;
    // the sub-folder name alone (in the working directory) when path is empty.
    static QString subFolder(const QString &path, const QString &sub);

    // The folders one record is written into, in writing order.
    QStringList foldersFor(const QString &path, const QString &tag, const QString &index) const;
    // The same for the three switches given.
    static QStringList foldersFor(bool subFolders, bool ofEnergy, bool ofSlice, const QString &path,
                                  const QString &tag, const QString &index);
    // Creates the sub-folders a record needs; false (after a debug line) when
    // one could not be made.
    bool makeFolders(const QString &path, const QString &tag, const QString &index) const;

    // Number of files that could not be written, and of those written,
    // since construction.
    // Returns once everything handed to the saver before the call is written
    // (it writes in arrival order); at once on the saver's own thread.
    void settle();
    int failures() const { return failed.load(); }
    int filesWritten() const { return written.load(); }

    // The places of the records handed to this saver: a worker takes one
    // before it emits a record; the "WDiscard" slots give it back once the
    // record is written and deleted.
    SaveQueue *queue() { return &places; }

public slots:
    // Sets the three switches; from another thread the change is queued to
    // the saver's thread, behind the records already sent.
    void setSubFolders(bool subFolders, bool ofEnergy, bool ofSlice);
    void saveData(SavingData *data);
    void saveDataWDiscard(SavingData *data);
    void saveImg(SavingImg *img);
    void saveImgWDiscard(SavingImg *img);

private:
    bool writeData(const QString &file, const QByteArray &bytes);
    bool writeImage(const QString &file, const QImage &image);

    SaveQueue places;
    std::atomic<int> failed{0};
    std::atomic<int> written{0};
};
