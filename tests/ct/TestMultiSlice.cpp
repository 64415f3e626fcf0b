// Multi-slice workers on threads of their own, driven the way the main
// window drives them (range rule, addressed startCt, results by queued
// signal), with the saver on its own thread writing into a temporary
// folder; the addressed protocol and the per-slice signals of one worker;
// the CT image list.
#include "CalcConds.h"
#include "ColorBar.h"
#include "CtCalc2.h"
#include "CtCalc2Ui.h"
#include "CtCore.h"
#include "CtDisp.h"
#include "DataFileText.h"
#include "DataSaver.h"
#include "ImgDatas.h"
#include "ImgDispWPV.h"
#include "Phantom.h"
#include "ReconMethod.h"
#include "SavingData.h"
#include "SavingImg.h"
#include "SgmRange.h"
#include "Sinogram.h"
#include "SliceDispatcher.h"
#include "ui_CtCalc.h"
#include "ui_CtDisp.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <memory>

// Plays the main window: dispatches slices by the range rule whenever a
// worker reports a finished slice.
class Window : public QObject
{
    Q_OBJECT
public:
    CalcConds conds;
    QList<CtCalc2 *> workers;
    bool calculating = false;
    bool showRes = true;
    int runsEnded = 0;
    QString progress;
    QList<int> dispatched;

    void startRun()
    {
        calculating = true;
        progress = SliceDispatcher::progressText(0);
        SliceDispatcher::start(conds);
        execMultiCtCalc();
    }

signals:
    void startCt(CtCalc2 *ctc2, bool rotAxIsV, double cor, int slice, bool genImg);

public slots:
    void execMultiCtCalc()
    {
        if (!calculating)
            return;
        const SliceDispatcher::Outcome o = SliceDispatcher::dispatch(
            conds, int(workers.size()), [this](int i) { return workers[i]->isBusy(); },
            [this](int i, int s) {
                dispatched << s;
                workers[i]->reserve();
                emit startCt(workers[i], conds.rotAxIsV, conds.cor, s, showRes);
            });
        progress = SliceDispatcher::progressText(o.percent);
        if (o.ended) {
            calculating = false;
            ++runsEnded;
        }
    }
};

class TestMultiSlice : public QObject
{
    Q_OBJECT

    QTemporaryDir dataDir;
    std::unique_ptr<Phantom> phantom;
    ImgDatas datas;
    std::unique_ptr<Sinogram> sino;
    double cor = 0;
    int N = 0, n = 0;

    static QByteArray readAll(const QString &file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // The single-slice reconstruction of a slice with the same core.
    void reference(int slice, const CtCore::Region &r, CtCore &core,
                   const RampFilter &filter = RampFilter())
    {
        HSgm h;
        QVERIFY(sino->genSinogram0(&h, true, cor, slice));
        core.setFilter(filter);
        QVERIFY(core.reconstruct(h, 0, r));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dataDir.isValid());
        Phantom::Options o;
        o.width = 64;
        o.height = 8;
        o.projections = 36;
        phantom = std::make_unique<Phantom>(Phantom::standard(o));
        QString err;
        QVERIFY2(phantom->writeSeries(dataDir.path(), &err), qPrintable(err));
        const QStringList files = QDir(dataDir.path()).entryList({"*.img"}, QDir::Files, QDir::Name);
        QCOMPARE(files.size(), 36);
        for (const QString &f : files)
            QVERIFY(datas.add(dataDir.filePath(f)));
        sino = std::make_unique<Sinogram>();
        sino->setImgDatas(&datas);
        cor = phantom->cor();
        N = CtCore::fftLengthFor(SgmRange(true, o.width, cor).width);
        n = 36;
        QCOMPARE(N, 60);
    }

