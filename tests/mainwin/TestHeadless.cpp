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

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

class TestHeadless : public QObject
{
    Q_OBJECT
    QTemporaryDir tmp;

    QString writeBatch(const QString &name, const QString &text)
    {
        return writeTestFile(tmp, name, text.toUtf8());
    }

    static QByteArray readAll(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
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

    // Float TIFF projections with NaN and infinite pixels: each is replaced
    // from its neighbours in the line and named with its file and position;
    // no "nan" or "inf" reaches a saved file. A row with no finite pixel at
    // all cannot be mended: that slice is named, not written, and counted.
    void nonFinitePixels()
    {
        Phantom::Options o;
        o.width = 48;
        o.height = 12;
        o.projections = 40;
        const Phantom ph = Phantom::standard(o);
        const double E = o.energies.first();
        Phantom::TiffLayout f;
        f.bits = 32;
        f.isFloat = true;
        const QString dir = tmp.filePath("float");
        QVERIFY(QDir().mkpath(dir + "/ref"));
        const double nan = std::nan(""), inf = std::numeric_limits<double>::infinity();
        auto at = [&](std::vector<double> &px, int x, int y) -> double & {
            return px[std::size_t(y) * std::size_t(o.width) + std::size_t(x)];
        };
        std::vector<double> i0 = ph.i0Image(E);
        at(i0, 10, 6) = -inf;
        QVERIFY(Phantom::writeTiff(dir + "/ref/i0.tif", o.width, o.height, i0, f));
        QVERIFY(Phantom::writeTiff(dir + "/ref/bg.tif", o.width, o.height, ph.bgImage(), f));
        for (int i = 0; i < o.projections; ++i) {
            std::vector<double> px = ph.projection(i, E);
            if (i == 7)
                at(px, 20, 4) = nan;
            if (i == 30)
                at(px, 25, 4) = inf;
            if (i == 12)
                for (int x = 0; x < o.width; ++x)
                    at(px, x, 8) = nan;
            QVERIFY(Phantom::writeTiff(dir + QString::asprintf("/p-%05d.tif", i), o.width, o.height, px, f));
        }
        const QString bat = writeBatch("float.bat",
            "i0_load float/ref/i0.tif\n"
            "bg_load float/ref/bg.tif\n"
            "ct_rot_ax_is_v 1\n"
            "images_load float p-*.tif\n"
            "ct_slice_from 3\n"
            "ct_slice_to 8\n"
            "ct_threads 2\n"
            "auto_save_data 1\n"
            "auto_save_data_path fres\n"
            "auto_save_data_tag F\n"
            "calc_ct2 1\n"
            "ct_auto_exec 1\n"
            "calc_exec\n");
        QProcess p;
        start(p, {"-nw", "-e", "-b", bat, "-x", "-q"});
        QVERIFY(p.waitForFinished(120000));
        const QByteArray out = p.readAll();
        QCOMPARE(p.exitCode(), 1);
        for (const char *named : {"Slice 4 : 2 non-finite pixel(s) replaced from their neighbours in the row : ",
                                  "float/p-00007.tif (x 20, y 4), ", "float/p-00030.tif (x 25, y 4)\n",
                                  "Slice 6 : 1 non-finite pixel(s) replaced from their neighbours in the row : "
                                  "float/ref/i0.tif (x 10, y 6)\n",
                                  "Slice 8 not reconstructed : no finite pixel in row 8 of ",
                                  "float/p-00012.tif\n",
                                  "tomix: 13 commands run, 1 failed; 5 files written, 0 not written; "
                                  "0 other failures\n"})
            QVERIFY2(out.contains(named), out.constData());
        for (int s = 3; s <= 7; ++s) {
            QFile data(tmp.filePath(QString::asprintf("fres/F-%05d.dat", s)));
            QVERIFY2(data.open(QIODevice::ReadOnly), qPrintable(data.fileName()));
            const QByteArray text = data.readAll().toLower();
            QVERIFY2(!text.contains("nan") && !text.contains("inf"), qPrintable(data.fileName()));
        }
        QVERIFY(!QFile::exists(tmp.filePath("fres/F-00008.dat")));
    }

    // Several I0 files combined by their median (three) and several BG files
    // by their mean (two), with the ion-chamber ratio on, reconstruct exactly
    // as one I0 file and one BG file holding that median and that mean; a
    // setup saved from the run carries every path, "Median" and the ratio,
    // and a fresh run from it makes the same files again. BG files of two
    // sizes are refused by name and counted.
    void severalI0FilesByMedian()
    {
        Phantom::Options o;
        o.width = 48;
        o.height = 12;
        o.projections = 60;
        o.energies = {7100};
        const Phantom ph = Phantom::standard(o);
        const int w = o.width, h = o.height;
        const std::vector<double> i0 = ph.i0Image(7100), bg = ph.bgImage();
        std::vector<quint32> a(i0.size()), b2(i0.size()), c(i0.size()), med(i0.size());
        std::vector<quint32> bgA(bg.size()), bgB(bg.size()), bgMean(bg.size());
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const std::size_t k = std::size_t(y) * w + x;
                const auto base = quint32(std::lround(i0[k]));
                a[k] = base;
                b2[k] = base + quint32((x * 7 + y * 3) % 50) - 25;
                c[k] = base + quint32((x * 5 + y * 11) % 40) - 20;
                std::vector<quint32> v{a[k], b2[k], c[k]};
                std::sort(v.begin(), v.end());
                med[k] = v[1];
                const auto d = quint32((x + y) % 5);
                bgMean[k] = quint32(std::lround(bg[k]));
                bgA[k] = bgMean[k] - d;
                bgB[k] = bgMean[k] + d;
            }
        QVERIFY(QDir(tmp.path()).mkpath("several"));
        const auto put = [&](const char *name, int height, const std::vector<quint32> &px) {
            writeTestFile(tmp, QString("several/") + name, Phantom::itexImage(w, height, 2, px));
        };
        put("i0 a.img", h, a);
        put("i0 b.img", h, b2);
        put("i0 c.img", h, c);
        put("i0-median.img", h, med);
        put("bg-a.img", h, bgA);
        put("bg-b.img", h, bgB);
        put("bg-mean.img", h, bgMean);
        put("bg-taller.img", h + 1, std::vector<quint32>(std::size_t(w) * (h + 1), 100));
        const QString run =
            "add_inf_raw_i0_from_xafs 0\n"
            "add_inf_i0_i0_from_xafs 0\n"
            "add_inf_raw_i0_val 0.8\n"
            "add_inf_i0_i0_val 1.1\n";
        const QString calc =
            "ct_rot_ax_is_v 1\n"
            "images_load data sample-7100eV-*.img\n"
            "ct_slice_from 2\n"
            "ct_slice_to 9\n"
            "ct_threads 2\n"
            "auto_save_data 1\n"
            "auto_save_data_tag E\n"
            "calc_ct2 1\n"
            "ct_auto_exec 1\n";
        const QString several = writeBatch("several.bat", run +
            "i0_median 1\n"
            "i0_load \"several/i0 a.img\" \"several/i0 b.img\" \"several/i0 c.img\"\n"
            "bg_load several/bg-a.img several/bg-taller.img\n"
            "bg_load several/bg-a.img several/bg-b.img\n" + calc +
            "auto_save_data_path res-several\n"
            "calc_exec\n"
            "setup_save several.cfg\n");
        const QString one = writeBatch("one.bat", run +
            "i0_load several/i0-median.img\n"
            "bg_load several/bg-mean.img\n" + calc +
            "auto_save_data_path res-one\n"
            "calc_exec\n");
        const QString again = writeBatch("again.bat",
            "setup_load several.cfg\n"
            "images_load data sample-7100eV-*.img\n"
            "auto_save_data_path res-again\n"
            "calc_exec\n");
        for (const QString &bat : {several, one, again}) {
            QProcess p;
            start(p, {"-nw", "-e", "-b", bat, "-x", "-q"});
            QVERIFY(p.waitForFinished(120000));
            const QByteArray out = p.readAll();
            QVERIFY2(p.exitCode() == (bat == several ? 1 : 0), out.constData());
            if (bat == several)
                for (const char *named : {"Images not combined : Mismatch image size: (48, 12) != (48, 13) : "
                                          "several/bg-taller.img\n",
                                          "tomix: 20 commands run, 1 failed; 8 files written"})
                    QVERIFY2(out.contains(named), out.constData());
        }
        const QByteArray setup = readAll(tmp.filePath("several.cfg"));
        for (const char *line : {"\ni0_median                1\n",
                                 "\ni0_load                  \"several/i0 a.img\" \"several/i0 b.img\" "
                                 "\"several/i0 c.img\"\n",
                                 "\nbg_median                0\n",
                                 "\nbg_load                  several/bg-a.img several/bg-b.img\n",
                                 "\nadd_inf_i0_i0_val        1.1\n"})
            QVERIFY2(setup.contains(line), setup.constData());
        for (int s = 2; s <= 9; ++s) {
            const QString name = QString::asprintf("/E-%05d.dat", s);
            const QByteArray want = readAll(tmp.filePath("res-one") + name);
            QVERIFY(!want.isEmpty());
            QVERIFY2(readAll(tmp.filePath("res-several") + name) == want, qPrintable(name));
            QVERIFY2(readAll(tmp.filePath("res-again") + name) == want, qPrintable(name));
        }
    }

