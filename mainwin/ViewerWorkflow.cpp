#include "ViewerWorkflow.h"
#include "ui_Body.h"

#include "OrvexLink.h"
#include "StateStyle.h"

#include <QDir>

#include <cstdlib>

static QString sliceText(int slice)
{
    return QString::asprintf("%05d", slice);
}

ViewerWorkflow::ViewerWorkflow(Ui::Body *ui, OrvexLink *link, QObject *parent)
    : QObject(parent), ui(ui), orx(link)
{
}

void ViewerWorkflow::attach()
{
    orx->setLinkButton(ui->Link2dOrvex);
    orx->doConnect();
    initFlags();
    connect(orx, &OrvexLink::connected, this, &ViewerWorkflow::initFlags);
    connect(orx, &OrvexLink::changedIsBusy, this, &ViewerWorkflow::changedIsBusy);
    connect(this, &ViewerWorkflow::loadFilesOfPattern, orx, &OrvexLink::loadFilesOfPattern);
    connect(this, &ViewerWorkflow::loadFiles, orx, &OrvexLink::loadFiles);
    connect(this, &ViewerWorkflow::exec2dA, orx, &OrvexLink::exec2dA);
    connect(this, &ViewerWorkflow::statChanged, this, &ViewerWorkflow::stageCtrl);
    connect(ui->Exec2DA, &QPushButton::clicked, this, &ViewerWorkflow::exec2dAOfCurrentSlice);
    connect(ui->Cont2DA, &QPushButton::clicked, this, &ViewerWorkflow::startCont2dA);
}

void ViewerWorkflow::initFlags()
{
    stageNo = 0;
    cont = false;
    ui->Cont2DA->setStyleSheet(StateStyle::idleRun);
    busyShown = false;
    ui->ORXIsBusy->setStyleSheet(StateStyle::good);
    from = 0;
    current = 0;
}

void ViewerWorkflow::changedIsBusy(bool f)
{
    if (f != busyShown)
        ui->ORXIsBusy->setStyleSheet(f ? StateStyle::failed : StateStyle::good);
    busyShown = f;
    emit statChanged();
}

void ViewerWorkflow::sendSliceFiles(int slice)
{
    ui->procCtrl->setSliceNo(slice);
    stageNo = 1;
    current = slice;
    const QString S = sliceText(slice);
    const QDir D(ui->SelectDataSaveDir->path());
    const QString pattern = QStringLiteral("*-%1.dat").arg(S);
    if (ui->SaveInSubFolders->isChecked() && ui->SubOfSlice->isChecked()) {
        emit loadFilesOfPattern(QDir::toNativeSeparators(D.absolutePath() + "/" + S + "/"));
    } else if (ui->SaveInSubFolders->isChecked()) {
        QStringList files;
        const QStringList entries = D.entryList(QDir::NoFilter, QDir::Name);
        for (const QString &e : entries) {
            const QDir sub(D.absoluteFilePath(e));
            if (!sub.exists())
                continue;
            for (const QString &f : sub.entryList({pattern}, QDir::Files, QDir::Name))
                files << sub.absoluteFilePath(f);
        }
        emit loadFiles(files);
    } else {
        QStringList files;
        for (const QString &f : D.entryList({pattern}, QDir::Files, QDir::Name))
            files << D.absoluteFilePath(f);
        emit loadFiles(files);
    }
}

void ViewerWorkflow::stageCtrl()
{
    if (busyShown)
        return;
    const QString last = orx->finishedCmd;
    if (stageNo == 1
        && (last == QLatin1String("LOAD_I1_FILES_OF_PATTERN") || last == QLatin1String("LOAD_I1_FILES"))) {
        if (ui->With2DA->isChecked() || cont) {
            stageNo = 2;
            emit exec2dA(sliceText(current));
        } else {
            stageNo = 0;
        }
    } else if (stageNo == 2 && last == QLatin1String("ANALYZER_EXEC_2DA")) {
        if (cont) {
            current += step;
            const bool past = step >= 0 ? current > to : current < to;
            if (past) {
                cont = false;
                ui->Cont2DA->setStyleSheet(StateStyle::idleRun);
                stageNo = 0;
            } else {
                sendSliceFiles(current);
            }
        } else {
            stageNo = 0;
        }
    } else if (stageNo != 1 && stageNo != 2) {
        stageNo = 0;
    }
}

void ViewerWorkflow::startCont2dA()
{
    if (cont) {
        cont = false;
        ui->Cont2DA->setStyleSheet(StateStyle::idleRun);
        return;
    }
    cont = true;
    ui->Cont2DA->setStyleSheet(StateStyle::activeRun);
    from = ui->procCtrl->getSliceFrom();
    to = ui->procCtrl->getSliceTo();
    // the step points from "From" towards "To"
    step = qMax(1, std::abs(ui->procCtrl->getSliceStep()));
    if (to < from)
        step = -step;
    current = from;
    sendSliceFiles(from);
}

void ViewerWorkflow::exec2dAOfCurrentSlice()
{
    emit exec2dA(sliceText(ui->procCtrl->sliceNo));
}
