#include "SavingData.h"
#include "DataSaver.h"

SavingData::SavingData(const QString &path, const QString &name, const QString &tag, int slice)
    : path(path), name(name), tag(tag), index(DataSaver::indexText(slice))
{
}

QString SavingData::fileName() const
{
    return DataSaver::fileName(name, tag, index, QStringLiteral("dat"));
}
