// The batch interpreter: loading, control words, and the hand-over of command
// lines to a dispatcher that answers through batchCheckEnd.
#include "Batch.h"
#include "ConfigTable.h"

#include <QEventLoop>
#include <QFile>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>

#include <sys/stat.h>

// Stands in for the main window's dispatcher: records every command, marks the
// command "fail" as failed (like a failed "seq_exec_next"), and reports the end
// of each command back through a queued signal.
class Dispatcher : public QObject
{
    Q_OBJECT
public:
    Batch *batch = nullptr;
    QList<BatchCmd> cmds;
    bool answer = true;     // false: leave the interpreter waiting

    QStringList names() const
    {
        QStringList n;
        for (const BatchCmd &c : cmds)
            n << c.name;
        return n;
    }

signals:
    void callBatchCheckEnd();

public slots:
    void batchExCmd(BatchCmd cmd)
    {
        cmds << cmd;
        if (cmd.name == "fail" || cmd.name == "seq_exec_next")
            batch->ok = false;
        if (answer)
            emit callBatchCheckEnd();
    }
};

class TestBatch : public QObject
{
    Q_OBJECT

    QTemporaryDir tmp;
    int fileNo = 0;

    QString script(const QByteArray &text)
    {
        const QString path = tmp.filePath(QString("run%1.bat").arg(++fileNo));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(path));
        f.write(text);
        return path;
    }

    // Interpreter and dispatcher wired as the main window wires them, both on
    // this thread.
    struct Rig
    {
        Batch batch;
        Dispatcher disp;
        Rig()
        {
            disp.batch = &batch;
            QObject::connect(&batch, &Batch::batchExCmd, &disp, &Dispatcher::batchExCmd, Qt::QueuedConnection);
            QObject::connect(&disp, &Dispatcher::callBatchCheckEnd, &batch, &Batch::batchCheckEnd, Qt::QueuedConnection);
        }
        bool run()
        {
            batch.batchExec();
            return QTest::qWaitFor([this] { return !batch.isRunning(); }, 5000);
        }
    };

