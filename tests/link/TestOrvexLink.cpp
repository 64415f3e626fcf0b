// The 2dOrvex line protocol against a loopback peer.
#include "ConfigTable.h"
#include "LoopbackPeer.h"
#include "OrvexLink.h"

#include <QApplication>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

class TestOrvexLink : public QObject
{
    Q_OBJECT

    const QString linkedStyle = "background-color: rgb(211, 255, 241);";
    const QString connectingStyle = "background-color: rgb(255, 243, 162);";
    const QString idleStyle = "background-color: rgb(176, 192, 192);";

    // A link connected to a fresh peer, the introduction already received.
    struct Linked
    {
        LoopbackPeer peer;
        OrvexLink link;
        bool up()
        {
            if (!peer.listen())
                return false;
            link.host = "127.0.0.1";
            link.port = peer.port();
            link.doConnect();
            return QTest::qWaitFor([this] { return peer.lines.size() == 1; }, 5000);
        }
    };

private slots:
    void cleanup() { configTable.clear(); }

    void endpointFromConfiguration()
    {
        {
            OrvexLink l;
            QCOMPARE(l.host, QString("127.0.0.1"));
            QCOMPARE(l.port, quint16(6078));
        }
        configTable.set("2DORVEX", "viewer.local", " viewer.local 7001 ");
        {
            OrvexLink l;
            QCOMPARE(l.host, QString("viewer.local"));
            QCOMPARE(l.port, quint16(7001));
        }
        configTable.set("2dorvex", "\"my host\"", "\"my host\" port");
        {
            OrvexLink l;
            QCOMPARE(l.host, QString("my host"));
            QCOMPARE(l.port, quint16(0));       // not a number
        }
        configTable.set("2dOrvex", "h", "h 70000");
        {
            OrvexLink l;
            QCOMPARE(l.port, quint16(0));       // not a port number
        }
    }

    void introducesItselfOnConnect()
    {
        Linked t;
        QSignalSpy conn(&t.link, &OrvexLink::connected);
        QVERIFY(t.up());
        QCOMPARE(t.peer.lines, QStringList{"myName Tomix"});
        QCOMPARE(conn.count(), 1);

        // connecting again re-sends the introduction and clears busy
        t.link.exec2dA("00001");
        QVERIFY(t.link.busy);
        QSignalSpy busy(&t.link, &OrvexLink::changedIsBusy);
        t.link.doConnect();
        QTRY_COMPARE(t.peer.lines.size(), 3);
        QCOMPARE(t.peer.lines.at(2), QString("myName Tomix"));
        QVERIFY(!t.link.busy);
        QCOMPARE(busy.count(), 1);
        QCOMPARE(busy.first().first().toBool(), false);
        QCOMPARE(conn.count(), 2);
    }

    void requestTexts()
    {
        Linked t;
        QVERIFY(t.up());
        QSignalSpy busy(&t.link, &OrvexLink::changedIsBusy);

        t.link.loadFilesOfPattern("/data/run 1\\00010\\");
        QVERIFY(t.link.busy);
        QTRY_COMPARE(t.peer.lines.size(), 2);
        QCOMPARE(t.peer.lines.at(1), QString("LOAD_I1_FILES_OF_PATTERN new /data/run 1\\00010\\ *.dat"));
        t.peer.write("ISBUSY 0 LOAD_I1_FILES_OF_PATTERN\n");
        QTRY_VERIFY(!t.link.busy);

        t.link.loadFiles({"/d/a-00010.dat", "/d/%1-00010.dat"});
        QTRY_COMPARE(t.peer.lines.size(), 3);
        QCOMPARE(t.peer.lines.at(2), QString("LOAD_I1_FILES new /d/a-00010.dat /d/%1-00010.dat"));
        t.peer.write("ISBUSY 0 LOAD_I1_FILES\n");
        QTRY_VERIFY(!t.link.busy);
        QCOMPARE(t.link.finishedCmd, QString("LOAD_I1_FILES"));

        t.link.exec2dA("00010");
        QTRY_COMPARE(t.peer.lines.size(), 4);
        QCOMPARE(t.peer.lines.at(3), QString("ANALYZER_EXEC_2DA 00010"));
        QCOMPARE(busy.count(), 5);          // true, false, true, false, true
    }