    // A data set whose nearest-energy I0 cannot be read is not reconstructed
    // with another energy's I0 (the one before it in a loop) nor with none
    // (a cluster task's fresh window): seq_exec_set fails, nothing is written
    // for that energy, the other sets are, and the run exits 1.
    void unreadableI0FailsItsSet()
    {
        Phantom::Options o;
        o.width = 40;
        o.height = 8;
        o.projections = 30;
        o.energies = {7100, 7112, 7130};
        QString err;
        QVERIFY2(Phantom::standard(o).writeSeries(tmp.filePath("seq"), &err), qPrintable(err));
        writeTestFile(tmp, "seq/ref/i0-7112eV-00000.img", "not an image");
        const QString setup =
            "seq_exec_select_i0 seq/ref i0-*.img\n"
            "bg_load seq/ref/bg.img\n"
            "ct_rot_ax_is_v 1\n"
            "add_inf_ASR_standard 1\n"
            "seq_exec_file_pattern *.img\n"
            "seq_exec_dir seq\n"
            "ct_slice_from 4\n"
            "ct_slice_to 4\n"
            "ct_threads 2\n"
            "auto_save_data 1\n"
            "calc_ct2 1\n"
            "ct_auto_exec 1\n";
        const QString loop = writeBatch("loop.bat", setup +
            "auto_save_data_path loopres\n"
            "loop\n"
            "seq_exec_set\n"
            "calc_exec\n"
            "seq_exec_next\n"
            ":ifok :goto loop\n");
        const QString task = writeBatch("task.bat", setup +
            "auto_save_data_path taskres\n"
            "seq_exec_set_index 2\n"
            "seq_exec_set\n"
            "calc_exec\n");
        for (const QString &bat : {loop, task}) {
            QProcess p;
            start(p, {"-nw", "-e", "-b", bat, "-x", "-q"});
            QVERIFY(p.waitForFinished(120000));
            const QByteArray out = p.readAll();
            QCOMPARE(p.exitCode(), 1);
            QVERIFY2(out.contains("Data set 7112eV not loaded : its I0 image can't be read : "),
                     out.constData());
            // the set's seq_exec_set and its calc_exec (nothing to reconstruct)
            QVERIFY2(out.contains(bat == loop ? "tomix: 22 commands run, 2 failed; 2 files written"
                                              : "tomix: 16 commands run, 2 failed; 0 files written"),
                     out.constData());
        }
        QVERIFY(QFile::exists(tmp.filePath("loopres/7100eV-00004.dat")));
        QVERIFY(QFile::exists(tmp.filePath("loopres/7130eV-00004.dat")));
        QVERIFY(!QFile::exists(tmp.filePath("loopres/7112eV-00004.dat")));
        QVERIFY(!QFile::exists(tmp.filePath("taskres/7112eV-00004.dat")));
    }

