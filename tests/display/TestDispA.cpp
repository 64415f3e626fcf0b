// Drawing surface: coordinate transform, mouse record, press codes, wheel.
#include "ChCoord.h"
#include "DispA.h"
#include "MouseC.h"

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include <cmath>
#include <limits>

class TestDispA : public QObject
{
    Q_OBJECT

    static void sendMove(QWidget *w, QPoint pos, Qt::KeyboardModifiers mods,
                         Qt::MouseButtons buttons = Qt::NoButton)
    {
        QMouseEvent e(QEvent::MouseMove, QPointF(pos), w->mapToGlobal(QPointF(pos)),
                      Qt::NoButton, buttons, mods);
        QApplication::sendEvent(w, &e);
    }

    static void sendWheel(QWidget *w, QPoint pos, QPoint angle)
    {
        QWheelEvent e(QPointF(pos), w->mapToGlobal(QPointF(pos)), QPoint(), angle,
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(w, &e);
    }

private slots:
    void coordinateExample()
    {
        // 200 x 100 widget, image rows from 99 at the bottom to 0 at the top
        DispA d;
        d.resize(200, 100);
        QStringList order;
        connect(&d, &DispA::drawImage0, this, [&](QPainter *) { order << "0"; });
        connect(&d, &DispA::drawImage1, this, [&](QPainter *) { order << "1"; });
        connect(&d, &DispA::drawImage2, this, [&](QPainter *) { order << "2"; });
        d.coord.setReal(0, 99, 199, 0);
        const QImage shot = d.grab().toImage();
        QCOMPARE(order, QStringList({"0", "1", "2"}));
        QCOMPARE(shot.pixelColor(100, 50), QColor(Qt::white));
        QCOMPARE(d.coord.win.x0, 0.0);
        QCOMPARE(d.coord.win.y0, 100.0);
        QCOMPARE(d.coord.win.x1, 200.0);
        QCOMPARE(d.coord.win.y1, 0.0);
        QCOMPARE(d.coord.toWinX(199), 200.0);
        QCOMPARE(d.coord.toWinY(0), 0.0);
        QCOMPARE(d.coord.toWinY(99), 100.0);
        QCOMPARE(d.coord.toRealX(200), 199.0);
        QCOMPARE(d.coord.toRealY(100), 99.0);
        QCOMPARE(d.coord.toWinDx(199), 200.0);
        QCOMPARE(d.coord.toWinDy(99), 100.0);
        QCOMPARE(d.coord.toWinDy(-99), -100.0);
    }

    void emptyRectanglesStayFinite()
    {
        ChCoord c;
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double inf = std::numeric_limits<double>::infinity();
        c.setWindow(0, 100, 200, 0);
        c.setReal(5, 7, 5, 7); // zero width and height
        for (double v : {0.0, 5.0, 1e300, nan, inf}) {
            QVERIFY(std::isfinite(c.toWinX(v)));
            QVERIFY(std::isfinite(c.toWinY(v)));
            QVERIFY(std::isfinite(c.toWinDx(v)));
            QVERIFY(std::isfinite(c.toWinDy(v)));
        }
        QCOMPARE(c.toWinX(3), 0.0);   // collapses onto the area's first corner
        QCOMPARE(c.toWinY(3), 100.0);
        c.setWindow(0, 0, 0, 0);      // empty window, as before a widget is laid out
        c.setReal(0, 0, 10, 10);
        for (double v : {0.0, 3.0, nan, -inf}) {
            QVERIFY(std::isfinite(c.toRealX(v)));
            QVERIFY(std::isfinite(c.toRealY(v)));
        }
        c.setWindow(0, 0, 10, 10);
        c.setReal(0, 0, 1e308, -1e308); // a scale that overflows
        QVERIFY(std::isfinite(c.toRealY(5)));
        // normal use is untouched
        c.setReal(0, 0, 20, 40);
        QCOMPARE(c.toRealX(5), 10.0);
        QCOMPARE(c.toWinY(20), 5.0);
    }

    void pressCodes_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<int>("mods");
        QTest::addColumn<int>("code");
        const int S = Qt::ShiftModifier, C = Qt::ControlModifier, A = Qt::AltModifier,
                  M = Qt::MetaModifier;
        const int mods[8] = {0, S, C, A, S | C, S | A, C | A, S | C | A};
        for (int i = 0; i < 8; ++i) {
            QTest::addRow("left %d", i) << int(Qt::LeftButton) << mods[i] << i;
            QTest::addRow("right %d", i) << int(Qt::RightButton) << mods[i] << 8 + i;
        }
        QTest::newRow("left meta ignored") << int(Qt::LeftButton) << (M | S) << 1;
        QTest::newRow("middle") << int(Qt::MiddleButton) << 0 << 16;
        QTest::newRow("middle shift") << int(Qt::MiddleButton) << S << 16;
    }
    void pressCodes()
    {
        QFETCH(int, button);
        QFETCH(int, mods);
        QFETCH(int, code);
        DispA d;
        d.resize(100, 100);
        QSignalSpy pressed(&d, &DispA::mousePressed0);
        QSignalSpy released(&d, &DispA::mouseReleased0);
        const auto b = Qt::MouseButton(button);
        const auto m = Qt::KeyboardModifiers(mods);
        QTest::mousePress(&d, b, m, QPoint(30, 40));
        QCOMPARE(pressed.count(), 1);
        const MouseC &ms = d.mouse;
        QCOMPARE(int(ms.mStat()), code);
        QCOMPARE(ms.pressButton, button);
        QCOMPARE(ms.pressMods, mods);
        QCOMPARE(ms.pressX, 30);
        QCOMPARE(ms.pressY, 40);
        QVERIFY(ms.pressed);
        QCOMPARE(ms.pressLeft, b == Qt::LeftButton);
        QCOMPARE(ms.pressRight, b == Qt::RightButton);
        // exact-match flags: a combination sets none of them
        QCOMPARE(ms.pressShift, mods == int(Qt::ShiftModifier));
        QCOMPARE(ms.pressCtrl, mods == int(Qt::ControlModifier));
        QCOMPARE(ms.pressAlt, mods == int(Qt::AltModifier));
        QTest::mouseRelease(&d, b, m, QPoint(32, 44));
        QCOMPARE(released.count(), 1);
        QVERIFY(!ms.pressed && !ms.pressLeft && !ms.pressRight);
        QCOMPARE(ms.releaseX, 32);
        QCOMPARE(ms.releaseY, 44);
        QCOMPARE(ms.prevX, 30);
        QCOMPARE(ms.releaseButton, button);
        QCOMPARE(int(ms.mStat()), code); // still the press's code
    }