    void busyReplies_data()
    {
        QTest::addColumn<bool>("before");
        QTest::addColumn<QByteArray>("msg");
        QTest::addColumn<bool>("after");
        QTest::addColumn<QString>("finished");
        QTest::addColumn<int>("changes");
        QTest::newRow("lower keyword, 1") << false << QByteArray("isbusy 1 LOAD_I1_FILES") << true << "" << 1;
        QTest::newRow("0, name upper-cased") << true << QByteArray("ISBUSY 0 load_i1_files") << false << "LOAD_I1_FILES" << 1;
        QTest::newRow("2 is not busy") << true << QByteArray("IsBusy 2 analyzer_exec_2da") << false << "ANALYZER_EXEC_2DA" << 1;
        QTest::newRow("no name") << true << QByteArray("ISBUSY 0") << false << "" << 1;
        QTest::newRow("no change") << false << QByteArray("ISBUSY 0 X") << false << "X" << 0;
        QTest::newRow("keyword only") << true << QByteArray("ISBUSY") << true << "" << 0;
        QTest::newRow("not a number") << true << QByteArray("ISBUSY yes X") << false << "X" << 1;
        QTest::newRow("white space") << false << QByteArray(" \tISBUSY   1\r") << true << "" << 1;
        QTest::newRow("other message") << true << QByteArray("HELLO 0 X") << true << "OLD" << 0;
    }
    void busyReplies()
    {
        QFETCH(bool, before);
        QFETCH(QByteArray, msg);
        QFETCH(bool, after);
        QFETCH(QString, finished);
        QFETCH(int, changes);
        OrvexLink l;
        l.busy = before;
        l.finishedCmd = "OLD";
        QSignalSpy busy(&l, &OrvexLink::changedIsBusy);
        l.receiveAnMsg(msg);
        QCOMPARE(l.busy, after);
        QCOMPARE(l.finishedCmd, finished);
        QCOMPARE(busy.count(), changes);
        if (changes)
            QCOMPARE(busy.first().first().toBool(), after);
    }

    void busyOverTheWire()
    {
        Linked t;
        QVERIFY(t.up());
        QSignalSpy busy(&t.link, &OrvexLink::changedIsBusy);
        t.peer.write("ISBUSY 1\r\n");
        QTRY_COMPARE(busy.count(), 1);
        QVERIFY(t.link.busy);
        t.peer.write("ISBUSY 0 ANALYZER_EXEC_2DA\r\n");
        QTRY_COMPARE(busy.count(), 2);
        QVERIFY(!t.link.busy);
        QCOMPARE(t.link.finishedCmd, QString("ANALYZER_EXEC_2DA"));
    }

    void requestWhileBusyIsDropped()
    {
        Linked t;
        QVERIFY(t.up());
        t.link.exec2dA("00001");
        QTRY_COMPARE(t.peer.lines.size(), 2);
        QSignalSpy busy(&t.link, &OrvexLink::changedIsBusy);
        t.link.loadFiles({"a.dat"});
        QVERIFY(!t.link.busy);
        QCOMPARE(busy.count(), 1);
        QCOMPARE(busy.first().first().toBool(), false);
        // the introduction goes out again instead of the request
        QTRY_COMPARE(t.peer.lines.size(), 3);
        QCOMPARE(t.peer.lines.at(2), QString("myName Tomix"));

        // an empty list asks for nothing
        t.link.loadFiles({});
        QVERIFY(!t.link.busy);
        QTRY_COMPARE(t.peer.lines.size(), 4);
        QCOMPARE(t.peer.lines.at(3), QString("myName Tomix"));
        QTest::qWait(50);
        QCOMPARE(t.peer.lines.size(), 4);
    }

    void requestWhileUnlinkedStaysBusy()
    {
        OrvexLink l;
        l.port = LoopbackPeer::freePort();
        l.exec2dA("00001");                 // nothing sent, busy until the link comes up
        QVERIFY(l.busy);
        l.exec2dA("00002");                 // dropped; still not linked, so still busy
        QVERIFY(l.busy);
    }

    void buttonColours()
    {
        QPushButton button("Link 2dOrvex");
        LoopbackPeer peer;
        OrvexLink l;
        l.port = LoopbackPeer::freePort();
        l.setLinkButton(&button);
        QCOMPARE(button.styleSheet(), idleStyle);
        QCOMPARE(l.linkStyle(), idleStyle);

        button.click();                     // nobody listens yet
        QVERIFY(l.isWanted());
        QCOMPARE(button.styleSheet(), connectingStyle);

        QVERIFY(peer.listen(l.port));
        QTRY_VERIFY_WITH_TIMEOUT(l.isLinked(), 5000);
        QCOMPARE(button.styleSheet(), linkedStyle);

        peer.shutDown();
        QTRY_VERIFY(!l.isLinked());
        QCOMPARE(button.styleSheet(), connectingStyle);

        l.doDisconnect();
        QCOMPARE(button.styleSheet(), idleStyle);
    }

    void destroyedWhileLinked()
    {
        auto *button = new QPushButton;
        Linked *t = new Linked;
        QVERIFY(t->up());
        t->link.setLinkButton(button);
        delete button;                      // the link does not own its button
        t->link.statChanged();
        delete t;
    }
};

QTEST_MAIN(TestOrvexLink)
#include "TestOrvexLink.moc"
