// Image widgets: first display, zoom about the mouse, pan, selection,
// point picking, saving the visible part, position read-out.
#include "ChCoord.h"
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

#include <cmath>

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

    // an ImgDisp whose drawing area is 200 x 100, showing a 400 x 200 image
    // (the same shape: two image pixels per window pixel, no margin)
    struct Shown
    {
        ImgDisp d;
        Shown(int iw = 400, int ih = 200)
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
        // pixel k covers k - 0.5 .. k + 0.5: the whole image
        QCOMPARE(d.region, QRectF(-0.5, -0.5, 40, 30));
        QCOMPARE(newS.count(), 1);
        QCOMPARE(newS.at(0).at(0).toRectF(), QRectF(-0.5, -0.5, 40, 30));

        // a later picture keeps the region; a new series (scaled cleared) does not
        d.region = QRectF(5, 5, 10, 10);
        d.image = gradient(80, 60);
        d.newImage();
        QCOMPARE(d.region, QRectF(5, 5, 10, 10));
        QCOMPARE(newS.count(), 1);
        d.scaled = false;
        d.newImage();
        QCOMPARE(d.region, QRectF(-0.5, -0.5, 80, 60));
        d.region = QRectF(5, 5, 10, 10);
        d.resetScale();
        QCOMPARE(d.region, QRectF(-0.5, -0.5, 80, 60));
        QCOMPARE(newS.count(), 2); // resetScale does not report
    }

    void paintsTheVisibleRegion()
    {
        Shown s(400, 300);
        QVERIFY(QTest::qWaitForWindowExposed(&s.d));
        QCOMPARE(s.area()->size(), QSize(200, 100));
        // pixels 100 .. 199 and rows 50 .. 99: two window pixels per image pixel
        s.d.region = QRectF(99.5, 49.5, 100, 50);
        const QImage shot = s.area()->grab().toImage();
        for (QPoint p : {QPoint(0, 0), QPoint(61, 33), QPoint(199, 99)}) {
            const int ix = 100 + p.x() / 2, iy = 50 + p.y() / 2;
            QCOMPARE(qGray(shot.pixel(p)), int(s.d.image.constScanLine(iy)[ix]));
        }
        // a region reaching past the image leaves the outside white
        s.d.region = QRectF(-100.5, -0.5, 200, 100);
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
        QCOMPARE(before, QPointF(100.5, 50.5)); // the centre of window pixel (50, 25)

        wheel(s.area(), at, 120); // forward: closer
        QCOMPARE(s.d.region.width(), 400 / 1.1);
        QCOMPARE(s.d.region.height(), 200 / 1.1);
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
        // 2 image pixels per window pixel: the centre of window pixel 51 is
        // image x 102.5, in pixel 103
        QCOMPARE(pos.last().at(0).toInt(), 103);
        QCOMPARE(pos.last().at(1).toInt(), 55);
        QCOMPARE(newS.count(), 0);

        // a plain drag moves the picture with the mouse
        QSignalSpy pickedByPan(&s.d, &ImgDisp::selectedAPoint);
        drag(s.area(), Qt::LeftButton, {}, QPoint(100, 50), QPoint(120, 60));
        QCOMPARE(s.d.region.topLeft(), QPointF(-40.5, -20.5));
        QCOMPARE(s.d.region.size(), QSizeF(400, 200));
        QCOMPARE(pickedByPan.count(), 0);       // a pan is not a click
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
        QCOMPARE(picked.at(0).at(0).toDouble(), 20.5);
        QCOMPARE(picked.at(0).at(1).toDouble(), 40.5);
        QCOMPARE(picked.at(0).at(2).value<MouseC::MStat>(), MouseC::Left);
        QCOMPARE(picked.at(1).at(0).toDouble(), 60.5);
        QCOMPARE(picked.at(1).at(1).toDouble(), 80.5);
        QCOMPARE(int(picked.at(1).at(2).value<MouseC::MStat>()), 8);
    }

    void shiftDragSelects_data()
    {
        QTest::addColumn<QPoint>("from");
        QTest::addColumn<QPoint>("to");
        QTest::addColumn<bool>("selected");
        // window pixels (20,10)-(120,60) are image points (40.5,20.5)-(240.5,120.5)
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
            QCOMPARE(s.d.selection, QRectF(40.5, 20.5, 200, 100));
            // Shift with the right button cancels it
            QTest::mouseClick(s.area(), Qt::RightButton, Qt::ShiftModifier, QPoint(5, 5));
            QVERIFY(!s.d.selected);
            QCOMPARE(s.d.selection, QRectF(0, 0, 0, 0));
            QCOMPARE(picked.count(), 0);
        }
    }

    void fitKeepsPixelsSquare_data()
    {
        QTest::addColumn<QSize>("area");
        QTest::addColumn<QSize>("img");
        QTest::newRow("wide projection, square area") << QSize(300, 300) << QSize(256, 64);
        QTest::newRow("square slice, wide area") << QSize(400, 100) << QSize(256, 256);
        QTest::newRow("tall sinogram, wide area") << QSize(300, 200) << QSize(199, 360);
    }
    void fitKeepsPixelsSquare()
    {
        QFETCH(QSize, area);
        QFETCH(QSize, img);
        ImgDisp d;
        d.resize(area);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QCOMPARE(d.dispA()->size(), area);
        d.image = gradient(img.width(), img.height());
        d.newImage();
        const QImage shot = d.dispA()->grab().toImage();
        const ChCoord *c = d.coord;
        // one scale for both axes
        const double sx = c->toWinX(1) - c->toWinX(0);
        const double sy = c->toWinY(1) - c->toWinY(0);
        QVERIFY(qAbs(sx - sy) < 1e-9);
        QVERIFY(sx > 0);
        // the whole image, centred, touching the area on the axis that is short of room
        const double left = c->toWinX(-0.5), right = c->toWinX(img.width() - 0.5);
        const double top = c->toWinY(-0.5), bottom = c->toWinY(img.height() - 0.5);
        QVERIFY(left >= -1e-9 && top >= -1e-9);
        QVERIFY(right <= area.width() + 1e-9 && bottom <= area.height() + 1e-9);
        QVERIFY(qAbs(left - (area.width() - right)) < 1e-9);
        QVERIFY(qAbs(top - (area.height() - bottom)) < 1e-9);
        QVERIFY(qAbs(left) < 1e-9 || qAbs(top) < 1e-9);
        // the rest is background; the picture is where the mapping says
        if (top >= 2)
            QCOMPARE(shot.pixelColor(area.width() / 2, int(top) / 2), QColor(Qt::white));
        if (left >= 2)
            QCOMPARE(shot.pixelColor(int(left) / 2, area.height() / 2), QColor(Qt::white));
        const QPoint mid(area.width() / 2, area.height() / 2);
        const QPointF ip = d.imagePoint(mid.x(), mid.y());
        QCOMPARE(qGray(shot.pixel(mid)),
                 int(d.image.constScanLine(ImgDisp::pixelOf(ip.y()))[ImgDisp::pixelOf(ip.x())]));

        // zoom and pan keep the pixels square; Scale Reset goes back to Fit
        QTest::mouseMove(d.dispA(), mid / 2);
        wheel(d.dispA(), mid / 2, 120);
        drag(d.dispA(), Qt::LeftButton, {}, mid, mid + QPoint(7, 3));
        QVERIFY(qAbs((c->toWinX(1) - c->toWinX(0)) - (c->toWinY(1) - c->toWinY(0))) < 1e-9);
        d.resetScale();
        QCOMPARE(c->toWinX(-0.5), left);
        QCOMPARE(c->toWinY(-0.5), top);
    }

    void pixelCentresAtWholeNumbers()
    {
        // 256 columns in 256 window pixels: window pixel k shows column k
        ImgDisp d;
        d.resize(256, 256);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        d.image = gradient(256, 64);
        d.newImage();
        const QImage shot = d.dispA()->grab().toImage();
        const ChCoord *c = d.coord;
        const int y = int(c->toWinY(32));
        for (int k : {0, 127, 128, 255}) {
            QCOMPARE(c->toWinX(k), k + 0.5);              // the centre of column k
            QCOMPARE(qGray(shot.pixel(k, y)), int(d.image.constScanLine(32)[k]));
        }
        // a CoR of 127.5 lies on the boundary between columns 127 and 128
        QCOMPARE(c->toWinX(127.5), 128.0);
        // a click names the pixel under the pointer
        QSignalSpy picked(&d, &ImgDisp::selectedAPoint);
        QSignalSpy pos(&d, &ImgDisp::newPos);
        QTest::mouseClick(d.dispA(), Qt::LeftButton, {}, QPoint(127, y));
        QTest::mouseClick(d.dispA(), Qt::RightButton, {}, QPoint(128, y));
        QCOMPARE(picked.count(), 2);
        QCOMPARE(picked.at(0).at(0).toDouble(), 127.0);
        QCOMPARE(picked.at(1).at(0).toDouble(), 128.0);
        QCOMPARE(ImgDisp::pixelOf(picked.at(0).at(1).toDouble()), 32);
        QTest::mouseMove(d.dispA(), QPoint(0, y));
        QCOMPARE(pos.last().at(0).toInt(), 0);
        // the margin above the picture is outside it (no row 0 there)
        QTest::mouseMove(d.dispA(), QPoint(5, 3));
        QVERIFY(pos.last().at(1).toInt() < 0);
        QVERIFY(!d.inImage(pos.last().at(0).toInt(), pos.last().at(1).toInt()));
    }

    void dragIsNotAClick()
    {
        // through real mouse events on the raw display
        RawDisp w;
        w.resize(400, 400);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.image = gradient(64, 64);
        w.newImage();
        QSignalSpy picked(&w, &ImgDisp::selectedAPoint);
        const QPoint at(w.dispA()->width() / 2, w.dispA()->height() / 2);
        for (Qt::MouseButton b : {Qt::LeftButton, Qt::RightButton}) {
            const QRectF before = w.region;
            drag(w.dispA(), b, {}, at, at + QPoint(12, -9));
            QCOMPARE(picked.count(), 0);
            if (b == Qt::LeftButton)
                QVERIFY(w.region != before);          // it panned
        }
        // a click that shakes by a pixel or two is still a click
        drag(w.dispA(), Qt::LeftButton, {}, at, at + QPoint(1, 1));
        drag(w.dispA(), Qt::RightButton, {}, at, at + QPoint(0, 2));
        QCOMPARE(picked.count(), 2);
    }

    void sidewaysWheelDoesNotZoom()
    {
        Shown s;
        QVERIFY(QTest::qWaitForWindowExposed(&s.d));
        QSignalSpy newS(&s.d, &ImgDisp::newS);
        const QRectF r = s.d.region;
        for (int i = 0; i < 10; ++i) {
            QWheelEvent left(QPointF(50, 25), s.area()->mapToGlobal(QPointF(50, 25)), QPoint(),
                             QPoint(120, 0), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                             false);
            QApplication::sendEvent(s.area(), &left);
            QWheelEvent right(QPointF(50, 25), s.area()->mapToGlobal(QPointF(50, 25)), QPoint(),
                              QPoint(-120, 0), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                              false);
            QApplication::sendEvent(s.area(), &right);
        }
        QCOMPARE(s.d.region, r);
        QCOMPARE(newS.count(), 0);
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
        // every pixel the region covers, whole or in part
        const int x0 = qRound(r.left()), y0 = qRound(r.top());
        const int x1 = int(std::ceil(r.right() + 0.5)) - 1, y1 = int(std::ceil(r.bottom() + 0.5)) - 1;
        QCOMPARE(back.size(), QSize(x1 - x0 + 1, y1 - y0 + 1));
        back = back.convertToFormat(QImage::Format_Grayscale8);
        QCOMPARE(back, s.d.image.copy(QRect(QPoint(x0, y0), QPoint(x1, y1))));
        QCOMPARE(int(back.constScanLine(0)[0]), (x0 + 3 * y0) % 256);
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
        QCOMPARE(posX->text(), QString::number(ImgDisp::pixelOf(ip.x())));
        QCOMPARE(posY->text(), QString::number(ImgDisp::pixelOf(ip.y())));
        QVERIFY(inv.count() >= 1);
        QCOMPARE(inv.last().at(0).toDouble(), double(ImgDisp::pixelOf(ip.x())));
        QCOMPARE(inv.last().at(1).toDouble(), double(ImgDisp::pixelOf(ip.y())));
        w.setVal(1234567.25);
        QCOMPARE(val->text(), QString("1.23457e+06"));

        // outside the picture (the margin beside it) the read-out is empty
        const int inv0 = inv.count();
        QTest::mouseMove(w.dispA(), QPoint(1, 1));
        QVERIFY(!w.inImage(ImgDisp::pixelOf(w.imagePoint(1, 1).x()),
                           ImgDisp::pixelOf(w.imagePoint(1, 1).y())));
        QVERIFY(posX->text().isEmpty() && posY->text().isEmpty() && val->text().isEmpty());
        QCOMPARE(inv.count(), inv0);

        // every number is shown whole, and has its full value as tool tip
        for (QLineEdit *e : {posX, posY, val}) {
            e->setText("-1.23457e-05");
            QVERIFY(e->width() >= e->fontMetrics().horizontalAdvance(e->text()));
            QCOMPARE(e->toolTip(), e->text());
        }

        w.region = QRectF(3, 4, 5, 6);
        QTest::mouseClick(reset, Qt::LeftButton);
        QCOMPARE(w.region, QRectF(-0.5, -0.5, 50, 40));
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