    // Runs whose slices cannot be reconstructed name every such slice with
    // its reason and fail their command: a CoR outside the image, recorded
    // pairs that put a slice's CoR outside it, slices outside the image rows,
    // trial CoRs outside it.
    void slicesThatCannotBeMadeFail()
    {
        const QString bat = writeBatch("outside.bat",
            "i0_load data/ref/i0-7100eV-00000.img\n"
            "bg_load data/ref/bg.img\n"
            "ct_rot_ax_is_v 1\n"
            "images_load data sample-7100eV-*.img\n"
            "ct_threads 2\n"
            "auto_save_data 1\n"
            "auto_save_data_path out\n"
            "auto_save_data_tag T\n"
            "calc_ct2 1\n"
            "ct_auto_exec 1\n"
            "ct_slice_from 2\n"
            "ct_slice_to 3\n"
            "ct_cor 2000\n"
            "calc_exec\n"
            ":ifok :stop\n"
            "ct_cor 23.5\n"
            "ct_recorded_cor_1 2 23.5\n"
            "ct_recorded_cor_2 3 60\n"
            "calc_exec\n"
            "ct_recorded_cor_2 -1 0\n"
            "ct_slice_from 11\n"
            "ct_slice_to 12\n"
            "calc_exec\n"
            "ct_proc_slice 5\n"
            "ct_try_cor 30 50 10\n");
        QProcess p;
        start(p, {"-nw", "-e", "-b", bat, "-x", "-q"});
        QVERIFY(p.waitForFinished(120000));
        const QByteArray out = p.readAll();
        QCOMPARE(p.exitCode(), 1);
        for (const char *named : {"Slice 2 not reconstructed : CoR 2000 outside the image (0 .. 47)",
                                  "Slice 3 not reconstructed : CoR 2000 outside the image (0 .. 47)",
                                  "Slice 3 not reconstructed : CoR 60 outside the image (0 .. 47)",
                                  "Slice 12 not reconstructed : outside the image rows (0 .. 11)",
                                  "Slice 5 not reconstructed : CoR 50 outside the image (0 .. 47)",
                                  "tomix: 24 commands run, 4 failed; 4 files written"})
            QVERIFY2(out.contains(named), out.constData());
        QVERIFY(QFile::exists(tmp.filePath("out/T-00002.dat")));
        QVERIFY(QFile::exists(tmp.filePath("out/T-00011.dat")));
        QVERIFY(!QFile::exists(tmp.filePath("out/T-00003.dat")));
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
