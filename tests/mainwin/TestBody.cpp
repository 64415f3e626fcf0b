// The main window driven as a user would: load a generated series, click in
// the raw image, reconstruct one slice and a range with auto-save, stop a
// range, and hand results to a loopback viewer.
#include "Body.h"
#include "ui_Body.h"

#include "Batch.h"
#include "ConfigTable.h"
#include "CtCalc.h"
#include "CtCalc2.h"
#include "CtCalc2Ui.h"
#include "CtDisp.h"
#include "DataSaver.h"
#include "ImgData.h"
#include "ImgDatas.h"
#include "ImgDispWPV.h"
#include "LogDock.h"
#include "OrvexLink.h"
#include "Phantom.h"
#include "ProcCtrl.h"
#include "RawDisp.h"
#include "SaveQueue.h"
#include "BackProjectKernel.h"
#include "SelectAFile.h"
#include "SelectAImgFile.h"
#include "ui_SelectDataFiles.h"
#include "Sinogram.h"
#include "HSgm.h"
#include "StateStyle.h"
#include "DispA.h"
#include "SelectDataFiles.h"

#include <QCheckBox>
#include <QLabel>
#include <QRegularExpression>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTime>
#include <QTest>
#include <QToolButton>

#include <atomic>
#include <cmath>
#include <memory>
#include <vector>

// Holds a worker's thread until released (at the latest when it goes out of
// scope), so that the slice queued to it stays in work.
struct WorkerGate {
    QSemaphore open;
    explicit WorkerGate(CtCalc2 *w)
    {
        QMetaObject::invokeMethod(w, [this] { open.acquire(); }, Qt::QueuedConnection);
    }
    void release() { open.release(); }
    ~WorkerGate() { open.release(); }
};

class TestBody : public QObject
{
    Q_OBJECT
    QTemporaryDir tmp;
    QString dataDir;
    QTcpServer peer;

    static constexpr int W = 48, H = 12, NP = 60;

    void load(Body &b, const QString &pattern)
    {
        QSignalSpy done(&b, &Body::finishedLoadingCTFiles);
        b.form()->CTFiles->chooseDir(dataDir, {pattern});
        QVERIFY(done.wait(20000));
    }
    void waitRunEnd(Body &b)
    {
        QSignalSpy end(&b, &Body::calcFinished);
        if (b.isCalculating())
            QVERIFY(end.wait(30000));
        QVERIFY(!b.isCalculating());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(peer.listen(QHostAddress::LocalHost, 0));
        configTable.set("2dOrvex", "127.0.0.1", QString("127.0.0.1 %1").arg(peer.serverPort()));
        Phantom::Options o;
        o.width = W;
        o.height = H;
        o.projections = NP;
        o.energies = {7100, 7125};
        dataDir = tmp.filePath("data");
        QString err;
        QVERIFY2(Phantom::standard(o).writeSeries(dataDir, &err), qPrintable(err));
    }

    void loadResetsAndKeeps()
    {
        Body b;
        ProcCtrl *pc = b.form()->procCtrl;
        pc->setRotAxIsV(true);
        load(b, "sample-7100eV-*.img");
        QCOMPARE(b.images()->count(), NP);
        QCOMPARE(b.form()->CTFiles->count(), NP);
        QCOMPARE(pc->getSliceTo(), H - 1);
        QCOMPARE(pc->sliceNo, H / 2);
        QCOMPARE(pc->cor, W * 0.5);
        QCOMPARE(b.ctCalc()->findChild<QLineEdit *>("Crx1")->text(), QString::number(W - 1));

        // keep Conds. is checked: a second load keeps what the user set
        pc->setSliceNo(3);
        pc->setCor(20.5);
        load(b, "sample-7125eV-*.img");
        QCOMPARE(b.images()->count(), NP);      // "New" replaced the series
        QCOMPARE(pc->sliceNo, 3);
        QCOMPARE(pc->cor, 20.5);

        // unchecked: everything is derived again, now for a horizontal axis
        b.form()->CTFiles->form();
        pc->setRotAxIsV(false);
        b.form()->CTFiles->findChild<QCheckBox *>("KeepConditions")->setChecked(false);
        load(b, "sample-7100eV-*.img");
        QCOMPARE(pc->getSliceTo(), W - 1);
        QCOMPARE(pc->sliceNo, W / 2);
        QCOMPARE(pc->cor, double(H / 2));
        QCOMPARE(b.ctCalc()->findChild<QLineEdit *>("Crx1")->text(), QString::number(H - 1));
    }

    void emptyLoadKeepsConditions()
    {
        Body b;
        ProcCtrl *pc = b.form()->procCtrl;
        pc->setSliceNo(7);
        pc->setSliceTo(20);
        pc->setCor(33);
        load(b, "nothing-matches-*.img");
        QCOMPARE(b.images()->count(), 0);
        QCOMPARE(pc->sliceNo, 7);
        QCOMPARE(pc->getSliceTo(), 20);
        QCOMPARE(pc->cor, 33.0);
        load(b, "sample-7100eV-*.img");             // the first real load still resets
        QCOMPARE(pc->getSliceTo(), b.form()->procCtrl->rotAxIsV ? H - 1 : W - 1);
    }

