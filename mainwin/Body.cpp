#include "Body.h"
#include "ui_Body.h"

#include "Batch.h"
#include "BatchBridge.h"
#include "BodyCommands.h"
#include "ColorBar.h"
#include "ConfigTable.h"
#include "ChCoord.h"
#include "CtCalc.h"
#include "CtCalc2.h"
#include "CtCalc2Ui.h"
#include "CorActions.h"
#include "CorTrialStrip.h"
#include "CtDisp.h"
#include "DataSaver.h"
#include "ImgData.h"
#include "ImgDatas.h"
#include "LoadQueue.h"
#include "LogDock.h"
#include "OrvexLink.h"
#include "PopDockBase.h"
#include "RawDisp.h"
#include "RunControl.h"
#include "ScrollColumn.h"
#include "SetupFile.h"
#include "Sinogram.h"
#include "StateStyle.h"
#include "ViewerWorkflow.h"
#include "XafsBatch.h"
#include "XafsSequence.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QStatusBar>
#include <QThread>
#include <QToolButton>

Body::Body(QWidget *parent)
    : QFrame(parent), ui(new Ui::Body)
{
    // 1. setup dialog, pens, conditions
    setupDialog = new QFileDialog;
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

    // 4. overlay pens
    crossPen = QPen(QColor(255, 255, 0));
    slicePen = QPen(QColor(255, 232, 232));
    rangePen = QPen(QColor(255, 200, 200));
    corPen = QPen(QColor(255, 232, 232));
    corPen.setDashPattern({10, 3, 4, 3});
    dispRegionPen = QPen(QColor(255, 0, 0));
    calcRegionPen = QPen(QColor(232, 255, 0));

    // 5. image collection, sinogram, single-slice calculator
    startThreadFor(imgDatas);
    sgm->setProcCtrl(ui->procCtrl);
    sgm->setImgDatas(imgDatas);
    if (sgm->autoUpdate())
        sgm->genSinogram();
    ctCalc1->setSinogram(sgm);

    // 6. loading chain and batch interpreter
    loader = new LoadQueue(imgDatas, ui->CTFiles,
                           [this] { return runs->isCalculating() || runs->isEnding() || runs->workersBusy(); }, this);
    connect(loader, &LoadQueue::clearing, this, [this] {
        imgDatas->clear();
        ui->seekCtrl->setMaximum(0);
        raw->scaled = false;
    });
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
        connect(panel, &CtCalc2Ui::cRUpdated, this, &Body::cRUpdated);
        connect(panel, &CtCalc2Ui::dRUpdated, this, &Body::dRUpdated);
        ctc2s << worker;
        ctc2Uis << panel;
    }

    // after the worker tabs, which "show_ct2 n" finds at 5 + n
    ui->ImgsTab->addTab(trialStrip, tr("CoR Trials"));

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
    connect(raw, &DispAWLayout::drawImage2, this, &Body::draw);
    connect(raw, &ImgDispWPV::newPosInvY, this, &Body::newPosOnRawImg);
    connect(raw, &ImgDispWCBar::newBar, this, &Body::updateRawImage);
    connect(raw, &ImgDisp::selectedAPoint, this, &Body::selectedAPointInRawImg);
    connect(raw, &ImgDisp::selectionMade, this, &Body::selectionMadeInRawImg);
    connect(ui->ShowDispRegion, &QCheckBox::toggled, this, [this](bool f) {
        showDispRegion = f;
        raw->update();
    });
    connect(ui->ShowCalcRegion, &QCheckBox::toggled, this, [this](bool f) {
        showCalcRegion = f;
        raw->update();
    });
    connect(ui->seekCtrl, &SeekCtrl::newIndex, this, &Body::updateRawImage);
    connect(imgDatas, &ImgDatas::imageUpdated, raw, qOverload<>(&QWidget::update));
    connect(ctCalc1, &CtCalc::askToStartCalc, this, &Body::toggleCalcCt);
    connect(ui->CalcCT, &QPushButton::clicked, this, &Body::toggleCalcCt);
    connect(ctCalc1, &CtCalc::cRUpdated, this, &Body::cRUpdated);
    connect(ctCalc1, &CtCalc::dRUpdated, this, &Body::dRUpdated);
    connect(ctCalc1, &CtCalc::calcFinished, runs, &RunControl::ctCalcFinished);
    for (auto sig : {&ProcCtrl::rotAxUpdated, &ProcCtrl::sliceNoUpdated, &ProcCtrl::corUpdated})
        connect(ui->procCtrl, sig, raw, qOverload<>(&QWidget::update));

    // 12. additional information, colour scale, data directory
    setShowAdditionalInfo(ui->ShowAdditionalInfo->isChecked());
    ui->I0ofRawImage_->setTitle(tr("I0 of Raw Image"));
    ui->I0ofI0Image_->setTitle(tr("I0 of I0 Image"));
    connect(ui->ShowAdditionalInfo, &QCheckBox::toggled, this, &Body::setShowAdditionalInfo);
    connect(ui->ShowAdditionalAdditionalInfo, &QCheckBox::toggled, this,
            &Body::setShowAdditionalAdditionalInfo);
    connect(ui->FixColorScale, &QCheckBox::toggled, this, &Body::fixColorScaleChanged);
    connect(ui->ColorMin, &QLineEdit::editingFinished, this, &Body::fixColorScaleChanged);
    connect(ui->ColorMax, &QLineEdit::editingFinished, this, &Body::fixColorScaleChanged);
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
    setupDialog->setDirectory(dataRoot);
    setupDialog->setAcceptMode(QFileDialog::AcceptSave);
    setupDialog->setFileMode(QFileDialog::AnyFile);
    setupDialog->setNameFilters({QStringLiteral("*.cfg"), QStringLiteral("*.*")});
    connect(ui->SaveSetup, &QPushButton::clicked, this, &Body::showSaveSetupD);
    connect(ui->LoadSetup, &QPushButton::clicked, this, &Body::showLoadSetupD);
    connect(setupDialog, &QFileDialog::fileSelected, this, &Body::saveLoadFileSelected);

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
    QMetaObject::invokeMethod(saver, [] {}, Qt::BlockingQueuedConnection);
    saverThread->quit();
    saverThread->wait();
    qDeleteAll(ctc2s);
    delete saver;
    delete batchInt;
    delete xafs;
    delete imgDatas;
    qDeleteAll(threads);
    delete commands;
    delete setupDialog;
    delete ui;
}

