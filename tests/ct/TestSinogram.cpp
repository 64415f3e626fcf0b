// The sinogram panel: lines of the loaded series by axis, the shown image with
// its mirrored lower half, the Fourier image, rebuilding on Proc Control
// changes, refused slices, and builds on several threads at once.
#include "TestFiles.h"
#include "ColorBar.h"
#include "HSgm.h"
#include "ImgData.h"
#include "ImgDatas.h"
#include "ImgDispWPV.h"
#include "Phantom.h"
#include "ProcCtrl.h"
#include "Sinogram.h"

#include "ui_Sinogram.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <memory>
#include <thread>

namespace {
// Pixel (x, y) of image i: 1000 + 100 * i + 7 * x + 3 * y (all above BG).
quint32 pixelOf(int i, int x, int y)
{
    return quint32(1000 + 100 * i + 7 * x + 3 * y);
}
}

class TestSinogram : public QObject
{
    Q_OBJECT
    QTemporaryDir tmp;
    static constexpr int W = 12, H = 9, N = 5;
    static constexpr double I0 = 20000, BG = 50;

    QString write(const QString &name, const QByteArray &bytes)
    {
        return writeTestFile(tmp, name, bytes);
    }
    QString flat(const QString &name, quint32 v)
    {
        return write(name, Phantom::itexImage(W, H, 2, std::vector<quint32>(W * H, v)));
    }

    // A collection of N W x H images with flat I0 and BG.
    struct Series {
        ImgDatas datas;
        ImgData *i0 = nullptr;
        ImgData *bg = nullptr;
        ~Series()
        {
            delete i0;
            delete bg;
        }
    };
    std::unique_ptr<Series> series(bool withRefs = true)
    {
        auto s = std::make_unique<Series>();
        for (int i = 0; i < N; ++i) {
            std::vector<quint32> px;
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x)
                    px.push_back(pixelOf(i, x, y));
            const QString p = write(QString("p%1.img").arg(i), Phantom::itexImage(W, H, 2, px));
            if (!s->datas.add(p))
                qFatal("cannot load %s", qPrintable(p));
        }
        s->datas.i0Img = &s->i0;
        s->datas.bgImg = &s->bg;
        if (withRefs) {
            s->i0 = ImgData::newImgData(ImgData::ITEX);
            s->i0->keepInMemory = true;
            s->i0->fileName = flat("i0.img", quint32(I0));
            s->i0->open();
            s->bg = ImgData::newImgData(ImgData::ITEX);
            s->bg->keepInMemory = true;
            s->bg->fileName = flat("bg.img", quint32(BG));
            s->bg->open();
        }
        return s;
    }

    static QLineEdit *valField(ImgDispWPV *d) { return d->findChild<QLineEdit *>("Val"); }

