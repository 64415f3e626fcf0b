// Image widgets: first display, zoom about the mouse, pan, selection,
// point picking, saving the visible part, position read-out.
#include "ColorBar.h"
#include "DispA.h"
#include "ImgDisp.h"
#include "ImgDispWPV.h"
#include "RawDisp.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

class TestImgDisp : public QObject
{
    Q_OBJECT

    QTemporaryDir tmp;

    // grey = column (mod 256) so that saved parts show where they came from
    static QImage gradient(int w, int h)
    {
        QImage img(w, h, QImage::Format_Grayscale8);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                img.scanLine(y)[x] = uchar((x + 3 * y) % 256);
        return img;
    }

    // an ImgDisp whose drawing area is 200 x 100, showing a 400 x 300 image
    struct Shown
    {
        ImgDisp d;
        Shown(int iw = 400, int ih = 300)
        {
            d.resize(200, 100);
            d.show();
            d.image = gradient(iw, ih);
            d.newImage();
        }
        DispA *area() { return d.dispA(); }
    };

    static void wheel(QWidget *w, QPoint pos, int angle)
    {
        QWheelEvent e(QPointF(pos), w->mapToGlobal(QPointF(pos)), QPoint(), QPoint(0, angle),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(w, &e);
    }

    static void drag(QWidget *w, Qt::MouseButton b, Qt::KeyboardModifiers mods, QPoint from,
                     QPoint to)
    {
        QTest::mousePress(w, b, mods, from);
        QTest::mouseMove(w, (from + to) / 2);
        QTest::mouseMove(w, to);
        QTest::mouseRelease(w, b, mods, to);
    }

private slots:
    void firstDisplay()
    {
        ImgDisp d;
        d.resize(200, 100);
        QSignalSpy newS(&d, &ImgDisp::newS);
        d.newImage(); // null image: nothing
        QVERIFY(!d.scaled);
        QCOMPARE(newS.count(), 0);
        QCOMPARE(d.region, QRectF());

        d.image = gradient(40, 30);
        d.newImage();
        QVERIFY(d.scaled);
        QCOMPARE(d.region, QRectF(0, 0, 40, 30));
        QCOMPARE(newS.count(), 1);
        QCOMPARE(newS.at(0).at(0).toRectF(), QRectF(0, 0, 40, 30));

        // a later picture keeps the region; a new series (scaled cleared) does not
        d.region = QRectF(5, 5, 10, 10);
        d.image = gradient(80, 60);
        d.newImage();
        QCOMPARE(d.region, QRectF(5, 5, 10, 10));
        QCOMPARE(newS.count(), 1);
        d.scaled = false;
        d.newImage();
        QCOMPARE(d.region, QRectF(0, 0, 80, 60));
        d.region = QRectF(5, 5, 10, 10);
        d.resetScale();
        QCOMPARE(d.region, QRectF(0, 0, 80, 60));
        QCOMPARE(newS.count(), 2); // resetScale does not report
    }

    void paintsTheVisibleRegion()
    {
        Shown s(400, 300);
        QVERIFY(QTest::qWaitForWindowExposed(&s.d));
        QCOMPARE(s.area()->size(), QSize(200, 100));
        s.d.region = QRectF(100, 50, 100, 50); // two window pixels per image pixel
        const QImage shot = s.area()->grab().toImage();
        for (QPoint p : {QPoint(0, 0), QPoint(61, 33), QPoint(199, 99)}) {
            const int ix = 100 + p.x() / 2, iy = 50 + p.y() / 2;
            QCOMPARE(qGray(shot.pixel(p)), int(s.d.image.constScanLine(iy)[ix]));
        }
        // a region reaching past the image leaves the outside white
        s.d.region = QRectF(-100, 0, 200, 100);
        const QImage shot2 = s.area()->grab().toImage();
        QCOMPARE(shot2.pixelColor(20, 50), QColor(Qt::white));
        QCOMPARE(qGray(shot2.pixel(150, 0)), int(s.d.image.constScanLine(0)[50]));
    }

    void wheelZoomsAboutTheMouse()
    {
        Shown s;
        QVERIFY(QTest::qWaitForWindowExposed(&s.d));
        QSignalSpy newS(&s.d, &ImgDisp::newS);
        const QPoint at(50, 25);
        QTest::mouseMove(s.area(), at);
        QCOMPARE(s.d.mouse->curX, 50);
        const QPointF before = s.d.imagePoint(at.x(), at.y());
        QCOMPARE(before, QPointF(100, 75));

        wheel(s.area(), at, 120); // forward: closer
        QCOMPARE(s.d.region.width(), 400 / 1.1);
        QCOMPARE(s.d.region.height(), 300 / 1.1);
        QPointF after = s.d.imagePoint(at.x(), at.y());
        QVERIFY(qAbs(after.x() - before.x()) < 1e-9 && qAbs(after.y() - before.y()) < 1e-9);
        wheel(s.area(), at, 360); // three notches: still one factor
        QVERIFY(qAbs(s.d.region.width() - 400 / 1.1 / 1.1) < 1e-9);
        after = s.d.imagePoint(at.x(), at.y());
        QVERIFY(qAbs(after.x() - before.x()) < 1e-9 && qAbs(after.y() - before.y()) < 1e-9);
        QCOMPARE(newS.count(), 2);
        QCOMPARE(newS.last().at(0).toRectF(), s.d.region);

        wheel(s.area(), at, -120); // backward: farther
        QVERIFY(qAbs(s.d.region.width() - 400 / 1.1) < 1e-9);
        after = s.d.imagePoint(at.x(), at.y());
        QVERIFY(qAbs(after.x() - before.x()) < 1e-9 && qAbs(after.y() - before.y()) < 1e-9);
    }

    void panAndPositions()
    {
        Shown s;
        QVERIFY(QTest::qWaitForWindowExposed(&s.d));
        QSignalSpy pos(&s.d, &ImgDisp::newPos);
        QSignalSpy newS(&s.d, &ImgDisp::newS);
        QTest::mouseMove(s.area(), QPoint(51, 27));
        QVERIFY(pos.count() >= 1);
        QCOMPARE(pos.last().at(0).toInt(), 102); // 2 image pixels per window pixel
        QCOMPARE(pos.last().at(1).toInt(), 81);
        QCOMPARE(newS.count(), 0);

        // a plain drag moves the picture with the mouse
        drag(s.area(), Qt::LeftButton, {}, QPoint(100, 50), QPoint(120, 60));
        QCOMPARE(s.d.region.topLeft(), QPointF(-40, -30));
        QCOMPARE(s.d.region.size(), QSizeF(400, 300));
        QVERIFY(newS.count() >= 2);
        QCOMPARE(newS.last().at(0).toRectF(), s.d.region);

        // a Control drag neither pans nor picks a point
        QSignalSpy picked(&s.d, &ImgDisp::selectedAPoint);
        const QRectF r = s.d.region;
        drag(s.area(), Qt::LeftButton, Qt::ControlModifier, QPoint(100, 50), QPoint(150, 90));
        QTest::mouseClick(s.area(), Qt::LeftButton, Qt::ControlModifier, QPoint(30, 30));
        QTest::mouseClick(s.area(), Qt::RightButton, Qt::ControlModifier, QPoint(30, 30));
        QCOMPARE(s.d.region, r);
        QCOMPARE(picked.count(), 0);
        QVERIFY(!s.d.selecting && !s.d.selected);
    }

    void pickPoints()
    {
        Shown s;
        QVERIFY(QTest::qWaitForWindowExposed(&s.d));
        QSignalSpy picked(&s.d, &ImgDisp::selectedAPoint);
        QTest::mouseClick(s.area(), Qt::LeftButton, {}, QPoint(10, 20));
        QTest::mouseClick(s.area(), Qt::RightButton, {}, QPoint(30, 40));
        QTest::mouseClick(s.area(), Qt::MiddleButton, {}, QPoint(30, 40));
        QTest::mouseClick(s.area(), Qt::LeftButton, Qt::AltModifier, QPoint(30, 40));
        QCOMPARE(picked.count(), 2);
        QCOMPARE(picked.at(0).at(0).toDouble(), 20.0);
        QCOMPARE(picked.at(0).at(1).toDouble(), 60.0);
        QCOMPARE(picked.at(0).at(2).value<MouseC::MStat>(), MouseC::Left);
        QCOMPARE(picked.at(1).at(0).toDouble(), 60.0);
        QCOMPARE(picked.at(1).at(1).toDouble(), 120.0);
        QCOMPARE(int(picked.at(1).at(2).value<MouseC::MStat>()), 8);
    }

    void shiftDragSelects_data()
    {
        QTest::addColumn<QPoint>("from");
        QTest::addColumn<QPoint>("to");
        QTest::addColumn<bool>("selected");
        // window (20,10)-(120,60) is image (40,30)-(240,180)
        QTest::newRow("top-left first") << QPoint(20, 10) << QPoint(120, 60) << true;
        QTest::newRow("bottom-right first") << QPoint(120, 60) << QPoint(20, 10) << true;
        QTest::newRow("top-right first") << QPoint(120, 10) << QPoint(20, 60) << true;
        QTest::newRow("bottom-left first") << QPoint(20, 60) << QPoint(120, 10) << true;
        QTest::newRow("same point") << QPoint(20, 10) << QPoint(20, 10) << false;
        QTest::newRow("same row") << QPoint(20, 10) << QPoint(120, 10) << false;
        QTest::newRow("same column") << QPoint(20, 10) << QPoint(20, 60) << false;
    }
    void shiftDragSelects()
    {
        QFETCH(QPoint, from);
        QFETCH(QPoint, to);
        QFETCH(bool, selected);
        Shown s;
        QVERIFY(QTest::qWaitForWindowExposed(&s.d));
        QSignalSpy picked(&s.d, &ImgDisp::selectedAPoint);
        const QRectF r = s.d.region;
        QTest::mousePress(s.area(), Qt::LeftButton, Qt::ShiftModifier, from);
        QVERIFY(s.d.selecting);
        QVERIFY(!s.d.selected);
        QTest::mouseMove(s.area(), (from + to) / 2);
        QTest::mouseMove(s.area(), to);
        QTest::mouseRelease(s.area(), Qt::LeftButton, Qt::ShiftModifier, to);
        QVERIFY(!s.d.selecting);
        QCOMPARE(s.d.selected, selected);
        QCOMPARE(s.d.region, r); // no pan while selecting
        QCOMPARE(picked.count(), 0);
        if (selected) {
            QCOMPARE(s.d.selection, QRectF(40, 30, 200, 150));
            // Shift with the right button cancels it
            QTest::mouseClick(s.area(), Qt::RightButton, Qt::ShiftModifier, QPoint(5, 5));
            QVERIFY(!s.d.selected);
            QCOMPARE(s.d.selection, QRectF(0, 0, 0, 0));
            QCOMPARE(picked.count(), 0);
        }
    }

    void saveVisiblePart()
    {
        Shown s;
        QVERIFY(QTest::qWaitForWindowExposed(&s.d));
        QTest::mouseMove(s.area(), QPoint(50, 25));
        wheel(s.area(), QPoint(50, 25), 120);
        wheel(s.area(), QPoint(50, 25), 120);
        const QRectF r = s.d.region;
        QVERIFY(r.width() < 400 && r.x() > 0);
        const QString f = tmp.filePath("part.png");
        QVERIFY(s.d.saveImage(f));
        QImage back(f);
        QCOMPARE(back.size(), QSize(int(r.width()), int(r.height())));
        back = back.convertToFormat(QImage::Format_Grayscale8);
        QCOMPARE(back, s.d.image.copy(int(r.x()), int(r.y()), int(r.width()), int(r.height())));
        QCOMPARE(int(back.constScanLine(0)[0]), (int(r.x()) + 3 * int(r.y())) % 256);
        // nothing to save, or nowhere to save it
        QVERIFY(!s.d.saveImage(tmp.filePath("no/such/dir/x.png")));
        ImgDisp empty;
        QVERIFY(!empty.saveImage(tmp.filePath("empty.png")));
        QVERIFY(!QFile::exists(tmp.filePath("empty.png")));
    }

    void extremeZoomStaysDefined()
    {
        Shown s;
        QVERIFY(QTest::qWaitForWindowExposed(&s.d));
        QSignalSpy pos(&s.d, &ImgDisp::newPos);
        s.d.region = QRectF(-1e12, -1e12, 4e12, 3e12);
        QTest::mouseMove(s.area(), QPoint(199, 99));
        QVERIFY(pos.count() >= 1);
        QCOMPARE(pos.last().at(0).toInt(), std::numeric_limits<int>::max());
        (void)s.area()->grab();
        s.d.region = QRectF(10, 10, 1e-3, 1e-3);
        QVERIFY(!s.d.saveImage(tmp.filePath("tiny.png"))); // less than a pixel
        (void)s.area()->grab();
    }

    void positionAndValueFields()
    {
        RawDisp w; // the raw display is an ImgDispWPV
        QCOMPARE(w.windowTitle(), QString("Image Display with Position and Value"));
        QCOMPARE(w.height(), w.width());
        auto *posX = w.findChild<QLineEdit *>("PosX");
        auto *posY = w.findChild<QLineEdit *>("PosY");
        auto *val = w.findChild<QLineEdit *>("Val");
        auto *reset = w.findChild<QPushButton *>("ResetScale");
        QVERIFY(posX && posY && val && reset);
        QVERIFY(posX->isReadOnly() && val->isReadOnly());
        QCOMPARE(reset->text(), QString("Scale Reset"));
        ColorBar *bar = w.findChild<ColorBar *>("CBar");
        QCOMPARE(bar, w.CBar);
        QCOMPARE(bar->minimumWidth(), 25);
        QVERIFY(w.findChild<QFrame *>("CBarUIBase"));

        w.resize(300, 300);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.image = gradient(50, 40);
        w.newImage();
        QSignalSpy inv(&w, &ImgDispWPV::newPosInvY);
        const DispA *a = w.dispA();
        const QPoint p(a->width() / 2 + 1, a->height() / 4 + 1);
        QTest::mouseMove(w.dispA(), p);
        const QPointF ip = w.imagePoint(p.x(), p.y());
        QCOMPARE(posX->text(), QString::number(int(ip.x())));
        QCOMPARE(posY->text(), QString::number(int(ip.y())));
        QVERIFY(inv.count() >= 1);
        QCOMPARE(inv.last().at(0).toDouble(), double(int(ip.x())));
        QCOMPARE(inv.last().at(1).toDouble(), double(int(ip.y())));
        w.setVal(1234567.25);
        QCOMPARE(val->text(), QString("1.23457e+06"));

        w.region = QRectF(3, 4, 5, 6);
        QTest::mouseClick(reset, Qt::LeftButton);
        QCOMPARE(w.region, QRectF(0, 0, 50, 40));
    }

    void lookAtIt()
    {
        // a gradient picture with its bar, markers pulled in, for a person to see
        ImgDispWPV w;
        w.resize(600, 600);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QImage img(256, 256, QImage::Format_Grayscale8);
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x)
                img.scanLine(y)[x] = uchar(x);
        w.image = img;
        w.newImage();
        w.CBar->setMin(-1.5);
        w.CBar->setMax(2048);
        w.CBar->lowFrac = 0.2;
        w.CBar->highFrac = 0.8;
        QTest::mouseMove(w.dispA(), QPoint(100, 80));
        w.setVal(0.391);
        const QImage shot = w.grab().toImage();
        QVERIFY(!shot.isNull());
        // the picture gets the room, the bar stays narrow
        QVERIFY(w.dispA()->width() > 8 * w.CBar->width());
        QVERIFY(w.dispA()->height() > w.height() / 2);
        const QString dir = qEnvironmentVariable("TOMIX_TEST_TMP", tmp.path());
        QDir().mkpath(dir);
        QVERIFY(shot.save(dir + "/disp.png"));
    }
};

QTEST_MAIN(TestImgDisp)
#include "TestImgDisp.moc"
