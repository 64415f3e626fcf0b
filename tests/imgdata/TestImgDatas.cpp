// The projection collection: size check, clearing, rendering, I0/BG slots,
// and the I0/BG image selector that owns those slots.
#include "TestFiles.h"
#include "ColorBar.h"
#include "ImgData.h"
#include "ImgDatas.h"
#include "ImgDispWPV.h"
#include "Phantom.h"
#include "SelectAImgFile.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestImgDatas : public QObject
{
    Q_OBJECT
    QTemporaryDir tmp;

    // A w x h 16-bit image whose pixel (x, y) is base + x + 10 * y.
    QString image(const QString &name, int w, int h, quint32 base = 0)
    {
        std::vector<quint32> px;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                px.push_back(base + quint32(x + 10 * y));
        return write(name, Phantom::itexImage(w, h, 2, px));
    }
    QString write(const QString &name, const QByteArray &bytes)
    {
        return writeTestFile(tmp, name, bytes);
    }

private slots:
    void sizeCheck()
    {
        const QString a = image("a.img", 4, 3);
        const QString b = image("b.img", 5, 3);
        ImgDatas d;
        QVERIFY(d.add(a));
        QCOMPARE(d.width, 4);
        QCOMPARE(d.height, 3);
        QTest::ignoreMessage(QtWarningMsg, qPrintable("Mismatch image size: (4, 3) != (5, 3) : " + b));
        QVERIFY(!d.add(b));
        QCOMPARE(d.count(), 1);

        d.clearImgs();                              // keeps the size
        QCOMPARE(d.count(), 0);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Mismatch image size"));
        QVERIFY(!d.add(b));
        d.clear();                                  // forgets it
        QVERIFY(d.add(b));
        QCOMPARE(d.width, 5);

        for (int i = 0; i < 180; ++i)
            QVERIFY(d.add(b));
        QCOMPARE(d.count(), 181);
        QVERIFY(d.img(0) != d.img(1));              // independent readers

        const QString bad = write("bad.img", "IM junk");
        QTest::ignoreMessage(QtWarningMsg, qPrintable("File is not ready to access " + bad));
        QVERIFY(!d.add(bad));
        const QString unknown = write("x.txt", "hello");
        QTest::ignoreMessage(QtWarningMsg, qPrintable("Unknown file type : " + unknown));
        QVERIFY(!d.add(unknown));
        QCOMPARE(d.count(), 181);
    }

    void tiffCountsAsNoSize()
    {
        // A file that only starts like a TIFF file is refused and sets no size.
        const QString fake = write("t.tif", "II*\0rest");
        ImgDatas d;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Can not read TIFF file .*t.tif : "));
        QTest::ignoreMessage(QtWarningMsg, qPrintable("File is not ready to access " + fake));
        QVERIFY(!d.add(fake));
        QCOMPARE(d.width, 0);
        QCOMPARE(d.count(), 0);
        // A real one sets the size like any image; an ITEX image must match it.
        const QString tif = tmp.filePath("real.tif");
        QVERIFY(Phantom::writeTiff(tif, 6, 2, std::vector<double>(12, 3.0), Phantom::TiffLayout()));
        QVERIFY(d.add(tif));
        QCOMPARE(d.width, 6);
        QVERIFY(d.add(image("c.img", 6, 2)));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Mismatch image size: \\(6, 2\\) != \\(5, 2\\)"));
        QVERIFY(!d.add(image("d.img", 5, 2)));
    }

    void rendering()
    {
        ImgDatas d;
        QVERIFY(d.add(image("r.img", 4, 3, 100)));   // values 100 .. 123
        ColorBar bar;
        QImage pic;
        QSignalSpy updated(&d, &ImgDatas::imageUpdated);
        QVERIFY(!d.toImage(-1, &pic, &bar));
        QVERIFY(!d.toImage(1, &pic, &bar));
        QCOMPARE(updated.count(), 0);
        QVERIFY(d.toImage(0, &pic, &bar));
        QCOMPARE(updated.count(), 1);
        QCOMPARE(pic.size(), QSize(4, 3));
        QCOMPARE(pic.format(), QImage::Format_Grayscale8);
        QCOMPARE(bar.minV, 100.0);
        QCOMPARE(bar.maxV, 123.0);
        QCOMPARE(qGray(pic.pixel(0, 0)), 0);          // row 0 of the file on top
        QCOMPARE(qGray(pic.pixel(3, 2)), 255);
        QCOMPARE(qGray(pic.pixel(1, 1)), bar.greyOf(111));

        // a fixed scale keeps its range
        bar.setFixColorScale(true);
        bar.setMin(0);
        bar.setMax(1000);
        QVERIFY(d.toImage(0, &pic, &bar));
        QCOMPARE(bar.minV, 0.0);
        QCOMPARE(bar.maxV, 1000.0);
        QCOMPARE(qGray(pic.pixel(3, 2)), bar.greyOf(123));
    }

    void i0AndBgSlots()
    {
        ImgDatas d;
        QVERIFY(!d.i0() && !d.bg());                // no slots: I0 = 1, BG = 0
        ImgData *i0 = nullptr;
        ImgData *bg = nullptr;
        d.i0Img = &i0;
        d.bgImg = &bg;
        QVERIFY(!d.i0());                           // empty slot
        i0 = ImgData::newImgData(ImgData::ITEX);    // not ready
        QVERIFY(!d.i0());
        i0->fileName = image("i0.img", 4, 3);
        QVERIFY(i0->open());
        QCOMPARE(d.i0(), i0);
        d.clear();
        QCOMPARE(d.i0(), i0);                       // never deleted by the collection
        delete i0;
    }

    void imageSelector()
    {
        const QString first = image("first.img", 4, 3, 7);
        const QString broken = write("broken.img", "IM not an image");
        SelectAImgFile s;
        s.fileSelected0(first);
        QVERIFY(s.img && s.img->ready);
        ImgData *held = s.img;
        auto *path = s.findChild<QLineEdit *>("FilePath");
        QCOMPARE(path->styleSheet(), QString("background-color: rgb(211, 255, 241);"));
        QVERIFY(s.view->isVisible());
        QCOMPARE(s.view->image.size(), QSize(4, 3));

        // a failing second image keeps the first, the path turns red
        s.fileSelected0(broken);
        QCOMPARE(s.img, held);
        QCOMPARE(path->text(), broken);
        QCOMPARE(path->styleSheet(), QString("background-color: rgb(255, 192, 192);"));

        // value read-out under the mouse
        emit s.view->newPosInvY(2.7, 1.2);
        QCOMPARE(s.view->findChild<QLineEdit *>("Val")->text(), QString("19"));
        emit s.view->newPosInvY(4, 0);              // outside
        QCOMPARE(s.view->findChild<QLineEdit *>("Val")->text(), QString("0"));

        s.setExpTime(0.25);
        QCOMPARE(s.expTime(), 0.25);
        s.clear0();
        QVERIFY(!s.img);
        QCOMPARE(s.expTime(), 0.05);
        QVERIFY(path->text().isEmpty());
    }
};

QTEST_MAIN(TestImgDatas)
#include "TestImgDatas.moc"
