#pragma once
// One slice image to be written as PNG, with the parts of its name. Made by
// a worker, owned and deleted by the DataSaver slot that receives it with
// "WDiscard".
#include <QImage>
#include <QMetaType>
#include <QString>

class SaveQueue;

class SavingImg
{
public:
    SavingImg() = default;
    SavingImg(const QString &path, const QString &name, const QString &tag, int slice,
              const QImage &image);

    QString path;       // base directory
    QString name;       // file-name stem (may be empty)
    QString tag;        // second name part; also the energy sub-folder
    QString index;      // slice number, five digits, zero-padded
    bool flat = false;  // into the path itself, whatever the sub-folder switches say
    SaveQueue *queue = nullptr;     // the saver queue it holds a place in, if any
    QImage image;       // 8-bit grey picture of colour-bar levels

    // "sample-E8990-00037.png", or "E8990-00037.png" without a name.
    QString fileName() const;
};

Q_DECLARE_METATYPE(SavingImg *)
