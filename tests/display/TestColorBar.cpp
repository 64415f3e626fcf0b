// Grey mapping, colour bar markers and range, rotated labels.
#include "ColorBar.h"
#include "DrawText.h"
#include "GreyMap.h"
#include "ImgDispWCBar.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include <limits>

class TestColorBar : public QObject
{
    Q_OBJECT

private slots:
    void greyLevels_data()
    {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double inf = std::numeric_limits<double>::infinity();
        QTest::addColumn<double>("minV");
        QTest::addColumn<double>("maxV");
        QTest::addColumn<double>("low");
        QTest::addColumn<double>("high");
        QTest::addColumn<double>("v");
        QTest::addColumn<int>("grey");
        QTest::newRow("initial half") << 0.0 << 1.0 << 0.0 << 1.0 << 0.5 << 128;
        QTest::newRow("initial top") << 0.0 << 1.0 << 0.0 << 1.0 << 1.0 << 255;
        QTest::newRow("initial bottom") << 0.0 << 1.0 << 0.0 << 1.0 << 0.0 << 0;
        QTest::newRow("below range") << 0.0 << 1.0 << 0.0 << 1.0 << -3.0 << 0;
        QTest::newRow("markers low") << 0.0 << 100.0 << 0.25 << 0.75 << 25.0 << 0;
        QTest::newRow("markers under") << 0.0 << 100.0 << 0.25 << 0.75 << 10.0 << 0;
        QTest::newRow("markers mid") << 0.0 << 100.0 << 0.25 << 0.75 << 50.0 << 128;
        QTest::newRow("markers high") << 0.0 << 100.0 << 0.25 << 0.75 << 75.0 << 255;
        QTest::newRow("markers over") << 0.0 << 100.0 << 0.25 << 0.75 << 90.0 << 255;
        QTest::newRow("marker above bar") << 0.0 << 1.0 << 0.0 << 1.2 << 1.0 << 213;
        QTest::newRow("inverted dark") << 0.0 << 1.0 << 0.75 << 0.25 << 0.9 << 0;
        QTest::newRow("inverted bright") << 0.0 << 1.0 << 0.75 << 0.25 << 0.1 << 255;
        QTest::newRow("falling range") << 10.0 << 0.0 << 0.0 << 1.0 << 2.5 << 192;
        // defined where the arithmetic breaks down
        QTest::newRow("nan") << 0.0 << 1.0 << 0.0 << 1.0 << nan << 0;
        QTest::newRow("+inf") << 0.0 << 1.0 << 0.0 << 1.0 << inf << 255;
        QTest::newRow("-inf") << 0.0 << 1.0 << 0.0 << 1.0 << -inf << 0;
        QTest::newRow("empty range at") << 5.0 << 5.0 << 0.0 << 1.0 << 5.0 << 0;
        QTest::newRow("empty range below") << 5.0 << 5.0 << 0.0 << 1.0 << 4.0 << 0;
        QTest::newRow("empty range above") << 5.0 << 5.0 << 0.0 << 1.0 << 6.0 << 255;
        QTest::newRow("empty range nan") << 5.0 << 5.0 << 0.0 << 1.0 << nan << 0;
        QTest::newRow("same markers at") << 0.0 << 1.0 << 0.5 << 0.5 << 0.5 << 0;
        QTest::newRow("same markers below") << 0.0 << 1.0 << 0.5 << 0.5 << 0.2 << 0;
        QTest::newRow("same markers above") << 0.0 << 1.0 << 0.5 << 0.5 << 0.6 << 255;
        QTest::newRow("nan range") << nan << 1.0 << 0.0 << 1.0 << 0.5 << 0;
        QTest::newRow("infinite range") << -inf << inf << 0.0 << 1.0 << 0.5 << 0;
        QTest::newRow("huge value") << 0.0 << 1e-300 << 0.0 << 1.0 << 1e300 << 255;
    }
    void greyLevels()
    {
        QFETCH(double, minV);
        QFETCH(double, maxV);
        QFETCH(double, low);
        QFETCH(double, high);
        QFETCH(double, v);
        QFETCH(int, grey);
        QCOMPARE(GreyMap::greyOf(v, minV, maxV, low, high), grey);
        ColorBar bar;
        bar.setMin(minV);
        bar.setMax(maxV);
        bar.lowFrac = low;
        bar.highFrac = high;
        QCOMPARE(bar.greyOf(v), grey);
        QCOMPARE(bar.greyMap().greyOf(v), grey);
    }

