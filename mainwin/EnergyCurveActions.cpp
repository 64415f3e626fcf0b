#include "EnergyCurveActions.h"

#include "DataSaver.h"
#include "GreyMap.h"
#include "SelectAFile.h"
#include "SeqSliceFiles.h"
#include "WholeFile.h"
#include "ui_Body.h"

#include <QCheckBox>
#include <QDebug>
#include <QDir>

#include <algorithm>

EnergyCurveActions::Where EnergyCurveActions::of(const Ui::Body *ui)
{
    Where w;
    w.dataPath = ui->SelectDataSaveDir->path();
    w.dataName = ui->SelectDataSaveDir->name();
    w.imagePath = ui->SelectImageSaveDir->path();
    w.imageName = ui->SelectImageSaveDir->name();
    w.subFolders = ui->SaveInSubFolders->isChecked();
    w.ofEnergy = ui->SubOfEnergy->isChecked();
    w.ofSlice = ui->SubOfSlice->isChecked();
    return w;
}

QList<EnergyFile> EnergyCurveActions::files(int slice) const
{
    return SeqSliceFiles::find(where.dataPath, where.dataName, slice);
}

bool EnergyCurveActions::writeSpectrum(int x, int z, int slice, int size, const QString &file) const
{
    if (size != 1 && size != 3 && size != 5) {
        qWarning().noquote() << QStringLiteral("seq_spectrum: square size %1 is not 1, 3 or 5").arg(size);
        return false;
    }
    const QList<EnergyFile> found = files(slice);
    if (found.isEmpty()) {
        qWarning().noquote() << QStringLiteral("seq_spectrum: no data file of slice %1 in %2")
                                    .arg(slice).arg(QDir(where.dataPath).absolutePath());
        return false;
    }
    const EnergyCurve s = EnergyCurve::ofSquare(found, x, z, size);
    for (const QString &f : s.failures())
        qWarning().noquote() << QStringLiteral("seq_spectrum: energy left out : ") + f;
    if (!s.failures().isEmpty())
        return false;
    if (!WholeFile::write(file, s.csv())) {
        qWarning().noquote() << QStringLiteral("seq_spectrum: can't write ") + file;
        return false;
    }
    return true;
}

QString EnergyCurveActions::jumpTag(double e0)
{
    return QStringLiteral("jump-%1eV").arg(QString::number(e0, 'g', 10));
}

QImage EnergyCurveActions::pictureOf(const JumpMap &map)
{
    if (!map.ok())
        return {};
    const auto [lo, hi] = std::minmax_element(map.values().cbegin(), map.values().cend());
    GreyMap grey;
    grey.minV = *lo;
    grey.maxV = *hi;
    return grey.render(map.values().data(), map.width(), map.height());
}

bool EnergyCurveActions::saveJumpMap(double e0, int slice, JumpMap *out, QImage *picture) const
{
    const JumpMap map = JumpMap::of(files(slice), e0);
    if (out)
        *out = map;
    if (!map.ok()) {
        qWarning().noquote() << QStringLiteral("Jump map of slice %1 not made : ").arg(slice) + map.why();
        return false;
    }
    const QImage img = pictureOf(map);
    if (picture)
        *picture = img;
    const QString index = DataSaver::indexText(slice);
    const QString tag = jumpTag(e0);
    // where the slice's files of every energy meet
    const auto folderIn = [&](const QString &path) {
        if (where.subFolders && (where.ofSlice || !where.ofEnergy))
            return DataSaver::subFolder(path, index);
        return path.isEmpty() ? QStringLiteral(".") : path;
    };
    const QString dataDir = folderIn(where.dataPath);
    const QString imageDir = where.imagePath.isEmpty() ? dataDir : folderIn(where.imagePath);
    const QString imageName = where.imagePath.isEmpty() ? where.dataName : where.imageName;
    bool ok = true;
    const auto save = [&ok](const QString &dir, const QString &name, const auto &write) {
        const QString file = QDir(dir).absoluteFilePath(name);
        if (!QDir().mkpath(dir) || !write(file)) {
            qWarning().noquote() << QStringLiteral("Jump map not written : ") + file;
            ok = false;
        }
    };
    save(dataDir, DataSaver::fileName(where.dataName, tag, index, QStringLiteral("dat")),
         [&map](const QString &f) { return WholeFile::write(f, map.text()); });
    save(imageDir, DataSaver::fileName(imageName, tag, index, QStringLiteral("png")),
         [&img](const QString &f) { return WholeFile::writeImage(f, img, DataSaver::pngQuality); });
    if (ok)
        qInfo().noquote() << QStringLiteral("Jump map of slice %1 at %2 eV (%3 energies below, %4 above) saved in %5")
                                 .arg(slice).arg(QString::number(e0, 'g', 10)).arg(map.energiesBelow())
                                 .arg(map.energiesAbove()).arg(QDir(dataDir).absolutePath());
    return ok;
}