    void secondSelectionWhileLoading()
    {
        Body b;
        QSignalSpy done(&b, &Body::finishedLoadingCTFiles);
        b.form()->CTFiles->chooseDir(dataDir, {"sample-7100eV-*.img"});
        QVERIFY(b.isLoading());                     // the first chain is under way
        b.form()->CTFiles->chooseDir(dataDir, {"sample-7125eV-*.img"});
        QVERIFY(done.wait(20000));
        QTest::qWait(100);
        QCOMPARE(done.count(), 1);                  // one chain, one end
        QCOMPARE(b.images()->count(), NP);
        QCOMPARE(b.images()->img(0)->fileName, dataDir + "/sample-7125eV-00000.img");
        QCOMPARE(b.images()->img(NP - 1)->fileName,
                 dataDir + QString::asprintf("/sample-7125eV-%05d.img", NP - 1));
    }

    // Unpadded names load in counting order; a rejected file is named and
    // marks the count; a "New" series may have another size, an "Add" may
    // not; I0 and BG of the wrong size turn red, at their load and at the
    // series' end.
    void seriesOrderSizesAndReferences()
    {
        const QString small = tmp.filePath("small"), big = tmp.filePath("big");
        QDir().mkpath(small);
        QDir().mkpath(big);
        auto itex = [](const QString &path, int w, int h, quint32 v) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(Phantom::itexImage(w, h, 2, std::vector<quint32>(size_t(w) * h, v)));
        };
        for (int i : {10, 2, 1})
            itex(small + QString("/P%1.img").arg(i), 8, 6, quint32(i));
        QFile junk(small + "/p5.img");
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("IM not an image");
        junk.close();
        for (int i : {1, 2})
            QVERIFY(Phantom::writeTiff(big + QString("/q%1.tif").arg(i), 10, 7,
                                       std::vector<double>(70, 100.0 * i), Phantom::TiffLayout()));
        itex(tmp.filePath("i0.img"), 8, 6, 1000);
        itex(tmp.filePath("bg.img"), 10, 7, 10);

        Body b;
        SelectDataFiles *files = b.form()->CTFiles;
        auto *count = files->findChild<QLabel *>("Count");
        auto *i0Path = b.form()->I0ImgSel->findChild<QLineEdit *>("FilePath");
        auto *bgPath = b.form()->BGImgSel->findChild<QLineEdit *>("FilePath");
        const QString red = "background-color: rgb(255, 192, 192);";
        const QString green = "background-color: rgb(211, 255, 241);";
        auto loadDir = [&](const QString &dir, const QString &pattern) {
            QSignalSpy done(&b, &Body::finishedLoadingCTFiles);
            files->chooseDir(dir, {pattern});
            QVERIFY(done.wait(20000));
        };

        QTest::ignoreMessage(QtWarningMsg, qPrintable("File is not ready to access " + small + "/p5.img"));
        QTest::ignoreMessage(QtWarningMsg, qPrintable("Loaded 3 of 4 files, rejected : " + small + "/p5.img"));
        loadDir(small, "*.img");
        QCOMPARE(files->count(), 3);
        QCOMPARE(files->file(0), small + "/P1.img");
        QCOMPARE(files->file(1), small + "/P2.img");
        QCOMPARE(files->file(2), small + "/P10.img");
        QCOMPARE(b.images()->img(2)->valueAt(0, 0), 10.0);
        QCOMPARE(count->styleSheet(), red);
        QVERIFY(count->toolTip().contains(small + "/p5.img"));

        b.form()->I0ImgSel->fileSelected0(tmp.filePath("i0.img"));
        QCOMPARE(i0Path->styleSheet(), green);
        QTest::ignoreMessage(QtWarningMsg, qPrintable("Mismatch image size: (8, 6) != (10, 7) : "
                                                      + tmp.filePath("bg.img")));
        b.form()->BGImgSel->fileSelected0(tmp.filePath("bg.img"));
        QCOMPARE(bgPath->styleSheet(), red);
        QCOMPARE(bgPath->toolTip(), QString("Mismatch image size: (8, 6) != (10, 7)"));

        // A new, bigger series from TIFF files: the size follows it, and now
        // the I0 image is the one that does not fit.
        QTest::ignoreMessage(QtDebugMsg, "Loaded 2 of 2 files");
        QTest::ignoreMessage(QtWarningMsg, qPrintable("Mismatch image size: (10, 7) != (8, 6) : "
                                                      + tmp.filePath("i0.img")));
        loadDir(big, "*.tif");
        QCOMPARE(b.images()->count(), 2);
        QCOMPARE(b.images()->width, 10);
        QCOMPARE(b.images()->height, 7);
        QCOMPARE(b.images()->img(1)->valueAt(9, 6), 200.0);
        // "keep Conds." keeps nothing that no longer fits: the range follows the new size
        QVERIFY(files->keepConditions());
        QCOMPARE(b.form()->procCtrl->getSliceTo(), b.form()->procCtrl->rotAxIsV ? 6 : 9);
        QCOMPARE(count->styleSheet(), QString());
        QCOMPARE(i0Path->styleSheet(), red);
        QCOMPARE(bgPath->styleSheet(), green);

