#include "Body.h"
#include "ui_Body.h"

#include "Batch.h"
#include "BatchBridge.h"
#include "BodyCommands.h"
#include "ColorBar.h"
#include "ConfigTable.h"
#include "CtCalc.h"
#include "CtCalc2.h"
#include "CtCalc2Ui.h"
#include "CorActions.h"
#include "CorTrialStrip.h"
#include "CtDisp.h"
#include "DataSaver.h"
#include "I0Ratio.h"
#include "I0ofImage.h"
#include "ImgData.h"
#include "ImgDatas.h"
#include "LoadResets.h"
#include "LoadQueue.h"
#include "LogDock.h"
#include "OrvexLink.h"
#include "PopDockBase.h"
#include "RawDisp.h"
#include "RawOverlay.h"
#include "RegionSync.h"
#include "RunControl.h"
#include "ScrollColumn.h"
#include "SetupDialog.h"
#include "SetupFile.h"
#include "Sinogram.h"
#include "EnergyCurvePanel.h"
#include "StateStyle.h"
#include "StatusLine.h"
#include "ViewerWorkflow.h"
#include "XafsBatch.h"
#include "XafsSequence.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDebug>
#include <QGridLayout>
#include <QLabel>
#include <QScreen>
#include <QThread>

Body::Body(QWidget *parent)
    : QFrame(parent), ui(new Ui::Body)
{
    // 1. conditions
    showAllCt2Images = configTable.valueNoCase("show_all_ct2_images", "0").toInt() == 1;

    // 2. the objects of the window
    batchInt = new Batch;
    xafs = new XafsBatch;
    raw = new RawDisp;
    sgm = new Sinogram;
    ctCalc1 = new CtCalc(&conds);
    imgDatas = new ImgDatas;
    ctImages = new CtDisp;
    orx = new OrvexLink(this);
    commands = new BodyCommands(this);
    BatchCmd::registerMetaType();
    qRegisterMetaType<CtCalc2 *>("CtCalc2*");

    // 3. the form
    ui->setupUi(this);
    for (QWidget *b : {static_cast<QWidget *>(ui->CalcCT), static_cast<QWidget *>(ui->SeqCalc),
                       static_cast<QWidget *>(ui->Cont2DA)})
        b->setStyleSheet(StateStyle::idleRun);
    for (SelectAFile *s : {ui->SelectImageSaveDir, ui->SelectDataSaveDir}) {
        s->setMode(1);
        s->showNameAndTag(true);
    }
    ui->SelI0Files->setSimpleMode(true);
    ui->SelI0Files->setTitle(QString());
    ui->SelI0Files->setSelectText(tr("Sel. I0 File Set"));
    buildLogAndStatus();
    viewer = new ViewerWorkflow(ui, orx, this);

    // 4. the panels kept in step: regions and colour scale, raw-image overlays
    regions = new RegionSync(ui, ctCalc1, this);
    overlay = new RawOverlay(ui, raw, imgDatas, regions, viewer, this);
    resets = new LoadResets(ui, imgDatas, raw, sgm, overlay, regions,
                            {resetRegionsOnLoad, resetSliceToOnLoad, resetSliceOnLoad, resetCorOnLoad}, this);

    // 5. image collection, sinogram, single-slice calculator
    startThreadFor(imgDatas);
    sgm->setProcCtrl(ui->procCtrl);
    sgm->setImgDatas(imgDatas);
    if (sgm->autoUpdate())
        sgm->genSinogram();
    ctCalc1->setSinogram(sgm);
    // the corrections of the Sinogram tab and the CoR finder; a run takes
    // them into its conditions when it starts
    connect(ui->corrections, &CorrectionsPanel::changed, this,
            [this] { sgm->setCorrections(ui->corrections->settings()); });

    // 6. loading chain and batch interpreter
    loader = new LoadQueue(imgDatas, ui->CTFiles,
                           [this] { return runs->isCalculating() || runs->isEnding() || runs->workersBusy(); }, this);
    connect(loader, &LoadQueue::clearing, resets, &LoadResets::clear);
    connect(loader, &LoadQueue::loaded, this, &Body::seriesLoaded);
    bridge = new BatchBridge(batchInt, commands, loader, this);
    connect(bridge, &BatchBridge::checkEnd, this, &Body::callBatchCheckEnd);
    connect(this, &Body::callBatchLoad, batchInt, &Batch::batchLoad);
    connect(this, &Body::callBatchExec, batchInt, &Batch::batchExec);
    connect(batchInt, &Batch::batchExCmd, this, &Body::batchExCmd);
    connect(this, &Body::callBatchCheckEnd, batchInt, &Batch::batchCheckEnd);
    connect(this, &Body::batchCalcStart, this, &Body::startCalcCt);
    connect(this, &Body::batchCalcFinished, this, &Body::callBatchCheckEnd);
    startThreadFor(batchInt);

    // 7. CT-XAFS sequencer
    SelectDataDir *sdd = ui->SelDDir;
    sequence = new XafsSequence(ui, xafs, sgm, this);
    connect(sequence, &XafsSequence::failed, this, [this] { ++failureCount; });
    connect(sdd, &SelectDataDir::newSets, sequence, &XafsSequence::newSets);
    connect(ui->SeqCalc, &QPushButton::clicked, xafs, &XafsBatch::start);
    connect(xafs, &XafsBatch::setFirstImageSet, sequence, &XafsSequence::setFirstImageSet);
    connect(sequence, &XafsSequence::setFirstSet, sdd, &SelectDataDir::setFirstSet);
    connect(this, &Body::finishedLoadingCTFiles, xafs, &XafsBatch::loadedDataSet);
    connect(xafs, &XafsBatch::execCalculation, this, &Body::startCalcCt);
    connect(this, &Body::calcFinished, xafs, &XafsBatch::calcFinished);
    connect(xafs, &XafsBatch::setNextImageSet, sequence, &XafsSequence::setNextImageSet);
    connect(sequence, &XafsSequence::setNextSet, sdd, &SelectDataDir::setNextSet);
    connect(sdd, &SelectDataDir::noMoreSets, xafs, &XafsBatch::noMoreSets);
    connect(xafs, &XafsBatch::starting, sequence, &XafsSequence::startingSeqCalc);
    connect(xafs, &XafsBatch::finished, sequence, &XafsSequence::finishedSeqCalc);
    connect(xafs, &XafsBatch::stage, sequence, &XafsSequence::noticedStage);
    connect(sequence, &XafsSequence::stage, sequence, &XafsSequence::noticedStage);
    startThreadFor(xafs);

    // 8. the image tabs
    ui->RawImgBase->setContent(raw, tr("Measured Raw Image"));
    ui->SinogramImgBase->setContent(sgm, tr("Check Sinogram"));
    ui->CtImgBase->setContent(ctCalc1, tr("CT Reconstruction"));
    ui->I0ImgBase->setContent(ui->I0ImgSel->view, tr("I0 Image"));
    ui->BGImgBase->setContent(ui->BGImgSel->view, tr("BG Image"));
    ui->CtImgsBase->setContent(ctImages, tr("CT images"));
    trialStrip = new CorTrialStrip;
    trialStrip->setCurrentCor(ui->procCtrl->cor);
    connect(trialStrip, &CorTrialStrip::corChosen, ui->procCtrl, &ProcCtrl::setCor);
    connect(trialStrip, &CorTrialStrip::askTrials, this, &Body::startCorTrials);
    connect(ui->procCtrl, &ProcCtrl::corUpdated, this,
            [this] { trialStrip->setCurrentCor(ui->procCtrl->cor); });

    // 9. multi-slice workers and the saver
    const int n = qMax(1, QThread::idealThreadCount());
    saver = new DataSaver;
    saverThread = startThreadFor(saver);
    runs = new RunControl(ui, conds, imgDatas, ctCalc1, ctc2s, saver, ctImages, trialStrip, batchInt,
                          batchStarted, this);
    connect(runs, &RunControl::calcFinished, this, &Body::calcFinished);
    connect(runs, &RunControl::batchCalcFinished, this, &Body::batchCalcFinished);
    connect(runs, &RunControl::failed, this, [this](int n) { failureCount += n; });
    connect(runs, &RunControl::idle, loader, &LoadQueue::resume);
    for (int k = 1; k <= n; ++k) {
        auto *page = new QWidget;
        auto *grid = new QGridLayout(page);
        grid->setContentsMargins(2, 2, 2, 2);
        auto *dock = new PopDockBase(page);
        grid->addWidget(dock, 0, 0);
        auto *worker = new CtCalc2(&conds);
        auto *panel = new CtCalc2Ui;
        worker->setUi(panel);
        worker->setSinogram(sgm);
        worker->saveQueue = saver->queue();
        dock->setContent(panel, tr("CT Calc2 %1").arg(k));
        if (k == 1 || showAllCt2Images) {
            if (showAllCt2Images)
                ui->ImgsTab->addTab(page, tr("CT2 %1").arg(k));
            else
                ui->ImgsTab->insertTab(3, page, tr("CT2"));
        } else {
            page->hide();
            page->setParent(this);
        }
        startThreadFor(worker);
        connect(runs, &RunControl::startCt, worker,
                qOverload<CtCalc2 *, bool, double, int, bool>(&CtCalc2::startCt));
        connect(worker, &CtCalc2::calcFinished, runs, &RunControl::execMultiCtCalc);
        connect(worker, &CtCalc2::saveDataWDiscard, saver, &DataSaver::saveDataWDiscard);
        connect(worker, &CtCalc2::saveImgWDiscard, saver, &DataSaver::saveImgWDiscard);
        connect(worker, &CtCalc2::ctImage, this, &Body::ctImage);
        connect(worker, &CtCalc2::trialImage, trialStrip, &CorTrialStrip::addTrial);
        regions->addPanel(panel);
        ctc2s << worker;
        ctc2Uis << panel;
    }

    // after the worker tabs, which "show_ct2 n" finds at 5 + n
    ui->ImgsTab->addTab(trialStrip, tr("CoR Trials"));
    spectrum = new EnergyCurvePanel([this] { return EnergyCurveActions::of(ui); });
    spectrum->watch(ctImages, ctCalc1, &conds);
    ui->ImgsTab->addTab(spectrum, tr("Spectrum"));

    // 10. thread count, I0/BG slots
    ui->procCtrl->setMaxThreads(n);
    ui->procCtrl->setThreads(int(0.8 * n));
    imgDatas->i0Img = &ui->I0ImgSel->img;
    imgDatas->bgImg = &ui->BGImgSel->img;

    // 11. selections, raw display, calculators
    ctSel = new QButtonGroup(this);
    ctSel->setExclusive(true);
    ctSel->addButton(ui->SelectCt1);
    ctSel->addButton(ui->SelectCt2);
    ui->SelectCt1->setChecked(true);
    connect(ctSel, &QButtonGroup::buttonClicked, this, &Body::changedCtSel);
    connect(ui->procCtrl, &ProcCtrl::autoExecUpdated, this, &Body::changedAutoExec);
    connect(ui->procCtrl, &ProcCtrl::askFindCor, this, [this](QString method) {
        ui->procCtrl->showFindResult(CorActions(sgm, ui->procCtrl).findAndSet(method));
    });
    connect(ui->CTFiles, &SelectDataFiles::filesSelected, loader, &LoadQueue::select);
    connect(ui->SelI0Files, &SelectDataFiles::filesSelected, sequence, &XafsSequence::i0FilesSelected);
    connect(ctCalc1, &CtCalc::askToStartCalc, this, &Body::toggleCalcCt);
    connect(ui->CalcCT, &QPushButton::clicked, this, &Body::toggleCalcCt);
    connect(ctCalc1, &CtCalc::calcFinished, runs, &RunControl::ctCalcFinished);

    // 12. additional information, colour scale, data directory
    setShowAdditionalInfo(ui->ShowAdditionalInfo->isChecked());
    ui->I0ofRawImage_->setTitle(tr("I0 of Raw Image"));
    ui->I0ofI0Image_->setTitle(tr("I0 of I0 Image"));
    // the panels' ion-chamber ratio scales the I0 image of every sinogram
    for (I0ofImage *p : {ui->I0ofRawImage_, ui->I0ofI0Image_})
        connect(p, &I0ofImage::changed, this, [this] {
            sgm->setI0Scale(I0Ratio::update(ui->I0ofRawImage_, ui->I0ofI0Image_).factor);
        });
    connect(ui->ShowAdditionalInfo, &QCheckBox::toggled, this, &Body::setShowAdditionalInfo);
    connect(ui->ShowAdditionalAdditionalInfo, &QCheckBox::toggled, this,
            &Body::setShowAdditionalAdditionalInfo);
    autoCor = new QCheckBox(tr("Auto CoR"), ui->keepOnNewSet->parentWidget());
    autoCor->setObjectName(QStringLiteral("SeqAutoCor"));
    autoCor->setToolTip(tr("Every data set finds its CoR on the current slice before it is reconstructed"));
    ui->SeqRow->insertWidget(ui->SeqRow->indexOf(ui->keepOnNewSet) + 1, autoCor);
    sequence->setAutoCorBox(autoCor);
    if (auto *column = qobject_cast<QBoxLayout *>(ui->SeqRow->parent()))
        sequence->placeAlignControls(column, column->indexOf(ui->SeqRow) + 1);
    else
        sequence->placeAlignControls(ui->SeqRow, ui->SeqRow->count());
    connect(sdd, &SelectDataDir::selected, sequence, &XafsSequence::selectedDir);
    connect(sdd, &SelectDataDir::selectedFileInfoList, sequence, &XafsSequence::selectedFileInfoList);

    // 13. setup-file dialog
    auto *setupDialog = new SetupDialog(ui, this);
    connect(setupDialog, &SetupDialog::saveAsked, this, &Body::saveSetup);
    connect(setupDialog, &SetupDialog::loadAsked, this, &Body::loadSetup);

    // 14. configuration lines as commands (not the batch's: they neither
    // hold nor release it)
    // INCLUDEs of the configuration that could not be read count as well.
    failureCount += configTable.failures();
    for (const QString &line : configTable.configLines())
        runOwnCommand(BatchCmd::parse(line));

    // 15. the viewer link
    viewer->attach();

    // The control column scrolls where the screen is short.
    ScrollColumn::follow(ui->ControlScroll);
}

