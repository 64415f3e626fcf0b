// The CT-XAFS sequencer on a thread of its own, driven by a stand-in for the
// main window that talks to it by signals only: first set, loaded, calculate,
// next set ... until the sets run out.
#include "Phantom.h"
#include "SelectDataDir.h"
#include "XafsBatch.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

// Plays the main window's part: loads the chosen set (pretends to), runs a
// calculation of calcMs milliseconds, and announces its own stages on the
// sequencer's clock.
class FakeWindow : public QObject
{
    Q_OBJECT
public:
    FakeWindow(XafsBatch *xb, SelectDataDir *dir) : xb(xb), dir(dir) {}

    XafsBatch *xb;
    SelectDataDir *dir;
    int from = 1, to = 1;
    int calcMs = 20;
    bool stopDuringCalc = false;
    QStringList stages;
    QList<qlonglong> deltas;
    QList<double> loadedEnergies;
    int calculations = 0;
    int nextSets = 0;
    int finishes = 0;
    bool active = false;

signals:
    void stage(const QString &msg, qlonglong dEt);
    void setFirstSet(int firstIdx);
    void setNextSet(int lastIdx);
    void finishedLoadingCTFiles();
    void calcFinished();
    void pressSeqCalc();
    void sequenceEnded();

public slots:
    void noticedStage(const QString &msg, qlonglong dEt)
    {
        QVERIFY(QThread::currentThread() == thread());
        stages << msg;
        deltas << dEt;
    }
    void setFirstImageSet()
    {
        emit stage("Loading first Data Set", xb->markStage());
        emit setFirstSet(from - 1);
    }
    void setNextImageSet()
    {
        ++nextSets;
        emit stage("Loading next Data Set", xb->markStage());
        emit setNextSet(to - 1);
    }
    void selectedFileInfoList(const QFileInfoList &files)
    {
        QVERIFY(!files.isEmpty());
        loadedEnergies << dir->currentEnergy();
        QTimer::singleShot(0, this, &FakeWindow::finishedLoadingCTFiles);
    }
    void startCalcCt()
    {
        ++calculations;
        if (stopDuringCalc)
            emit pressSeqCalc();
        QTimer::singleShot(calcMs, Qt::PreciseTimer, this, &FakeWindow::calcFinished);
    }
    void startingSeqCalc() { active = true; }
    void finishedSeqCalc()
    {
        active = false;
        ++finishes;
        emit sequenceEnded();
    }
};

class TestXafsBatch : public QObject
{
    Q_OBJECT
    QTemporaryDir tmp;
    QString dataDir;

    struct Rig {
        QThread thread;
        XafsBatch *xb = new XafsBatch;
        SelectDataDir dir;
        FakeWindow win{xb, &dir};

        Rig(const QString &data)
        {
            dir.setDataDir(data);
            QObject::connect(xb, &XafsBatch::stage, &win, &FakeWindow::noticedStage);
            QObject::connect(&win, &FakeWindow::stage, &win, &FakeWindow::noticedStage);
            QObject::connect(&win, &FakeWindow::pressSeqCalc, xb, &XafsBatch::start);
            QObject::connect(xb, &XafsBatch::setFirstImageSet, &win, &FakeWindow::setFirstImageSet);
            QObject::connect(&win, &FakeWindow::setFirstSet, &dir, &SelectDataDir::setFirstSet);
            QObject::connect(&dir, &SelectDataDir::selectedFileInfoList, &win,
                             &FakeWindow::selectedFileInfoList);
            QObject::connect(&win, &FakeWindow::finishedLoadingCTFiles, xb, &XafsBatch::loadedDataSet);
            QObject::connect(xb, &XafsBatch::execCalculation, &win, &FakeWindow::startCalcCt);
            QObject::connect(&win, &FakeWindow::calcFinished, xb, &XafsBatch::calcFinished);
            QObject::connect(xb, &XafsBatch::setNextImageSet, &win, &FakeWindow::setNextImageSet);
            QObject::connect(&win, &FakeWindow::setNextSet, &dir, &SelectDataDir::setNextSet);
            QObject::connect(&dir, &SelectDataDir::noMoreSets, xb, &XafsBatch::noMoreSets);
            QObject::connect(xb, &XafsBatch::starting, &win, &FakeWindow::startingSeqCalc);
            QObject::connect(xb, &XafsBatch::finished, &win, &FakeWindow::finishedSeqCalc);
            xb->moveToThread(&thread);
            thread.start();
        }
        ~Rig()
        {
            thread.quit();
            thread.wait();
            delete xb;
        }
        // Presses the sequence button and waits until the sequence has ended.
        bool run()
        {
            // spies only on window-thread objects: the sequencer's signals
            // reach them queued
            QSignalSpy done(&win, &FakeWindow::sequenceEnded);
            emit win.pressSeqCalc();
            return done.wait(10000);
        }
    };

private slots:
    void initTestCase()
    {
        dataDir = tmp.filePath("xafs");
        Phantom::Options o;
        o.width = 8;
        o.height = 4;
        o.projections = 2;
        o.energies = {7100, 7112.5, 7150};
        QString err;
        QVERIFY2(Phantom(o).writeSeries(dataDir, &err), qPrintable(err));
    }

