#include "SeqSliceFiles.h"

#include "DataSaver.h"
#include "EnergyName.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <cmath>

QString SeqSliceFiles::tagOf(const QString &fileName, const QString &name, int slice)
{
    const QString head = name.isEmpty() ? QString() : name + QLatin1Char('-');
    const QString tail = QLatin1Char('-') + DataSaver::indexText(slice) + QStringLiteral(".dat");
    if (fileName.size() <= head.size() + tail.size() || !fileName.startsWith(head)
        || !fileName.endsWith(tail))
        return {};
    return fileName.mid(head.size(), fileName.size() - head.size() - tail.size());
}

QList<EnergyFile> SeqSliceFiles::find(const QString &path, const QString &name, int slice)
{
    QList<EnergyFile> files;
    QSet<QString> tags;
    const auto take = [&](const QString &dir, const QString &fileName) {
        const QString tag = tagOf(fileName, name, slice);
        if (tag.isEmpty() || tag.startsWith(QLatin1String("jump-")) || tags.contains(tag))
            return;
        // "7112.5eV" reads as the token it is; "7100eV-cor70.35" does not
        const double e = energyOfToken(tag);
        if (!(e > 0) || !std::isfinite(e) || tag.contains(QLatin1Char('-')))
            return;
        tags.insert(tag);
        files.append({e, tag, QDir(dir).absoluteFilePath(fileName)});
    };
    const QString index = DataSaver::indexText(slice);
    const QString pattern = DataSaver::fileName(name, QStringLiteral("*"), index, QStringLiteral("dat"));
    const QDir base(path.isEmpty() ? QStringLiteral(".") : path);
    // sub-folders of slice, then the data folder itself
    for (const QString &dir : {base.filePath(index), base.path()}) {
        const QDir d(dir);
        for (const QString &f : d.entryList({pattern}, QDir::Files))
            take(dir, f);
    }
    // sub-folders of energy: folder TAG holds NAME-TAG-SSSSS.dat
    for (const QString &tag : base.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString f = DataSaver::fileName(name, tag, index, QStringLiteral("dat"));
        if (QFileInfo(base.filePath(tag + QLatin1Char('/') + f)).isFile())
            take(base.filePath(tag), f);
    }
    return files;
}