Body::~Body()
{
    // Workers finish the slice they hold, without waiting for room in the
    // saver's queue; the saver then writes everything they handed over
    // (queued before the empty call below) before its thread ends.
    saver->queue()->open();
    for (QThread *t : std::as_const(threads)) {
        if (t == saverThread)
            continue;
        t->quit();
        t->wait();
    }
    saver->settle();
    saverThread->quit();
    saverThread->wait();
    qDeleteAll(ctc2s);
    delete saver;
    delete batchInt;
    delete xafs;
    delete imgDatas;
    qDeleteAll(threads);
    delete commands;
    delete ui;
}

void Body::buildLogAndStatus()
{
    logLines = new LogDock(this);
    logLines->hide();
    auto *bar = new StatusLine(logLines, this);
    lastFailure = bar->lastFailureLabel();
    ui->BodyLayout->addWidget(logLines);
    ui->BodyLayout->addWidget(bar);
}

QThread *Body::startThreadFor(QObject *o)
{
    auto *t = new QThread;
    t->setObjectName(QString::fromLatin1(o->metaObject()->className()));
    o->moveToThread(t);
    t->start(QThread::InheritPriority);
    threads << t;
    return t;
}

bool Body::hasImages() const
{
    return imgDatas->count() > 0;
}

// ---------------------------------------------------------------- loading

