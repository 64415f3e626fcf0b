#include "SelectDir.h"
#include "ui_SelectDir.h"

#include "ConfigTable.h"

#include <QFileDialog>

SelectDir::SelectDir(QWidget *parent)
    : QFrame(parent), ui(new Ui::SelectDir), fileDialog(new QFileDialog)
{
    ui->setupUi(this);
    fileDialog->setDirectory(dataRoot);
    fileDialog->setAcceptMode(QFileDialog::AcceptOpen);
    fileDialog->setFileMode(QFileDialog::Directory);
    fileDialog->setNameFilter(QStringLiteral("(*)"));
    connect(ui->Select, &QPushButton::clicked, fileDialog, &QFileDialog::show);
    connect(fileDialog, &QFileDialog::fileSelected, this, [this](const QString &d) {
        emit aDirSelected(d);
        setDirName(d);
    });
}

SelectDir::~SelectDir()
{
    delete fileDialog;
    delete ui;
}

QString SelectDir::dir() const
{
    return ui->SelectedDir->text();
}

void SelectDir::setDirName(const QString &dir)
{
    ui->SelectedDir->setText(dir);
}