    // Slices 1..6 over two workers on their own threads; results shown in
    // CtDisp in slice order and saved twice (energy and slice folders).
    void rangeOverTwoThreads()
    {
        QTemporaryDir out;
        const QString imgDir = out.filePath("img"), datDir = out.filePath("dat");
        QVERIFY(QDir().mkpath(imgDir) && QDir().mkpath(datDir));

        Window win;
        win.conds.rotAxIsV = true;
        win.conds.cor = cor;
        win.conds.rangeMode = true;
        win.conds.doCt2 = true;
        win.conds.sliceFrom = 1;
        win.conds.sliceTo = 6;
        win.conds.sliceStep = 1;
        win.conds.threads = 2;
        win.conds.lowerLimit = -1e30;
        win.conds.upperLimit = 1e30;
        win.conds.dataOffset = 0.125;
        // a filter other than the default reaches every worker with its slices
        win.conds.filter.window = RampFilter::Window::Hann;
        win.conds.filter.cutoff = 0.4;
        win.conds.filter.padding = RampFilter::Padding::Edge;

        CtDisp ctDisp;
        DataSaver saver;
        QThread saverThread;
        saver.moveToThread(&saverThread);
        saverThread.start();
        saver.setSubFolders(true, true, true);

        QList<QThread *> threads;
        QList<CtCalc2Ui *> panels;
        for (int i = 0; i < 3; ++i) {   // a third worker stays unused (threads 2)
            auto *w = new CtCalc2(&win.conds);
            auto *p = new CtCalc2Ui;
            w->setUi(p);
            w->setSinogram(sino.get());
            auto *t = new QThread;
            w->moveToThread(t);
            t->start();
            connect(&win, &Window::startCt, w,
                    qOverload<CtCalc2 *, bool, double, int, bool>(&CtCalc2::startCt));
            connect(w, &CtCalc2::calcFinished, &win, &Window::execMultiCtCalc);
            connect(w, &CtCalc2::ctImage, &ctDisp, &CtDisp::addImg);
            connect(w, &CtCalc2::saveDataWDiscard, &saver, &DataSaver::saveDataWDiscard);
            connect(w, &CtCalc2::saveImgWDiscard, &saver, &DataSaver::saveImgWDiscard);
            w->setSaveImage(true, imgDir, "", "E7112");
            w->setSaveData(true, datDir, "s", "E7112");
            w->prepare(N, n, win.conds.filter);
            win.workers << w;
            panels << p;
            threads << t;
        }

        win.startRun();
        QTRY_COMPARE_WITH_TIMEOUT(win.runsEnded, 1, 120000);
        // every record was posted before its slice finished: flush the saver
        QMetaObject::invokeMethod(&saver, [] {}, Qt::BlockingQueuedConnection);
        QCoreApplication::processEvents();

        QCOMPARE(win.dispatched, QList<int>({1, 2, 3, 4, 5, 6}));
        QCOMPARE(win.progress, QString("100.0 %"));
        QCOMPARE(saver.failures(), 0);
        QVERIFY(!win.workers[2]->startTime.isValid());

        const CtCore::Region all{0, 0, double(N), double(N)};
        for (int s = 1; s <= 6; ++s) {
            const QString idx = QString::asprintf("%05d", s);
            CtCore ref;
            reference(s, all, ref, win.conds.filter);
            QVERIFY(ref.resultMax() - ref.resultMin() > 0.01);     // an object (no I0: the values sit on an offset)
            const QByteArray want = DataFileText::make(ref.result().data(), ref.size(), all, -1e30, 1e30, 0.125);
            const QByteArray a = readAll(datDir + "/E7112/s-E7112-" + idx + ".dat");
            const QByteArray b = readAll(datDir + "/" + idx + "/s-E7112-" + idx + ".dat");
            QVERIFY(a == want);
            QVERIFY(b == want);
            const QList<QByteArray> lines = a.split('\n');
            QCOMPARE(lines[0], QByteArray("#TOMX-CTImg"));
            QCOMPARE(lines[5], QByteArray("# sx,sy, ex,ey   : 0\t0\t59\t59"));
            QCOMPARE(lines.size(), 6 + N * N + 1);
            // a pixel near the centre, read back as a number
            const QList<QByteArray> px = lines[6 + 30 * N + 31].split('\t');
            QCOMPARE(px[0], QByteArray("31"));
            QCOMPARE(px[1], QByteArray("30"));
            QVERIFY(qAbs(px[2].toDouble() - (ref.resAt(30, 31) + 0.125)) < 1e-5 * (1 + qAbs(ref.resAt(30, 31))));

            for (const QString &dir : {imgDir + "/E7112", imgDir + "/" + idx}) {
                const QImage img(dir + "/E7112-" + idx + ".png");
                QCOMPARE(img.size(), QSize(N, N));
            }
        }
        QVERIFY(!QFileInfo::exists(datDir + "/s-E7112-00001.dat"));

        QCOMPARE(ctDisp.count(), 6);
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(ctDisp.images[i].first, i + 1);
            QCOMPARE(ctDisp.images[i].second.size(), QSize(N, N));
        }
        QCOMPARE(ctDisp.shownIndex(), 5);