void Body::seriesLoaded()
{
    const bool sized = resets->seriesLoaded();
    // A data set of a sequence finds its own CoR: samples drift between energies.
    sequence->seriesLoaded(sized);
    emit finishedLoadingCTFiles();
    if (bridge->seriesLoaded())
        return;
    // Rejections of a load no batch command started count on their own.
    failureCount += int(loader->rejected().size());
}

void Body::showDispRaw()
{
    raw->show();
}

void Body::showSinogram()
{
    sgm->show();
    if (sgm->autoUpdate())
        sgm->genSinogram();
}

void Body::setShowAdditionalInfo(bool f)
{
    ui->AdditionalInfo->setVisible(f);
    ui->ShowAdditionalAdditionalInfo->setVisible(f);
    setShowAdditionalAdditionalInfo(f && ui->ShowAdditionalAdditionalInfo->isChecked());
}

void Body::setShowAdditionalAdditionalInfo(bool f)
{
    ui->AdditionalAdditionalInfo->setVisible(f);
}

// ------------------------------------------------------------ run control

void Body::toggleCalcCt()
{
    runs->toggle();
}

bool Body::startCorTrials(double from, double to, double step)
{
    return runs->startCorTrials(from, to, step);
}

void Body::startCalcCt()
{
    runs->start();
}

