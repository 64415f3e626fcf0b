// The program itself, without a window: "-q" ends it when its batch run
// ends, after reconstructing and saving, with a status that says whether
// everything worked (0), something failed (1) or nothing could run (2), and
// a summary line; every failure is named on the warning channel. Without
// "-q" it stays.
#include "TestFiles.h"
#include "Phantom.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

class TestHeadless : public QObject
{
    Q_OBJECT
    QTemporaryDir tmp;

    QString writeBatch(const QString &name, const QString &text)
    {
        return writeTestFile(tmp, name, text.toUtf8());
    }

    // Starts tomix in the temporary directory (no configuration file there).
    // Debug output is muted: failures must still be named.
    void start(QProcess &p, const QStringList &args)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("QT_LOGGING_RULES", "*.debug=false");
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(tmp.path());
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(TOMIX_BIN, args);
        QVERIFY(p.waitForStarted(10000));
    }

private slots:
    void initTestCase()
    {
        Phantom::Options o;
        o.width = 48;
        o.height = 12;
        o.projections = 60;
        o.energies = {7100};
        QString err;
        QVERIFY2(Phantom::standard(o).writeSeries(tmp.filePath("data"), &err), qPrintable(err));
    }

    void quitsWhenTheBatchEnds()
    {
        const QString bat = writeBatch("run.bat",
            "# relative paths: the working directory\n"
            "i0_load data/ref/i0-7100eV-00000.img\n"
            "bg_load data/ref/bg.img\n"
            "ct_rot_ax_is_v 1\n"
            "images_load data sample-7100eV-*.img\n"
            "ct_slice_from 2\n"
            "ct_slice_to 5\n"
            "ct_threads 2\n"
            "auto_save_data 1\n"
            "auto_save_data_path results\n"
            "auto_save_data_name x\n"
            "auto_save_data_tag E7100\n"
            "calc_ct2 1\n"
            "ct_auto_exec 1\n"
            "calc_exec\n"
            ":stop\n"
            "ct_slice_to 9\n"
            "calc_exec\n");
        QProcess p;
        start(p, {"-nw", "-e", "-b", bat, "-x", "-q"});
        const bool finished = p.waitForFinished(120000);
        const QByteArray out = p.readAll();
        QVERIFY2(finished, out.constData());
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QVERIFY2(out.contains("tomix: 14 commands run, 0 failed; 4 files written, 0 not written; "
                              "0 other failures\n"), out.constData());
        // every slice of the range was saved before the end; nothing after ":stop" ran
        for (int s = 2; s <= 5; ++s)
            QVERIFY(QFile::exists(tmp.filePath(QString::asprintf("results/x-E7100-%05d.dat", s))));
        QVERIFY(!QFile::exists(tmp.filePath("results/x-E7100-00006.dat")));
        // written under a temporary name and renamed: nothing else is left
        QCOMPARE(QDir(tmp.filePath("results")).entryList(QDir::Files).size(), 4);
    }

    // Status 1: it ran, and things failed; each is named even with debug
    // output muted, and the batch went on after each.
    void failuresGiveStatusOne()
    {
        QVERIFY(QDir(tmp.path()).mkpath("empty"));
        writeBatch("blocker", "a file where a folder should be");
        const QString bat = writeBatch("fails.bat",
            "frobnicate 1\n"                           // unknown command
            "images_load nowhere *.img\n"              // no such directory
            "images_load empty *.img\n"                // nothing matches
            "i0_load data/ref/missing.img\n"           // cannot be read
            "i0_load data/ref/i0-7100eV-00000.img\n"
            "bg_load data/ref/bg.img\n"
            "ct_rot_ax_is_v 1\n"
            "images_load data sample-7100eV-0000*.img\n"
            "ct_slice_from 3\n"
            "ct_slice_to 3\n"
            "auto_save_data 1\n"
            "auto_save_data_path blocker/results\n"     // cannot be made
            "calc_ct2 1\n"
            "ct_auto_exec 1\n"
            "calc_exec\n"
            "seq_exec_next\n"                          // no further set: how loops end
            ":ifng :echo done\n");
        QProcess p;
        start(p, {"-nw", "-e", "-b", bat, "-x", "-q"});
        QVERIFY(p.waitForFinished(120000));
        const QByteArray out = p.readAll();
        QCOMPARE(p.exitCode(), 1);
        for (const char *named : {"Unknown command : frobnicate", "Can't read directory : nowhere",
                                  "No file matches *.img in : empty",
                                  "Can't read image file : data/ref/missing.img",
                                  "Can't make folder : blocker/results", "Can't write data file : ",
                                  "tomix: 16 commands run, 4 failed; 0 files written, 1 not written; "
                                  "1 other failures\n"})
            QVERIFY2(out.contains(named), out.constData());
    }

    // Inputs that would never end are refused, named and counted: a named
    // pipe as I0, a link to one as BG and among the files of a series; a
    // pipe, a folder and a chain nested too deep among the configuration's
    // INCLUDEs. The run ends with status 1 instead of hanging.
    void inputsThatNeverEndAreRefused()
    {
        QDir d(tmp.path());
        QVERIFY(d.mkpath("piped/series") && d.mkpath("piped/deep"));
        const QString fifo = tmp.filePath("piped/pipe.img");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(QFile::link(fifo, tmp.filePath("piped/link.img")));
        for (const char *n : {"sample-7100eV-00000.img", "sample-7100eV-00001.img"})
            QVERIFY(QFile::copy(tmp.filePath(QString("data/") + n), tmp.filePath(QString("piped/series/") + n)));
        QVERIFY(QFile::link(fifo, tmp.filePath("piped/series/sample-7100eV-00002.img")));

        // top includes c0, which includes c1 ...: c64 would be the 65th level
        const int chain = 70;
        for (int i = 0; i < chain; ++i)
            writeBatch(QString("piped/deep/c%1.cfg").arg(i),
                       QString("INCLUDE piped/deep/c%1.cfg\n").arg(i + 1));
        writeBatch("piped/top.cfg", "INCLUDE piped/pipe.img\nINCLUDE piped/series\n"
                                    "INCLUDE piped/deep/c0.cfg\nct_threads 1\n");
        const QString bat = writeBatch("piped.bat",
            "i0_load piped/pipe.img\n"
            "bg_load piped/link.img\n"
            "images_load piped/series *.img\n");
        QProcess p;
        start(p, {"-c", "piped/top.cfg", "-nw", "-e", "-b", bat, "-x", "-q"});
        const bool finished = p.waitForFinished(60000);
        const QByteArray out = p.readAll();
        QVERIFY2(finished, out.constData());
        QCOMPARE(p.exitCode(), 1);
        for (const char *named : {"Not a regular file, not read as an image : piped/pipe.img",
                                  "Not a regular file, not read as an image : piped/link.img",
                                  "Not a regular file, not read as an image : ",
                                  "Can't open config file : piped/pipe.img",
                                  "Can't open config file : piped/series",
                                  "Config files INCLUDE each other more than 64 deep, not read : "
                                  "piped/deep/c64.cfg",
                                  "tomix: 3 commands run, 3 failed; 0 files written, 0 not written; "
                                  "3 other failures\n"})
            QVERIFY2(out.contains(named), out.constData());
        QVERIFY2(out.contains("piped/series/sample-7100eV-00002.img"), out.constData());
        QVERIFY2(!out.contains("c65.cfg"), out.constData());
    }

    // A filter command that is refused counts as a failure of the run.
    void refusedFilterGivesStatusOne()
    {
        const QString bat = writeBatch("filter.bat",
            "ct_filter hann 0.4\n"
            "ct_filter_padding edge\n"
            "ct_filter hanning\n"
            "ct_filter ramp 0.75\n"
            "ct_filter_padding mirror\n");
        QProcess p;
        start(p, {"-nw", "-e", "-b", bat, "-x", "-q"});
        QVERIFY(p.waitForFinished(60000));
        const QByteArray out = p.readAll();
        QCOMPARE(p.exitCode(), 1);
        for (const char *named : {"ct_filter refused : hanning", "ct_filter refused : ramp 0.75",
                                  "ct_filter_padding refused : mirror",
                                  "tomix: 5 commands run, 3 failed;"})
            QVERIFY2(out.contains(named), out.constData());
    }

    // Status 2: no batch to run at all.
    void nothingToRunGivesStatusTwo()
    {
        const QString fifo = tmp.filePath("pipe");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        for (const QString &bat : {tmp.filePath("none.bat"), QString("/dev/zero"), fifo}) {
            QProcess p;
            start(p, {"-nw", "-e", "-b", bat, "-x", "-q"});
            QVERIFY2(p.waitForFinished(60000), qPrintable(bat));
            QCOMPARE(p.exitCode(), 2);
            QVERIFY(p.readAll().contains("Can't open batch file " + bat.toUtf8()));
        }
        // "-q" without "-x" would never end
        QProcess p;
        start(p, {"-nw", "-e", "-b", writeBatch("ok.bat", "ct_threads 1\n"), "-q"});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 2);
    }

    void staysWithoutQ()
    {
        const QString bat = writeBatch("short.bat", "ct_threads 1\n");
        QProcess p;
        start(p, {"-nw", "-e", "-b", bat, "-x"});
        QVERIFY(!p.waitForFinished(1500));
        QCOMPARE(p.state(), QProcess::Running);
        p.kill();
        p.waitForFinished(10000);
    }
};

QTEST_MAIN(TestHeadless)
#include "TestHeadless.moc"