        // "Add" keeps the size: a small image is refused.
        files->form()->AddFiles->setChecked(true);
        QTest::ignoreMessage(QtWarningMsg, qPrintable("Mismatch image size: (10, 7) != (8, 6) : " + small + "/P1.img"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Loaded 0 of 1 files, rejected : "));
        QTest::ignoreMessage(QtWarningMsg, qPrintable("Mismatch image size: (10, 7) != (8, 6) : "
                                                      + tmp.filePath("i0.img")));
        loadDir(small, "P1.img");
        QCOMPARE(b.images()->count(), 2);
        QCOMPARE(count->styleSheet(), red);
    }

    void clicksSetSliceAndCor()
    {
        Body b;
        ProcCtrl *pc = b.form()->procCtrl;
        pc->setRotAxIsV(true);
        load(b, "sample-7100eV-*.img");
        emit b.rawDisp()->selectedAPoint(30.7, 5.2, MouseC::Left);
        QCOMPARE(pc->sliceNo, 5);
        emit b.rawDisp()->selectedAPoint(22.5, 9, MouseC::Right);
        QCOMPARE(pc->cor, 22.5);
        emit b.rawDisp()->selectedAPoint(10, 1, MouseC::LeftCtrl);   // other codes: nothing
        QCOMPARE(pc->sliceNo, 5);
        QCOMPARE(pc->cor, 22.5);
        pc->setRotAxIsV(false);
        emit b.rawDisp()->selectedAPoint(30.7, 5.2, MouseC::Left);
        QCOMPARE(pc->sliceNo, 31);                  // pixel 31 covers 30.5 .. 31.5
    }

    void rawDisplayMouseAndSinogram()
    {
        // real mouse events on the raw display of the real window
        Body b;
        ProcCtrl *pc = b.form()->procCtrl;
        pc->setRotAxIsV(true);
        b.resize(1280, 800);
        b.show();
        QVERIFY(QTest::qWaitForWindowExposed(&b));
        load(b, "sample-7100eV-*.img");
        // the sinogram of the loaded series is drawn: 2 x NP rows
        auto *sgmDisp = b.sinogram()->findChild<ImgDispWPV *>("DispSinogram");
        QVERIFY(sgmDisp);
        QCOMPARE(sgmDisp->image.height(), 2 * NP);
        QVERIFY(sgmDisp->image.width() > 0);

        RawDisp *raw = b.rawDisp();
        QWidget *area = raw->dispA();
        QTRY_VERIFY(area->isVisible() && area->height() > 100);
        const QPoint mid(area->width() / 2, area->height() / 2);
        const int row = ImgDisp::pixelOf(raw->imagePoint(mid.x(), mid.y()).y());
        QVERIFY(row >= 0 && row < H);
        pc->setSliceNo(row == 2 ? 3 : 2);
        const int slice0 = pc->sliceNo;
        // a pan does not pick a slice
        QTest::mousePress(area, Qt::LeftButton, {}, mid);
        QTest::mouseMove(area, mid + QPoint(10, 10));
        QTest::mouseMove(area, mid + QPoint(20, 25));
        QTest::mouseRelease(area, Qt::LeftButton, {}, mid + QPoint(20, 25));
        QCOMPARE(pc->sliceNo, slice0);
        // a click picks the row under the pointer
        raw->resetScale();
        QTest::mouseClick(area, Qt::LeftButton, {}, mid);
        QCOMPARE(pc->sliceNo, row);

        // with the calculation-region box on, a Shift-drag sets the regions
        // (across the axis) and the slice range (along it)
        b.form()->ShowCalcRegion->setChecked(true);
        const QPoint from = mid - QPoint(area->width() / 5, 0);
        const QPoint to = mid + QPoint(area->width() / 5, 0) + QPoint(0, 1);
        const QPointF a = raw->imagePoint(from.x(), from.y());
        const QPointF e = raw->imagePoint(to.x(), to.y());
        QTest::mousePress(area, Qt::LeftButton, Qt::ShiftModifier, from);
        QTest::mouseMove(area, to);
        QTest::mouseRelease(area, Qt::LeftButton, Qt::ShiftModifier, to);
        QVERIFY(raw->selected);
        QCOMPARE(b.ctCalc()->findChild<QLineEdit *>("Crx0")->text(),
                 QString::number(ImgDisp::pixelOf(a.x())));
        QCOMPARE(b.ctCalc()->findChild<QLineEdit *>("Crx1")->text(),
                 QString::number(ImgDisp::pixelOf(e.x())));
        QCOMPARE(pc->getSliceFrom(), ImgDisp::pixelOf(a.y()));
        QCOMPARE(pc->getSliceTo(), ImgDisp::pixelOf(e.y()));
    }

    void fitsALaptopScreen()
    {
        // with both CT-XAFS areas open, the whole window fits 1280 x 800
        Body b;
        b.form()->ShowAdditionalInfo->setChecked(true);
        b.form()->ShowAdditionalAdditionalInfo->setChecked(true);
        QVERIFY(b.form()->AdditionalAdditionalInfo->isVisibleTo(&b));
        b.show();
        QVERIFY(QTest::qWaitForWindowExposed(&b));
        const QSize m = b.minimumSizeHint().expandedTo(b.minimumSize());
        QVERIFY2(m.width() <= 1280 && m.height() <= 800,
                 qPrintable(QString("%1 x %2").arg(m.width()).arg(m.height())));
        // the first size fits the screen it opens on (as far as the minimum allows)
        const QSize avail = b.screen()->availableGeometry().size();
        QVERIFY(b.width() <= qMax(avail.width(), m.width()));
        QVERIFY(b.height() <= qMax(avail.height(), m.height()));
    }

    void fourierSinogramFitsTheScreen()
    {
        // "Gen Fou. Sinogram" adds its picture without widening the window
        // beyond a 1280 x 800 screen.
        Body b;
        load(b, "sample-7100eV-*.img");
        b.resize(1280, 800);
        b.show();
        QVERIFY(QTest::qWaitForWindowExposed(&b));
        b.form()->ImgsTab->setCurrentWidget(b.form()->ImgsTab->widget(1));
        auto *fou = b.sinogram()->findChild<QCheckBox *>("GenFouS");
        fou->click();
        auto *fouDisp = b.sinogram()->findChild<ImgDispWPV *>("DispFouS");
        QVERIFY(fouDisp->isVisible());
        // and shows the transform of the sinogram on screen
        QVERIFY(!fouDisp->image.isNull());
        QTest::qWait(50);
        const QSize m = b.minimumSizeHint().expandedTo(b.minimumSize());
        QVERIFY2(m.width() <= 1280 && m.height() <= 800,
                 qPrintable(QString("%1 x %2").arg(m.width()).arg(m.height())));
        QVERIFY2(b.width() <= 1280 && b.height() <= 800,
                 qPrintable(QString("%1 x %2").arg(b.width()).arg(b.height())));
    }

    void singleAndRangeRuns()
    {
        Body b;
        ProcCtrl *pc = b.form()->procCtrl;
        pc->setRotAxIsV(true);
        load(b, "sample-7100eV-*.img");

        // CT1: one slice on the window's calculator
        QSignalSpy finished(&b, &Body::calcFinished);
        b.form()->CalcCT->click();
        waitRunEnd(b);
        QCOMPARE(finished.count(), 1);
        QVERIFY(!b.ctCalc()->res().empty());
        QVERIFY(!b.form()->CalcSpentT->text().isEmpty());
        QCOMPARE(b.form()->CalcCT->styleSheet(), QString("background-color: rgb(213, 245, 255);"));

        // CT2 over a range with two workers, saving images and data
        const QString out = tmp.filePath("out");
        b.form()->SelectDataSaveDir->fileSelected0(out + "/data/x.dat");
        b.form()->SelectDataSaveDir->setAddTag("E7100");
        b.form()->SelectImageSaveDir->fileSelected0(out + "/img/x.png");
        b.form()->SelectImageSaveDir->setAddTag("E7100");
        b.setAutoSaveData(true);
        b.setAutoSaveImage(true);
        b.form()->SelectCt2->click();
        pc->setAutoExec(true);
        pc->setSliceFrom(2);
        pc->setSliceTo(9);
        pc->setSliceStep(1);
        pc->setThreads(qMin(2, int(b.workers().size())));
        b.form()->CalcCT->click();
        QCOMPARE(b.form()->CalcCT->styleSheet(), QString("background-color: rgb(255, 255, 128);"));
        waitRunEnd(b);
        QCOMPARE(b.form()->ProgPerCent->text(), QString("100.0 %"));
        QTRY_COMPARE_WITH_TIMEOUT(b.ctDisp()->count(), 8, 10000);
        for (int s = 2; s <= 9; ++s) {
            const QString idx = QString::asprintf("%05d", s);
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(out + "/data/x-E7100-" + idx + ".dat"), 10000);
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(out + "/img/x-E7100-" + idx + ".png"), 10000);
        }
        QCOMPARE(b.ctDisp()->images.first().first, 2);
        QCOMPARE(b.ctDisp()->images.last().first, 9);