void Body::stopCalcCt()
{
    runs->stop();
}

bool Body::isCalculating() const
{
    return runs->isCalculating();
}

bool Body::isEnding() const
{
    return runs->isEnding();
}

void Body::changedCtSel(QAbstractButton *)
{
    if (ui->SelectCt1->isChecked())
        ui->procCtrl->setAutoExec(false);
}

void Body::changedAutoExec()
{
    if (ui->procCtrl->isAutoExec())
        ui->SelectCt2->setChecked(true);
}

void Body::setFixColorScale(bool f)
{
    ui->FixColorScale->setChecked(f);
}

void Body::setColorMin(double v)
{
    ui->ColorMin->setText(QString::number(v, 'g', 6));
}

void Body::setColorMax(double v)
{
    ui->ColorMax->setText(QString::number(v, 'g', 6));
}

void Body::setAutoSaveImage(bool f)
{
    ui->AutoSaveImage->setChecked(f);
}

void Body::setAutoSaveData(bool f)
{
    ui->AutoSaveData->setChecked(f);
}

void Body::ctImage(int no, QImage img)
{
    ctImages->addImg(no, img);
}

// ------------------------------------------------------------- batch

void Body::batchExCmd(BatchCmd cmd)
{
    bridge->command(cmd);
}

void Body::runOwnCommand(const BatchCmd &cmd)
{
    // Names that are no commands (keys, titles, section headers) do nothing.
    if (commands->exec(cmd) == BodyCommands::Outcome::Failed)
        ++failureCount;
}