    void renderUsesTheSameRule()
    {
        const double vals[6] = {0, 10, 20, 30, 40, std::numeric_limits<double>::quiet_NaN()};
        const GreyMap m{0, 40, 0.25, 1};
        const QImage img = m.render(vals, 3, 2);
        QCOMPARE(img.format(), QImage::Format_Grayscale8);
        QCOMPARE(img.size(), QSize(3, 2));
        for (int i = 0; i < 6; ++i)
            QCOMPARE(int(img.constScanLine(i / 3)[i % 3]), m.greyOf(vals[i]));
        QVERIFY(m.render(vals, 0, 2).isNull());
        QVERIFY(m.render(vals, 3, -1).isNull());
        QVERIFY(m.render(nullptr, 3, 2).isNull());
    }

    void fixKeepsRangeAcrossPictures()
    {
        ColorBar bar;
        QCheckBox *fix = bar.controlFrame()->findChild<QCheckBox *>("CFix");
        auto *minLE = bar.controlFrame()->findChild<QLineEdit *>("CMinLE");
        auto *maxLE = bar.controlFrame()->findChild<QLineEdit *>("CMaxLE");
        QVERIFY(fix && minLE && maxLE);
        QCOMPARE(fix->text(), QString("Fix"));
        QCOMPARE(minLE->text(), QString("0"));
        QCOMPARE(maxLE->text(), QString("1"));

        QVERIFY(bar.setRangeUnlessFixed(-2.5, 1234567.0));
        QCOMPARE(bar.minV, -2.5);
        QCOMPARE(maxLE->text(), QString("1.23457e+06"));
        bar.setFixColorScale(true);
        QVERIFY(bar.isFixed());
        QVERIFY(!bar.setRangeUnlessFixed(7, 9)); // the next picture keeps the range
        QCOMPARE(bar.minV, -2.5);
        QCOMPARE(bar.maxV, 1234567.0);
        fix->setChecked(false);                  // takes effect at the next picture
        QCOMPARE(bar.minV, -2.5);
        QVERIFY(bar.setRangeUnlessFixed(7, 9));
        QCOMPARE(bar.minV, 7.0);
        QCOMPARE(minLE->text(), QString("7"));
    }

    void editedRangeEmitsNewBar()
    {
        ImgDispWCBar w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto *minLE = w.findChild<QLineEdit *>("CMinLE");
        auto *maxLE = w.findChild<QLineEdit *>("CMaxLE");
        QVERIFY(minLE && maxLE);
        QVERIFY(minLE->isVisible());
        QSignalSpy bar(w.CBar, &ColorBar::newBar);
        QSignalSpy outer(&w, &ImgDispWCBar::newBar);
        minLE->selectAll();
        QTest::keyClicks(minLE, "-3.5");
        QTest::keyClick(minLE, Qt::Key_Return);
        QCOMPARE(w.CBar->minV, -3.5);
        QCOMPARE(bar.count(), 1);
        QCOMPARE(outer.count(), 1);
        maxLE->selectAll();
        QTest::keyClicks(maxLE, "abc");
        QTest::keyClick(maxLE, Qt::Key_Return);
        QCOMPARE(w.CBar->maxV, 0.0); // not a number
        QCOMPARE(outer.count(), 2);

        // a typed bound holds: it checks Fix, so the next picture keeps it,
        // and it is shown whole (minus sign and all)
        w.CBar->setFixColorScale(false);
        minLE->selectAll();
        QTest::keyClicks(minLE, "-0.00218808");
        QTest::keyClick(minLE, Qt::Key_Return);
        QVERIFY(w.CBar->isFixed());
        QVERIFY(!w.CBar->setRangeUnlessFixed(5, 6));
        QCOMPARE(w.CBar->minV, -0.00218808);
        QVERIFY(minLE->width() >= minLE->fontMetrics().horizontalAdvance("-1.23457e-05"));
        QCOMPARE(minLE->toolTip(), QString("-0.00218808"));
    }

    void typedBoundRedrawsTheBar()
    {
        // The end labels on the bar show a bound typed below it at once.
        struct PaintCount : QObject {
            int n = 0;
            bool eventFilter(QObject *, QEvent *e) override
            {
                n += e->type() == QEvent::Paint;
                return false;
            }
        };
        ImgDispWCBar w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTest::qWait(50);
        PaintCount painted;
        w.CBar->installEventFilter(&painted);
        for (const char *name : {"CMinLE", "CMaxLE"}) {
            painted.n = 0;
            auto *edit = w.findChild<QLineEdit *>(name);
            edit->selectAll();
            QTest::keyClicks(edit, "-7");
            QTest::keyClick(edit, Qt::Key_Return);
            QTRY_VERIFY2(painted.n > 0, name);
        }
    }