private slots:
    void linesByAxis()
    {
        auto s = series();
        Sinogram sino;
        sino.setImgDatas(&s->datas);
        HSgm h;
        // axis vertical: slice = row 4, CoR 5 on 12 pixels -> half 5, samples at 1..9
        QVERIFY(sino.genSinogram0(&h, true, 5.0, 4));
        QCOMPARE(h.width, 9);
        QCOMPARE(h.height, N);
        QCOMPARE(h.slice, 4);
        for (int i = 0; i < N; ++i)
            for (int j = 0; j < h.width; ++j) {
                const double raw = pixelOf(i, j + 1, 4);
                QCOMPARE(h.rawRow(i)[j], raw);
                QVERIFY(std::abs(h.sgmRow(i)[j] - std::log((I0 - BG) / (raw - BG))) < 1e-12);
            }
        // axis horizontal: slice = column 7, CoR 3.5 on 9 pixels -> half 3,
        // samples at 1.5 .. 5.5 (the mean of two neighbouring rows)
        QVERIFY(sino.genSinogram0(&h, false, 3.5, 7));
        QCOMPARE(h.width, 5);
        QCOMPARE(h.height, N);
        QCOMPARE(h.slice, 7);
        for (int i = 0; i < N; ++i)
            for (int j = 0; j < h.width; ++j) {
                const double raw = 0.5 * (pixelOf(i, 7, j + 1) + pixelOf(i, 7, j + 2));
                QVERIFY(std::abs(h.rawRow(i)[j] - raw) < 1e-9);
                QVERIFY(std::abs(h.sgmRow(i)[j] - std::log((I0 - BG) / (raw - BG))) < 1e-12);
            }

        // no I0 / BG: -ln(I)
        auto bare = series(false);
        sino.setImgDatas(&bare->datas);
        QVERIFY(sino.genSinogram0(&h, true, 5.0, 0));
        QVERIFY(std::abs(h.sgmRow(2)[0] + std::log(double(pixelOf(2, 1, 0)))) < 1e-12);

        // an I0 image of another size would be read past the line: ignored
        ImgData *odd = ImgData::newImgData(ImgData::ITEX);
        odd->keepInMemory = true;
        odd->fileName = write("odd.img", Phantom::itexImage(W + 5, H, 2, std::vector<quint32>((W + 5) * H, 9)));
        odd->open();
        bare->i0 = odd;
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Mismatch image size"));
        QVERIFY(sino.genSinogram0(&h, true, 5.0, 0));
        QVERIFY(std::abs(h.sgmRow(2)[0] + std::log(double(pixelOf(2, 1, 0)))) < 1e-12);
    }

    void refusedRequests()
    {
        auto s = series();
        Sinogram sino;
        HSgm h;
        QVERIFY(!sino.genSinogram0(&h, true, 5.0, 4));     // no collection attached
        sino.setImgDatas(&s->datas);
        QVERIFY(sino.genSinogram0(&h, true, 5.0, 4));
        // a slice outside the image lines never reaches the readers
        QTest::ignoreMessage(QtDebugMsg, "Slice out of image lines : 9");
        QVERIFY(!sino.genSinogram0(&h, true, 5.0, H));
        QVERIFY(!h.hasData());
        QVERIFY(sino.genSinogram0(&h, false, 5.0, W - 1));
        QTest::ignoreMessage(QtDebugMsg, "Slice out of image lines : 12");
        QVERIFY(!sino.genSinogram0(&h, false, 5.0, W));
        QVERIFY(!h.hasData());
        QTest::ignoreMessage(QtDebugMsg, "Slice out of image lines : -1");
        QVERIFY(!sino.genSinogram0(&h, true, 5.0, -1));
        QVERIFY(!h.hasData());
        // CoR below 1 or not a number: nothing built, the record keeps its rows
        QVERIFY(sino.genSinogram0(&h, true, 5.0, 4));
        QVERIFY(!sino.genSinogram0(&h, true, 0.5, 4));
        QVERIFY(!sino.genSinogram0(&h, true, std::nan(""), 4));
        QVERIFY(h.hasData());
        QCOMPARE(h.width, 9);
    }

    void imageWithMirroredHalf()
    {
        auto s = series();
        ProcCtrl pc;
        Sinogram sino;
        sino.setImgDatas(&s->datas);
        sino.setProcCtrl(&pc);
        pc.setRotAxIsV(true);
        pc.setSliceNo(3);
        pc.setCor(4.0);                                 // half 4, width 7
        const HSgm &h = sino.hSgm;
        QCOMPARE(h.width, 7);
        const QImage &img = sino.ui->DispSinogram->image;
        QCOMPARE(img.format(), QImage::Format_Grayscale8);
        QCOMPARE(img.width(), h.width);
        QCOMPARE(img.height(), 2 * N);
        ColorBar *bar = sino.ui->DispSinogram->CBar;
        double mn = 1e300, mx = -1e300;
        for (double v : h.sgm) {
            mn = std::min(mn, v);
            mx = std::max(mx, v);
        }
        QCOMPARE(bar->minV, mn);
        QCOMPARE(bar->maxV, mx);
        bool varied = false;
        for (int i = 0; i < N; ++i)
            for (int j = 0; j < h.width; ++j) {
                const int g = bar->greyOf(h.sgmRow(i)[j]);
                QCOMPARE(qGray(img.pixel(j, i)), g);
                QCOMPARE(qGray(img.pixel(h.width - 1 - j, N + i)), g);
                varied = varied || qGray(img.pixel(j, i)) != qGray(img.pixel(h.width - 1 - j, i));
            }
        QVERIFY(varied);    // the rows are not symmetric, so the mirror shows

        // the readout follows the picture, also in the mirrored half
        QLineEdit *val = valField(sino.ui->DispSinogram);
        QVERIFY(val);
        sino.newPos(1.7, 2.2);
        QCOMPARE(val->text(), QString::number(h.sgmRow(2)[1], 'g', 6));
        sino.newPos(1.0, N + 2.0);
        QCOMPARE(val->text(), QString::number(h.sgmRow(2)[h.width - 2], 'g', 6));
        val->clear();
        sino.newPos(h.width, 0);
        sino.newPos(0, 2 * N);
        QVERIFY(val->text().isEmpty());

        // a fixed bar keeps its range
        bar->setFixColorScale(true);
        bar->setMin(-1);
        bar->setMax(1);
        sino.genSgmImage();
        QCOMPARE(bar->minV, -1.0);
        QCOMPARE(bar->maxV, 1.0);
    }

    void fourierImage()
    {
        auto s = series();
        ProcCtrl pc;
        Sinogram sino;
        sino.setImgDatas(&s->datas);
        sino.setProcCtrl(&pc);
        pc.setRotAxIsV(true);
        pc.setCor(4.0);
        pc.setSliceNo(2);
        QVERIFY(sino.ui->DispFouS->image.isNull());         // only on request
        sino.setGenFouS(true);
        sino.genSgmImage();
        const HSgm &h = sino.hSgm;
        const QImage &f = sino.ui->DispFouS->image;
        QCOMPARE(f.width(), h.width);
        QCOMPARE(f.height(), 2 * N);
        ColorBar *bar = sino.ui->DispFouS->CBar;
        QCOMPARE(bar->minV, -10.0);
        QCOMPARE(bar->maxV, 10.0);
        // DC term: the scaled sum over both halves is the mean of sgm
        double mean = 0;
        for (double v : h.sgm)
            mean += v;
        mean /= double(h.sgm.size());
        QCOMPARE(qGray(f.pixel(0, 0)), bar->greyOf(std::abs(mean)));
    }

    void rebuildsOnChanges()
    {
        auto s = series();
        ProcCtrl pc;
        pc.setRotAxIsV(true);
        pc.setSliceNo(1);
        pc.setCor(5.0);
        Sinogram sino;
        sino.setImgDatas(&s->datas);
        sino.setProcCtrl(&pc);
        const HSgm &h = sino.hSgm;
        QVERIFY(!h.hasData());                          // nothing until a change

        pc.setSliceNo(6);
        QCOMPARE(h.slice, 6);
        QCOMPARE(h.width, 9);
        QCOMPARE(h.rawRow(0)[0], double(pixelOf(0, 1, 6)));
        QCOMPARE(sino.ui->DispSinogram->image.height(), 2 * N);

        pc.setCor(3.25);                                // half 3, width 5
        QCOMPARE(sino.ui->Cor->text(), QString("3.25"));
        QCOMPARE(h.width, 5);
        QVERIFY(std::abs(h.rawRow(0)[0] - (pixelOf(0, 1, 6) + 0.25 * 7)) < 1e-9);
        QCOMPARE(sino.ui->DispSinogram->image.width(), 5);

        pc.setRotAxIsV(false);                          // column 6, 9 pixels: half 3
        QCOMPARE(h.width, 5);
        QVERIFY(std::abs(h.rawRow(0)[0] - (pixelOf(0, 6, 1) + 0.25 * 3)) < 1e-9);

        // the panel's own CoR field goes to Proc Control
        sino.ui->Cor->setText("4");
        sino.corEditingFinished();
        QCOMPARE(pc.cor, 4.0);
        QCOMPARE(h.width, 7);

        // an out-of-range slice leaves an empty sinogram and an empty picture
        QTest::ignoreMessage(QtDebugMsg, "Slice out of image lines : 12");
        pc.setSliceNo(W);
        QVERIFY(!h.hasData());
        QVERIFY(sino.ui->DispSinogram->image.isNull());

        // without auto update only explicit requests rebuild
        pc.setAutoUpdate(false);
        pc.setSliceNo(2);
        QVERIFY(!h.hasData());
        sino.ui->GenImg->click();
        QVERIFY(h.hasData());
        QCOMPARE(h.slice, 2);
        pc.setAutoUpdate(true);                         // switching on rebuilds
        pc.setAutoUpdate(false);
        pc.setCor(5.0);
        QCOMPARE(h.width, 7);
    }

    void buildsOnSeveralThreads()
    {
        auto s = series();
        Sinogram sino;
        sino.setImgDatas(&s->datas);
        constexpr int T = 4;
        HSgm records[T];
        std::vector<std::thread> threads;
        for (int t = 0; t < T; ++t)
            threads.emplace_back([&, t] { sino.genSinogram0(&records[t], t % 2 == 0, 4.0, t + 1); });
        for (auto &th : threads)
            th.join();
        for (int t = 0; t < T; ++t) {
            HSgm ref;
            QVERIFY(sino.genSinogram0(&ref, t % 2 == 0, 4.0, t + 1));
            QCOMPARE(records[t].slice, t + 1);
            QVERIFY(records[t].sgm == ref.sgm);
            QVERIFY(records[t].raw == ref.raw);
        }
    }
};

QTEST_MAIN(TestSinogram)
#include "TestSinogram.moc"