private slots:
    void parsing_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("args");
        QTest::newRow("plain") << "images_load /d *.img" << "images_load" << QStringList{"/d", "*.img"};
        QTest::newRow("quoted") << "images_load \"/my dir\" \"*.img\"" << "images_load" << QStringList{"/my dir", "*.img"};
        QTest::newRow("empty item ends") << "images_load \"\" *.img" << "images_load" << QStringList{};
        QTest::newRow("empty name") << "\"\" a b" << "" << QStringList{};
        QTest::newRow("blanks") << "   " << "" << QStringList{};
        QTest::newRow("no args") << "calc_exec" << "calc_exec" << QStringList{};
    }
    void parsing()
    {
        QFETCH(QString, line);
        QFETCH(QString, name);
        QFETCH(QStringList, args);
        const BatchCmd c = BatchCmd::parse(line);
        QCOMPARE(c.text, line);
        QCOMPARE(c.name, name);
        QCOMPARE(c.args, args);
        // crosses threads by name
        QVERIFY(QMetaType::fromName("BatchCmd").isValid() || (BatchCmd::registerMetaType(), true));
        QVERIFY(QMetaType::fromName("BatchCmd").isValid());
    }

    void loading()
    {
        Batch b;
        b.batchLoad(script(
            "# heading\n"
            "images_load \"/a#b\" *.img  # note\r\n"
            "\n"
            "   \n"
            "set 'x # y\n"
            "ct_threads \\\n"
            "    4\n"
            "first \\  # comment after the backslash\n"
            "second \\\n"
            "third\n"
            "last \\\n"));
        QCOMPARE(b.script(), (QStringList{
            "images_load \"/a#b\" *.img  ",
            "   ",
            "set 'x # y",
            "ct_threads 4",
            "first second third",
            "last"}));
        QCOMPARE(b.currentLine(), 0);
        QVERIFY(!b.isRunning());

        // a file that cannot be opened keeps the script
        const QString missing = tmp.filePath("missing.bat");
        QTest::ignoreMessage(QtWarningMsg, qPrintable("Can't open batch file " + missing));
        b.batchLoad(missing);
        QCOMPARE(b.script().size(), 6);
    }

    void runsLineByLine()
    {
        Rig r;
        r.batch.batchLoad(script("one a\nTwo \"b c\"\n:Echo hello  # not logged\nthree\n"));
        QSignalSpy next(&r.batch, &Batch::batchExCmd);
        r.disp.answer = false;
        r.batch.batchExec();
        QVERIFY(r.batch.isRunning());
        QTRY_COMPARE(r.disp.cmds.size(), 1);
        QTest::qWait(20);               // waits for the dispatcher
        QCOMPARE(r.disp.cmds.size(), 1);
        QCOMPARE(r.disp.cmds.at(0).args, QStringList{"a"});

        r.disp.answer = true;
        QTest::ignoreMessage(QtDebugMsg, ":Echo hello  ");
        r.batch.batchCheckEnd();
        QTRY_VERIFY(!r.batch.isRunning());      // the end of the script ends the run
        QCOMPARE(r.disp.names(), (QStringList{"one", "Two", "three"}));
        QCOMPARE(r.disp.cmds.at(1).text, QString("Two \"b c\""));
        QCOMPARE(r.disp.cmds.at(1).args, QStringList{"b c"});
        QCOMPARE(next.count(), 3);
    }

    void endAndStop()
    {
        for (const char *word : {":end", ":STOP", ":End"}) {
            Rig r;
            r.batch.batchLoad(script(QByteArray("a\n") + word + "\nb\n"));
            QVERIFY(r.run());
            QCOMPARE(r.disp.names(), QStringList{"a"});
        }
    }

    void jumps()
    {
        Rig r;
        r.batch.batchLoad(script(
            "a\n"
            ":GoTo L2\n"
            "skipped\n"
            "L2 first\n"
            "x1\n"
            ":goto l3\n"            // only "L3" exists: no match, go on
            "L2 second\n"
            "x2\n"
            ":goto\n"               // no label: the line of blanks
            "never\n"
            "   \n"
            "end\n"));
        QVERIFY(r.run());
        // jump targets and the line of blanks are no commands: not handed on
        QCOMPARE(r.disp.names(), (QStringList{"a", "x1", "x2", "end"}));

        // without a blank line, ":goto" alone just goes on
        Rig s;
        s.batch.batchLoad(script("a\n:goto\nb\n"));
        QVERIFY(s.run());
        QCOMPARE(s.disp.names(), (QStringList{"a", "b"}));
    }

    void conditions()
    {
        Rig r;
        r.batch.ok = true;
        r.batch.batchLoad(script(
            "fail\n"
            ":ifok calc_exec\n"         // not run: handed on as ":ifok", ok is true again
            ":IfOk images_load \"/my dir\" \"*.img\"\n"
            "fail\n"
            ":ifng :goto there\n"
            "skipped\n"
            "there\n"
            ":ifng x\n"                 // ok is true after "there"
            ":ifok :ifng y\n"           // ":ifng y" with ok true: not run
            "seq_exec_next\n"           // fails at the last set: no failure
            "fail\n"
            ":ifng :IFOK z\n"           // ":ifok z" with ok false: not run, ok true again
        ));
        QVERIFY(r.run());
        // conditions that do not hold and jump targets are not handed on
        QCOMPARE(r.disp.names(), (QStringList{"fail", "images_load", "fail", "seq_exec_next", "fail"}));
        // the re-parsed rest has lost its quotes
        QCOMPARE(r.disp.cmds.at(1).args, (QStringList{"/my", "dir", "*.img"}));
        QCOMPARE(r.disp.cmds.at(1).text, QString("images_load /my dir *.img"));
        QVERIFY(r.batch.ok);
        // every command handed on is counted; "seq_exec_next" is no failure
        QCOMPARE(r.batch.commandsRun(), 5);
        QCOMPARE(r.batch.commandsFailed(), 3);
    }

    // Batch and configuration files: LF, CR LF and CR alone end a line; only
    // regular files are read (a device never ends, a pipe would hold).
    void lineEndsAndSpecialFiles()
    {
        Batch b;
        b.batchLoad(script("a 1\rb 2\r\nc 3\n\rd 4"));
        QCOMPARE(b.script(), (QStringList{"a 1", "b 2", "c 3", "d 4"}));
        QVERIFY(!b.lastLoadFailed());

        ConfigTable t;
        QVERIFY(t.readFile(script("k1 v1\rk2 v2\r\nk3 \"v 3\"\r")));
        QCOMPARE(t.configLines(), (QStringList{"k1 v1", "k2 v2", "k3 \"v 3\""}));
        QCOMPARE(t.value("k3"), QString("v 3"));

        const QByteArray fifo = QFile::encodeName(tmp.filePath("pipe"));
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        for (const QString &special : {QString("/dev/zero"), QString::fromLocal8Bit(fifo)}) {
            QTest::ignoreMessage(QtWarningMsg, qPrintable("Can't open batch file " + special));
            b.batchLoad(special);
            QVERIFY(b.lastLoadFailed());
            QCOMPARE(b.script().size(), 4);         // the script stays
            QTest::ignoreMessage(QtWarningMsg, qPrintable("Can't open config file : " + special));
            QVERIFY(!t.readFile(special));
        }
    }

    void execToggles()
    {
        Rig r;
        r.batch.batchLoad(script("a\nb\nc\n"));
        r.disp.answer = false;
        r.batch.batchExec();
        QTRY_COMPARE(r.disp.cmds.size(), 1);
        r.batch.batchExec();                // stops; the line in the dispatcher finishes
        QVERIFY(!r.batch.isRunning());
        r.batch.batchCheckEnd();
        QTest::qWait(20);
        QCOMPARE(r.disp.cmds.size(), 1);

        r.disp.answer = true;
        QVERIFY(r.run());                   // starts again from the first line
        QCOMPARE(r.disp.names(), (QStringList{"a", "a", "b", "c"}));

        r.batch.batchStop();
        r.batch.batchStart();
        QTRY_VERIFY(!r.batch.isRunning());
        QCOMPARE(r.disp.cmds.size(), 7);
    }

    void emptyScript()
    {
        Rig r;
        QVERIFY(r.run());                   // nothing loaded: ends at once
        QCOMPARE(r.disp.cmds.size(), 0);
        r.batch.batchStart();
        r.batch.batchCheckEnd();            // running with an empty script
        QVERIFY(!r.batch.isRunning());
    }

    void controlWordLoopCanBeStopped()
    {
        // ":goto :goto" jumps to itself without ever reaching the dispatcher.
        Rig r;
        r.batch.batchLoad(script(":goto :goto\n"));
        static int logged;
        logged = 0;
        const QtMessageHandler old = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext &, const QString &) { ++logged; });
        r.batch.batchExec();
        const bool looped = QTest::qWaitFor([] { return logged > 50; }, 5000);
        r.batch.batchExec();
        qInstallMessageHandler(old);
        QVERIFY(looped);
        QVERIFY(!r.batch.isRunning());
        QCOMPARE(r.disp.cmds.size(), 0);
    }

    void gotoLoopKeepsTheWindowResponsive()
    {
        // A loop through the dispatcher, with the interpreter on its own
        // thread as in the program: the window thread keeps handling its
        // events while the loop runs, and the loop stops when asked.
        QThread thread;
        auto *batch = new Batch;
        Dispatcher disp;
        disp.batch = batch;
        batch->moveToThread(&thread);
        connect(batch, &Batch::batchExCmd, &disp, &Dispatcher::batchExCmd);
        connect(&disp, &Dispatcher::callBatchCheckEnd, batch, &Batch::batchCheckEnd);
        thread.start();
        const auto stop = qScopeGuard([&] {
            thread.quit();
            thread.wait();
            delete batch;
        });
        // Asked on the interpreter's thread. Atomic: the blocking hand-over
        // happens inside Qt, where the thread sanitizer cannot see it.
        const auto running = [batch] {
            std::atomic<bool> r{false};
            QMetaObject::invokeMethod(batch, [&] { r = batch->isRunning(); },
                                      Qt::BlockingQueuedConnection);
            return r.load();
        };

        // Both threads log; nothing is counted here.
        const QtMessageHandler old = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext &, const QString &) {});
        const auto restore = qScopeGuard([old] { qInstallMessageHandler(old); });

        int ticks = 0;
        QTimer timer;
        timer.setInterval(5);
        connect(&timer, &QTimer::timeout, [&] { ++ticks; });
        timer.start();

        QMetaObject::invokeMethod(batch, "batchLoad", Qt::QueuedConnection,
                                  Q_ARG(QString, script("top\nwork 1\n:goto top\nnever\n")));
        QMetaObject::invokeMethod(batch, &Batch::batchExec, Qt::QueuedConnection);
        QVERIFY(QTest::qWaitFor([&] { return disp.cmds.size() >= 50; }, 20000));
        ticks = 0;
        const qsizetype before = disp.cmds.size();
        QEventLoop window;      // the window's own loop for 300 ms
        QTimer::singleShot(300, &window, &QEventLoop::quit);
        window.exec();
        QVERIFY(running());
        QVERIFY2(disp.cmds.size() > before + 50, qPrintable(QString("%1 -> %2").arg(before).arg(disp.cmds.size())));    // still looping
        QVERIFY2(ticks >= 10, qPrintable(QString("timer ticks in 300 ms: %1").arg(ticks)));
        QVERIFY(!disp.names().contains("never"));

        QMetaObject::invokeMethod(batch, &Batch::batchExec, Qt::QueuedConnection);
        QTRY_VERIFY(!running());
        const qsizetype done = disp.cmds.size();
        QTest::qWait(50);
        QVERIFY(disp.cmds.size() <= done + 1);      // at most the line in flight
        QVERIFY(!running());
    }

    void onItsOwnThread()
    {
        QThread thread;
        auto *batch = new Batch;
        Dispatcher disp;
        disp.batch = batch;
        batch->moveToThread(&thread);
        connect(batch, &Batch::batchExCmd, &disp, &Dispatcher::batchExCmd);
        connect(&disp, &Dispatcher::callBatchCheckEnd, batch, &Batch::batchCheckEnd);
        thread.start();
        const auto stop = qScopeGuard([&] {
            thread.quit();
            thread.wait();
            delete batch;
        });

        QMetaObject::invokeMethod(batch, "batchLoad", Qt::QueuedConnection,
                                  Q_ARG(QString, script("a 1\nfail\n:ifng b \"2 3\"\n:ifok c\nd\n")));
        QMetaObject::invokeMethod(batch, &Batch::batchExec, Qt::QueuedConnection);
        QTRY_COMPARE(disp.cmds.size(), 5);
        QTest::qWait(20);
        QCOMPARE(disp.names(), (QStringList{"a", "fail", "b", "c", "d"}));
        QCOMPARE(disp.cmds.at(2).args, (QStringList{"2", "3"}));
        QCOMPARE(disp.cmds.at(0).args, QStringList{"1"});
    }
};

QTEST_GUILESS_MAIN(TestBatch)
#include "TestBatch.moc"