        // stop in the middle: no slice is handed out after the stop
        pc->setSliceFrom(0);
        pc->setSliceTo(H - 1);
        QSignalSpy ends(&b, &Body::calcFinished);
        b.form()->CalcCT->click();
        QVERIFY(b.isCalculating());
        b.form()->CalcCT->click();
        QVERIFY(!b.isCalculating());
        QCOMPARE(ends.count(), 1);
        // the workers finish what they hold; nothing more arrives afterwards
        QTRY_VERIFY_WITH_TIMEOUT(!b.workers().at(0)->isBusy(), 10000);
        QTest::qWait(200);
        const int shown = b.ctDisp()->count();
        QVERIFY(shown < H);
        QTest::qWait(300);
        QCOMPARE(b.ctDisp()->count(), shown);
        QCOMPARE(ends.count(), 1);
    }

    // A saver that falls behind holds up the workers instead of piling up
    // records: with its thread held, a two-worker run of 12 slices hands it
    // no more than two slices' records per worker and stays in progress.
    // Stopping the run then ends it at once, although workers wait for room;
    // every record handed over is written once the saver goes on. The "CT
    // Images" list keeps large pictures at display size.
    void saverFallingBehind()
    {
        Body b;
        ProcCtrl *pc = b.form()->procCtrl;
        pc->setRotAxIsV(true);
        load(b, "sample-7100eV-*.img");
        if (b.workers().size() < 2)
            QSKIP("needs two workers");
        const QString out = tmp.filePath("behind");
        b.form()->SelectDataSaveDir->fileSelected0(out + "/x.dat");
        b.form()->SelectImageSaveDir->fileSelected0(out + "/x.png");
        b.setAutoSaveData(true);
        b.setAutoSaveImage(true);
        b.form()->SelectCt2->click();
        pc->setAutoExec(true);
        pc->setSliceFrom(0);
        pc->setSliceTo(H - 1);
        pc->setSliceStep(1);
        pc->setThreads(2);
        std::atomic<int> handed{0};
        for (CtCalc2 *w : b.workers()) {
            connect(w, &CtCalc2::saveDataWDiscard, w, [&] { ++handed; }, Qt::DirectConnection);
            connect(w, &CtCalc2::saveImgWDiscard, w, [&] { ++handed; }, Qt::DirectConnection);
        }
        QSemaphore saverGate;
        QSemaphoreReleaser releaseOnExit(saverGate);    // also when a check fails
        QMetaObject::invokeMethod(b.dataSaver(), [&] { saverGate.acquire(); }, Qt::QueuedConnection);

        b.form()->CalcCT->click();
        QTRY_COMPARE_WITH_TIMEOUT(handed.load(), 2 * SaveQueue::perWorker, 10000);
        QTest::qWait(500);      // unbounded, the 12 slices would be done by now
        QCOMPARE(handed.load(), 2 * SaveQueue::perWorker);
        QVERIFY(b.isCalculating());

        QSignalSpy ends(&b, &Body::calcFinished);
        b.form()->CalcCT->click();      // the window does not wait for the saver
        QVERIFY(!b.isCalculating());
        QCOMPARE(ends.count(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(!b.workers().at(0)->isBusy() && !b.workers().at(1)->isBusy(), 10000);
        QVERIFY(handed.load() < 2 * H);
        releaseOnExit.cancel();
        saverGate.release();
        QMetaObject::invokeMethod(b.dataSaver(), [] {}, Qt::BlockingQueuedConnection);
        QCOMPARE(b.dataSaver()->failures(), 0);
        QCOMPARE(b.dataSaver()->filesWritten(), handed.load());
        QCOMPARE(QDir(out).entryList(QDir::Files).size(), handed.load());

        QImage big(1024, 512, QImage::Format_Grayscale8);
        big.fill(200);
        b.ctDisp()->addImg(H, big);
        const QImage kept = b.ctDisp()->images.last().second;
        QCOMPARE(kept.size(), QSize(400, 200));
        QCOMPARE(kept.format(), QImage::Format_Grayscale8);
        QCOMPARE(qGray(kept.pixel(100, 100)), 200);
    }

    void loadingWaitsForRun()
    {
        Body b;
        ProcCtrl *pc = b.form()->procCtrl;
        pc->setRotAxIsV(true);
        load(b, "sample-7100eV-*.img");
        b.form()->SelectCt2->click();
        pc->setAutoExec(true);
        pc->setSliceFrom(0);
        pc->setSliceTo(H - 1);
        b.form()->CalcCT->click();
        QVERIFY(b.isCalculating());
        // what the collection holds when the run ends
        QString atEnd;
        int countAtEnd = 0;
        connect(&b, &Body::calcFinished, this, [&] {
            atEnd = b.images()->img(0)->fileName;
            countAtEnd = b.images()->count();
        });
        QSignalSpy done(&b, &Body::finishedLoadingCTFiles);
        b.form()->CTFiles->chooseDir(dataDir, {"sample-7125eV-*.img"});
        QCOMPARE(b.images()->count(), NP);              // untouched during the run
        waitRunEnd(b);
        QCOMPARE(countAtEnd, NP);
        QCOMPARE(atEnd, dataDir + "/sample-7100eV-00000.img");
        QVERIFY(done.count() == 1 || done.wait(20000));
        QCOMPARE(b.images()->img(0)->fileName, dataDir + "/sample-7125eV-00000.img");
    }

    // "Calc" during a projection-by-projection CT1 run ends the chain after
    // the projection in progress; the window reports the end once.
    void stopEndsCt1Chain()
    {
        Body b;
        b.form()->procCtrl->setRotAxIsV(true);
        load(b, "sample-7100eV-*.img");
        b.ctCalc()->findChild<QCheckBox *>("CalcAtOnce")->setChecked(false);
        QSignalSpy ends(&b, &Body::calcFinished);
        QSignalSpy ones(b.ctCalc(), &CtCalc::finishedCalcOne);
        connect(b.ctCalc(), &CtCalc::finishedCalcOne, &b, [&] {
            if (ones.count() == 3)
                b.form()->CalcCT->click();
        });
        b.form()->CalcCT->click();
        QTRY_COMPARE_WITH_TIMEOUT(ends.count(), 1, 20000);
        QTest::qWait(300);
        QCOMPARE(ones.count(), 3);
        QCOMPARE(ends.count(), 1);
        QVERIFY(!b.isCalculating() && !b.ctCalc()->isRunning());
        QCOMPARE(b.form()->CalcCT->styleSheet(), QString("background-color: rgb(213, 245, 255);"));
    }

    // A stopped range run is over only when its workers are idle; a series,
    // an I0 and a BG asked for before then arrive afterwards.
    void nothingChangesUnderAWorker()
    {
        Body b;
        Ui::Body *ui = b.form();
        ProcCtrl *pc = ui->procCtrl;
        pc->setRotAxIsV(true);
        load(b, "sample-7100eV-*.img");
        ui->I0ImgSel->fileSelected0(dataDir + "/ref/i0-7100eV-00000.img");
        ImgData *i0 = ui->I0ImgSel->img;
        QVERIFY(i0);
        ui->SelectCt2->click();
        pc->setAutoExec(true);
        pc->setSliceFrom(0);
        pc->setSliceTo(H - 1);
        pc->setThreads(1);
        WorkerGate gate(b.workers().at(0));
        QSignalSpy ends(&b, &Body::calcFinished);
        ui->CalcCT->click();
        QVERIFY(b.isCalculating());
        ui->CalcCT->click();                        // stop while slice 0 is in work
        QVERIFY(!b.isCalculating());
        QCOMPARE(ends.count(), 1);
        QVERIFY(b.isEnding());

        QSignalSpy loaded(&b, &Body::finishedLoadingCTFiles);
        ui->CTFiles->chooseDir(dataDir, {"sample-7125eV-*.img"});
        ui->I0ImgSel->clear0();
        ui->BGImgSel->fileSelected0(dataDir + "/ref/bg.img");
        ui->CalcCT->click();                        // a new run waits too
        QTest::qWait(200);
        QCOMPARE(b.images()->count(), NP);
        QCOMPARE(b.images()->img(0)->fileName, dataDir + "/sample-7100eV-00000.img");
        QCOMPARE(ui->I0ImgSel->img, i0);
        QVERIFY(!ui->BGImgSel->img);
        QVERIFY(!b.isCalculating());

        gate.release();
        // the waiting run comes first and the series loads after it
        QTRY_COMPARE_WITH_TIMEOUT(ends.count(), 2, 30000);
        QVERIFY(!ui->I0ImgSel->img);
        QVERIFY(ui->BGImgSel->img);
        QVERIFY(loaded.count() == 1 || loaded.wait(20000));
        QCOMPARE(b.images()->img(0)->fileName, dataDir + "/sample-7125eV-00000.img");
        QVERIFY(!b.isEnding() && !b.isCalculating());
        QCOMPARE(ends.count(), 2);
    }

    // An angle offset whose angle is no number is refused when a run starts,
    // under every back-projection kernel, typed or commanded.
    void angleOffsetRefused()
    {
        Body b;
        Ui::Body *ui = b.form();
        ui->procCtrl->setRotAxIsV(true);
        load(b, "sample-7100eV-*.img");
        auto *field = ui->procCtrl->findChild<QLineEdit *>("AngleOffset");
        QVERIFY(field);
        for (auto v : {BackProjectKernel::Portable, BackProjectKernel::Avx2, BackProjectKernel::Avx512}) {
            if (!BackProjectKernel::force(v))
                continue;
            for (const QString &text : {QString("1e308"), QString("inf"), QString("nan")}) {
                for (QRadioButton *calc : {ui->SelectCt1, ui->SelectCt2}) {
                    if (text == "1e308") {
                        b.batchExCmd(BatchCmd::parse("ct_angle_offset 1e308"));
                    } else {
                        field->clear();
                        QTest::keyClicks(field, text);
                    }
                    calc->click();
                    QTest::ignoreMessage(QtWarningMsg, qPrintable("Angle offset refused : " + field->text()));
                    QSignalSpy ends(&b, &Body::calcFinished);
                    ui->CalcCT->click();
                    QVERIFY(ends.count() == 1 || ends.wait(20000));
                    QCOMPARE(b.calcConds().angleOffset, 0.0);
                }
                const std::vector<double> &res = b.ctCalc()->res();
                QVERIFY(!res.empty());
                for (double r : res)
                    QVERIFY(std::isfinite(r));
            }
        }
        BackProjectKernel::force(BackProjectKernel::Auto);
    }

    // With both "Calc from XAFS file" boxes off, the ion-chamber values of
    // the two I0 panels scale the I0 image: every sample of a sinogram is
    // ln((I0 - BG) * I0raw / I0i0 / (I - BG)), evaluated here from the files'
    // own pixels, in the Sinogram panel's record and in a worker's. A value
    // of 0 is refused (the command fails, the field turns red) and nothing
    // is scaled; a box checked again scales nothing.
    void ionChamberRatioScalesTheI0()
    {
        Body b;
        Ui::Body *ui = b.form();
        ProcCtrl *pc = ui->procCtrl;
        pc->setRotAxIsV(true);
        load(b, "sample-7100eV-*.img");
        const auto ran = [&b](const QString &line) {
            b.batch()->ok = true;
            b.batchExCmd(BatchCmd::parse(line));
            return b.batch()->ok.load();
        };
        const QString i0File = dataDir + "/ref/i0-7100eV-00000.img", bgFile = dataDir + "/ref/bg.img";
        QVERIFY(ran("i0_load " + i0File));
        QVERIFY(ran("bg_load " + bgFile));
        const int slice = 5, cor = 23;      // a whole CoR: every sample is a pixel
        pc->setSliceNo(slice);
        pc->setCor(cor);
        const auto rowOf = [slice](const QString &path) {
            std::unique_ptr<ImgData> d(ImgData::newImgData(ImgData::fileType(path)));
            d->fileName = path;
            d->open();
            std::vector<double> r(std::size_t(d->width));
            d->readRow(slice, r.data());
            return r;
        };
        const std::vector<double> i0 = rowOf(i0File), bg = rowOf(bgFile);
        std::vector<std::vector<double>> proj;
        for (int i = 0; i < NP; ++i)
            proj.push_back(rowOf(b.images()->img(i)->fileName));
        const int half = qMin(cor, W - cor - 1);
        const auto matches = [&](const HSgm &h, double r) {
            if (h.height != NP || h.width != 2 * half - 1)
                return false;
            for (int i = 0; i < NP; ++i)
                for (int j = 0; j < h.width; ++j) {
                    const std::size_t x = std::size_t(cor - (half - 1) + j);
                    if (!(i0[x] > bg[x] && proj[i][x] > bg[x]))
                        return false;
                    if (h.sgm[std::size_t(i) * h.width + j] != std::log((i0[x] - bg[x]) * r / (proj[i][x] - bg[x])))
                        return false;
                }
            return true;
        };
        const HSgm &panel = b.sinogram()->hSgm;

        // the boxes checked: the values change nothing
        QVERIFY(ran("add_inf_raw_i0_val 0.9"));
        QVERIFY(ran("add_inf_i0_i0_val 1.2"));
        QVERIFY(ran("add_inf_raw_i0_from_xafs 0"));
        QVERIFY(matches(panel, 1.0));
        // both off: the panel's sinogram is rebuilt scaled, and so is a worker's
        QVERIFY(ran("add_inf_i0_i0_from_xafs 0"));
        const double r = 0.9 / 1.2;
        QVERIFY(matches(panel, r));
        ui->SelectCt2->click();
        pc->setAutoExec(false);
        ui->CalcCT->click();
        waitRunEnd(b);
        QTRY_VERIFY_WITH_TIMEOUT(!b.workers().first()->isBusy(), 10000);
        QVERIFY(matches(b.workers().first()->hSgm, r));

        // a value of 0 is refused: nothing is scaled
        auto *field = ui->I0ofI0Image_->findChild<QLineEdit *>("I0Val");
        QTest::ignoreMessage(QtWarningMsg, "I0 scaling refused, the I0 image is not scaled : "
                                           "I0 of I0 Image is not a positive number : \"0\"");
        QVERIFY(!ran("add_inf_i0_i0_val 0"));
        QCOMPARE(field->styleSheet(), QString(StateStyle::failed));
        QVERIFY(matches(panel, 1.0));
        QVERIFY(ran("add_inf_i0_i0_val 1.2"));
        QVERIFY(field->styleSheet().isEmpty());
        QVERIFY(matches(panel, r));
        QVERIFY(ran("add_inf_raw_i0_from_xafs 1"));
        QVERIFY(matches(panel, 1.0));
    }

    void failuresShowInTheWindow()
    {
        // What goes wrong is named in the status bar and kept in the Log,
        // and a run shows how it ended.
        Body b;
        Ui::Body *ui = b.form();
        QLabel *status = b.lastFailureLabel();
        ProcCtrl *pc = ui->procCtrl;
        pc->setRotAxIsV(true);
        load(b, "sample-7100eV-*.img");
        auto calcField = [&](const char *name) { return b.ctCalc()->findChild<QLineEdit *>(name)->text(); };
        auto clock = [](const QString &t) { return QTime::fromString(t, "hh:mm:ss.zzz"); };

        // a CT1 run: full progress; a new run shows no time spent until it ends
        ui->SelectCt1->click();
        ui->CalcCT->click();
        QVERIFY(b.isCalculating());
        QCOMPARE(ui->CalcSpentT->text(), QString("--"));
        QCOMPARE(calcField("SpentT"), QString("--"));
        waitRunEnd(b);
        QCOMPARE(ui->ProgPerCent->text(), QString("100.0 %"));
        QVERIFY(calcField("SpentT").toDouble() >= 0 && calcField("SpentT") != "--");

        // CoR far outside the image: refused, and End and Spent belong to it
        pc->setCor(2000);
        QTest::qWait(5);
        ui->CalcCT->click();
        waitRunEnd(b);
        QCOMPARE(ui->ProgPerCent->text(), QString("Refused"));
        QCOMPARE(ui->ProgPerCent->styleSheet(), QString(StateStyle::failed));
        QVERIFY2(status->text().startsWith("Slice 6 not reconstructed : CoR 2000 outside the image"),
                 qPrintable(status->text()));
        QCOMPARE(status->styleSheet(), QString(StateStyle::failed));
        const QTime start = clock(calcField("StartT")), end = clock(calcField("EndT"));
        QVERIFY(start.isValid() && end.isValid());
        QVERIFY2(start <= end, qPrintable(calcField("StartT") + " " + calcField("EndT")));
        QCOMPARE(calcField("SpentT").toDouble(), start.msecsTo(end) / 1000.0);
        // the next good run is no longer shown refused
        pc->setCor(W * 0.5);
        ui->CalcCT->click();
        waitRunEnd(b);
        QCOMPARE(ui->ProgPerCent->text(), QString("100.0 %"));
        QCOMPARE(ui->ProgPerCent->styleSheet(), QString(StateStyle::readOnly));

        // a result folder that is a file: named by the window and by the
        // saver's thread, whose line reaches the Log too
        QFile plain(tmp.filePath("plainfile"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        ui->SelectDataSaveDir->fileSelected0(plain.fileName() + "/x.dat");
        b.setAutoSaveData(true);
        ui->SelectCt2->click();
        ui->CalcCT->click();
        QVERIFY2(status->text().startsWith("Can't make folder : "), qPrintable(status->text()));
        waitRunEnd(b);
        LogDock *log = b.logDock();
        QTRY_VERIFY_WITH_TIMEOUT(log->text().contains(QString(LogDock::failureMark) + "Can't write data file : "), 10000);
        b.setAutoSaveData(false);

        // a setup saved into a folder that does not exist
        b.saveSetup(tmp.filePath("missing/folder/setup.cfg"));
        QVERIFY2(status->text().startsWith("can't open save setup file : "), qPrintable(status->text()));

        // Exec 2DA with no viewer to hear it
        b.orvexLink()->doDisconnect();
        QTRY_VERIFY(!b.orvexLink()->isLinked());
        ui->Exec2DA->click();
        QVERIFY2(status->text().contains("2dOrvex not connected"), qPrintable(status->text()));

        // every line is in the Log, warnings marked; the Log opens from the status bar
        const QString all = log->text();
        QVERIFY(all.contains("Loaded 60 of 60 files"));
        QVERIFY(all.contains(QString(LogDock::failureMark) + "Slice 6 not reconstructed"));
        QVERIFY(all.contains(QString(LogDock::failureMark) + "2dOrvex not connected"));
        QVERIFY(!log->isVisible());
        b.show();
        QVERIFY(QTest::qWaitForWindowExposed(&b));
        QVERIFY(!log->isVisible());
        b.findChild<QToolButton *>("ShowLog")->click();
        QVERIFY(log->isVisible());
    }

    void viewerWorkflow()
    {
        // earlier windows' connections are gone with them
        while (peer.hasPendingConnections())
            delete peer.nextPendingConnection();
        Body b;
        QTcpSocket *s = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT(peer.hasPendingConnections(), 5000);
        s = peer.nextPendingConnection();
        QVERIFY(s);
        QByteArray got;
        auto readLine = [&]() -> QByteArray {
            // the window's side runs in this thread's event loop: keep it turning
            QElapsedTimer t;
            t.start();
            while (!got.contains('\n') && t.elapsed() < 5000) {
                QTest::qWait(5);
                got += s->readAll();
            }
            if (!got.contains('\n'))
                return QByteArray();
            const int nl = got.indexOf('\n');
            const QByteArray line = got.left(nl);
            got.remove(0, nl + 1);
            return line;
        };
        QCOMPARE(readLine(), QByteArray("myName Tomix"));

        // data files of slices 10, 15, 20 where the viewer looks for them
        const QString out = tmp.filePath("viewer");
        QDir().mkpath(out);
        for (int sl : {10, 15, 20}) {
            QFile f(out + QString::asprintf("/x-E1-%05d.dat", sl));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        b.form()->SelectDataSaveDir->fileSelected0(out + "/x.dat");
        ProcCtrl *pc = b.form()->procCtrl;
        pc->setSliceFrom(10);
        pc->setSliceTo(20);
        pc->setSliceStep(5);

        auto reply = [&](const QByteArray &busy, const QByteArray &cmd) {
            s->write("ISBUSY " + busy + " " + cmd + "\n");
            s->flush();
        };
        b.form()->Cont2DA->click();
        QCOMPARE(b.form()->Cont2DA->styleSheet(), QString("background-color: rgb(255, 255, 128);"));
        for (int sl : {10, 15, 20}) {
            const QByteArray load = readLine();
            QVERIFY2(load.startsWith("LOAD_I1_FILES new "), load.left(300).constData());
            QVERIFY(load.contains(QString::asprintf("x-E1-%05d.dat", sl).toUtf8()));
            QCOMPARE(b.orxStage(), 1);
            reply("1", "LOAD_I1_FILES");
            QTRY_COMPARE(b.form()->ORXIsBusy->styleSheet(), QString("background-color: rgb(255, 192, 192);"));
            reply("0", "LOAD_I1_FILES");
            QCOMPARE(readLine(), QString::asprintf("ANALYZER_EXEC_2DA %05d", sl).toUtf8());
            QCOMPARE(b.orxStage(), 2);
            reply("1", "ANALYZER_EXEC_2DA");
            reply("0", "ANALYZER_EXEC_2DA");
        }
        QTRY_VERIFY(!b.orxContinuous());
        QCOMPARE(b.orxStage(), 0);
        QCOMPARE(b.form()->Cont2DA->styleSheet(), QString("background-color: rgb(213, 245, 255);"));
        QCOMPARE(b.form()->ORXIsBusy->styleSheet(), QString("background-color: rgb(211, 255, 241);"));
        QTest::qWait(300);
        QVERIFY(s->readAll().isEmpty() && got.isEmpty());   // nothing more was asked
    }

    void closingEndsTheProgram()
    {
        auto *b = new Body;
        QSignalSpy fin(b, &Body::finishing);
        b->show();
        b->close();
        QCOMPARE(fin.count(), 1);
        delete b;                                       // threads joined, nothing left running
    }
};

QTEST_MAIN(TestBody)
#include "TestBody.moc"
