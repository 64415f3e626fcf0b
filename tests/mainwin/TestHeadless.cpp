// The program itself, without a window: "-q" ends it with code 0 when its
// batch run ends, after reconstructing and saving; without "-q" it stays.
#include "TestFiles.h"
#include "Phantom.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestHeadless : public QObject
{
    Q_OBJECT
    QTemporaryDir tmp;

    QString writeBatch(const QString &name, const QString &text)
    {
        return writeTestFile(tmp, name, text.toUtf8());
    }

    // Starts tomix in the temporary directory (no configuration file there).
    void start(QProcess &p, const QStringList &args)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
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
        QVERIFY2(p.waitForFinished(120000), p.readAll().constData());
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        // every slice of the range was saved before the end; nothing after ":stop" ran
        for (int s = 2; s <= 5; ++s)
            QVERIFY(QFile::exists(tmp.filePath(QString::asprintf("results/x-E7100-%05d.dat", s))));
        QVERIFY(!QFile::exists(tmp.filePath("results/x-E7100-00006.dat")));
    }

    void missingBatchEndsAtOnce()
    {
        QProcess p;
        start(p, {"-nw", "-e", "-b", tmp.filePath("none.bat"), "-x", "-q"});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(p.readAll().contains("Can't open batch file"));
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
