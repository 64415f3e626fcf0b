// Pop-out and dock containers.
#include "ClosableBase.h"
#include "PopDockBase.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

class TestPopDock : public QObject
{
    Q_OBJECT

    static bool docked(PopDockBase &b, QWidget *c)
    {
        return c->parentWidget() == &b && b.dockLayout()->indexOf(c) >= 0 && b.popWin.isHidden();
    }
    static bool popped(PopDockBase &b, QWidget *c)
    {
        return c->parentWidget() == &b.popWin && b.popWin.isVisible();
    }

private slots:
    void form()
    {
        PopDockBase b;
        QCOMPARE(b.popDockButton()->text(), QString("Pop/Dock"));
        QCOMPARE(b.popDockButton()->objectName(), QString("PopDock"));
        QVERIFY(b.popWin.parent() == nullptr);
        QVERIFY(b.popWin.isWindow());
        QCOMPARE(b.popWin.size(), QSize(500, 500));
        QVERIFY(b.popWin.layout());
        QCOMPARE(b.dockLayout()->objectName(), QString("Layout"));
    }

    void withoutContent()
    {
        PopDockBase b;
        b.show();
        QTest::mouseClick(b.popDockButton(), Qt::LeftButton);
        QVERIFY(b.popWin.isVisible());
        QTest::mouseClick(b.popDockButton(), Qt::LeftButton);
        QVERIFY(b.popWin.isHidden());
    }

    void roundTrips()
    {
        PopDockBase b;
        auto *c = new QLabel("picture");
        b.setContent(c, "Raw Image");
        QCOMPARE(b.popWin.windowTitle(), QString("Raw Image"));
        b.show();
        QVERIFY(QTest::qWaitForWindowExposed(&b));
        QVERIFY(docked(b, c));

        QTest::mouseClick(b.popDockButton(), Qt::LeftButton);
        QVERIFY(popped(b, c));
        QTRY_VERIFY(c->isVisible());
        QTest::mouseClick(b.popDockButton(), Qt::LeftButton);
        QVERIFY(docked(b, c));
        QTRY_VERIFY(c->isVisible());

        // closing the popped window docks the content; the button pops again
        QSignalSpy closed(&b.popWin, &ClosableBase::closed);
        QTest::mouseClick(b.popDockButton(), Qt::LeftButton);
        QVERIFY(popped(b, c));
        QVERIFY(b.popWin.close());
        QCOMPARE(closed.count(), 1);
        QVERIFY(docked(b, c));
        QTRY_VERIFY(c->isVisible());
        QTest::mouseClick(b.popDockButton(), Qt::LeftButton);
        QVERIFY(popped(b, c));
        // destroyed while popped out: the content goes with the window
        QPointer<QLabel> guard(c);
        {
            PopDockBase b2;
            auto *c2 = new QLabel("x");
            b2.setContent(c2, "t");
            QTest::mouseClick(b2.popDockButton(), Qt::LeftButton);
            guard = c2;
        }
        QVERIFY(guard.isNull());
    }
};

QTEST_MAIN(TestPopDock)
#include "TestPopDock.moc"
