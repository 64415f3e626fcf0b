// Command line, configuration file and the shared item syntax.
#include "TestFiles.h"
#include "ConfigTable.h"
#include "LineSyntax.h"
#include "StartOptions.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class TestConfigTable : public QObject
{
    Q_OBJECT

    QTemporaryDir tmp;

    QString write(const QString &name, const QByteArray &text)
    {
        return writeTestFile(tmp, name, text);
    }

private slots:
    void tokens_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("rest");
        QTest::newRow("empty") << "" << "" << "";
        QTest::newRow("blanks") << "  \t " << "" << "";
        QTest::newRow("plain") << "  abc def" << "abc" << " def";
        QTest::newRow("last") << "abc" << "abc" << "";
        QTest::newRow("quoted") << " \"a b#c\" rest" << "a b#c" << " rest";
        QTest::newRow("unclosed quote") << "\"a b c" << "a b c" << "";
        QTest::newRow("quote at end") << "ab\" cd" << "ab\"" << " cd";
    }
    void tokens()
    {
        QFETCH(QString, text);
        QFETCH(QString, item);
        QFETCH(QString, rest);
        if (text.startsWith("\"a b c"))
            QTest::ignoreMessage(QtDebugMsg,
                "In a line [\"a b c] item is started from quote but not ended by quote");
        if (text.startsWith("ab\""))
            QTest::ignoreMessage(QtDebugMsg,
                "In a line [ab\" cd] item is started from not quote but ended by quote");
        QString r = "junk";
        QCOMPARE(nextToken(text, r), item);
        QCOMPARE(r, rest);
        // rest may be the text itself
        QString same = text;
        QCOMPARE(nextToken(same, same), item);
        QCOMPARE(same, rest);
    }

    void comments()
    {
        QCOMPARE(stripComment("key value # note"), QString("key value "));
        QCOMPARE(stripComment("key \"a#b\" # note"), QString("key \"a#b\" "));
        QCOMPARE(stripComment("it's # quoted"), QString("it's # quoted"));
        QCOMPARE(stripComment("# only"), QString());
    }

    void commandLine()
    {
        ConfigTable t;
        t.parseArgs(QStringList{"tomix", "stray", "-d", "one", "two", "-e", "-b", "run.bat", "-x", "-nw"});
        QVERIFY(!t.contains("tomix") && !t.contains("stray"));
        QCOMPARE(t.value("-d"), QString("one"));
        QCOMPARE(t.restNoCase("-d"), QString("one two"));
        QVERIFY(t.contains("-e"));
        QCOMPARE(t.value("-e", "x"), QString());
        QCOMPARE(t.value("-b"), QString("run.bat"));
        QVERIFY(t.contains("-x") && t.contains("-nw"));
        QVERIFY(!t.contains("-D"));                 // options are case-sensitive
        QCOMPARE(t.valueNoCase("-D"), QString("one"));

        ConfigTable u;
        u.parseArgs(QStringList{"tomix", "-c", "-config", "b.cfg"});
        QCOMPARE(u.value("-c", "config.cfg"), QString());   // followed by another option
        QCOMPARE(u.value("-config", "config.cfg"), QString("b.cfg"));
    }

    void startOptions()
    {
        ConfigTable none;
        QCOMPARE(StartOptions::configFileName(none), QString("config.cfg"));
        StartOptions o = StartOptions::fromTable(none, "/home/qorin/Data");
        QCOMPARE(o.dataRoot, QString("/home/qorin/Data"));
        QVERIFY(!o.english && !o.hasBatch && !o.execBatch && !o.noWindow && !o.quitAtEnd);

        ConfigTable t;
        t.parseArgs(QStringList{"tomix", "-config", "b.cfg", "-c", "a.cfg", "-nw", "-b", "-x"});
        QCOMPARE(StartOptions::configFileName(t), QString("b.cfg"));
        t.set("DataRoot", "/from/file", " /from/file");
        o = StartOptions::fromTable(t, "/old");
        QCOMPARE(o.dataRoot, QString("/from/file"));
        QVERIFY(o.noWindow && o.hasBatch && o.execBatch && !o.english);
        QCOMPARE(o.batchFile, QString());          // "-b" followed by another option

        t.parseArgs(QStringList{"-d", "/from/line", "-e"});
        o = StartOptions::fromTable(t, "/old");
        QCOMPARE(o.dataRoot, QString("/from/line"));
        QVERIFY(o.english);
        t.parseArgs(QStringList{"-d"});             // empty data root, as asked
        QCOMPARE(StartOptions::fromTable(t, "/old").dataRoot, QString());

        // headless: quit when the batch run ends
        ConfigTable q;
        q.parseArgs(QStringList{"tomix", "-nw", "-e", "-b", "run.bat", "-x", "-q"});
        o = StartOptions::fromTable(q, "/old");
        QVERIFY(o.quitAtEnd && o.noWindow && o.execBatch);
        QCOMPARE(o.batchFile, QString("run.bat"));
        QVERIFY(!StartOptions::fromTable(t, "/old").quitAtEnd);
        ConfigTable upper;
        upper.parseArgs(QStringList{"tomix", "-Q"});   // options are case-sensitive
        QVERIFY(!StartOptions::fromTable(upper, "/old").quitAtEnd);
    }

    void configFile()
    {
        const QString inc = write("inc.cfg", "ct_threads 4\n");
        write("main.cfg",
              "# comment only\n"
              "\n"
              "DataRoot \"/data/my beam\" # where data live\r\n"
              "key first\n"
              "Include " + inc.toUtf8() + "\n"
              "key second and more\n"
              "KEY upper\n"
              "path \"a#b\"\n");
        ConfigTable t;
        QVERIFY(t.readFile(tmp.filePath("main.cfg")));
        QCOMPARE(t.value("DataRoot"), QString("/data/my beam"));
        QCOMPARE(t.value("key"), QString("second"));
        QCOMPARE(t.value("KEY"), QString("upper"));
        QCOMPARE(t.valueNoCase("Key"), QString("upper"));      // same upper-case entry
        QCOMPARE(t.restNoCase("path"), QString(" \"a#b\""));
        QCOMPARE(t.value("path"), QString("a#b"));
        QCOMPARE(t.value("ct_threads"), QString("4"));
        QVERIFY(!t.contains("Include"));
        const QStringList expected{
            "DataRoot \"/data/my beam\" ",
            "key first",
            "Include " + inc,
            "ct_threads 4",
            "key second and more",
            "KEY upper",
            "path \"a#b\""};
        QCOMPARE(t.configLines(), expected);
    }

    void missingFiles()
    {
        ConfigTable t;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Can't open config file : .*nothing.cfg$"));
        QVERIFY(!t.readFile(tmp.filePath("nothing.cfg")));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Can't open config file : $"));
        QVERIFY(!t.readFile(QString()));
        // a device never ends: it is not read
        QTest::ignoreMessage(QtWarningMsg, "Can't open config file : /dev/zero");
        QVERIFY(!t.readFile("/dev/zero"));
        // an INCLUDE that cannot be opened: the including file goes on
        write("host.cfg", "INCLUDE nowhere.cfg\nafter 1\n");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Can't open config file : nowhere.cfg$"));
        QVERIFY(t.readFile(tmp.filePath("host.cfg")));
        QCOMPARE(t.value("after"), QString("1"));
    }

    void includeCycles()
    {
        write("self.cfg", "a 1\nINCLUDE " + tmp.filePath("self.cfg").toUtf8() + "\nb 2\n");
        ConfigTable t;
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("includes itself.*self.cfg$"));
        QVERIFY(t.readFile(tmp.filePath("self.cfg")));
        QCOMPARE(t.value("b"), QString("2"));

        write("x.cfg", "x 1\nINCLUDE " + tmp.filePath("y.cfg").toUtf8() + "\n");
        write("y.cfg", "y 1\nINCLUDE " + tmp.filePath("x.cfg").toUtf8() + "\n");
        ConfigTable u;
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("includes itself.*x.cfg$"));
        QVERIFY(u.readFile(tmp.filePath("x.cfg")));
        QCOMPARE(u.configLines().size(), 4);

        // the same file included twice, not in a cycle, is read twice
        write("leaf.cfg", "leaf 1\n");
        write("twice.cfg", "INCLUDE " + tmp.filePath("leaf.cfg").toUtf8() + "\nINCLUDE "
                               + tmp.filePath("leaf.cfg").toUtf8() + "\n");
        ConfigTable v;
        QVERIFY(v.readFile(tmp.filePath("twice.cfg")));
        QCOMPARE(v.configLines().size(), 4);
    }

    void includeCyclesUnderOtherNames()
    {
        // The same file reached through a link, a "./" path and in a quoted
        // name is still the file being read.
        const QByteArray dir = tmp.path().toUtf8();
        write("loop.cfg", "a 1\nINCLUDE " + dir + "/./link.cfg\ninclude \"" + dir
                              + "/loop.cfg\"\nb 2\n");
        QVERIFY(QFile::link(tmp.filePath("loop.cfg"), tmp.filePath("link.cfg")));
        ConfigTable t;
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("includes itself.*link.cfg$"));
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("includes itself.*loop.cfg$"));
        QVERIFY(t.readFile(tmp.filePath("link.cfg")));
        QCOMPARE(t.value("b"), QString("2"));
        QCOMPARE(t.configLines().size(), 4);

        // A chain of files, none in a cycle, is followed to its end.
        for (int i = 0; i < 40; ++i)
            write(QString("c%1.cfg").arg(i),
                  QString("k%1 %1\nINCLUDE %2/c%3.cfg\n").arg(i).arg(tmp.path()).arg(i + 1).toUtf8());
        ConfigTable u;
        QTest::ignoreMessage(QtWarningMsg, qPrintable("Can't open config file : " + tmp.filePath("c40.cfg")));
        QVERIFY(u.readFile(tmp.filePath("c0.cfg")));
        QCOMPARE(u.value("k39"), QString("39"));
    }
};

QTEST_GUILESS_MAIN(TestConfigTable)
#include "TestConfigTable.moc"
