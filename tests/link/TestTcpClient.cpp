// The reconnecting line client against a loopback peer.
#include "LoopbackPeer.h"
#include "TcpClient.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

class TestTcpClient : public QObject
{
    Q_OBJECT

    static void aim(TcpClient &c, quint16 port)
    {
        c.host = "127.0.0.1";
        c.port = port;
    }

private slots:
    void linesAreSplitAtLineFeeds()
    {
        LoopbackPeer peer;
        QVERIFY(peer.listen());
        TcpClient c;
        aim(c, peer.port());
        QSignalSpy stat(&c, &TcpClient::statChanged);
        QSignalSpy rx(&c, &TcpClient::receiveAnMsg);
        c.doConnect();
        QVERIFY(c.isWanted());
        QVERIFY(stat.count() >= 2);     // wanted set, attempt started
        QTRY_VERIFY(c.isLinked() && peer.conn);
        QVERIFY(!c.isRetrying());

        // two lines in one packet, in order
        peer.write("first\nsecond\n");
        QTRY_COMPARE(rx.count(), 2);
        QCOMPARE(rx.at(0).at(0).toByteArray(), QByteArray("first"));
        QCOMPARE(rx.at(1).at(0).toByteArray(), QByteArray("second"));

        // one line over two packets: nothing until the line feed
        peer.write("hal");
        QTRY_COMPARE(c.pendingBytes(), qsizetype(3));
        QCOMPARE(rx.count(), 2);
        peer.write("ves\n");
        QTRY_COMPARE(rx.count(), 3);
        QCOMPARE(rx.at(2).at(0).toByteArray(), QByteArray("halves"));

        // an empty line is logged but not emitted; a carriage return stays
        QTest::ignoreMessage(QtDebugMsg, "rec: ");
        peer.write("\nend\r\n");
        QTRY_COMPARE(rx.count(), 4);
        QCOMPARE(rx.at(3).at(0).toByteArray(), QByteArray("end\r"));
        QCOMPARE(c.pendingBytes(), qsizetype(0));
    }

    void sendOnlyWhileLinked()
    {
        LoopbackPeer peer;
        QVERIFY(peer.listen());
        TcpClient c;
        aim(c, peer.port());
        c.send("lost\n");               // not linked: dropped, not queued
        c.doConnect();
        QTRY_VERIFY(c.isLinked() && peer.conn);
        QTest::ignoreMessage(QtDebugMsg, "snd: caf\u00e9 \u6f22");
        c.send(QString::fromUtf8("caf\u00e9 \u6f22\n"));   // Latin-1 on the wire
        QTRY_COMPARE(peer.lines.size(), 1);
        QCOMPARE(peer.lines.first(), QString::fromUtf8("caf\u00e9 ?"));
    }

    void reconnectsAfterPeerDrops()
    {
        LoopbackPeer peer;
        QVERIFY(peer.listen());
        const quint16 port = peer.port();
        TcpClient c;
        aim(c, port);
        c.doConnect();
        QTRY_VERIFY(c.isLinked() && peer.conn);
        peer.write("partial");
        QTRY_COMPARE(c.pendingBytes(), qsizetype(7));

        QSignalSpy stat(&c, &TcpClient::statChanged);
        peer.shutDown();
        QTRY_VERIFY(!c.isLinked());
        QVERIFY(c.isRetrying());
        // about one attempt a second while the peer is away
        QTRY_VERIFY_WITH_TIMEOUT(stat.count() >= 3, 5000);

        QVERIFY(peer.listen(port));
        QTRY_VERIFY_WITH_TIMEOUT(c.isLinked(), 5000);
        QVERIFY(!c.isRetrying());
        QCOMPARE(c.pendingBytes(), qsizetype(0));
        QTRY_COMPARE(peer.accepted, 2);
    }

