#include "I0ofImage.h"
#include "NumberField.h"
#include "ui_I0ofImage.h"

#include "SelectAFile.h"
#include "StateStyle.h"

I0ofImage::I0ofImage(QWidget *parent)
    : QFrame(parent), ui(new Ui::I0ofImage)
{
    ui->setupUi(this);
    NumberField::fit(ui->I0Val);
    connect(ui->I0Val, &QLineEdit::editingFinished, this, &I0ofImage::changed);
    connect(ui->CalcFromXAFS, &QCheckBox::toggled, this, &I0ofImage::changed);
}

I0ofImage::~I0ofImage()
{
    delete ui;
}

void I0ofImage::setTitle(const QString &title)
{
    ui->Title->setText(title);
}

void I0ofImage::setI0Val(double v)
{
    ui->I0Val->setText(QString::number(v, 'g', 6));
    emit changed();
}

double I0ofImage::i0Val() const
{
    return ui->I0Val->text().toDouble();
}

void I0ofImage::setCalcFromXafs(bool on)
{
    ui->CalcFromXAFS->setChecked(on);
}

bool I0ofImage::calcFromXafs() const
{
    return ui->CalcFromXAFS->isChecked();
}

void I0ofImage::setXafsFile(const QString &path)
{
    ui->XafsFile->fileSelected0(path);
}

void I0ofImage::clearXafsFile()
{
    ui->XafsFile->clear0();
}

QString I0ofImage::xafsFile() const
{
    return ui->XafsFile->path();
}

void I0ofImage::setEngPattern(const QString &pattern)
{
    ui->EngPattern->setText(pattern);
}

QString I0ofImage::engPattern() const
{
    return ui->EngPattern->text();
}

SelectAFile *I0ofImage::xafsSelector() const
{
    return ui->XafsFile;
}

QString I0ofImage::i0Text() const
{
    return ui->I0Val->text();
}

void I0ofImage::showValueRefused(bool refused, const QString &why)
{
    ui->I0Val->setStyleSheet(refused ? QString::fromLatin1(StateStyle::failed) : QString());
    ui->I0Val->setToolTip(refused ? why : QString());
}