void Body::buildLogAndStatus()
{
    logLines = new LogDock(this);
    logLines->hide();
    auto *bar = new QStatusBar(this);
    bar->setObjectName(QStringLiteral("StatusBar"));
    bar->setSizeGripEnabled(false);
    lastFailure = new QLabel(bar);
    lastFailure->setObjectName(QStringLiteral("LastFailure"));
    // a long message is cut, it never widens the window
    lastFailure->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    lastFailure->setTextInteractionFlags(Qt::TextSelectableByMouse);
    bar->addWidget(lastFailure, 1);
    auto *showLog = new QToolButton(bar);
    showLog->setObjectName(QStringLiteral("ShowLog"));
    showLog->setDefaultAction(logLines->toggleViewAction());
    showLog->setToolTip(tr("Show every line the program has written"));
    bar->addPermanentWidget(showLog);
    ui->BodyLayout->addWidget(logLines);
    ui->BodyLayout->addWidget(bar);
    connect(logLines, &LogDock::failed, this, &Body::showFailure);
    if (!logLines->lastFailure().isEmpty())
        showFailure(logLines->lastFailure());
}

void Body::showFailure(const QString &text)
{
    const QString shown = text.simplified();
    lastFailure->setText(shown);
    lastFailure->setToolTip(shown);
    lastFailure->setStyleSheet(StateStyle::failed);
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
    const int seriesW = imgDatas->count() > 0 ? imgDatas->width : 0;
    const int seriesH = imgDatas->count() > 0 ? imgDatas->height : 0;
    ui->I0ImgSel->setSeriesSize(seriesW, seriesH);
    ui->BGImgSel->setSeriesSize(seriesW, seriesH);
    ProcCtrl *pc = ui->procCtrl;
    const int W = imgDatas->width;
    const int H = imgDatas->height;
    const bool v = pc->rotAxIsV;
    // Nothing loaded (no file matched, or every file was refused): there is
    // no image size to derive slice, range, CoR and regions from.
    const bool sized = imgDatas->count() > 0 && W > 0 && H > 0;
    // Conditions of a series of another size do not fit the new one.
    const bool resized = sized && lastSeriesSize.isValid() && lastSeriesSize != QSize(W, H);
    const bool keep = ui->CTFiles->keepConditions() && !resized;
    if (sized)
        lastSeriesSize = QSize(W, H);
    if (sized && (resetSliceToOnLoad || !keep)) {
        pc->setSliceTo((v ? H : W) - 1);
        resetSliceToOnLoad = false;
    }
    if (sized && (resetSliceOnLoad || !keep)) {
        pc->setSliceNo((v ? H : W) / 2);
        resetSliceOnLoad = false;
    }
    if (sized && (resetCorOnLoad || !keep)) {
        pc->setCor(v ? W * 0.5 : double(H / 2));
        resetCorOnLoad = false;
    }
    ui->seekCtrl->setMaximum(qMax(0, imgDatas->count() - 1));
    updateRawImage();
    if (sgm->autoUpdate())
        sgm->genSinogram();
    if (sized && (resetRegionsOnLoad || !keep)) {
        const double e = (v ? W : H) - 1;
        applyRegions(0, 0, e, e, false, nullptr);
        applyRegions(0, 0, e, e, true, nullptr);
        resetRegionsOnLoad = false;
    }
    // A data set of a sequence finds its own CoR: samples drift between energies.
    sequence->seriesLoaded(sized);
    emit finishedLoadingCTFiles();
    if (bridge->seriesLoaded())
        return;
    // Rejections of a load no batch command started count on their own.
    failureCount += int(loader->rejected().size());
}