    void markerDragging()
    {
        ColorBar bar;
        bar.resize(25, 200);
        bar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bar));
        QSignalSpy newBar(&bar, &ColorBar::newBar);

        // plain moves neither drag nor re-render
        QTest::mouseMove(&bar, QPoint(10, 30));
        QCOMPARE(newBar.count(), 0);

        // near the top: the upper marker is grabbed
        QTest::mousePress(&bar, Qt::LeftButton, {}, QPoint(10, 10));
        QVERIFY(bar.dragging);
        QCOMPARE(bar.dragTarget, &bar.highFrac);
        QTest::mouseMove(&bar, QPoint(10, 100));
        QCOMPARE(bar.highFrac, 0.5);
        QVERIFY(newBar.count() >= 1);
        QCOMPARE(bar.greyOf(0.5), 255);
        QTest::mouseMove(&bar, QPoint(10, -20)); // beyond the bar: not clamped
        QCOMPARE(bar.highFrac, 1.1);
        QVERIFY(bar.grab().toImage().size().isValid()); // paints with the label shown
        QTest::mouseRelease(&bar, Qt::LeftButton, {}, QPoint(10, -20));
        QVERIFY(!bar.dragging);
        QCOMPARE(bar.greyOf(1.0), 232); // the ramp no longer reaches white

        // lower marker dragged above the upper one inverts the ramp
        QTest::mousePress(&bar, Qt::LeftButton, {}, QPoint(10, 190));
        QCOMPARE(bar.dragTarget, &bar.lowFrac);
        QTest::mouseMove(&bar, QPoint(10, -30));
        QTest::mouseRelease(&bar, Qt::LeftButton, {}, QPoint(10, -30));
        QCOMPARE(bar.lowFrac, 1.15);
        QCOMPARE(bar.greyOf(0.2), 255); // inverted: higher values darker
        QCOMPARE(bar.greyOf(1.2), 0);

        // equal distance from both markers grabs nothing
        bar.lowFrac = 0.25;
        bar.highFrac = 0.75;
        QTest::mousePress(&bar, Qt::LeftButton, {}, QPoint(10, 100));
        QVERIFY(!bar.dragging);
        QTest::mouseMove(&bar, QPoint(10, 20));
        QCOMPARE(bar.lowFrac, 0.25);
        QCOMPARE(bar.highFrac, 0.75);
        QTest::mouseRelease(&bar, Qt::LeftButton, {}, QPoint(10, 20));
    }

    void rampPainting()
    {
        ColorBar bar;
        bar.resize(25, 200);
        const QImage shot = bar.grab().toImage();
        // bottom row black, top row the upper marker, next row nearly white
        QCOMPARE(qGray(shot.pixel(1, 199)), 0);
        QCOMPARE(shot.pixelColor(1, 0), QColor(0, 192, 255));
        QCOMPARE(qGray(shot.pixel(1, 1)), 253);
        QCOMPARE(qGray(shot.pixel(1, 99)), 128);
    }

    void rotatedLabels()
    {
        QImage img(100, 200, QImage::Format_RGB32);
        img.fill(Qt::white);
        {
            QPainter p(&img);
            p.setPen(Qt::black);
            DrawText dt;
            // turned by 90 degrees: 95 long downwards, 40 across, centred at (50, 100)
            dt.draw(&p, 90, 50, 100, 95, -40, QFont(), Qt::AlignCenter, true, "12345", 0);
            QCOMPARE(p.transform(), QTransform()); // the painter is turned back
        }
        int ink = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (qGray(img.pixel(x, y)) < 128) {
                    ++ink;
                    QVERIFY2(x >= 29 && x <= 71 && y >= 52 && y <= 148,
                             qPrintable(QString("ink at %1,%2").arg(x).arg(y)));
                }
        QVERIFY(ink > 20);
        // the text runs along y: the inked extent is taller than wide
        int minX = 100, maxX = 0, minY = 200, maxY = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (qGray(img.pixel(x, y)) < 128) {
                    minX = std::min(minX, x); maxX = std::max(maxX, x);
                    minY = std::min(minY, y); maxY = std::max(maxY, y);
                }
        QVERIFY(maxY - minY > 2 * (maxX - minX));

        // an empty box draws nothing and says nothing; background fills the box
        QImage img2(50, 50, QImage::Format_RGB32);
        img2.fill(Qt::white);
        {
            QPainter p(&img2);
            DrawText().draw(&p, 0, 25, 25, 0, 10, QFont(), Qt::AlignLeft, true, "x", 10);
            DrawText().draw(&p, 0, 25, 25, 10, 10, QFont(), Qt::AlignLeft, false, "", 10,
                            Qt::red);
        }
        QCOMPARE(img2.pixelColor(25, 25), QColor(Qt::red));
        QCOMPARE(img2.pixelColor(5, 5), QColor(Qt::white));
    }
};

QTEST_MAIN(TestColorBar)
#include "TestColorBar.moc"