    void moves()
    {
        DispA d;
        d.resize(120, 80);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QVERIFY(d.hasMouseTracking());
        int paints = 0;
        connect(&d, &DispA::drawImage0, this, [&](QPainter *) { ++paints; });
        QSignalSpy moved(&d, &DispA::mouseMoved0);
        QSignalSpy mMoved(&d.mouse, &MouseC::mMoved);

        sendMove(&d, QPoint(10, 20), Qt::ShiftModifier);
        QCOMPARE(moved.count(), 1);
        QCOMPARE(mMoved.count(), 1);
        QCOMPARE(d.mouse.curX, 10);
        QVERIFY(d.mouse.moveShift);
        QTRY_VERIFY(paints > 0); // a move schedules a repaint
        sendMove(&d, QPoint(15, 25), Qt::ShiftModifier | Qt::ControlModifier);
        QCOMPARE(d.mouse.prevX, 10);
        QCOMPARE(d.mouse.prevY, 20);
        QCOMPARE(d.mouse.curY, 25);
        QVERIFY(!d.mouse.moveShift && !d.mouse.moveCtrl);

        // an Alt drag: no move updates, no repaint; press and release recorded
        QCoreApplication::processEvents();
        paints = 0;
        QTest::mousePress(&d, Qt::LeftButton, Qt::AltModifier, QPoint(40, 40));
        sendMove(&d, QPoint(60, 50), Qt::AltModifier, Qt::LeftButton);
        sendMove(&d, QPoint(70, 55), Qt::AltModifier, Qt::LeftButton);
        QCOMPARE(moved.count(), 2);
        QCOMPARE(d.mouse.curX, 40);
        QCOMPARE(d.mouse.curY, 40);
        QTest::mouseRelease(&d, Qt::LeftButton, Qt::AltModifier, QPoint(70, 55));
        QVERIFY(d.mouse.pressAlt);
        QCOMPARE(d.mouse.releaseX, 70);
        QCOMPARE(d.mouse.prevX, 40);
        QTest::qWait(50);
        QCOMPARE(paints, 0);
    }

    void doubleClick()
    {
        DispA d;
        d.resize(100, 100);
        QSignalSpy dc(&d, &DispA::mouseDoubleClicked0);
        QTest::mouseDClick(&d, Qt::RightButton, Qt::ControlModifier, QPoint(11, 12));
        QCOMPARE(dc.count(), 1);
        QCOMPARE(d.mouse.dclickX, 11);
        QCOMPARE(d.mouse.dclickY, 12);
        QCOMPARE(d.mouse.dclickButton, int(Qt::RightButton));
        QCOMPARE(d.mouse.dclickMods, int(Qt::ControlModifier));
        // the double click itself leaves prev and cur alone
        d.mouse.curX = 99;
        d.mouse.prevX = 98;
        QMouseEvent e(QEvent::MouseButtonDblClick, QPointF(5, 6), d.mapToGlobal(QPointF(5, 6)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&d, &e);
        QCOMPARE(d.mouse.dclickX, 5);
        QCOMPARE(d.mouse.curX, 99);
        QCOMPARE(d.mouse.prevX, 98);
    }

    void wheel_data()
    {
        QTest::addColumn<QPoint>("angle");
        QTest::addColumn<double>("step");
        QTest::addColumn<double>("factor");
        QTest::newRow("forward") << QPoint(0, 120) << 1.0 << 1 / 1.1;
        QTest::newRow("back two") << QPoint(0, -240) << -2.0 << 1.1;
        QTest::newRow("fine") << QPoint(0, 60) << 0.5 << 1 / 1.1;
        QTest::newRow("horizontal") << QPoint(120, 0) << 0.0 << 1 / 1.1;
    }
    void wheel()
    {
        QFETCH(QPoint, angle);
        QFETCH(double, step);
        QFETCH(double, factor);
        DispA d;
        d.resize(100, 100);
        QSignalSpy spy(&d, &DispA::wheelMoved0);
        sendWheel(&d, QPoint(20, 20), angle);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(d.wheelStep, step);
        QCOMPARE(d.wheelFactor, factor);
        QCOMPARE(d.mouse.curX, 0); // the wheel does not move the mouse record
    }
};

QTEST_MAIN(TestDispA)
#include "TestDispA.moc"