void Body::newPosOnRawImg(double x, double y)
{
    const int idx = ui->seekCtrl->value();
    double v = 0;
    // a position left of or above the image is outside, not pixel 0
    if (idx >= 0 && idx < imgDatas->count() && x >= 0 && y >= 0)
        v = imgDatas->img(idx)->valueAt(int(x), int(y));
    raw->setVal(v);
}

void Body::updateRawImage()
{
    if (imgDatas->toImage(ui->seekCtrl->value(), &raw->image, raw->CBar))
        raw->newImage();
}

void Body::draw(QPainter *p)
{
    if (!hasImages() || raw->image.isNull())
        return;
    const ProcCtrl *pc = ui->procCtrl;
    const bool v = pc->rotAxIsV;
    const ChCoord *c = raw->coord;
    const double w = raw->dispA()->width();
    const double h = raw->dispA()->height();
    auto across = [&](const QPen &pen, double at) {      // a line at a slice position
        p->setPen(pen);
        if (v)
            p->drawLine(QPointF(0, c->toWinY(at)), QPointF(w, c->toWinY(at)));
        else
            p->drawLine(QPointF(c->toWinX(at), 0), QPointF(c->toWinX(at), h));
    };

    // cross-hair at the mouse
    p->setPen(crossPen);
    const MouseC *m = raw->mouse;
    p->drawLine(QPointF(m->curX, 0), QPointF(m->curX, h));
    p->drawLine(QPointF(0, m->curY), QPointF(w, m->curY));

    across(slicePen, pc->sliceNo);
    across(rangePen, pc->getSliceFrom());
    across(rangePen, pc->getSliceTo());
    // centre of rotation: along the axis
    p->setPen(corPen);
    if (v)
        p->drawLine(QPointF(c->toWinX(pc->cor), 0), QPointF(c->toWinX(pc->cor), h));
    else
        p->drawLine(QPointF(0, c->toWinY(pc->cor)), QPointF(w, c->toWinY(pc->cor)));

    if ((raw->selected || raw->selecting) && (showDispRegion || showCalcRegion)) {
        const QRectF s = raw->selection;
        const QRectF onScreen(QPointF(c->toWinX(s.left()), c->toWinY(s.top())),
                              QPointF(c->toWinX(s.right()), c->toWinY(s.bottom())));
        p->setBrush(Qt::NoBrush);
        if (showDispRegion) {
            p->setPen(dispRegionPen);
            p->drawRect(onScreen.normalized());
        }
        if (showCalcRegion) {
            p->setPen(calcRegionPen);
            p->drawRect(onScreen.normalized());
        }
    }
}