    void wholeSequence()
    {
        Rig r(dataDir);
        QCOMPARE(r.xb->elapsed(), 0);
        QVERIFY(!r.xb->isRunning());
        r.win.from = 1;
        r.win.to = 3;
        r.win.calcMs = 30;
        QElapsedTimer wall;
        wall.start();
        QVERIFY(r.run());
        const qint64 wallMs = wall.elapsed();

        const QStringList cycle{"Calculating", "Finished Calc.", "Loading next Data Set"};
        QCOMPARE(r.win.stages, QStringList({"Data Loading", "Loading first Data Set"})
                                   + cycle + cycle + cycle + QStringList{"Finished"});
        QCOMPARE(r.win.loadedEnergies, QList<double>({7100, 7112.5, 7150}));
        QCOMPARE(r.win.calculations, 3);
        QVERIFY(!r.win.active);
        QVERIFY(!r.xb->isRunning());

        // one clock for both kinds of stage: the steps add up to the last stage
        qlonglong sum = 0;
        for (int i = 0; i < r.win.deltas.size(); ++i) {
            QVERIFY(r.win.deltas.at(i) >= 0);
            if (r.win.stages.at(i) == "Finished Calc.")
                QVERIFY2(r.win.deltas.at(i) >= 25, "a calculation takes its time");
            sum += r.win.deltas.at(i);
        }
        QCOMPARE(sum, r.xb->lastStage());
        QVERIFY(r.xb->lastStage() >= 90);
        QVERIFY(r.xb->lastStage() <= wallMs + 1);            // whole milliseconds both
        QVERIFY(r.xb->elapsed() >= r.xb->lastStage());
    }

    void partOfTheSets()
    {
        Rig r(dataDir);
        r.win.from = 2;
        r.win.to = 2;
        QVERIFY(r.run());
        QCOMPARE(r.win.loadedEnergies, QList<double>({7112.5}));
        QCOMPARE(r.win.stages.last(), QString("Finished"));

        // To beyond the list stops at the last set; a new start starts afresh
        r.win.stages.clear();
        r.win.loadedEnergies.clear();
        r.win.deltas.clear();
        r.win.to = 10;
        QVERIFY(r.run());
        QCOMPARE(r.win.loadedEnergies, QList<double>({7112.5, 7150}));
        QCOMPARE(r.win.stages.first(), QString("Data Loading"));
        QVERIFY(r.win.deltas.first() <= 50);
        qlonglong sum = 0;
        for (qlonglong d : r.win.deltas)
            sum += d;
        QCOMPARE(sum, r.xb->lastStage());                   // counted from the new start
    }

    void firstBeyondTheList()
    {
        Rig r(dataDir);
        r.win.from = 4;
        r.win.to = 5;
        QVERIFY(r.run());
        QCOMPARE(r.win.stages, QStringList({"Data Loading", "Loading first Data Set", "Finished"}));
        QCOMPARE(r.win.calculations, 0);
    }

    void stoppedByPressingAgain()
    {
        Rig r(dataDir);
        r.win.from = 1;
        r.win.to = 3;
        r.win.stopDuringCalc = true;
        QVERIFY(r.run());
        QCOMPARE(r.win.calculations, 1);
        // the run in progress still ends, and finds the sequencer idle
        QTest::qWait(r.win.calcMs * 4);
        QCOMPARE(r.win.nextSets, 0);
        QCOMPARE(r.win.finishes, 1);
        QCOMPARE(r.win.stages, QStringList({"Data Loading", "Loading first Data Set", "Calculating",
                                            "Finished"}));
        QCOMPARE(r.win.loadedEnergies.size(), 1);
    }

    void idleIgnoresLoadsAndRuns()
    {
        Rig r(dataDir);
        emit r.win.finishedLoadingCTFiles();
        emit r.win.calcFinished();
        r.dir.setFirstSet(7);                               // noMoreSets
        // wait until the sequencer's thread has handled all of the above,
        // then take in whatever it may have sent back
        QMetaObject::invokeMethod(r.xb, [] {}, Qt::BlockingQueuedConnection);
        QCoreApplication::processEvents();
        QCOMPARE(r.win.stages, QStringList());
        QCOMPARE(r.win.calculations, 0);
        QCOMPARE(r.win.nextSets, 0);
        QCOMPARE(r.win.finishes, 0);
        QVERIFY(!r.xb->isRunning());
        QCOMPARE(r.xb->elapsed(), 0);
        QCOMPARE(r.xb->lastStage(), 0);
    }
};

QTEST_MAIN(TestXafsBatch)
#include "TestXafsBatch.moc"
