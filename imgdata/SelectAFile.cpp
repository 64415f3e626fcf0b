#include "SelectAFile.h"
#include "NumberField.h"
#include "ui_SelectAFile.h"

#include "ConfigTable.h"
#include "StateStyle.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

SelectAFile::SelectAFile(QWidget *parent)
    : QFrame(parent), ui(new Ui::SelectAFile), fileDialog(new QFileDialog)
{
    ui->setupUi(this);
    NumberField::tip(ui->FilePath);
    fileDialog->setDirectory(dataRoot);
    setMode(0);
    ui->Name->hide();
    ui->AddTag->hide();
    connect(ui->Select, &QPushButton::clicked, fileDialog, &QFileDialog::show);
    connect(fileDialog, &QFileDialog::fileSelected, this, &SelectAFile::fileSelected0);
    connect(ui->Clear, &QPushButton::clicked, this, &SelectAFile::clear0);
}

SelectAFile::~SelectAFile()
{
    delete fileDialog;
    delete ui;
}

void SelectAFile::setMode(int m)
{
    mode = m;
    if (m == 0) {
        fileDialog->setAcceptMode(QFileDialog::AcceptOpen);
        fileDialog->setFileMode(QFileDialog::ExistingFile);
        fileDialog->setNameFilters({tr("Img file (*.img)"), tr("Tiff file (*.tif *.tiff)"),
                                    tr("Any file (* *.*)")});
    } else if (m == 1) {
        fileDialog->setAcceptMode(QFileDialog::AcceptSave);
        fileDialog->setFileMode(QFileDialog::AnyFile);
        fileDialog->setNameFilters({tr("Any file (* *.*)")});
    }
}

void SelectAFile::setPath(const QString &path)
{
    if (mode == 1 && !path.isEmpty())
        QDir().mkpath(path);
    ui->FilePath->setText(path);
}

QString SelectAFile::path() const
{
    return ui->FilePath->text();
}

QString SelectAFile::name() const
{
    return ui->Name->text();
}

QString SelectAFile::addTag() const
{
    return ui->AddTag->text();
}

void SelectAFile::setName(const QString &name)
{
    ui->Name->setText(name);
}

void SelectAFile::setAddTag(const QString &tag)
{
    ui->AddTag->setText(tag);
}

void SelectAFile::showNameAndTag(bool show)
{
    ui->Name->setVisible(show);
    ui->AddTag->setVisible(show);
}

void SelectAFile::setStat(bool f)
{
    ui->FilePath->setStyleSheet(f ? StateStyle::good : StateStyle::failed);
}

void SelectAFile::fileSelected0(const QString &fname)
{
    const QFileInfo info(fname);
    if (mode == 1)
        setPath(info.absolutePath());
    else
        setPath(fname);
    ui->Name->setText(info.fileName().section(QLatin1Char('.'), 0, 0));
    emit fileSelected(fname);
}

void SelectAFile::clear0()
{
    setPath(QString());
    ui->Name->clear();
    emit clear();
}

QGridLayout *SelectAFile::rowLayout() const
{
    return ui->gridLayout;
}