        for (int i = 0; i < 2; ++i) {
            QVERIFY(panels[i]->regionSet);
            QCOMPARE(panels[i]->ui->Crx1->text(), QString("60"));
            QVERIFY(!panels[i]->ui->DispCt->image.isNull());
            QVERIFY(!panels[i]->ui->StartT->text().isEmpty());
        }

        for (int i = 0; i < 3; ++i) {
            threads[i]->quit();
            threads[i]->wait();
            delete win.workers[i];
            delete threads[i];
            delete panels[i];
        }
        saverThread.quit();
        saverThread.wait();
    }

    // The method of the run reaches a worker with its slice: gridding chosen
    // in the conditions, the worker's slice is the gridded one.
    void workerTakesTheMethod()
    {
        CalcConds conds;
        conds.lowerLimit = -1e30;
        conds.upperLimit = 1e30;
        conds.method = ReconMethod::gridding;
        Window win;
        CtCalc2 w(&conds);
        CtCalc2Ui panel;
        w.setUi(&panel);
        w.setSinogram(sino.get());
        connect(&win, &Window::startCt, &w, qOverload<CtCalc2 *, bool, double, int, bool>(&CtCalc2::startCt),
                Qt::QueuedConnection);
        w.reserve();
        emit win.startCt(&w, true, cor, 3, false);
        QTRY_VERIFY(!w.isBusy());
        QCOMPARE(w.pipeline.methodName(), std::string("gridding"));

        HSgm h;
        QVERIFY(sino->genSinogram0(&h, true, cor, 3));
        SlicePipeline ref(ReconMethod::make(ReconMethod::gridding));
        QVERIFY(ref.run(h, 0, SliceRegion{0, 0, double(N), double(N)}));
        QCOMPARE(w.pipeline.res().size(), ref.res().size());
        for (std::size_t j = 0; j < ref.res().size(); ++j)
            QVERIFY(std::fabs(w.pipeline.res()[j] - ref.res()[j]) <= 1e-12);
    }

    // One worker on this thread: addressed calls only, the order of its
    // signals, an image rendered for saving with "Show Res." off, an empty
    // sinogram still finishing.
    void workerProtocol()
    {
        CalcConds conds;
        conds.lowerLimit = -1e30;
        conds.upperLimit = 1e30;
        Window win;
        CtCalc2 w(&conds), other(&conds);
        CtCalc2Ui panel;
        w.setUi(&panel);
        w.setSinogram(sino.get());
        other.setSinogram(sino.get());     // no panel: ignores calls
        for (CtCalc2 *c : {&w, &other})
            connect(&win, &Window::startCt, c,
                    qOverload<CtCalc2 *, bool, double, int, bool>(&CtCalc2::startCt),
                    Qt::QueuedConnection);
        QStringList seen;
        QImage shown;
        int shownSlice = -1;
        QString dataName;
        connect(&w, &CtCalc2::saveImgWDiscard, this, [&](SavingImg *r) {
            seen << "img";
            QCOMPARE(r->image.size(), QSize(N, N));
            delete r;
        });
        connect(&w, &CtCalc2::saveDataWDiscard, this, [&](SavingData *r) {
            seen << "data";
            dataName = r->fileName();
            QVERIFY(r->data.startsWith("#TOMX-CTImg\n"));
            delete r;
        });
        connect(&w, &CtCalc2::ctImage, this, [&](int s, QImage img) {
            seen << "ct";
            shownSlice = s;
            shown = img;
        });
        connect(&w, &CtCalc2::calcFinished, this, [&] { seen << "fin"; });
        w.setSaveImage(true, "/nowhere", "", "E1");
        w.setSaveData(true, "/nowhere", "n", "E1");

        // addressed to the other worker: this one does nothing
        other.reserve();
        QVERIFY(other.isBusy());
        emit win.startCt(&other, true, cor, 3, true);
        QTRY_VERIFY(!other.isBusy());
        QCoreApplication::processEvents();
        QVERIFY(seen.isEmpty());

        // "Show Res." off with image saving on
        w.reserve();
        QVERIFY(w.isBusy());
        emit win.startCt(&w, true, cor, 3, false);
        QTRY_COMPARE(seen.size(), 4);
        QCOMPARE(seen, QStringList({"img", "data", "ct", "fin"}));
        QVERIFY(!w.isBusy());
        QCOMPARE(shownSlice, 3);
        QCOMPARE(shown.size(), QSize(N, N));
        QCOMPARE(dataName, QString("n-E1-00003.dat"));
        QCoreApplication::processEvents();
        QVERIFY(panel.ui->DispCt->image.isNull());     // not shown
        QCOMPARE(panel.ui->ShowSliceNo->text(), QString("3"));
        // the colour bar took the slice's range; the image is rendered with it
        CtCore ref;
        reference(3, {0, 0, double(N), double(N)}, ref);
        QCOMPARE(panel.ui->DispCt->CBar->minV, ref.resultMin());
        QCOMPARE(panel.ui->DispCt->CBar->maxV, ref.resultMax());
        const GreyMap g{ref.resultMin(), ref.resultMax(), 0, 1};
        QCOMPARE(shown, g.render(ref.result().data(), N, N));

        // shown, nothing saved; a fixed colour bar keeps its range
        w.setSaveImage(false, "", "", "");
        w.setSaveData(false, "", "", "");
        panel.setFixColorScale(true);
        panel.setCBarMinMaxForced(-1, 1);
        seen.clear();
        w.reserve();
        emit win.startCt(&w, true, cor, 4, true);
        QTRY_COMPARE(seen, QStringList({"ct", "fin"}));
        QCoreApplication::processEvents();
        QCOMPARE(panel.ui->DispCt->image.size(), QSize(N, N));
        QCOMPARE(panel.ui->DispCt->CBar->minV, -1.0);
        QCOMPARE(panel.ui->DispCt->CBar->maxV, 1.0);

        // a CoR the sinogram refuses: no image, still finished
        seen.clear();
        w.reserve();
        emit win.startCt(&w, true, 0.5, 4, true);
        QTRY_COMPARE(seen, QStringList({"fin"}));
        QVERIFY(!w.isBusy());

        // value readout goes through the worker
        panel.noticedNewPos(31.7, 30.2);
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }

    // The list of a long run holds a fixed amount of memory: past its budget
    // every picture is kept smaller, and the newest is still the one shown.
    void ctDispWithinBudget()
    {
        CtDisp d;
        d.setBudget(1 << 20);
        QImage slice(512, 384, QImage::Format_Grayscale8);
        for (int i = 0; i < 200; ++i) {
            slice.fill(i);
            d.addImg(i, slice);
            QVERIFY2(d.keptBytes() <= d.budget(), qPrintable(QString::number(i)));
        }
        QCOMPARE(d.count(), 200);
        QVERIFY(d.side() < CtDisp::keptSide && d.side() >= CtDisp::minSide);
        qint64 sum = 0;
        for (const auto &e : std::as_const(d.images)) {
            QVERIFY(qMax(e.second.width(), e.second.height()) <= d.side());
            QCOMPARE(e.second.format(), QImage::Format_Grayscale8);
            sum += e.second.sizeInBytes();
        }
        QCOMPARE(sum, d.keptBytes());
        QCOMPARE(d.shownIndex(), 199);
        QCOMPARE(d.ui->dispA_->image, d.images.last().second);
        QCOMPARE(qGray(d.images.first().second.pixel(0, 0)), 0);
        QCOMPARE(qGray(d.images.last().second.pixel(10, 10)), 199);
        d.clear();
        QCOMPARE(d.keptBytes(), 0);
        QCOMPARE(d.side(), int(CtDisp::keptSide));
    }

    void ctDispOrder()
    {
        CtDisp d;
        auto img = [](int v) {
            QImage i(4, 4, QImage::Format_Grayscale8);
            i.fill(v);
            return i;
        };
        QCOMPARE(d.windowTitle(), QString("CT display"));
        d.addImg(30, img(30));
        QCOMPARE(d.ui->dispA_->image, img(30));
        d.addImg(10, img(10));
        QCOMPARE(d.ui->dispA_->image, img(30));
        d.addImg(20, img(20));
        QCOMPARE(d.images[0].first, 10);
        QCOMPARE(d.images[1].first, 20);
        QCOMPARE(d.images[2].first, 30);
        QCOMPARE(d.shownIndex(), 2);
        QCOMPARE(d.ui->dispA_->image, img(30));
        d.addImg(20, img(21));      // equal number: behind the older entry
        QCOMPARE(d.images[2].second, img(21));
        d.showImg(0);
        QCOMPARE(d.ui->dispA_->image, img(10));
        d.showImg(-1);
        d.showImg(4);
        QCOMPARE(d.shownIndex(), 0);
        QCOMPARE(d.ui->dispA_->image, img(10));
        d.clear();
        QCOMPARE(d.count(), 0);
        d.addImg(5, img(5));
        QCOMPARE(d.ui->dispA_->image, img(5));
        QCOMPARE(d.shownIndex(), 0);
    }
};

QTEST_MAIN(TestMultiSlice)
#include "TestMultiSlice.moc"