    void failedFirstAttemptIsRetried()
    {
        const quint16 port = LoopbackPeer::freePort();
        TcpClient c;
        aim(c, port);
        c.doConnect();
        QVERIFY(c.isRetrying());
        QTest::qWait(100);              // the attempt is refused
        QVERIFY(!c.isLinked());

        LoopbackPeer peer;              // viewer started after us
        QVERIFY(peer.listen(port));
        QTRY_VERIFY_WITH_TIMEOUT(c.isLinked(), 5000);
        QVERIFY(!c.isRetrying());
    }

    void disconnectStopsRetrying()
    {
        LoopbackPeer peer;
        QVERIFY(peer.listen());
        TcpClient c;
        aim(c, peer.port());
        c.doConnect();
        QTRY_VERIFY(c.isLinked());
        c.doDisconnect();
        QVERIFY(!c.isWanted());
        QTRY_VERIFY(!c.isLinked());
        QVERIFY(!c.isRetrying());
        QTest::qWait(1300);
        QVERIFY(!c.isLinked());
        QCOMPARE(peer.accepted, 1);

        // giving up an attempt still in progress
        TcpClient d;
        aim(d, LoopbackPeer::freePort());
        d.doConnect();
        d.doDisconnect();
        QVERIFY(!d.isRetrying());
    }

    void endlessLineIsBounded()
    {
        LoopbackPeer peer;
        QVERIFY(peer.listen());
        TcpClient c;
        aim(c, peer.port());
        QSignalSpy rx(&c, &TcpClient::receiveAnMsg);
        c.doConnect();
        QTRY_VERIFY(c.isLinked() && peer.conn);

        QTest::ignoreMessage(QtDebugMsg,
            "rec: line longer than 1048576 bytes, excess dropped");
        const QByteArray block(1024 * 1024, 'x');
        for (int i = 0; i < 6; ++i) {
            peer.write(block);
            QVERIFY(c.pendingBytes() <= TcpClient::MaxLineBytes);
        }
        QTRY_VERIFY_WITH_TIMEOUT(peer.written(), 10000);
        QTRY_COMPARE(c.pendingBytes(), TcpClient::MaxLineBytes);
        QCOMPARE(rx.count(), 0);

        // the line feed ends the cut line; the next line is whole again
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^rec: x{200}\\.\\.\\. \\(1048576 bytes\\)$"));
        peer.write("yyy\nISBUSY 0\n");
        QTRY_COMPARE(rx.count(), 2);
        QCOMPARE(rx.at(0).at(0).toByteArray().size(), TcpClient::MaxLineBytes);
        QCOMPARE(rx.at(1).at(0).toByteArray(), QByteArray("ISBUSY 0"));
        QCOMPARE(c.pendingBytes(), qsizetype(0));
    }

    void hundredMegabytesWithoutLineFeed()
    {
        // A peer streaming 100 MB without a line feed: the client keeps at most
        // one line's worth, stays responsive, and the next line gets through.
        LoopbackPeer peer;
        QVERIFY(peer.listen());
        TcpClient c;
        aim(c, peer.port());
        QSignalSpy rx(&c, &TcpClient::receiveAnMsg);
        c.doConnect();
        QTRY_VERIFY(c.isLinked() && peer.conn);

        QTest::ignoreMessage(QtDebugMsg, "rec: line longer than 1048576 bytes, excess dropped");
        QElapsedTimer clock;
        clock.start();
        const QByteArray block(4 * 1024 * 1024, 'z');
        for (int sent = 0; sent < 100 * 1024 * 1024; sent += block.size()) {
            peer.conn->write(block);
            QVERIFY(QTest::qWaitFor([&] { return peer.conn->bytesToWrite() < block.size(); }, 30000));
            QVERIFY(c.pendingBytes() <= TcpClient::MaxLineBytes);
        }
        QVERIFY(QTest::qWaitFor([&] { return peer.written(); }, 30000));
        QTRY_COMPARE(c.pendingBytes(), TcpClient::MaxLineBytes);
        QCOMPARE(rx.count(), 0);
        QVERIFY2(clock.elapsed() < 120000, qPrintable(QString("%1 ms").arg(clock.elapsed())));

        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^rec: z{200}\\.\\.\\. \\(1048576 bytes\\)$"));
        peer.write("\nISBUSY 0\n");
        QTRY_COMPARE(rx.count(), 2);
        QCOMPARE(rx.at(0).at(0).toByteArray().size(), TcpClient::MaxLineBytes);
        QCOMPARE(rx.at(1).at(0).toByteArray(), QByteArray("ISBUSY 0"));
    }

