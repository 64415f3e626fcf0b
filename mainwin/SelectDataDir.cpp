#include "SelectDataDir.h"
#include "ui_SelectDataDir.h"

#include "CtFileSet.h"
#include "EnergyName.h"
#include "NaturalOrder.h"

#include <QDir>
#include <QFileDialog>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>

SelectDataDir::SelectDataDir(QWidget *parent)
    : QFrame(parent), ui(new Ui::SelectDataDir)
{
    ui->setupUi(this);
    if (auto *b = ui->SelDir->findChild<QPushButton *>(QStringLiteral("Select")))
        b->setText(tr("Sel. Data Dir."));

    connect(ui->SelDir, &SelectDir::aDirSelected, this, &SelectDataDir::aDirSelected);
    connect(ui->isASRStd_, &QRadioButton::toggled, this, &SelectDataDir::changedASRStd);
    connect(ui->Set, &QPushButton::clicked, this, &SelectDataDir::set);
    connect(ui->Next, &QPushButton::clicked, this, &SelectDataDir::next);
}

SelectDataDir::~SelectDataDir()
{
    delete ui;
}

QString SelectDataDir::dataDir() const
{
    return currentDir;
}

void SelectDataDir::setDataDir(const QString &dir)
{
    QFileDialog *d = ui->SelDir->dialog();
    d->setDirectory(dir);
    // The selector learns a directory only from its dialog.
    emit d->fileSelected(dir);
}

QString SelectDataDir::pattern() const
{
    return ui->Pattern->text();
}

void SelectDataDir::setPattern(const QString &pattern)
{
    if (pattern == ui->Pattern->text())
        return;
    ui->Pattern->setText(pattern);
    // the list of a directory chosen before follows the new pattern
    if (!dataDir().isEmpty())
        rebuild(dataDir());
}

bool SelectDataDir::isASRStandard() const
{
    return ui->isASRStd_->isChecked();
}

int SelectDataDir::count() const
{
    return ui->SubDirs->count();
}

int SelectDataDir::currentIndex() const
{
    return ui->SubDirs->currentIndex();
}

QString SelectDataDir::currentName() const
{
    const int i = currentIndex();
    if (isASRStandard())
        return i >= 0 && i < sets.size() ? sets.at(i)->energyToken() : QString();
    return i >= 0 && i < subDirNames.size() ? subDirNames.at(i) : QString();
}

double SelectDataDir::currentEnergy() const
{
    const int i = currentIndex();
    if (isASRStandard())
        return i >= 0 && i < sets.size() ? sets.at(i)->energy() : 0.0;
    return i >= 0 && i < subDirNames.size() ? energyOfToken(subDirNames.at(i)) : 0.0;
}

QString SelectDataDir::nameOfSet(int i) const
{
    if (isASRStandard())
        return i >= 0 && i < sets.size() ? sets.at(i)->energyToken() : QString();
    return i >= 0 && i < subDirNames.size() ? subDirNames.at(i) : QString();
}

double SelectDataDir::energyOfSet(int i) const
{
    if (isASRStandard())
        return i >= 0 && i < sets.size() ? sets.at(i)->energy() : 0.0;
    return i >= 0 && i < subDirNames.size() ? energyOfToken(subDirNames.at(i)) : 0.0;
}

QStringList SelectDataDir::filesOfSet(int i) const
{
    QStringList paths;
    if (isASRStandard()) {
        if (i >= 0 && i < sets.size())
            for (const QFileInfo &f : sets.at(i)->files())
                paths << f.filePath();
        return paths;
    }
    if (i < 0 || i >= subDirNames.size() || subDirNames.at(i).isEmpty())
        return paths;
    // as the data-file selector lists a set's directory
    const QDir d(dataDir() + QDir::separator() + subDirNames.at(i));
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    QStringList names = d.entryList(pattern().split(blanks, Qt::SkipEmptyParts),
                                    QDir::Files | QDir::Hidden, QDir::Unsorted);
    NaturalOrder::sort(names);
    for (const QString &n : names)
        paths << d.absoluteFilePath(n);
    return paths;
}

void SelectDataDir::aDirSelected(const QString &dir)
{
    // The selector shows the new name only after announcing it; keep it here
    // so that whoever hears newSets already finds it.
    currentDir = dir;
    rebuild(dir);
}

void SelectDataDir::changedASRStd()
{
    rebuild(dataDir());
}

void SelectDataDir::rebuild(const QString &dir)
{
    if (isASRStandard())
        setFileSets(dir);
    else
        setSubDirs(dir);
    emit newSets(count());
}

void SelectDataDir::clearSets()
{
    qDeleteAll(sets);
    sets.clear();
    subDirNames.clear();
    ui->SubDirs->clear();
}

void SelectDataDir::setSubDirs(const QString &dir)
{
    clearSets();
    // An empty name would mean the working directory; no directory, no sets.
    if (dir.isEmpty())
        return;
    subDirNames = QDir(dir).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Unsorted);
    NaturalOrder::sort(subDirNames);
    for (int i = 0; i < subDirNames.size(); ++i)
        ui->SubDirs->addItem(QStringLiteral("%1 : %2").arg(i + 1).arg(subDirNames.at(i)));
}

void SelectDataDir::setFileSets(const QString &dir)
{
    clearSets();
    if (dir.isEmpty())
        return;
    QFileInfoList files = QDir(dir).entryInfoList(QStringList{pattern()}, QDir::Files, QDir::Unsorted);
    NaturalOrder::sort(files);
    for (const QFileInfo &f : files) {
        if (sets.isEmpty() || !sets.last()->add(f))
            sets.append(new CtFileSet(f, this));
    }
    QString previousSample;
    for (int i = 0; i < sets.size(); ++i) {
        const CtFileSet *s = sets.at(i);
        QString sample = s->sampleName();
        if (i > 0 && sample == previousSample)
            sample = QString(sample.size(), QLatin1Char(' '));
        previousSample = s->sampleName();
        ui->SubDirs->addItem(QStringLiteral("%1 : %2 (%3[%4], %5)")
                                 .arg(i + 1)
                                 .arg(sample)
                                 .arg(QString::number(s->energyNumber(), 'g',
                                                      QLocale::FloatingPointShortest))
                                 .arg(s->unit())
                                 .arg(s->files().size()));
    }
}

void SelectDataDir::setIsASRStandard(bool f)
{
    ui->isASRStd_->setChecked(f);
}

void SelectDataDir::set()
{
    const int i = currentIndex();
    if (isASRStandard()) {
        if (i >= 0 && i < sets.size())
            emit selectedFileInfoList(sets.at(i)->files());
        else
            emit noMoreSets();
        return;
    }
    if (i < 0 || i >= subDirNames.size() || subDirNames.at(i).isEmpty()) {
        emit noMoreSets();
        return;
    }
    const QString path = dataDir() + QDir::separator() + subDirNames.at(i);
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    emit selected(path, pattern().split(blanks, Qt::SkipEmptyParts));
}

bool SelectDataDir::next()
{
    const int i = currentIndex();
    if (i >= count() - 1)
        return false;
    ui->SubDirs->setCurrentIndex(i + 1);
    return true;
}

void SelectDataDir::setFirstSet(int firstIdx)
{
    ui->SubDirs->setCurrentIndex(firstIdx);
    set();
}

void SelectDataDir::setNextSet(int lastIdx)
{
    const int i = currentIndex();
    if (i < lastIdx && i < count() - 1) {
        ui->SubDirs->setCurrentIndex(i + 1);
        set();
    } else {
        emit noMoreSets();
    }
}
