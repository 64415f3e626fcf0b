// The centre of rotation on the real main window: found by the batch
// commands (logged, set or recorded; failures fail the command and change
// nothing), followed along a tilted axis by every slice of a worker run,
// tried side by side on a strip whose labels and files carry the CoR each
// trial was made at; in a sequence, found afresh for every data set.
#include "Body.h"
#include "ui_Body.h"

#include "Batch.h"
#include "CtCalc2.h"
#include "CorTrialStrip.h"
#include "CtCalc2Ui.h"
#include "DataSaver.h"
#include "ImgDatas.h"
#include "Phantom.h"
#include "ProcCtrl.h"
#include "SelectDataDir.h"
#include "SetupFile.h"
#include "SelectAFile.h"

#include <QDir>
#include <QFile>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QLineEdit>
#include <QToolButton>
#include <QMutex>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

namespace {
QMutex logMutex;
QStringList logLines;
QtMessageHandler previousHandler = nullptr;

void collect(QtMsgType type, const QMessageLogContext &ctx, const QString &msg)
{
    {
        QMutexLocker lock(&logMutex);
        logLines << msg;
    }
    previousHandler(type, ctx, msg);
}

QStringList takeLog()
{
    QMutexLocker lock(&logMutex);
    QStringList l = logLines;
    logLines.clear();
    return l;
}

QByteArray readAll(const QString &file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

class TestCorWorkflow : public QObject
{
    Q_OBJECT
    QTemporaryDir tmp;

    static void cmd(Body &b, const QString &line)
    {
        b.batch()->ok = true;       // as the interpreter does before each line
        b.batchExCmd(BatchCmd::parse(line));
    }

    static void load(Body &b, const QString &dir)
    {
        cmd(b, "ct_rot_ax_is_v 1");
        cmd(b, QString("images_load %1 sample-*.img").arg(dir));
        QTRY_VERIFY_WITH_TIMEOUT(!b.isLoading() && b.images()->count() > 0, 30000);
        cmd(b, QString("i0_load %1/ref/i0-7112.5eV-00000.img").arg(dir));
        cmd(b, QString("bg_load %1/ref/bg.img").arg(dir));
    }

    static void runAndWait(Body &b)
    {
        cmd(b, "calc_exec");
        QTRY_VERIFY_WITH_TIMEOUT(!b.isCalculating(), 60000);
        // every record reached the saver before its slice finished
        QMetaObject::invokeMethod(b.dataSaver(), [] {}, Qt::BlockingQueuedConnection);
    }

private slots:
    void initTestCase()
    {
        previousHandler = qInstallMessageHandler(collect);
    }

    void findCommands()
    {
        Phantom::Options o;
        o.width = 96;
        o.height = 8;
        o.projections = 90;
        o.corOffset = 9.37;
        o.noise = true;
        const Phantom p = Phantom::standard(o);
        const QString dir = tmp.filePath("find");
        QVERIFY(p.writeSeries(dir));

        Body b;
        load(b, dir);
        ProcCtrl *pc = b.form()->procCtrl;
        cmd(b, "ct_proc_slice 4");
        cmd(b, "ct_cor 40");
        takeLog();

        cmd(b, "ct_find_cor");
        QVERIFY(b.batch()->ok);
        QVERIFY2(std::abs(pc->cor - p.cor()) <= 0.25, qPrintable(QString::number(pc->cor)));
        QCOMPARE(std::round(pc->cor * 100) / 100, pc->cor);
        QVERIFY(takeLog().contains(QString("CoR found : %1 (slice 4, correlation)").arg(pc->cor)));

        cmd(b, "ct_cor 40");
        cmd(b, "ct_find_cor Fourier");
        QVERIFY(b.batch()->ok);
        QVERIFY(std::abs(pc->cor - p.cor()) <= 0.25);
        QVERIFY(takeLog().contains(QString("CoR found : %1 (slice 4, fourier)").arg(pc->cor)));

        cmd(b, "ct_find_recorded_cor 2 6");
        QVERIFY(b.batch()->ok);
        QCOMPARE(pc->recSlice2, 6);
        QVERIFY(std::abs(pc->recCor2 - p.cor()) <= 0.25);
        QVERIFY(takeLog().contains(QString("CoR found : %1 (slice 6, correlation)").arg(pc->recCor2)));

        // failures: an unknown method, a slice outside the image, no pair 3
        const double before = pc->cor;
        for (const char *line : {"ct_find_cor phase", "ct_proc_slice 99", "ct_find_recorded_cor 3 4"}) {
            cmd(b, line);
            if (QByteArray(line).startsWith("ct_proc_slice")) {
                cmd(b, "ct_find_cor");
            }
            QVERIFY2(!b.batch()->ok, line);
            QCOMPARE(pc->cor, before);
        }
        const QStringList log = takeLog();
        QVERIFY(log.contains("CoR not found : no sinogram (slice 99, correlation)"));
        QVERIFY(log.contains("CoR not found : no such method : phase"));
        QCOMPARE(pc->recSlice2, 6);
        QCOMPARE(pc->recSlice1, -1);

        // "Find" beside "Center", with its choice of method
        auto *find = pc->findChild<QPushButton *>("FindCor");
        auto *method = pc->findChild<QComboBox *>("FindCorMethod");
        QVERIFY(find && method);
        method->setCurrentText("fourier");
        find->click();      // slice 99: nothing found
        QCOMPARE(pc->cor, before);
        QCOMPARE(find->styleSheet(), QString("background-color: rgb(255, 192, 192);"));
        cmd(b, "ct_proc_slice 4");
        takeLog();
        find->click();
        QVERIFY(std::abs(pc->cor - p.cor()) <= 0.25);
        QVERIFY(find->styleSheet().isEmpty());
        QVERIFY(takeLog().contains(QString("CoR found : %1 (slice 4, fourier)").arg(pc->cor)));

        // without the I0 every row carries -ln(I0 - BG): still the axis, not
        // the middle of the line
        cmd(b, "i0_clear");
        for (const char *line : {"ct_find_cor correlation", "ct_find_cor fourier"}) {
            cmd(b, "ct_cor 40");
            cmd(b, line);
            QVERIFY2(b.batch()->ok, line);
            QVERIFY2(std::abs(pc->cor - p.cor()) <= 0.25, qPrintable(QString::number(pc->cor)));
        }
    }

    // A sample turning about an axis that moves half a pixel per slice: with
    // the two recorded pairs set, every slice of a range run is the slice a
    // run at its own CoR makes, byte for byte, and its CoR is shown and logged.
    void tiltedAxisFollowed()
    {
        Phantom::Options o;
        o.width = 64;
        o.height = 10;
        o.projections = 60;
        o.corOffset = 0.25;
        o.corTilt = 0.5;        // CoR of slice s: 29.5 + 0.5 s
        const Phantom p = Phantom::standard(o);
        QCOMPARE(p.corAt(0), 29.5);
        const QString dir = tmp.filePath("tilt");
        QVERIFY(p.writeSeries(dir));

        Body b;
        load(b, dir);
        const QString outA = tmp.filePath("tiltA"), outB = tmp.filePath("tiltB");
        for (const QString &line : {QString("calc_ct2 1"), QString("ct_auto_exec 1"),
                                    QString("ct_slice_from 0"), QString("ct_slice_to 9"),
                                    QString("ct_threads 2"), QString("ct_cor 31"),
                                    QString("ct_recorded_cor_1 2 30.5"), QString("ct_recorded_cor_2 6 32.5"),
                                    QString("auto_save_data 1"), QString("auto_save_data_name t"),
                                    QString("auto_save_data_tag E"), "auto_save_data_path " + outA})
            cmd(b, line);
        takeLog();
        runAndWait(b);
        const QStringList log = takeLog();
        for (int s = 0; s <= 9; ++s)
            QVERIFY2(log.contains(QString("Slice %1 at CoR %2").arg(s).arg(p.corAt(s))),
                     qPrintable(QString::number(s)));

        // one slice at a time, at the CoR of the line, without the pairs
        cmd(b, "ct_auto_exec 0");
        cmd(b, "ct_recorded_cor_1 -1 0");
        cmd(b, "auto_save_data_path " + outB);
        for (int s : {0, 4, 9}) {
            cmd(b, QString("ct_proc_slice %1").arg(s));
            cmd(b, QString("ct_cor %1").arg(p.corAt(s)));
            runAndWait(b);
            QTRY_COMPARE(b.workerPanels().first()->corField->text(), QString::number(p.corAt(s)));
            const QString name = QString("/t-E-%1.dat").arg(s, 5, 10, QChar('0'));
            const QByteArray a = readAll(outA + name), c = readAll(outB + name);
            QVERIFY(!a.isEmpty());
            QVERIFY2(a == c, qPrintable(name));
        }
        // the plain CoR gives another slice
        cmd(b, "ct_proc_slice 9");
        cmd(b, "ct_cor 31");
        runAndWait(b);
        QVERIFY(readAll(outA + "/t-E-00009.dat") != readAll(outB + "/t-E-00009.dat"));
    }
    void trialStrip()
    {
        Phantom::Options o;
        o.width = 64;
        o.height = 6;
        o.projections = 60;
        const Phantom p = Phantom::standard(o);
        const QString dir = tmp.filePath("trial");
        QVERIFY(p.writeSeries(dir));

        Body b;
        load(b, dir);
        const QString out = tmp.filePath("trialOut");
        for (const QString &line : {QString("calc_ct2 1"), QString("ct_proc_slice 3"),
                                    QString("auto_save_in_sub_folders 1"),
                                    QString("auto_save_in_sub_folders_of_energy 1"),
                                    QString("auto_save_data 1"), QString("auto_save_data_name tr"),
                                    QString("auto_save_data_tag F"), "auto_save_data_path " + out,
                                    QString("auto_save_image 1"), QString("auto_save_image_name tr"),
                                    QString("auto_save_image_tag F"), "auto_save_image_path " + out})
            cmd(b, line);
        cmd(b, "ct_try_cor 30.1 31.6 0.3");
        QVERIFY(b.batch()->ok);
        QVERIFY(b.isCalculating());
        QTRY_VERIFY_WITH_TIMEOUT(!b.isCalculating(), 60000);
        QMetaObject::invokeMethod(b.dataSaver(), [] {}, Qt::BlockingQueuedConnection);

        const QStringList cors{"30.1", "30.4", "30.7", "31", "31.3", "31.6"};
        CorTrialStrip *strip = b.corTrials();
        QStringList want;
        for (const QString &c : cors)
            want << "CoR " + c;
        QTRY_COMPARE(strip->labels(), want);
        // in the save path itself, the tag extended by the CoR
        for (const QString &c : cors) {
            QVERIFY2(QFile::exists(out + "/tr-F-cor" + c + "-00003.dat"), qPrintable(c));
            QVERIFY(QFile::exists(out + "/tr-F-cor" + c + "-00003.png"));
        }
        QVERIFY(!QDir(out + "/F-cor30.7").exists());

        // a trial is the slice a run at its CoR makes
        cmd(b, "ct_cor 30.7");
        runAndWait(b);
        QCOMPARE(readAll(out + "/tr-F-cor30.7-00003.dat"), readAll(out + "/F/tr-F-00003.dat"));

        // a click makes the trial's CoR the CoR
        for (QToolButton *t : strip->findChildren<QToolButton *>())
            if (t->text() == "CoR 30.4")
                t->click();
        QCOMPARE(b.form()->procCtrl->cor, 30.4);
        QCOMPARE(strip->corOf(1), 30.4);

        // an empty tag becomes "cor" and the CoR
        cmd(b, "auto_save_data_tag \"\"");
        cmd(b, "ct_try_cor 31 31 1");
        QTRY_VERIFY_WITH_TIMEOUT(!b.isCalculating(), 60000);
        QMetaObject::invokeMethod(b.dataSaver(), [] {}, Qt::BlockingQueuedConnection);
        QVERIFY(QFile::exists(out + "/tr-cor31-00003.dat"));
        QTRY_COMPARE(strip->labels(), QStringList{"CoR 31"});

        // nothing to try: the command fails
        cmd(b, "ct_try_cor 31 30 1");
        QVERIFY(!b.batch()->ok);
        QVERIFY(!b.isCalculating());
    }
    // Three energies whose axis drifts by several pixels: with "Auto CoR" on,
    // each set of a batch loop is reconstructed at its own CoR; a set where
    // nothing can be found keeps the CoR before it and says so.
    void sequenceWithDriftingAxis()
    {
        const QString dir = tmp.filePath("seq");
        const QList<double> energies{7100, 7112.5, 7125};
        const QList<double> offsets{-6.3, 0.4, 5.77};
        QList<double> cors;
        for (int e = 0; e < 3; ++e) {
            Phantom::Options o;
            o.width = 96;
            o.height = 8;
            o.projections = 90;
            o.noise = true;
            o.seed = quint64(e + 1);
            o.energies = {energies[e]};
            o.corOffset = offsets[e];
            const Phantom p = e == 2 ? Phantom(o) : Phantom::standard(o);  // the last: no sample
            QVERIFY(p.writeSeries(dir));
            cors << p.cor();
        }

        Body b;
        for (const QString &line : {QString("ct_rot_ax_is_v 1"), "seq_exec_dir " + dir,
                                    QString("seq_exec_file_pattern *.img"),
                                    "seq_exec_select_i0 " + dir + "/ref i0-*.img",
                                    QString("seq_exec_auto_cor 1"), QString("calc_ct2 1"),
                                    QString("images_keep_setup 1"), QString("ct_proc_slice 4")})
            cmd(b, line);
        QCOMPARE(b.form()->SelDDir->count(), 3);
        QVERIFY(b.autoCorBox()->isChecked());
        ProcCtrl *pc = b.form()->procCtrl;
        takeLog();
        for (int e = 0; e < 3; ++e) {
            if (e > 0) {
                cmd(b, "seq_exec_next");
                QVERIFY(b.batch()->ok);
            }
            cmd(b, "seq_exec_set");
            QTRY_VERIFY_WITH_TIMEOUT(!b.isLoading() && b.images()->count() == 90, 30000);
            runAndWait(b);
            const QStringList log = takeLog();
            if (e < 2) {
                QVERIFY2(std::abs(pc->cor - cors[e]) <= 0.25, qPrintable(QString::number(pc->cor)));
                QVERIFY(log.contains(QString("CoR found : %1 (slice 4, correlation)").arg(pc->cor)));
            } else {
                QVERIFY(std::abs(pc->cor - cors[1]) <= 0.25);   // kept
                QVERIFY(log.contains(QString("Data set %1 keeps the previous CoR %2")
                                         .arg(b.form()->SelDDir->currentName()).arg(pc->cor)));
            }
            QVERIFY(log.contains(QString("Slice 4 at CoR %1").arg(pc->cor)));
        }

        // saved with the setup, last in its fourth section
        const QString setup = tmp.filePath("seq.cfg");
        QVERIFY(SetupFile(&b).save(setup));
        const QStringList lines = QString::fromUtf8(readAll(setup)).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.last(), SetupFile::line("seq_exec_auto_cor", "1"));
        cmd(b, "seq_exec_auto_cor 0");
        QVERIFY(SetupFile(&b).load(setup));
        QVERIFY(b.autoCorBox()->isChecked());
    }
};

QTEST_MAIN(TestCorWorkflow)
#include "TestCorWorkflow.moc"
