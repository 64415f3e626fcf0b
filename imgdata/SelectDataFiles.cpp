#include "SelectDataFiles.h"
#include "ui_SelectDataFiles.h"

#include "ConfigTable.h"
#include "NaturalOrder.h"
#include "StateStyle.h"

#include <QButtonGroup>
#include <QDebug>
#include <QDir>
#include <QFileDialog>

SelectDataFiles::SelectDataFiles(QWidget *parent)
    : QFrame(parent), ui(new Ui::SelectDataFiles), fileDialog(new QFileDialog)
{
    ui->setupUi(this);
    newOrAdd = new QButtonGroup(this);
    newOrAdd->setExclusive(true);
    newOrAdd->addButton(ui->LoadNewFiles);
    newOrAdd->addButton(ui->AddFiles);

    fileDialog->setFileMode(QFileDialog::ExistingFiles);
    fileDialog->setAcceptMode(QFileDialog::AcceptOpen);
    fileDialog->setDirectory(dataRoot);
    fileDialog->setNameFilters({tr("Itex File (*.img)"), tr("Tiff File (*.tif *.tiff)"),
                                tr("Any Files (* *.*)")});

    connect(ui->Selected, &QComboBox::currentIndexChanged, this, &SelectDataFiles::currentIndexChanged);
    connect(ui->Select, &QPushButton::clicked, fileDialog, &QFileDialog::show);
    connect(fileDialog, &QFileDialog::filesSelected, this, &SelectDataFiles::filesChosen);
    connect(ui->Clear, &QPushButton::clicked, this, &SelectDataFiles::clearFiles);
}

SelectDataFiles::~SelectDataFiles()
{
    delete fileDialog;
    delete ui;
}

void SelectDataFiles::appendFile(const QString &path)
{
    ui->Selected->addItem(path);
    ui->Count->setText(QString::number(ui->Selected->count()));
}

void SelectDataFiles::showLoadResult(int loaded, int total, const QStringList &rejected)
{
    if (rejected.isEmpty()) {
        ui->Count->setStyleSheet(QString());
        ui->Count->setToolTip(QString());
        return;
    }
    ui->Count->setStyleSheet(StateStyle::failed);
    ui->Count->setToolTip(tr("Loaded %1 of %2 files, rejected:").arg(loaded).arg(total)
                          + QLatin1Char('\n') + rejected.join(QLatin1Char('\n')));
}

int SelectDataFiles::multiTimes() const
{
    bool ok = false;
    const int n = ui->MultiTimes->text().toInt(&ok, 10);
    return ok ? n : 0;
}

void SelectDataFiles::setSimpleMode(bool on)
{
    simpleMode = on;
    for (QWidget *w : {static_cast<QWidget *>(ui->LoadNewFiles), static_cast<QWidget *>(ui->AddFiles),
                       static_cast<QWidget *>(ui->KeepConditions), static_cast<QWidget *>(ui->LoadMultiTimes),
                       static_cast<QWidget *>(ui->MultiTimes), static_cast<QWidget *>(ui->SepLine)})
        w->setVisible(!on);
    if (on)
        ui->LoadNewFiles->setChecked(true);
}

void SelectDataFiles::setTitle(const QString &title)
{
    ui->Title->setText(title);
}

void SelectDataFiles::setSelectText(const QString &text)
{
    ui->Select->setText(text);
}

bool SelectDataFiles::chooseDir(const QString &dir, const QStringList &patterns)
{
    fileDialog->setDirectory(dir);
    return chooseInDir(dir, patterns);
}

bool SelectDataFiles::chooseInDir(const QString &dir, const QStringList &patterns, bool replace)
{
    if (replace || ui->LoadNewFiles->isChecked())
        clearFiles();
    const QDir d(dir);
    const bool readable = d.exists() && d.isReadable();
    QStringList paths;
    // files only: "." and "..", sub-directories and devices are no images
    QStringList names = d.entryList(patterns, QDir::Files | QDir::Hidden, QDir::Unsorted);
    NaturalOrder::sort(names);     // p2 before p10: the projections' order is their angles'
    for (const QString &n : names)
        paths << d.absoluteFilePath(n);
    chooseFiles(paths, replace);
    if (!readable) {
        qWarning().noquote() << "Can't read directory : " + dir;
        return false;
    }
    if (paths.isEmpty()) {
        qWarning().noquote() << "No file matches " + patterns.join(QLatin1Char(' ')) + " in : " + dir;
        return false;
    }
    return true;
}

void SelectDataFiles::chooseFileInfos(const QList<QFileInfo> &infos, bool replace)
{
    QStringList paths;
    for (const QFileInfo &i : infos)
        paths << i.filePath();
    chooseFiles(paths, replace);
}

void SelectDataFiles::filesChosen(const QStringList &files)
{
    chooseFiles(files, false);
}

void SelectDataFiles::chooseFiles(const QStringList &files, bool replace)
{
    const bool newFile = replace || ui->LoadNewFiles->isChecked();
    if (newFile)
        clearFiles();
    if (!ui->LoadMultiTimes->isChecked() || files.isEmpty()) {
        emit filesSelected(files, newFile);
        return;
    }
    QStringList many;
    const int n = multiTimes();
    for (int i = 0; i < n; ++i)
        many << files.first();
    emit filesSelected(many, newFile);
}

bool SelectDataFiles::newFiles() const
{
    return ui->LoadNewFiles->isChecked();
}

bool SelectDataFiles::keepConditions() const
{
    return ui->KeepConditions->isChecked();
}

int SelectDataFiles::count() const
{
    return ui->Selected->count();
}

QString SelectDataFiles::file(int idx) const
{
    return ui->Selected->itemText(idx);
}

int SelectDataFiles::currentIndex() const
{
    return ui->Selected->currentIndex();
}

void SelectDataFiles::clearFiles()
{
    ui->Selected->clear();
    ui->Count->setText(QStringLiteral("0"));
    ui->Count->setStyleSheet(QString());
    ui->Count->setToolTip(QString());
    emit filesCleared();
}

void SelectDataFiles::prev()
{
    const int i = ui->Selected->currentIndex();
    if (i > 0)
        ui->Selected->setCurrentIndex(i - 1);
}

void SelectDataFiles::next()
{
    const int i = ui->Selected->currentIndex();
    if (i + 1 < ui->Selected->count())
        ui->Selected->setCurrentIndex(i + 1);
}

void SelectDataFiles::select(int idx)
{
    if (idx >= 0 && idx < ui->Selected->count())
        ui->Selected->setCurrentIndex(idx);
}

void SelectDataFiles::setExpTime(double time)
{
    ui->ExpTime->setText(QString::number(time, 'g', 6));
}

double SelectDataFiles::expTime()
{
    return ui->ExpTime->text().toDouble();
}