void Body::batchLoad(QString fname)
{
    emit callBatchLoad(fname);
}

void Body::batchExec()
{
    emit callBatchExec();
}

// ---------------------------------------------------------- setup files

void Body::saveSetup(QString fname)
{
    if (!SetupFile(this).save(fname))
        ++failureCount;
}

void Body::loadSetup(QString fname)
{
    if (!SetupFile(this).load(fname))
        ++failureCount;
}

// -------------------------------------------------------- viewer link

void Body::sendSliceFilesToViewer(int slice)
{
    viewer->sendSliceFiles(slice);
}

bool Body::isLoading() const
{
    return loader->isLoading();
}

int Body::rejectedOnLoad() const
{
    return int(loader->rejected().size());
}

const QList<double> &Body::i0EnergyList() const
{
    return sequence->i0EnergyList();
}

int Body::orxStage() const
{
    return viewer->stage();
}

bool Body::orxContinuous() const
{
    return viewer->continuous();
}

void Body::showEvent(QShowEvent *event)
{
    // The first size fits the screen the window opens on; the layout's
    // minimum is known only now that every panel is polished.
    if (!shownOnce) {
        shownOnce = true;
        if (layout())
            layout()->activate();
        if (const QScreen *sc = screen())
            resize(size().boundedTo(sc->availableGeometry().size()).expandedTo(minimumSizeHint()));
    }
    QFrame::showEvent(event);
}

void Body::closeEvent(QCloseEvent *event)
{
    emit finishing();
    event->accept();
}
