#include "SavingImg.h"
#include "DataSaver.h"

SavingImg::SavingImg(const QString &path, const QString &name, const QString &tag, int slice,
                     const QImage &image)
    : path(path), name(name), tag(tag), index(DataSaver::indexText(slice)), image(image)
{
}

QString SavingImg::fileName() const
{
    return DataSaver::fileName(name, tag, index, QStringLiteral("png"));
}