    void peerClosesInTheMiddleOfALine()
    {
        LoopbackPeer peer;
        QVERIFY(peer.listen());
        TcpClient c;
        aim(c, peer.port());
        QSignalSpy rx(&c, &TcpClient::receiveAnMsg);
        c.doConnect();
        QTRY_VERIFY(c.isLinked() && peer.conn);
        peer.write("ISBUSY 0 LOAD_I1");
        QTRY_COMPARE(c.pendingBytes(), qsizetype(16));
        peer.conn->disconnectFromHost();        // orderly close after the half line
        QTRY_VERIFY(!c.isLinked());
        QCOMPARE(rx.count(), 0);                // the half line is never a message

        // After reconnecting, the old half is not glued to the first new line.
        QTRY_VERIFY_WITH_TIMEOUT(c.isLinked() && peer.accepted == 2, 5000);
        QTRY_VERIFY(peer.conn);
        peer.write("_FILES\n");
        QTRY_COMPARE(rx.count(), 1);
        QCOMPARE(rx.at(0).at(0).toByteArray(), QByteArray("_FILES"));
    }

    void repeatedStateIsLoggedOnce()
    {
        // A viewer that answers its state over and over fills no log: a
        // line is logged when it differs from the one before.
        static QStringList lines;
        lines.clear();
        const QtMessageHandler before = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext &, const QString &m) { lines << m; });
        TcpClient c;
        QSignalSpy rx(&c, &TcpClient::receiveAnMsg);
        QByteArray flood;
        for (int i = 0; i < 5000; ++i)
            flood += "ISBUSY 1\n";
        c.takeBytes(flood);
        c.takeBytes(flood);
        c.takeBytes("ISBUSY 0 LOAD_I1_FILES\nISBUSY 0 LOAD_I1_FILES\n");
        qInstallMessageHandler(before);
        QCOMPARE(rx.count(), 10002);        // every line still reaches the link
        QCOMPARE(lines, QStringList({"rec: ISBUSY 1", "rec: (the line before came 9999 more times)",
                                     "rec: ISBUSY 0 LOAD_I1_FILES"}));
    }

    void splittingDoesNotDependOnChunks()
    {
        // The same bytes cut at every place give the same lines.
        const QByteArray bytes("ISBUSY 1\n\nISBUSY 0 LOAD_I1_FILES\r\nHELLO\n\nlast\ntail");
        for (int cut = 0; cut <= bytes.size(); ++cut) {
            TcpClient c;
            QSignalSpy rx(&c, &TcpClient::receiveAnMsg);
            QTest::ignoreMessage(QtDebugMsg, "rec: ");
            QTest::ignoreMessage(QtDebugMsg, "rec: ");
            QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^rec: \\w"));
            QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^rec: \\w"));
            QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^rec: \\w"));
            QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^rec: \\w"));
            c.takeBytes(bytes.left(cut));
            c.takeBytes(bytes.mid(cut));
            QCOMPARE(rx.count(), 4);
            QCOMPARE(rx.at(0).at(0).toByteArray(), QByteArray("ISBUSY 1"));
            QCOMPARE(rx.at(1).at(0).toByteArray(), QByteArray("ISBUSY 0 LOAD_I1_FILES\r"));
            QCOMPARE(rx.at(2).at(0).toByteArray(), QByteArray("HELLO"));
            QCOMPARE(rx.at(3).at(0).toByteArray(), QByteArray("last"));
            QCOMPARE(c.pendingBytes(), qsizetype(4));
        }
    }
};

QTEST_GUILESS_MAIN(TestTcpClient)
#include "TestTcpClient.moc"