void Body::selectionMadeInRawImg(QRectF s)
{
    if (!showCalcRegion || !hasImages())
        return;
    // the pixels under the two corners of the drag
    const bool v = ui->procCtrl->rotAxIsV;
    const double a = ImgDisp::pixelOf(v ? s.left() : s.top());
    const double b = ImgDisp::pixelOf(v ? s.right() : s.bottom());
    applyRegions(a, a, b, b, false, nullptr);
    applyRegions(a, a, b, b, true, nullptr);
    ui->procCtrl->setSliceFrom(ImgDisp::pixelOf(v ? s.top() : s.left()));
    ui->procCtrl->setSliceTo(ImgDisp::pixelOf(v ? s.bottom() : s.right()));
}

void Body::selectedAPointInRawImg(double x, double y, MouseC::MStat s)
{
    const bool v = ui->procCtrl->rotAxIsV;
    if (int(s) == 0) {
        const int slice = ImgDisp::pixelOf(v ? y : x);     // the row or column clicked
        ui->procCtrl->setSliceNo(slice);
        if (ui->SendMsg2Orvex->isChecked())
            sendSliceFilesToViewer(slice);
    } else if (int(s) == 8) {
        ui->procCtrl->setCor(v ? x : y);
    }
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

void Body::applyRegions(double rx0, double rz0, double rx1, double rz1, bool calcRegion, QObject *from)
{
    if (from != ctCalc1) {
        if (calcRegion)
            ctCalc1->setCR(rx0, rz0, rx1, rz1);
        else
            ctCalc1->setDR(rx0, rz0, rx1, rz1);
    }
    for (CtCalc2Ui *p : std::as_const(ctc2Uis)) {
        if (p == from)
            continue;
        if (calcRegion)
            p->setCR(rx0, rz0, rx1, rz1);
        else
            p->setDR(rx0, rz0, rx1, rz1);
    }
}

void Body::dRUpdated(double rx0, double rz0, double rx1, double rz1)
{
    applyRegions(rx0, rz0, rx1, rz1, false, sender());
}

void Body::cRUpdated(double rx0, double rz0, double rx1, double rz1)
{
    applyRegions(rx0, rz0, rx1, rz1, true, sender());
}

void Body::fixColorScaleChanged()
{
    const bool f = ui->FixColorScale->isChecked();
    ctCalc1->setFixColorScale(f);
    for (CtCalc2Ui *p : std::as_const(ctc2Uis))
        p->setFixColorScale(f);
    if (f) {
        ctCalc1->setCBarMinMaxForced(colorMin(), colorMax());
        for (CtCalc2Ui *p : std::as_const(ctc2Uis))
            p->setCBarMinMaxForced(colorMin(), colorMax());
    }
}

double Body::colorMin()
{
    return ui->ColorMin->text().toDouble();
}

double Body::colorMax()
{
    return ui->ColorMax->text().toDouble();
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

void Body::showSaveSetupD()
{
    setupSaveMode = true;
    setupDialog->setAcceptMode(QFileDialog::AcceptSave);
    setupDialog->setFileMode(QFileDialog::AnyFile);
    setupDialog->show();
}

void Body::showLoadSetupD()
{
    setupSaveMode = false;
    setupDialog->setAcceptMode(QFileDialog::AcceptOpen);
    setupDialog->setFileMode(QFileDialog::ExistingFile);
    setupDialog->show();
}

void Body::saveLoadFileSelected(QString fname)
{
    if (setupSaveMode)
        saveSetup(fname);
    else
        loadSetup(fname);
}

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
