// Setup files: the written layout, and a save-then-load round trip on two
// real main windows that restores every setting, paths with blanks included.
#include "Batch.h"
#include "Body.h"
#include "SetupFile.h"
#include "SettingsTable.h"
#include "ui_Body.h"
#include "ui_SelectDataFiles.h"

#include "ConfigTable.h"
#include "ImgDatas.h"
#include "Phantom.h"
#include "ProcCtrl.h"
#include "SeekCtrl.h"
#include "SelectAFile.h"
#include "SelectAImgFile.h"
#include "SelectDataDir.h"
#include "SelectDataFiles.h"
#include "TestFiles.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMap>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>

#include <csignal>

class TestSetupFile : public QObject
{
    Q_OBJECT
    QTemporaryDir tmp;
    QString dataDir, i0Dir;

    static QStringList readLines(const QString &path)
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
            return {};
        QStringList l = QString::fromUtf8(f.readAll()).split('\n');
        if (!l.isEmpty() && l.last().isEmpty())
            l.removeLast();
        return l;
    }
    static void cmd(Body &b, const QString &line) { b.batchExCmd(BatchCmd::parse(line)); }
    // A command as a batch line: whether it went well (the ":ifok" flag).
    static bool ran(Body &b, const QString &line)
    {
        b.batch()->ok = true;
        b.batchExCmd(BatchCmd::parse(line));
        return b.batch()->ok;
    }
    static QByteArray bytesOf(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static QString q(const QString &path) { return '"' + path + '"'; }

    // Every setting a setup file carries, each away from the value of a
    // fresh window. A setting added to "Save Setup" belongs here:
    // everySettingRoundTrips fails until its line differs from a fresh
    // window's.
    QStringList everySettingChanged() const
    {
        const QString out = tmp.filePath("results of run");
        return {
            "images_new_on_load 0", "images_keep_setup 0", "images_multi 1 3", "images_seek 4",
            "i0_median 1", "i0_load " + q(dataDir + "/ref/i0-7100eV-00000.img") + " " + q(dataDir + "/ref/i0-7125eV-00000.img"),
            "bg_median 1", "bg_load " + q(dataDir + "/ref/bg.img"),
            "ct_rot_ax_is_h 0", "ct_proc_slice 5", "ct_angle_offset 0.75", "calc_ct1 0", "ct_auto_exec 1",
            "ct_slice_from 1", "ct_slice_to 6", "ct_slice_step 2", "ct_threads 3", "ct_cor 14.5",
            "ct_recorded_cor_1 2 15.25", "ct_recorded_cor_2 6 13.75", "ct_auto_gen_sinogram 0",
            "ct_filter hamming 0.4", "ct_filter_padding edge", "ct_ring_removal 1 2.5 41 11",
            "ct_zinger_removal 1 0.25", "ct_air_columns 6", "ct_method gridding", "calc_show_res 0", "fix_color_scale 1",
            "fix_color_min -0.5", "fix_color_max 2.5",
            "auto_save_image 1", "auto_save_image_path " + q(out + "/img"), "auto_save_image_name \"image name\"",
            "auto_save_image_tag \"tag a\"", "auto_save_data 1", "auto_save_data_path " + q(out + "/data"),
            "auto_save_data_name data", "auto_save_data_tag E7100", "auto_save_data_upper_limit 5",
            "auto_save_data_lower_limit -2.5", "auto_save_data_offset 3", "auto_save_in_sub_folders 1",
            "auto_save_in_sub_folders_of_slice 1", "auto_save_in_sub_folders_of_energy 1", "seq_exec_show 1",
            "add_inf_ASR_standard 0", "add_inf_raw_i0_from_xafs 0", "add_inf_i0_i0_from_xafs 0",
            "add_inf_raw_i0_val 2.5", "add_inf_i0_i0_val 1.25", "seq_exec_dir " + q(dataDir), "seq_exec_file_pattern \"*.img *.tif\"",
            "seq_exec_select_i0 " + q(i0Dir) + " i0-*.img", "seq_exec_keep_range_on_new_set 1",
            "seq_exec_align 1", "seq_exec_align_reference 3", "seq_exec_auto_cor 1"};
    }

    // Setting lines of a setup file by the setting they restore: command
    // name (a chosen or no I0 / BG image is one setting) and value.
    static QMap<QString, QString> settingsIn(const QString &path)
    {
        QMap<QString, QString> m;
        for (const QString &l : readLines(path)) {
            const BatchCmd c = BatchCmd::parse(l);
            if (c.name.isEmpty() || l.startsWith("##"))
                continue;
            QString name = c.name;
            if (name == "i0_clear" || name == "bg_clear")
                name = name.left(2) + "_load";
            m.insert(name, c.args.join(' '));
        }
        return m;
    }

    // What the window shows: every check box, radio button, text field, spin
    // box and list under it, by object name.
    static QStringList controls(Body &b)
    {
        QStringList s;
        for (QWidget *w : b.findChildren<QWidget *>()) {
            const QString n = w->objectName();
            if (n.isEmpty() || n.startsWith("qt_"))
                continue;
            if (auto *x = qobject_cast<QAbstractButton *>(w); x && x->isCheckable())
                s << n + " checked " + QString::number(x->isChecked());
            else if (auto *x = qobject_cast<QLineEdit *>(w))
                s << n + " text " + x->text();
            else if (auto *x = qobject_cast<QAbstractSpinBox *>(w))
                s << n + " value " + x->text();
            else if (auto *x = qobject_cast<QComboBox *>(w)) {
                QStringList items;
                for (int i = 0; i < x->count(); ++i)
                    items << x->itemText(i);
                s << n + " items " + items.join('|') + " at " + QString::number(x->currentIndex());
            }
            if (n == "AdditionalInfo")
                s << n + " hidden " + QString::number(w->isHidden());
        }
        return s;
    }

private slots:
    void initTestCase()
    {
        configTable.set("2dOrvex", "127.0.0.1", "127.0.0.1 1");
        Phantom::Options o;
        o.width = 32;
        o.height = 8;
        o.projections = 12;
        o.energies = {7100, 7125};
        dataDir = tmp.filePath("data with blanks");
        QString err;
        QVERIFY2(Phantom::standard(o).writeSeries(dataDir, &err), qPrintable(err));
        // the I0 files of several energies, in a directory of their own
        i0Dir = tmp.filePath("i0 set");
        QVERIFY(QDir().mkpath(i0Dir));
        for (const char *e : {"7100", "7125"}) {
            const QString name = QString("i0-%1eV-00000.img").arg(e);
            QVERIFY(QFile::copy(dataDir + "/ref/" + name, i0Dir + "/" + name));
        }
    }

    void padding()
    {
        QCOMPARE(SetupFile::line("ct_cor", "1.5"), QString("ct_cor                   1.5"));
        QCOMPARE(SetupFile::line("0123456789012345678901234", "v"), QString("0123456789012345678901234 v"));
        QCOMPARE(SetupFile::line("auto_save_data_upper_limit", "10"), QString("auto_save_data_upper_limit 10"));
        QCOMPARE(SetupFile::quoted("/a/b"), QString("/a/b"));
        QCOMPARE(SetupFile::quoted("/a b/c"), QString("\"/a b/c\""));
        QCOMPARE(SetupFile::quoted("tab\there"), QString("\"tab\there\""));
        QCOMPARE(SetupFile::quoted(""), QString(""));
    }

    // A fresh window saves every setting of the settings table with the
    // table's default (but the thread count, which is the machine's), and
    // nothing else.
    void freshWindowSavesTheTableDefaults()
    {
        Body b;
        const QString file = tmp.filePath("defaults.cfg");
        QVERIFY(SetupFile(&b).save(file));
        const QMap<QString, QString> saved = settingsIn(file);
        QStringList table;
        for (const SettingsTable::Setting &s : SettingsTable::all()) {
            if (s.section == SettingsTable::Section::None || s.special)
                continue;
            table << s.name;
            QVERIFY2(saved.contains(s.name), qPrintable("not saved: " + s.name));
            if (!s.defFromMachine)
                QCOMPARE(saved.value(s.name), s.def);
        }
        const QStringList names = saved.keys();
        QCOMPARE(QSet<QString>(names.cbegin(), names.cend()), QSet<QString>(table.cbegin(), table.cend()));
    }

    void layoutOfAFreshWindow()
    {
        Body b;
        const QString file = tmp.filePath("fresh.cfg");
        b.saveSetup(file);
        const QStringList l = readLines(file);
        QCOMPARE(l.value(0), QString("### Tomix setup saving setup file"));
        QCOMPARE(l.mid(1, 4), QStringList({"", "## Original Images", "", "images_new_on_load       1"}));
        // the four headers, each between empty lines, in order
        int at = 0;
        for (const char *h : {"## Original Images", "## CT Reconstruction setting",
                              "## CT Reconstruction calculation", "## Additional Settings for CT-XAFS"}) {
            const int i = l.indexOf(h);
            QVERIFY2(i > at, h);
            QCOMPARE(l.at(i - 1), QString());
            QCOMPARE(l.at(i + 1), QString());
            at = i;
        }
        // every setting line: the name padded to column 25, or one blank after longer names
        QStringList names;
        for (const QString &s : l) {
            if (s.isEmpty() || s.startsWith('#'))
                continue;
            const QString name = s.section(' ', 0, 0);
            names << name;
            if (s == name)     // a command without a value: none chosen
                continue;
            if (name.size() >= 25)
                QVERIFY2(s.at(name.size()) == ' ' && (s.size() == name.size() + 1 || s.at(name.size() + 1) != ' '),
                         qPrintable(s));
            else
                QVERIFY2(s.size() >= 25 && s.left(25).trimmed() == name, qPrintable(s));
        }
        for (const char *longLine : {"auto_save_data_upper_limit 10", "auto_save_data_lower_limit -10",
                                     "auto_save_in_sub_folders_of_energy 0", "seq_exec_keep_range_on_new_set 0"})
            QVERIFY2(l.contains(longLine), longLine);
        QCOMPARE(names, QString("images_new_on_load images_keep_setup images_multi images_seek i0_median i0_clear "
                                "bg_median bg_clear "
                                "ct_proc_slice ct_angle_offset ct_auto_exec ct_slice_from ct_slice_to "
                                "ct_slice_step ct_threads ct_cor ct_rot_ax_is_h ct_recorded_cor_1 "
                                "ct_recorded_cor_2 ct_auto_gen_sinogram ct_filter ct_filter_padding "
                                "ct_ring_removal ct_zinger_removal ct_air_columns ct_method "
                                "calc_ct1 calc_show_res "
                                "fix_color_scale fix_color_min fix_color_max auto_save_image "
                                "auto_save_image_path auto_save_image_name auto_save_image_tag "
                                "auto_save_data auto_save_data_path auto_save_data_name auto_save_data_tag "
                                "auto_save_data_upper_limit auto_save_data_lower_limit auto_save_data_offset "
                                "auto_save_in_sub_folders auto_save_in_sub_folders_of_slice "
                                "auto_save_in_sub_folders_of_energy seq_exec_show add_inf_show "
                                "add_inf_ASR_standard add_inf_raw_i0_from_xafs add_inf_i0_i0_from_xafs "
                                "add_inf_raw_i0_val add_inf_i0_i0_val seq_exec_dir seq_exec_file_pattern "
                                "seq_exec_keep_range_on_new_set seq_exec_align seq_exec_align_reference seq_exec_auto_cor")
                            .split(' '));
        QVERIFY(l.contains("ct_recorded_cor_1        -1 0"));
        QVERIFY(l.contains("ct_rot_ax_is_h           1"));
        QVERIFY(l.contains("ct_filter                ramp 0.5"));
        QVERIFY(l.contains("ct_filter_padding        zero"));
    }

    void roundTrip()
    {
        const QString out = tmp.filePath("results of run");
        const QString file = tmp.filePath("my setup.cfg");
        Body a;
        Ui::Body *ua = a.form();
        {
            QSignalSpy loaded(&a, &Body::finishedLoadingCTFiles);
            ua->CTFiles->chooseDir(dataDir, {"sample-7100eV-*.img"});
            QVERIFY(loaded.wait(20000));
        }
        const QStringList lines = {
            "images_new_on_load 0", "images_keep_setup 0", "images_multi 1 3", "images_seek 4",
            "i0_load \"" + dataDir + "/ref/i0-7125eV-00000.img\"", "bg_load \"" + dataDir + "/ref/bg.img\"",
            "ct_rot_ax_is_v 1", "ct_proc_slice 5", "ct_angle_offset 0.75", "ct_auto_exec 1", "ct_slice_from 1",
            "ct_slice_to 6", "ct_slice_step 2", "ct_threads 1", "ct_cor 14.5", "ct_recorded_cor_1 2 15.25",
            "ct_recorded_cor_2 6 13.75", "ct_auto_gen_sinogram 0", "ct_filter shepp-logan 0.35",
            "ct_filter_padding edge", "ct_method gridding", "calc_ct1 0", "calc_show_res 0",
            "fix_color_scale 1", "fix_color_min -0.5", "fix_color_max 2.5", "auto_save_image 1",
            "auto_save_image_path \"" + out + "/img\"", "auto_save_image_name \"image name\"",
            "auto_save_image_tag \"tag a\"", "auto_save_data 1", "auto_save_data_path \"" + out + "/data\"",
            "auto_save_data_name data", "auto_save_data_tag E7100", "auto_save_data_upper_limit 5",
            "auto_save_data_lower_limit -2.5", "auto_save_data_offset 3", "auto_save_in_sub_folders 1",
            "auto_save_in_sub_folders_of_energy 1", "seq_exec_show 1", "add_inf_ASR_standard 0",
            "seq_exec_file_pattern \"*.img *.tif\"", "seq_exec_dir \"" + dataDir + "\"",
            "seq_exec_select_i0 \"" + i0Dir + "\" i0-*.img", "seq_exec_keep_range_on_new_set 1"};
        for (const QString &l : lines)
            cmd(a, l);
        a.saveSetup(file);
        const QStringList written = readLines(file);
        QVERIFY(written.contains("#images_load             \"" + dataDir + "\" sample-7100eV-*.img"));
        QVERIFY(written.contains("seq_exec_select_i0       \"" + i0Dir + "\" i0-*.img"));
        QVERIFY(written.contains("auto_save_image_name     \"image name\""));
        QVERIFY(written.contains("auto_save_data_name      data"));     // no quotes without blanks

        Body b;
        Ui::Body *ub = b.form();
        b.loadSetup(file);
        // the projections are not loaded again (their line is behind "#")
        QCOMPARE(b.images()->count(), 0);
        QVERIFY(!b.isLoading());
        Ui::SelectDataFiles *fb = ub->CTFiles->form();
        QVERIFY(fb->AddFiles->isChecked());
        QVERIFY(!fb->KeepConditions->isChecked());
        QVERIFY(fb->LoadMultiTimes->isChecked());
        QCOMPARE(ub->CTFiles->multiTimes(), 3);
        QCOMPARE(ub->seekCtrl->value(), 0);                 // nothing loaded: nothing to seek
        QCOMPARE(ub->I0ImgSel->path(), dataDir + "/ref/i0-7125eV-00000.img");
        QVERIFY(ub->I0ImgSel->img && ub->BGImgSel->img);
        QCOMPARE(ub->BGImgSel->path(), dataDir + "/ref/bg.img");
        ProcCtrl *pb = ub->procCtrl;
        QVERIFY(pb->rotAxIsV);
        QCOMPARE(pb->sliceNo, 5);
        QCOMPARE(pb->getAngleOffset(), 0.75);
        QVERIFY(pb->isAutoExec());
        QCOMPARE(pb->getSliceFrom(), 1);
        QCOMPARE(pb->getSliceTo(), 6);
        QCOMPARE(pb->getSliceStep(), 2);
        QCOMPARE(pb->getThreads(), 1);
        QCOMPARE(pb->cor, 14.5);
        QCOMPARE(pb->recSlice1, 2);
        QCOMPARE(pb->recCor1, 15.25);
        QCOMPARE(pb->recSlice2, 6);
        QCOMPARE(pb->recCor2, 13.75);
        QVERIFY(!pb->isAutoUpdate());
        const RampFilter f = pb->filterSpec();      // what a run (or a cluster task) takes
        QVERIFY(f.window == RampFilter::Window::SheppLogan);
        QCOMPARE(f.cutoff, 0.35);
        QVERIFY(f.padding == RampFilter::Padding::Edge);
        QVERIFY(ub->SelectCt2->isChecked());
        QVERIFY(!ub->ShowCalcRes->isChecked());
        QVERIFY(ub->FixColorScale->isChecked());
        QCOMPARE(ub->ColorMin->text(), QString("-0.5"));
        QCOMPARE(ub->ColorMax->text(), QString("2.5"));
        QVERIFY(ub->AutoSaveImage->isChecked() && ub->AutoSaveData->isChecked());
        QCOMPARE(ub->SelectImageSaveDir->path(), out + "/img");
        QCOMPARE(ub->SelectImageSaveDir->name(), QString("image name"));
        QCOMPARE(ub->SelectImageSaveDir->addTag(), QString("tag a"));
        QCOMPARE(ub->SelectDataSaveDir->path(), out + "/data");
        QCOMPARE(ub->SelectDataSaveDir->name(), QString("data"));
        QCOMPARE(ub->SelectDataSaveDir->addTag(), QString("E7100"));
        QCOMPARE(ub->DataUpperLimit->text(), QString("5"));
        QCOMPARE(ub->DataLowerLimit->text(), QString("-2.5"));
        QCOMPARE(ub->DataOffset->text(), QString("3"));
        QVERIFY(ub->SaveInSubFolders->isChecked() && ub->SubOfEnergy->isChecked());
        QVERIFY(!ub->AdditionalInfo->isHidden());           // add_inf_show shows the frame
        QVERIFY(!ub->SelDDir->isASRStandard());
        QCOMPARE(ub->SelDDir->dataDir(), dataDir);
        QCOMPARE(ub->SelDDir->pattern(), QString("*.img *.tif"));
        QCOMPARE(ub->SelI0Files->count(), 2);
        QCOMPARE(b.i0EnergyList(), QList<double>({7100, 7125}));
        QVERIFY(ub->keepOnNewSet->isChecked());

        // what is restored is saved the same again, except the projections
        // (not loaded, so nothing to seek in) and the "Show Additionl Info"
        // box, of which loading restores only what it shows
        const QString again = tmp.filePath("again.cfg");
        b.saveSetup(again);
        QStringList w1 = written, w2 = readLines(again);
        auto notRestored = [](const QString &s) {
            return s.startsWith("#images_load") || s.startsWith("images_seek") || s.startsWith("add_inf_show");
        };
        w1.removeIf(notRestored);
        w2.removeIf(notRestored);
        QCOMPARE(w2, w1);
    }

    // Save, load into a fresh window, save again: the same file, byte for
    // byte, and the same window. The projections are loaded again from the
    // file's own (commented) line: the chosen series, not every energy of
    // its folder; the I0 file set likewise, though its folder holds more.
    void everySettingRoundTrips()
    {
        QVERIFY(QFile::copy(dataDir + "/ref/bg.img", i0Dir + "/bg.img"));
        const QString fresh = tmp.filePath("fresh window.cfg");
        const QString first = tmp.filePath("every setting.cfg");
        const QString second = tmp.filePath("every setting again.cfg");

        Body a;
        QVERIFY(ran(a, "setup_save " + q(fresh)));
        {
            QSignalSpy loaded(&a, &Body::finishedLoadingCTFiles);
            QVERIFY(ran(a, "images_load " + q(dataDir) + " sample-7100eV-*.img"));
            QVERIFY(loaded.wait(20000));
        }
        for (const QString &l : everySettingChanged())
            QVERIFY2(ran(a, l), qPrintable(l));
        QVERIFY(ran(a, "setup_save " + q(first)));
        QCOMPARE(a.failures(), 0);

        // every setting the file carries is changed
        const QMap<QString, QString> before = settingsIn(fresh), after = settingsIn(first);
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            QVERIFY2(after.contains(it.key()) && after.value(it.key()) != it.value(),
                     qPrintable("not changed from a fresh window's: " + it.key() + " " + it.value()));
        const QStringList ka = after.keys(), kb = before.keys();
        QCOMPARE(QSet<QString>(ka.cbegin(), ka.cend()) - QSet<QString>(kb.cbegin(), kb.cend()),
                 QSet<QString>({"#images_load", "seq_exec_select_i0"}));

        Body b;
        {
            const QString series = readLines(first).filter(QRegularExpression("^#images_load ")).value(0);
            QSignalSpy loaded(&b, &Body::finishedLoadingCTFiles);
            QVERIFY(ran(b, series.mid(1)));
            QVERIFY(loaded.wait(20000));
        }
        QCOMPARE(b.images()->count(), 12);
        QVERIFY(ran(b, "setup_load " + q(first)));
        QCOMPARE(b.failures(), 0);
        QCOMPARE(b.form()->SelI0Files->count(), 2);            // not bg.img beside them
        QVERIFY(ran(b, "setup_save " + q(second)));
        QCOMPARE(readLines(second), readLines(first));
        QCOMPARE(bytesOf(second), bytesOf(first));
        QVERIFY(controls(a).size() > 50);
        QCOMPARE(controls(b), controls(a));

        // a window with no I0 and no BG image saves that, and restores it
        QVERIFY(ran(a, "setup_load " + q(fresh)));
        QCOMPARE(a.failures(), 0);
        QVERIFY(a.form()->I0ImgSel->path().isEmpty() && a.form()->BGImgSel->path().isEmpty());
    }

    void setupCommandsFail()
    {
        Body b;
        const QString missing = tmp.filePath("no/such/dir/x.cfg");
        QTest::ignoreMessage(QtWarningMsg, qPrintable("can't open save setup file : " + missing));
        QVERIFY(!ran(b, "setup_save " + q(missing)));
        QTest::ignoreMessage(QtWarningMsg, qPrintable("can't open save setup file : " + missing));
        QVERIFY(!ran(b, "setup_load " + q(missing)));
        // a setup that loads itself is read once; a line that failed fails the load
        const QString self = writeTestFile(tmp, "self.cfg", "ct_threads 1\nsetup_load self.cfg\n");
        const QString bad = writeTestFile(tmp, "bad.cfg", "ct_threads 1\ni0_load nowhere.img\n");
        QDir::setCurrent(tmp.path());
        QTest::ignoreMessage(QtWarningMsg, "setup file loads itself : self.cfg");
        QVERIFY(!ran(b, "setup_load " + q(self)));
        QTest::ignoreMessage(QtWarningMsg, "Can't read image file : nowhere.img");
        QVERIFY(!ran(b, "setup_load " + q(bad)));
    }

    void standardSwitchAndFailures()
    {
        Body b;
        b.form()->SelDDir->setIsASRStandard(false);
        const QString file = tmp.filePath("asr.cfg");
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("### Tomix setup saving setup file\n\n## Additional Settings for CT-XAFS\n\n"
                "add_inf_show             0\n");
        f.close();
        b.loadSetup(file);
        QVERIFY(!b.form()->SelDDir->isASRStandard());       // "add_inf_show" leaves it
        QVERIFY(f.open(QIODevice::Append));
        f.write("add_inf_ASR_standard     1\n");
        f.close();
        b.loadSetup(file);
        QVERIFY(b.form()->SelDDir->isASRStandard());

        // the pattern comes after the directory: the list follows the pattern,
        // and dark frames beside the sets are no data set
        const QString darkDir = tmp.filePath("with dark");
        QVERIFY(QDir().mkpath(darkDir));
        for (const char *e : {"7100", "7125"})
            QVERIFY(QFile::copy(dataDir + QString("/sample-%1eV-00000.img").arg(e),
                                darkDir + QString("/sample-%1eV-00000.img").arg(e)));
        QVERIFY(QFile::copy(dataDir + "/ref/bg.img", darkDir + "/dark-0eV-00000.img"));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(("seq_exec_dir             \"" + darkDir + "\"\n"
                 "seq_exec_file_pattern    sample-*.img\n").toUtf8());
        f.close();
        b.loadSetup(file);
        QCOMPARE(b.form()->SelDDir->count(), 2);
        QCOMPARE(b.form()->SelDDir->currentName(), QString("7100eV"));
        QCOMPARE(b.form()->SeqCalcTo->value(), 2);

        const QString missing = tmp.filePath("no/such/dir/x.cfg");
        QTest::ignoreMessage(QtWarningMsg, qPrintable("can't open save setup file : " + missing));
        b.loadSetup(missing);
        QTest::ignoreMessage(QtWarningMsg, qPrintable("can't open save setup file : " + missing));
        b.saveSetup(missing);
        QVERIFY(!QFile::exists(missing));
    }

    // A disk that fills up while a setup is saved (no file may grow beyond
    // 300 bytes): the setup saved before under that name stays whole, no
    // temporary file is left, and the failure is named and counted.
    void fullDiskKeepsTheOldSetup()
    {
        Body b;
        QTemporaryDir dir;
        const QString file = dir.filePath("s.cfg");
        b.saveSetup(file);
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray before = f.readAll();
        f.close();
        QVERIFY(before.size() > 1000);
        const int failed = b.failures();

        cmd(b, "ct_slice_from 17");
        QTest::ignoreMessage(QtWarningMsg, qPrintable("Can't write setup file : " + file));
        {
            void (*handler)(int) = std::signal(SIGXFSZ, SIG_IGN);
            rlimit was{};
            getrlimit(RLIMIT_FSIZE, &was);
            rlimit lim = was;
            lim.rlim_cur = 300;
            setrlimit(RLIMIT_FSIZE, &lim);
            b.saveSetup(file);
            setrlimit(RLIMIT_FSIZE, &was);
            std::signal(SIGXFSZ, handler);
        }
        QCOMPARE(b.failures(), failed + 1);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
        f.close();
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"s.cfg"}));
    }
};

QTEST_MAIN(TestSetupFile)
#include "TestSetupFile.moc"
