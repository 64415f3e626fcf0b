#include "DataSaver.h"
#include "Handoff.h"
#include "SavingData.h"
#include "SavingImg.h"
#include "WholeFile.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QThread>

DataSaver::DataSaver(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<SavingData *>();
    qRegisterMetaType<SavingImg *>();
}

void DataSaver::setSubFolders(bool sub, bool energy, bool slice)
{
    if (QThread::currentThread() != thread()) {
        Handoff::release(this);
        QMetaObject::invokeMethod(this, "setSubFolders", Qt::QueuedConnection, Q_ARG(bool, sub),
                                  Q_ARG(bool, energy), Q_ARG(bool, slice));
        return;
    }
    Handoff::acquire(this);
    subFolders = sub;
    ofEnergy = energy;
    ofSlice = slice;
}

QString DataSaver::indexText(int slice)
{
    return QString::asprintf("%05d", slice);
}

QString DataSaver::fileName(const QString &name, const QString &tag, const QString &index,
                            const QString &ext)
{
    if (name.isEmpty())
        return QString("%1-%2.%4").arg(tag, index, ext);
    return QString("%1-%2-%3.%4").arg(name, tag, index, ext);
}

QString DataSaver::subFolder(const QString &path, const QString &sub)
{
    // no path is the working directory, where makeFolders makes the folder,
    // not the root
    if (path.isEmpty())
        return sub;
    return QString("%1%2%3").arg(path, QString(QDir::separator()), sub);
}

QStringList DataSaver::foldersFor(const QString &path, const QString &tag,
                                  const QString &index) const
{
    return foldersFor(subFolders, ofEnergy, ofSlice, path, tag, index);
}

QStringList DataSaver::foldersFor(bool subFolders, bool ofEnergy, bool ofSlice, const QString &path,
                                  const QString &tag, const QString &index)
{
    if (!subFolders)
        return {path};
    QStringList folders;
    if (ofEnergy) {
        folders << subFolder(path, tag);
        if (!ofSlice)
            return folders;
    }
    folders << subFolder(path, index);
    return folders;
}

bool DataSaver::makeFolders(const QString &path, const QString &tag, const QString &index) const
{
    if (!subFolders)
        return true;
    QDir dir(path);
    bool ok = true;
    // an empty sub-folder name stands for the base folder itself
    const auto make = [&](const QString &sub) {
        if (!dir.mkpath(sub.isEmpty() ? QStringLiteral(".") : sub)) {
            qWarning().noquote() << "Can't make folder : " + subFolder(path, sub);
            ok = false;
        }
    };
    if (ofEnergy)
        make(tag);
    if (!(ofEnergy && !ofSlice))
        make(index);
    return ok;
}

// Both writers go through WholeFile: a file with a result's name is never
// half-written, not on a full disk and not when the program is killed while
// writing.
bool DataSaver::writeData(const QString &file, const QByteArray &bytes)
{
    const bool ok = WholeFile::write(file, bytes);
    if (!ok) {
        qWarning().noquote() << "Can't write data file : " + file;
        ++failed;
    } else {
        ++written;
    }
    return ok;
}

bool DataSaver::writeImage(const QString &file, const QImage &image)
{
    const bool png = QFileInfo(file).suffix().compare("png", Qt::CaseInsensitive) == 0;
    const bool ok = WholeFile::writeImage(file, image, png ? pngQuality : -1);
    if (!ok) {
        qWarning().noquote() << "Can't write image file : " + file;
        ++failed;
    } else {
        ++written;
    }
    return ok;
}

void DataSaver::saveData(SavingData *data)
{
    if (!data)
        return;
    Handoff::acquire(data);
    if (!data->flat)
        makeFolders(data->path, data->tag, data->index);
    const QString name = data->fileName();
    const QStringList folders = data->flat ? QStringList{data->path}
                                           : foldersFor(data->path, data->tag, data->index);
    for (const QString &folder : folders)
        writeData(QDir(folder).absoluteFilePath(name), data->data);
}

void DataSaver::saveDataWDiscard(SavingData *data)
{
    SaveQueue *q = data ? data->queue : nullptr;
    saveData(data);
    delete data;
    if (q)
        q->give();
}

void DataSaver::saveImg(SavingImg *img)
{
    if (!img)
        return;
    Handoff::acquire(img);
    if (!img->flat)
        makeFolders(img->path, img->tag, img->index);
    const QString name = img->fileName();
    const QStringList folders = img->flat ? QStringList{img->path}
                                          : foldersFor(img->path, img->tag, img->index);
    for (const QString &folder : folders)
        writeImage(QDir(folder).absoluteFilePath(name), img->image);
}

void DataSaver::saveImgWDiscard(SavingImg *img)
{
    SaveQueue *q = img ? img->queue : nullptr;
    saveImg(img);
    delete img;
    if (q)
        q->give();
}

void DataSaver::settle()
{
    if (thread() != QThread::currentThread())
        QMetaObject::invokeMethod(this, [] {}, Qt::BlockingQueuedConnection);
}
