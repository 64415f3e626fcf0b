#include "SetupDialog.h"
#include "ui_Body.h"

#include "ConfigTable.h"

#include <QFileDialog>
#include <QPushButton>

SetupDialog::SetupDialog(Ui::Body *ui, QObject *parent)
    : QObject(parent), dialog(new QFileDialog)
{
    dialog->setDirectory(dataRoot);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilters({QStringLiteral("*.cfg"), QStringLiteral("*.*")});
    connect(ui->SaveSetup, &QPushButton::clicked, this, &SetupDialog::showSave);
    connect(ui->LoadSetup, &QPushButton::clicked, this, &SetupDialog::showLoad);
    connect(dialog, &QFileDialog::fileSelected, this, &SetupDialog::fileSelected);
}

SetupDialog::~SetupDialog()
{
    delete dialog;
}

void SetupDialog::showSave()
{
    saveMode = true;
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->show();
}

void SetupDialog::showLoad()
{
    saveMode = false;
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->show();
}

void SetupDialog::fileSelected(const QString &fname)
{
    if (saveMode)
        emit saveAsked(fname);
    else
        emit loadAsked(fname);
}
