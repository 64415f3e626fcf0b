#pragma once
// One data file to be written: the complete text of a slice's "#TOMX-CTImg"
// file with the parts of its name. Made by a worker, owned and deleted by
// the DataSaver slot that receives it with "WDiscard".
#include <QByteArray>
#include <QMetaType>
#include <QString>

class SaveQueue;

class SavingData
{
public:
    SavingData() = default;
    SavingData(const QString &path, const QString &name, const QString &tag, int slice);

    QString path;       // base directory
    QString name;       // file-name stem (may be empty)
    QString tag;        // second name part; also the energy sub-folder
    QString index;      // slice number, five digits, zero-padded
    bool flat = false;  // into the path itself, whatever the sub-folder switches say
    SaveQueue *queue = nullptr;     // the saver queue it holds a place in, if any
    QByteArray data;    // the complete file text

    // "sample-E8990-00037.dat", or "E8990-00037.dat" without a name.
    QString fileName() const;
};

Q_DECLARE_METATYPE(SavingData *)
