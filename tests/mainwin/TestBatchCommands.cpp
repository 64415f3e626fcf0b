// The command set on the real main window: argument conventions, the effect
// of every group of commands, batches on generated data that hold for loads
// and runs, ":ifok"/":ifng" after "seq_exec_next", and two-energy sequences
// in both data layouts, by the "Seq. Calc." button and by a batch loop.
#include "Body.h"
#include "BodyCommands.h"
#include "ui_Body.h"
#include "ui_SelectDataFiles.h"

#include "Batch.h"
#include "CalcConds.h"
#include "ConfigTable.h"
#include "CtCalc.h"
#include "CtCalc2.h"
#include "CtCalc2Ui.h"
#include "CtDisp.h"
#include "CtFileSet.h"
#include "I0ofImage.h"
#include "ImgData.h"
#include "ImgDatas.h"
#include "Phantom.h"
#include "ProcCtrl.h"
#include "SeekCtrl.h"
#include "SelectAFile.h"
#include "SelectAImgFile.h"
#include "SelectDataDir.h"
#include "SelectDataFiles.h"
#include "SettingsTable.h"
#include "XafsBatch.h"

#include <QDir>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSemaphore>
#include <QFile>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QRegularExpression>
#include <QTest>

class TestBatchCommands : public QObject
{
    Q_OBJECT
    QTemporaryDir tmp;
    QString dataDir, subDir, i0Dir;

    static constexpr int W = 48, H = 12, NP = 60;

    // What a batch run did, seen from the window thread.
    struct Trace {
        QStringList names;          // commands handed to the dispatcher, in order
        QList<bool> calculating;    // the window was calculating right after each
        QList<bool> loading;        // ... was loading right after each
        QList<int> images;          // ... images loaded right after each
        bool finished = false;
    };

    static void run(Body &b, const QString &file, const QString &script, Trace &t, int ms = 60000)
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(script.toUtf8());
        f.close();
        // Both connections are queued to this thread after the window's own,
        // so each entry is made right after the window has run the command.
        QObject ctx;
        connect(b.batch(), &Batch::batchExCmd, &ctx, [&](BatchCmd cmd) {
            t.names << cmd.name;
            t.calculating << b.isCalculating();
            t.loading << b.isLoading();
            t.images << b.images()->count();
        });
        connect(b.batch(), &Batch::batchFinished, &ctx, [&] { t.finished = true; });
        b.batchLoad(file);
        b.batchExec();
        QTRY_VERIFY_WITH_TIMEOUT(t.finished, ms);
    }

    static void cmd(Body &b, const QString &line)
    {
        b.batchExCmd(BatchCmd::parse(line));
    }

    static void waitRunEnd(Body &b)
    {
        QTRY_VERIFY_WITH_TIMEOUT(!b.isCalculating(), 30000);
    }

private slots:
    void initTestCase()
    {
        configTable.set("2dOrvex", "127.0.0.1", "127.0.0.1 1");
        Phantom::Options o;
        o.width = W;
        o.height = H;
        o.projections = NP;
        o.energies = {7100, 7125};
        dataDir = tmp.filePath("data");
        QString err;
        QVERIFY2(Phantom::standard(o).writeSeries(dataDir, &err), qPrintable(err));
        // one sub-directory per energy
        subDir = tmp.filePath("sub dirs");
        for (double e : {7100.0, 7125.0}) {
            o.energies = {e};
            QVERIFY(Phantom::standard(o).writeSeries(subDir + "/" + Phantom::energyText(e) + "eV", &err));
        }
        // I0 files at energies near those of the sets, so that the nearest is told apart
        o.projections = 2;
        o.energies = {7090, 7130};
        i0Dir = tmp.filePath("i0");
        QVERIFY(Phantom::standard(o).writeSeries(i0Dir, &err));
    }

    void namesAndConventions()
    {
        const QStringList expected = QString(
            "images_load images_new_on_load images_add_on_load images_clear images_exp_time images_multi "
            "images_seek images_keep_setup i0_load i0_clear i0_exp_time i0_median bg_load bg_clear "
            "bg_exp_time bg_median ct_proc_slice ct_auto_exec ct_slice_from ct_slice_to ct_slice_step ct_threads ct_cor "
            "ct_recorded_cor_1 ct_recorded_cor_2 ct_rot_ax_is_h ct_rot_ax_is_v ct_auto_gen_sinogram "
            "ct_angle_offset ct_set_disp_region ct_set_calc_region calc_ct1 calc_ct2 calc_show_res "
            "fix_color_scale fix_color_min fix_color_max auto_save_image auto_save_image_path "
            "auto_save_image_name auto_save_image_tag auto_save_image_clear auto_save_data "
            "auto_save_data_path auto_save_data_name auto_save_data_tag auto_save_data_clear "
            "auto_save_in_sub_folders auto_save_in_sub_folders_of_slice auto_save_in_sub_folders_of_energy "
            "auto_save_data_upper_limit auto_save_data_lower_limit auto_save_data_offset add_inf_show "
            "add_inf_ASR_standard add_inf_raw_i0_val add_inf_raw_i0_from_xafs add_inf_raw_i0_xafs "
            "add_inf_raw_i0_xafs_clear add_inf_raw_i0_eng_ptn add_inf_i0_i0_val add_inf_i0_i0_from_xafs "
            "add_inf_i0_i0_xafs add_inf_i0_i0_xafs_clear add_inf_i0_i0_eng_ptn show_tab show_orig "
            "show_sinogram show_ct1 show_i0 show_bg show_ct2 orvexLink_set_send_msg calc_exec "
            "seq_exec_show seq_exec_dir seq_exec_file_pattern seq_exec_next seq_exec_set "
            "seq_exec_set_index seq_exec_select_i0 seq_exec_keep_range_on_new_set ct_find_cor "
            "ct_try_cor seq_exec_auto_cor ct_find_recorded_cor setup_save setup_load "
            "seq_spectrum seq_jump_map "
            "ct_filter ct_filter_padding "
            "ct_ring_removal ct_zinger_removal ct_air_columns "
            "ct_method seq_exec_align seq_exec_align_reference").toUpper().split(' ');
        QCOMPARE(expected.size(), 98);      // every name of the list, none twice
        QCOMPARE(BodyCommands::names(), expected);

        using C = BodyCommands;
        QVERIFY(C::flagArg({"1"}));
        for (const QStringList &off : {QStringList{"true"}, QStringList{"2"}, QStringList{}, QStringList{"x"},
                                       QStringList{"0"}})
            QVERIFY(!C::flagArg(off));
        QCOMPARE(C::intArg({"-17"}), -17);
        QCOMPARE(C::intArg({"12abc"}), 0);
        QCOMPARE(C::intArg({"4294967296"}), 0);         // outside 32 bits
        QCOMPARE(C::intArg({"2.5"}), 0);
        QCOMPARE(C::intArg({"1", "7"}, 1), 7);
        QCOMPARE(C::realArg({"2.5e1"}), 25.0);
        QCOMPARE(C::realArg({"abc"}), 0.0);
        QCOMPARE(C::realArg({"nan"}), 0.0);
        QCOMPARE(C::realArg({"inf"}), 0.0);
        QCOMPARE(C::textArg({}), QString());
        QCOMPARE(C::patternArgs({"dir"}), QStringList());
        QCOMPARE(C::patternArgs({"dir", "*.img", "*.tif"}), QStringList({"*.img", "*.tif"}));
    }

    // The README's command table names every setting with its arguments:
    // the kinds in order (one word for a run of the same kind), a choice by
    // "name" or its choices, and every choice in backticks on its row. Every
    // name on the table is a command.
    void readmeCommandTableMatchesTheSettings()
    {
        QFile f(QStringLiteral(QT_TESTCASE_SOURCEDIR "/../../README.md"));
        QVERIFY(f.open(QIODevice::ReadOnly | QIODevice::Text));
        const QStringList lines = QString::fromUtf8(f.readAll()).split('\n');
        const qsizetype start = lines.indexOf(QRegularExpression("^Every command .*"));
        QVERIFY(start >= 0);
        QMap<QString, QPair<QString, QString>> rows;   // name: argument cell, whole row
        qsizetype i = start + 1;
        while (i < lines.size() && !lines.at(i).startsWith('|'))
            ++i;
        for (; i < lines.size() && lines.at(i).startsWith('|'); ++i) {
            const QStringList cells = lines.at(i).split('|');   // "", names, arguments, effect, ""
            if (cells.size() < 4)
                continue;
            const QRegularExpression code("`([A-Za-z0-9_]+)`");
            for (auto m = code.globalMatch(cells.at(1)); m.hasNext();) {
                const QString name = m.next().captured(1);
                QVERIFY2(BodyCommands::names().contains(name.toUpper()), qPrintable("no such command: " + name));
                rows.insert(name.toUpper(), {cells.at(2), lines.at(i)});
            }
        }
        QVERIFY(rows.size() > 60);

        using T = SettingsTable;
        const QMap<T::Kind, QString> word{{T::Kind::Flag, "\\bflag\\b"}, {T::Kind::Int, "\\bint\\b"},
                                          {T::Kind::Real, "\\breal\\b"}, {T::Kind::Text, "\\btext\\b"},
                                          {T::Kind::Path, "\\b(path|dir|file|text)\\b"},
                                          {T::Kind::NumberText, "\\btext\\b"},
                                          {T::Kind::Paths, "\\b(paths|files)\\b"}};
        int settings = 0;
        for (const T::Setting &s : T::all()) {
            if (!s.write)
                continue;
            ++settings;
            const QString up = s.name.toUpper();
            QVERIFY2(rows.contains(up), qPrintable("not on the README's command table: " + s.name));
            const QString args = rows.value(up).first, row = rows.value(up).second;
            qsizetype at = 0;
            for (int k = 0; k < s.args.size(); ++k) {
                if (k > 0 && s.args.at(k) == s.args.at(k - 1))
                    continue;
                QString pattern = word.value(s.args.at(k));
                if (s.args.at(k) == T::Kind::Choice) {
                    QStringList alt{"\\bname\\b"};
                    for (const QString &c : s.choices) {
                        QVERIFY2(row.contains('`' + c + '`'), qPrintable(s.name + " does not name " + c));
                        alt << '`' + QRegularExpression::escape(c) + '`';
                    }
                    pattern = '(' + alt.join('|') + ')';
                }
                const QRegularExpressionMatch m = QRegularExpression(pattern).match(args, at);
                QVERIFY2(m.hasMatch(), qPrintable(s.name + ": argument " + QString::number(k + 1) + " ("
                                                  + T::kindName(s.args.at(k)) + ") not in \"" + args + '"'));
                at = m.capturedEnd();
            }
        }
        QVERIFY(settings > 60);
    }

    void everyCommandSetsItsControl()
    {
        Body b;
        Ui::Body *ui = b.form();
        Ui::SelectDataFiles *ct = ui->CTFiles->form();
        ProcCtrl *pc = ui->procCtrl;
        QSignalSpy cont(&b, &Body::callBatchCheckEnd);

        // letter case does not matter; unknown names and empty lines do nothing
        cmd(b, "IMAGES_Exp_Time 2.5");
        QCOMPARE(ct->ExpTime->text(), QString("2.5"));
        cmd(b, "no_such_command 1 2");
        cmd(b, "");
        cmd(b, "## Original Images");
        QCOMPARE(cont.count(), 4);              // every line lets a batch go on

        cmd(b, "images_add_on_load 1");
        QVERIFY(ct->AddFiles->isChecked());
        cmd(b, "images_new_on_load 1");
        QVERIFY(ct->LoadNewFiles->isChecked());
        cmd(b, "images_new_on_load 0");
        QVERIFY(ct->AddFiles->isChecked());
        cmd(b, "images_add_on_load true");
        QVERIFY(ct->LoadNewFiles->isChecked());
        cmd(b, "images_multi 1 4");
        QVERIFY(ct->LoadMultiTimes->isChecked());
        QCOMPARE(ct->MultiTimes->text(), QString("4"));
        cmd(b, "images_multi 0");
        QVERIFY(!ct->LoadMultiTimes->isChecked());
        QCOMPARE(ct->MultiTimes->text(), QString("0"));
        cmd(b, "images_keep_setup 0");
        QVERIFY(!ct->KeepConditions->isChecked());
        cmd(b, "images_keep_setup 1");
        QVERIFY(ct->KeepConditions->isChecked());

        cmd(b, "i0_exp_time 0.25");
        QCOMPARE(ui->I0ImgSel->expTime(), 0.25);
        cmd(b, "bg_exp_time 3");
        QCOMPARE(ui->BGImgSel->expTime(), 3.0);
        cmd(b, "i0_load " + dataDir + "/ref/i0-7100eV-00000.img");
        QVERIFY(ui->I0ImgSel->img);
        QCOMPARE(ui->I0ImgSel->path(), dataDir + "/ref/i0-7100eV-00000.img");
        cmd(b, "bg_load " + dataDir + "/ref/bg.img");
        QVERIFY(ui->BGImgSel->img);
        cmd(b, "i0_clear");
        QVERIFY(!ui->I0ImgSel->img);
        QVERIFY(ui->I0ImgSel->path().isEmpty() && ui->I0ImgSel->name().isEmpty());
        cmd(b, "bg_clear");
        QVERIFY(!ui->BGImgSel->img);

        // processing parameters; slice, slice-to and CoR are kept over the next load
        QSignalSpy sliceSig(pc, &ProcCtrl::sliceNoUpdated), corSig(pc, &ProcCtrl::corUpdated);
        cmd(b, "ct_proc_slice 7");
        cmd(b, "ct_proc_slice 7");
        QCOMPARE(pc->sliceNo, 7);
        QCOMPARE(sliceSig.count(), 1);
        cmd(b, "ct_cor 20.25");
        cmd(b, "ct_cor 20.25");
        QCOMPARE(pc->cor, 20.25);
        QCOMPARE(corSig.count(), 1);
        cmd(b, "ct_slice_from 3");
        cmd(b, "ct_slice_to 9");
        cmd(b, "ct_slice_step -2");
        QCOMPARE(pc->getSliceFrom(), 3);
        QCOMPARE(pc->getSliceTo(), 9);
        QCOMPARE(pc->getSliceStep(), -2);
        QVERIFY(!b.resetSliceOnLoad && !b.resetSliceToOnLoad && !b.resetCorOnLoad);
        QVERIFY(b.resetRegionsOnLoad);
        cmd(b, "ct_threads 1");
        QCOMPARE(pc->getThreads(), 1);
        cmd(b, "ct_auto_exec true");            // only 1 means on
        QVERIFY(!pc->isAutoExec());
        cmd(b, "ct_auto_exec 1");
        QVERIFY(pc->isAutoExec());
        cmd(b, "ct_auto_gen_sinogram 0");
        QVERIFY(!pc->isAutoUpdate());
        cmd(b, "ct_angle_offset -1.5");
        QCOMPARE(pc->getAngleOffset(), -1.5);
        cmd(b, "ct_recorded_cor_1 4 21.5");
        cmd(b, "ct_recorded_cor_2 8");
        QCOMPARE(pc->recSlice1, 4);
        QCOMPARE(pc->recCor1, 21.5);
        QCOMPARE(pc->recSlice2, 8);
        QCOMPARE(pc->recCor2, 0.0);

        // the axis: a signal only when it changes
        QSignalSpy axis(pc, &ProcCtrl::rotAxUpdated);
        QVERIFY(!pc->rotAxIsV);
        cmd(b, "ct_rot_ax_is_h 1");
        QCOMPARE(axis.count(), 0);
        cmd(b, "ct_rot_ax_is_v 1");
        QVERIFY(pc->rotAxIsV);
        QCOMPARE(axis.count(), 1);
        cmd(b, "ct_rot_ax_is_v 1");
        QCOMPARE(axis.count(), 1);
        cmd(b, "ct_rot_ax_is_h 0");
        QCOMPARE(axis.count(), 1);
        cmd(b, "ct_rot_ax_is_v 0");
        QVERIFY(!pc->rotAxIsV);
        QCOMPARE(axis.count(), 2);

        // regions go to every calculator panel
        cmd(b, "ct_set_disp_region 1 2 30 31");
        cmd(b, "ct_set_calc_region 4 4 20 20");
        for (QObject *p : {static_cast<QObject *>(b.ctCalc()), static_cast<QObject *>(b.workerPanels().last())}) {
            QCOMPARE(p->findChild<QLineEdit *>("Drx1")->text(), QString("30"));
            QCOMPARE(p->findChild<QLineEdit *>("Crx0")->text(), QString("4"));
        }

        // calculation and colour scale
        cmd(b, "calc_ct2 1");
        QVERIFY(ui->SelectCt2->isChecked() && !ui->SelectCt1->isChecked());
        cmd(b, "calc_ct2 0");
        QVERIFY(ui->SelectCt1->isChecked());
        cmd(b, "calc_ct1 0");
        QVERIFY(ui->SelectCt2->isChecked());
        cmd(b, "calc_ct1 1");
        QVERIFY(ui->SelectCt1->isChecked());
        cmd(b, "calc_show_res 1");
        QVERIFY(ui->ShowCalcRes->isChecked());
        cmd(b, "fix_color_scale 1");
        cmd(b, "fix_color_min -0.125");
        cmd(b, "fix_color_max 1234567");
        QVERIFY(ui->FixColorScale->isChecked());
        QCOMPARE(ui->ColorMin->text(), QString("-0.125"));
        QCOMPARE(ui->ColorMax->text(), QString("1.23457e+06"));

        // saving
        const QString out = tmp.filePath("cmd out");
        cmd(b, "auto_save_image 1");
        cmd(b, "auto_save_image_path \"" + out + "/img\"");
        cmd(b, "auto_save_image_name \"my name\"");
        cmd(b, "auto_save_image_tag E1");
        QVERIFY(ui->AutoSaveImage->isChecked());
        QCOMPARE(ui->SelectImageSaveDir->path(), out + "/img");
        QCOMPARE(ui->SelectImageSaveDir->name(), QString("my name"));
        QCOMPARE(ui->SelectImageSaveDir->addTag(), QString("E1"));
        cmd(b, "auto_save_image_clear");
        QVERIFY(ui->SelectImageSaveDir->path().isEmpty() && ui->SelectImageSaveDir->name().isEmpty());
        cmd(b, "auto_save_data 1");
        cmd(b, "auto_save_data_path " + out);      // unquoted: the text up to the blank
        QCOMPARE(ui->SelectDataSaveDir->path(), out.section(' ', 0, 0));
        cmd(b, "auto_save_data_path \"" + out + "\"");
        cmd(b, "auto_save_data_name d");
        cmd(b, "auto_save_data_tag T");
        QVERIFY(ui->AutoSaveData->isChecked());
        QCOMPARE(ui->SelectDataSaveDir->path(), out);
        QCOMPARE(ui->SelectDataSaveDir->name(), QString("d"));
        QCOMPARE(ui->SelectDataSaveDir->addTag(), QString("T"));
        cmd(b, "auto_save_data_clear");
        QVERIFY(ui->SelectDataSaveDir->path().isEmpty());
        cmd(b, "auto_save_in_sub_folders 1");
        cmd(b, "auto_save_in_sub_folders_of_slice 1");
        cmd(b, "auto_save_in_sub_folders_of_energy 1");
        QVERIFY(ui->SaveInSubFolders->isChecked() && ui->SubOfSlice->isChecked() && ui->SubOfEnergy->isChecked());
        cmd(b, "auto_save_data_upper_limit 1e3x");      // texts, unchanged
        cmd(b, "auto_save_data_lower_limit -5");
        cmd(b, "auto_save_data_offset 2.50");
        QCOMPARE(ui->DataUpperLimit->text(), QString("1e3x"));
        QCOMPARE(ui->DataLowerLimit->text(), QString("-5"));
        QCOMPARE(ui->DataOffset->text(), QString("2.50"));

        // additional information
        ui->SelDDir->setIsASRStandard(false);
        cmd(b, "add_inf_show 1");
        QVERIFY(!ui->AdditionalInfo->isHidden() && !ui->ShowAdditionalAdditionalInfo->isHidden());
        QVERIFY(!ui->ShowAdditionalInfo->isChecked());
        QVERIFY(!ui->SelDDir->isASRStandard());             // not touched
        cmd(b, "add_inf_show 0");
        QVERIFY(ui->AdditionalInfo->isHidden());
        cmd(b, "add_inf_ASR_standard 1");
        QVERIFY(ui->SelDDir->isASRStandard());
        cmd(b, "add_inf_raw_i0_val 12.5");
        cmd(b, "add_inf_raw_i0_from_xafs 1");
        cmd(b, "add_inf_raw_i0_xafs /x/raw.dat");
        cmd(b, "add_inf_raw_i0_eng_ptn E*");
        QCOMPARE(ui->I0ofRawImage_->i0Val(), 12.5);
        QVERIFY(ui->I0ofRawImage_->calcFromXafs());
        QCOMPARE(ui->I0ofRawImage_->xafsFile(), QString("/x/raw.dat"));
        QCOMPARE(ui->I0ofRawImage_->engPattern(), QString("E*"));
        cmd(b, "add_inf_raw_i0_xafs_clear");
        QVERIFY(ui->I0ofRawImage_->xafsFile().isEmpty());
        cmd(b, "add_inf_i0_i0_val 3");
        cmd(b, "add_inf_i0_i0_from_xafs 1");
        cmd(b, "add_inf_i0_i0_xafs /x/i0.dat");
        cmd(b, "add_inf_i0_i0_eng_ptn P");
        QCOMPARE(ui->I0ofI0Image_->i0Val(), 3.0);
        QVERIFY(ui->I0ofI0Image_->calcFromXafs());
        QCOMPARE(ui->I0ofI0Image_->xafsFile(), QString("/x/i0.dat"));
        QCOMPARE(ui->I0ofI0Image_->engPattern(), QString("P"));
        QVERIFY(ui->I0ofRawImage_->xafsFile().isEmpty());
        cmd(b, "add_inf_i0_i0_xafs_clear");
        QVERIFY(ui->I0ofI0Image_->xafsFile().isEmpty());

        // viewer link and sequence switches
        cmd(b, "orvexLink_set_send_msg 1");
        QVERIFY(ui->SendMsg2Orvex->isChecked());
        cmd(b, "seq_exec_show 1");
        QVERIFY(ui->ShowAdditionalInfo->isChecked());
        QVERIFY(!ui->AdditionalInfo->isHidden());
        cmd(b, "seq_exec_keep_range_on_new_set 1");
        QVERIFY(ui->keepOnNewSet->isChecked());
        cmd(b, "seq_exec_file_pattern \"*.img\"");
        QCOMPARE(ui->SelDDir->pattern(), QString("*.img"));

        // image tabs
        cmd(b, "show_tab 1");
        QCOMPARE(ui->ImgsTab->currentIndex(), 1);
        cmd(b, "show_i0");
        QCOMPARE(ui->ImgsTab->currentWidget(), ui->I0ImageTab);
        cmd(b, "show_bg");
        QCOMPARE(ui->ImgsTab->currentWidget(), ui->BGImageTab);
        cmd(b, "show_orig");
        QCOMPARE(ui->ImgsTab->currentIndex(), 0);
        cmd(b, "show_sinogram");
        QCOMPARE(ui->ImgsTab->currentIndex(), 1);
        cmd(b, "show_ct1");
        QCOMPARE(ui->ImgsTab->currentIndex(), 2);
        cmd(b, "show_ct2 1");                   // the one "CT2" tab
        QVERIFY(ui->ImgsTab->currentWidget()->isAncestorOf(b.workerPanels().first()));
        cmd(b, "show_ct2 2147483647");          // no such worker: nothing
        QVERIFY(ui->ImgsTab->currentWidget()->isAncestorOf(b.workerPanels().first()));
    }

    // The filter: a known window with a cut-off in (0, 0.5], a known padding,
    // a known method; anything else fails the command (":ifng") and changes nothing. A run
    // takes what the panel shows.
    void filterCommands()
    {
        Body b;
        Trace t;
        ProcCtrl *pc = b.form()->procCtrl;
        for (const char *refused : {"ct_filter refused : hanning 0.3", "ct_filter refused : ramp 0.6",
                                    "ct_filter refused : cosine x", "ct_filter refused : cosine 0",
                                    "ct_filter_padding refused : mirror", "ct_method refused : fourier"})
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QString("^") + QRegularExpression::escape(refused)));
        run(b, tmp.filePath("filter.bat"),
            "ct_filter hann 0.4\n"
            "ct_filter_padding edge\n"
            "ct_filter hanning 0.3\n"
            ":ifng add_inf_raw_i0_eng_ptn name-failed\n"
            "ct_filter ramp 0.6\n"
            ":ifng add_inf_i0_i0_eng_ptn cutoff-failed\n"
            "ct_filter cosine x\n"
            "ct_filter cosine 0\n"
            "ct_filter_padding mirror\n"
            ":ifng add_inf_raw_i0_val 3\n"
            "ct_filter SHEPP-LOGAN\n"          // the cut-off stays
            "ct_method GRIDDING\n"
            "ct_method fourier\n",
            t, 10000);
        QCOMPARE(b.batch()->commandsFailed(), 6);
        QCOMPARE(b.form()->I0ofRawImage_->engPattern(), QString("name-failed"));
        QCOMPARE(b.form()->I0ofI0Image_->engPattern(), QString("cutoff-failed"));
        QCOMPARE(b.form()->I0ofRawImage_->i0Val(), 3.0);
        CalcConds conds;
        pc->fillConds(&conds, true, false);
        QVERIFY(conds.filter.window == RampFilter::Window::SheppLogan);
        QCOMPARE(conds.filter.cutoff, 0.4);
        QVERIFY(conds.filter.padding == RampFilter::Padding::Edge);
        QCOMPARE(conds.method, std::string("gridding"));
        cmd(b, "ct_filter_padding none");
        cmd(b, "ct_filter ramp 0.5");
        pc->fillConds(&conds, true, false);
        QVERIFY(conds.filter.padding == RampFilter::Padding::None);
        QVERIFY(conds.filter.window == RampFilter::Window::Ramp && conds.filter.cutoff == 0.5);
    }

    void everyWorkerTab()
    {
        if (QThread::idealThreadCount() < 2)
            QSKIP("needs two workers");
        configTable.set("show_all_ct2_images", "1", "1");
        Body b;
        configTable.set("show_all_ct2_images", "0", "0");
        QTabWidget *tabs = b.form()->ImgsTab;
        cmd(b, "show_ct2 2");
        QCOMPARE(tabs->currentIndex(), 7);
        cmd(b, "show_ct2 1");
        QCOMPARE(tabs->currentIndex(), 6);
        cmd(b, "show_i0");
        QCOMPARE(tabs->currentIndex(), 3);
        cmd(b, "show_bg");
        QCOMPARE(tabs->currentIndex(), 4);
    }

    void loadSeekAndHoldingBatch()
    {
        Body b;
        ProcCtrl *pc = b.form()->procCtrl;
        const QString out = tmp.filePath("batch out");
        // a slice and CoR set before the load survive it; so does one set
        // right after, because the batch waits for the load
        Trace t;
        run(b, tmp.filePath("run1.bat"),
            "# reconstruct a range on the workers\n"
            "i0_load " + dataDir + "/ref/i0-7100eV-00000.img\n"
            "bg_load " + dataDir + "/ref/bg.img\n"
            "ct_rot_ax_is_v 1\n"
            "ct_cor 23.5\n"
            "images_load " + dataDir + " sample-7100eV-*.img\n"
            "ct_proc_slice 3\n"
            "images_seek -3\n"
            "ct_slice_from 2\n"
            "ct_slice_to 7\n"
            "ct_slice_step 1\n"
            "ct_threads 2\n"
            "auto_save_data 1\n"
            "auto_save_data_path \"" + out + "/data\"\n"
            "auto_save_data_name x\n"
            "auto_save_data_tag E7100\n"
            "auto_save_image 1\n"
            "auto_save_image_path \"" + out + "/img\"\n"
            "auto_save_image_name x\n"
            "auto_save_image_tag E7100\n"
            "calc_ct2 1\n"
            "ct_auto_exec 1\n"
            "calc_exec\n"
            "ct_slice_from 0\n"
            ":echo after the run\n"
            "ct_slice_to 1\n",
            t);
        const int load = t.names.indexOf("images_load");
        QVERIFY(load > 0);
        QVERIFY(!t.loading.at(load + 1));           // held until the series was in
        QCOMPARE(t.images.at(load + 1), NP);
        QCOMPARE(pc->sliceNo, 3);
        QCOMPARE(pc->cor, 23.5);
        QCOMPARE(b.form()->seekCtrl->value(), 0);
        const int exec = t.names.indexOf("calc_exec");
        QCOMPARE(t.names.mid(exec + 1), QStringList({"ct_slice_from", "ct_slice_to"}));
        QVERIFY(!t.calculating.at(exec + 1));      // the next line ran after the run
        QVERIFY(!b.batchStarted);
        QCOMPARE(b.ctDisp()->count(), 6);
        QCOMPARE(pc->getSliceFrom(), 0);
        QCOMPARE(pc->getSliceTo(), 1);
        for (int s = 2; s <= 7; ++s) {
            const QString idx = QString::asprintf("%05d", s);
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(out + "/data/x-E7100-" + idx + ".dat"), 10000);
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(out + "/img/x-E7100-" + idx + ".png"), 10000);
        }

        // seek clamps to the loaded range
        cmd(b, "images_seek 5");
        QCOMPARE(b.form()->seekCtrl->value(), 5);
        cmd(b, "images_seek 100000");
        QCOMPARE(b.form()->seekCtrl->value(), NP - 1);
        cmd(b, "images_seek -3");
        QCOMPARE(b.form()->seekCtrl->value(), 0);
        cmd(b, "images_clear");
        QCOMPARE(b.form()->CTFiles->count(), 0);
        QCOMPARE(b.form()->CTFiles->form()->Count->text(), QString("0"));
    }

    // The configuration loads a series before the batch runs. The end of that
    // load is no line of the batch: it must not step the batch on, or a
    // second chain of lines would run past "calc_exec" to the end mid-run.
    void configurationLoadLeavesTheBatchAlone()
    {
        const ConfigTable kept = configTable;
        auto restore = qScopeGuard([&] { configTable = kept; });
        QFile cfg(tmp.filePath("race.cfg"));
        QVERIFY(cfg.open(QIODevice::WriteOnly));
        cfg.write(("ct_rot_ax_is_v 1\n"
                   "i0_load " + dataDir + "/ref/i0-7100eV-00000.img\n"
                   "bg_load " + dataDir + "/ref/bg.img\n"
                   "images_load " + dataDir + " sample-7100eV-*.img\n").toUtf8());
        cfg.close();
        QVERIFY(configTable.readFile(cfg.fileName()));
        Body b;
        QVERIFY(b.isLoading());

        // The batch is told to start while its thread is busy, so that it
        // runs only after the configuration's series is in.
        QSemaphore go;
        QMetaObject::invokeMethod(b.batch(), [&go] { go.acquire(); });
        const QString file = tmp.filePath("race.bat");
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("ct_slice_from 0\nct_slice_to 11\nct_threads 2\ncalc_ct2 1\nct_auto_exec 1\n"
                "calc_exec\nct_threads 1\n");
        f.close();
        Trace t;
        QObject ctx;
        connect(b.batch(), &Batch::batchExCmd, &ctx, [&](BatchCmd c) { t.names << c.name; });
        connect(b.batch(), &Batch::batchFinished, &ctx, [&] {
            t.finished = true;
            t.calculating << b.isCalculating();
        });
        b.batchLoad(file);
        b.batchExec();
        QTRY_VERIFY_WITH_TIMEOUT(!b.isLoading(), 30000);
        go.release();
        QTRY_VERIFY_WITH_TIMEOUT(t.finished, 60000);
        QCOMPARE(t.names, QStringList({"ct_slice_from", "ct_slice_to", "ct_threads", "calc_ct2",
                                       "ct_auto_exec", "calc_exec", "ct_threads"}));
        QCOMPARE(t.calculating, QList<bool>{false});    // the run had ended
        QCOMPARE(b.ctDisp()->count(), 12);               // every slice of the range
    }

    void calcExecWithoutImagesGoesOn()
    {
        Body b;
        Trace t;
        run(b, tmp.filePath("run2.bat"), "calc_exec\nct_threads 1\n", t, 10000);
        QCOMPARE(t.names, QStringList({"calc_exec", "ct_threads"}));
        QVERIFY(!b.isCalculating() && !b.batchStarted);
    }

    // A series load with a rejected file counts as a failed command.
    void loadWithRejectedFileFails()
    {
        const QString dir = tmp.filePath("partly bad");
        QDir().mkpath(dir);
        QFile good(dir + "/a1.img"), bad(dir + "/a2.img");
        QVERIFY(good.open(QIODevice::WriteOnly) && bad.open(QIODevice::WriteOnly));
        good.write(Phantom::itexImage(4, 3, 2, std::vector<quint32>(12, 5)));
        bad.write("IM broken");
        good.close();
        bad.close();
        QFile wide(tmp.filePath("wide-i0.img"));
        QVERIFY(wide.open(QIODevice::WriteOnly));
        wide.write(Phantom::itexImage(5, 3, 2, std::vector<quint32>(15, 9)));
        wide.close();
        // without patterns a directory gives its files, not ".", ".." or sub-directories
        const QString plain = tmp.filePath("plain dir");
        QVERIFY(QDir().mkpath(plain + "/sub"));
        QVERIFY(QFile::copy(good.fileName(), plain + "/p1.img"));
        Body b;
        Trace t;
        QTest::ignoreMessage(QtWarningMsg, qPrintable("Loaded 1 of 2 files, rejected : " + dir + "/a2.img"));
        QTest::ignoreMessage(QtWarningMsg, qPrintable("Mismatch image size: (4, 3) != (5, 3) : " + wide.fileName()));
        run(b, tmp.filePath("run-bad.bat"),
            "images_load \"" + plain + "\"\n"
            ":ifng add_inf_raw_i0_eng_ptn plain-failed\n"
            "images_load \"" + dir + "\" a1.img\n"
            ":ifng add_inf_raw_i0_eng_ptn good-failed\n"
            "images_load \"" + dir + "\" *.img\n"
            ":ifng add_inf_i0_i0_eng_ptn all-failed\n"
            "i0_load " + wide.fileName() + "\n"          // of another size than the series
            ":ifng add_inf_raw_i0_val 3\n",
            t, 20000);
        QCOMPARE(b.images()->count(), 1);
        QCOMPARE(b.form()->I0ofRawImage_->engPattern(), QString("####_####"));
        QCOMPARE(b.form()->I0ofI0Image_->engPattern(), QString("all-failed"));
        QCOMPARE(b.form()->I0ofRawImage_->i0Val(), 3.0);
        // each failure counted once: as the command's, not once more on its own
        QCOMPARE(b.batch()->commandsFailed(), 2);
        QCOMPARE(b.failures(), 0);
    }

    // Runs that start nothing end at once, as every run ends, and ":ifng"
    // sees them; CT1 and "Auto Exec" are set as a click would set them.
    void runsThatStartNothingEnd()
    {
        Body b;
        Ui::Body *ui = b.form();
        ProcCtrl *pc = ui->procCtrl;
        QSignalSpy ends(&b, &Body::calcFinished);
        Trace t;
        run(b, tmp.filePath("nothing.bat"),
            "ct_rot_ax_is_v 1\n"
            "images_load " + dataDir + " sample-7100eV-*.img\n"
            "calc_ct1 1\n"
            "ct_proc_slice 100\n"          // outside the 12 image lines
            "calc_exec\n"
            ":ifng ct_slice_from 1\n"
            "ct_proc_slice 3\n"
            "ct_cor 0.5\n"                 // a CoR the sinogram refuses
            "calc_exec\n"
            ":ifng ct_slice_to 7\n"
            "ct_cor 24\n"
            "ct_auto_exec 1\n"
            "calc_ct1 1\n"                 // unchecks Auto Exec: one slice on CT1
            "calc_exec\n"
            ":ifok ct_slice_step 2\n",
            t, 30000);
        QCOMPARE(t.names.count("calc_exec"), 3);
        QCOMPARE(ends.count(), 3);
        QCOMPARE(pc->getSliceFrom(), 1);
        QCOMPARE(pc->getSliceTo(), 7);
        QCOMPARE(pc->getSliceStep(), 2);
        QVERIFY(!pc->isAutoExec());
        QVERIFY(!b.isCalculating() && !b.batchStarted);
        QCOMPARE(ui->CalcCT->styleSheet(), QString("background-color: rgb(213, 245, 255);"));

        // "ct_auto_exec 1" picks CT2 even when the box was checked already
        pc->setAutoExec(true);
        ui->SelectCt1->setChecked(true);
        cmd(b, "ct_auto_exec 1");
        QVERIFY(ui->SelectCt2->isChecked());
        // range mode with CT1 that arises anyway ends at once
        ui->SelectCt1->setChecked(true);
        QVERIFY(pc->isAutoExec());
        QTest::ignoreMessage(QtWarningMsg, "A slice range is reconstructed by CT2 only: nothing to do");
        ui->CalcCT->click();
        QVERIFY(!b.isCalculating());
        QCOMPARE(ends.count(), 4);
    }

    // "Seq. Calc." pressed during a manual run waits for it, then reconstructs
    // every set, each on its own series, going past a set that fails to load.
    void sequenceCountsOnlyItsRuns()
    {
        Body b;
        Ui::Body *ui = b.form();
        const QString dir = tmp.filePath("three sets");
        QVERIFY(QDir().mkpath(dir));
        for (const QString &f : QDir(dataDir).entryList({"sample-*.img"}, QDir::Files))
            QVERIFY(QFile::copy(dataDir + "/" + f, dir + "/" + f));
        for (int i = 0; i < 3; ++i) {       // a set of files that are no images
            QFile junk(dir + QString::asprintf("/sample-7110eV-%05d.img", i));
            QVERIFY(junk.open(QIODevice::WriteOnly));
            junk.write("not an image");
        }
        for (const QString &line : QStringList{
                 "ct_rot_ax_is_v 1", "ct_slice_from 0", "ct_slice_to " + QString::number(H - 1),
                 "ct_threads 1", "images_add_on_load 1",
                 "seq_exec_select_i0 \"" + i0Dir + "/ref\" i0-*.img", "add_inf_ASR_standard 1",
                 "seq_exec_dir \"" + dir + "\"", "calc_ct2 1", "ct_auto_exec 1"})
            cmd(b, line);
        QCOMPARE(ui->SeqCalcTo->value(), 3);
        QSignalSpy loaded(&b, &Body::finishedLoadingCTFiles);
        cmd(b, "images_load " + dataDir + " sample-7125eV-*.img");
        QVERIFY(loaded.wait(20000));

        // what the collection held at the end of every run
        QStringList firsts;
        QList<int> counts;
        connect(&b, &Body::calcFinished, &b, [&] {
            counts << b.images()->count();
            firsts << (b.images()->count() ? QFileInfo(b.images()->img(0)->fileName).fileName() : "");
        });
        QSignalSpy ct1(b.ctCalc(), &CtCalc::calcFinished);
        bool done = false;
        connect(b.xafsBatch(), &XafsBatch::finished, &b, [&] { done = true; });

        // a manual range run, held in work by its worker's thread
        QSemaphore gate;
        QMetaObject::invokeMethod(b.workers().at(0), [&] { gate.acquire(); }, Qt::QueuedConnection);
        ui->CalcCT->click();
        QVERIFY(b.isCalculating());
        ui->SelectCt1->click();             // the sequence runs on CT1
        ui->SeqCalc->click();
        QTest::qWait(200);
        gate.release();
        QTRY_VERIFY_WITH_TIMEOUT(done, 60000);
        QCOMPARE(counts, QList<int>({NP, NP, 0, NP}));
        QCOMPARE(firsts, QStringList({"sample-7125eV-00000.img", "sample-7100eV-00000.img", "",
                                      "sample-7125eV-00000.img"}));
        QCOMPARE(ct1.count(), 2);
    }

    // "Seq. Calc." over a set whose nearest-energy I0 can't be read: that set
    // is not reconstructed with the I0 of the set before, it is counted, and
    // the sequence goes on.
    void sequenceRefusesASetWithoutItsI0()
    {
        Body b;
        Ui::Body *ui = b.form();
        const QString refs = tmp.filePath("broken i0");
        QVERIFY(QDir().mkpath(refs));
        QVERIFY(QFile::copy(i0Dir + "/ref/i0-7090eV-00000.img", refs + "/i0-7090eV-00000.img"));
        QFile junk(refs + "/i0-7130eV-00000.img");
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("not an image");
        junk.close();
        const QString out = tmp.filePath("seq broken i0");
        for (const QString &line : QStringList{
                 "ct_rot_ax_is_v 1", "ct_slice_from 3", "ct_slice_to 3", "ct_threads 2",
                 "calc_ct2 1", "ct_auto_exec 1", "auto_save_data 1",
                 "auto_save_data_path \"" + out + "\"",
                 "seq_exec_select_i0 \"" + refs + "\" i0-*.img", "add_inf_ASR_standard 1",
                 "seq_exec_file_pattern *.img", "seq_exec_dir \"" + dataDir + "\""})
            cmd(b, line);
        QCOMPARE(ui->SeqCalcTo->value(), 2);
        QCOMPARE(b.failures(), 0);
        QList<int> counts;
        connect(&b, &Body::calcFinished, &b, [&] { counts << b.images()->count(); });
        bool done = false;
        connect(b.xafsBatch(), &XafsBatch::finished, &b, [&] { done = true; });
        ui->SeqCalc->click();
        QTRY_VERIFY_WITH_TIMEOUT(done, 60000);
        QCOMPARE(counts, QList<int>({NP, 0}));
        QCOMPARE(b.failures(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(out + "/7100eV-00003.dat"), 10000);
        QVERIFY(!QFile::exists(out + "/7125eV-00003.dat"));
    }

    void nextSetAndConditions()
    {
        Body b;
        Ui::Body *ui = b.form();
        // an empty list: nothing to advance to
        cmd(b, "seq_exec_next");
        QVERIFY(!b.batch()->ok);

        Trace t;
        run(b, tmp.filePath("run3.bat"),
            "seq_exec_file_pattern *.img\n"
            "add_inf_ASR_standard 1\n"
            "seq_exec_dir " + dataDir + "\n"
            "seq_exec_next\n"
            ":ifok add_inf_raw_i0_eng_ptn first-ok\n"
            ":ifng add_inf_raw_i0_val 42\n"
            "seq_exec_next\n"
            ":ifng add_inf_i0_i0_eng_ptn second-ng\n"
            "seq_exec_next\n"
            ":ifok add_inf_raw_i0_val 43\n"        // not run: ok again
            ":ifok add_inf_i0_i0_val 7\n"
            "seq_exec_next\n"
            ":ifng :goto skip\n"
            "add_inf_i0_i0_val 99\n"
            "skip\n",
            t);
        QCOMPARE(ui->SelDDir->count(), 2);
        QCOMPARE(ui->SelDDir->currentIndex(), 1);
        QCOMPARE(ui->I0ofRawImage_->engPattern(), QString("first-ok"));
        QCOMPARE(ui->I0ofI0Image_->engPattern(), QString("second-ng"));
        QCOMPARE(ui->I0ofRawImage_->i0Val(), 1.0);     // the form's value, untouched
        QCOMPARE(ui->I0ofI0Image_->i0Val(), 7.0);
        QCOMPARE(t.names.count("add_inf_i0_i0_val"), 1);    // the line after ":goto" was jumped over
        // conditions that do not hold and jump targets are no commands
        QVERIFY(!t.names.contains(":ifok") && !t.names.contains("skip"));

        // picking a set by its 1-based number: only existing numbers succeed,
        // and a failed pick leaves the current set as it was
        b.batch()->ok = true;       // as the interpreter sets it before every command
        cmd(b, "seq_exec_set_index 1");
        QVERIFY(b.batch()->ok);
        QCOMPARE(ui->SelDDir->currentIndex(), 0);
        for (const char *bad : {"seq_exec_set_index 3", "seq_exec_set_index 0", "seq_exec_set_index -1",
                                "seq_exec_set_index x", "seq_exec_set_index"}) {
            b.batch()->ok = true;
            cmd(b, bad);
            QVERIFY2(!b.batch()->ok, bad);
            QCOMPARE(ui->SelDDir->currentIndex(), 0);
        }
        b.batch()->ok = true;
        cmd(b, "SEQ_EXEC_SET_INDEX 2");
        QVERIFY(b.batch()->ok);
        QCOMPARE(ui->SelDDir->currentIndex(), 1);
        QCOMPARE(ui->SelDDir->currentName(), ui->SelDDir->fileSets().at(1)->energyToken());
    }

    void sequence_data()
    {
        QTest::addColumn<bool>("standard");
        QTest::addColumn<bool>("byBatch");
        QTest::newRow("standard, Seq. Calc.") << true << false;
        QTest::newRow("standard, batch loop") << true << true;
        QTest::newRow("sub-directories, Seq. Calc.") << false << false;
        QTest::newRow("sub-directories, batch loop") << false << true;
    }
    void sequence()
    {
        QFETCH(bool, standard);
        QFETCH(bool, byBatch);
        Body b;
        Ui::Body *ui = b.form();
        const QString out = tmp.filePath(QString("seq %1 %2").arg(standard).arg(byBatch));
        const QString setup =
            "ct_rot_ax_is_v 1\n"
            "ct_slice_from 2\n"
            "ct_slice_to 4\n"
            "ct_threads 2\n"
            "calc_ct2 1\n"
            "ct_auto_exec 1\n"
            "auto_save_data 1\n"
            "auto_save_data_path \"" + out + "\"\n"
            "auto_save_data_name x\n"
            "seq_exec_select_i0 \"" + i0Dir + "/ref\" i0-*.img\n"
            "seq_exec_file_pattern *.img\n"
            "add_inf_ASR_standard " + QString::number(standard) + "\n"
            "seq_exec_dir \"" + (standard ? dataDir : subDir) + "\"\n";

        // what each set was reconstructed with
        QStringList i0s, tags;
        QList<int> counts;
        connect(&b, &Body::calcFinished, &b, [&] {
            i0s << QFileInfo(ui->I0ImgSel->path()).fileName();
            tags << ui->SelectDataSaveDir->addTag();
            counts << b.images()->count();
        });

        if (byBatch) {
            Trace t;
            run(b, tmp.filePath("seq.bat"),
                setup +
                    "loop\n"
                    "seq_exec_set\n"
                    "calc_exec\n"
                    "seq_exec_next\n"
                    ":ifok :goto loop\n",
                t);
            QCOMPARE(t.names.count("calc_exec"), 2);
        } else {
            for (const QString &line : setup.split('\n'))
                cmd(b, line);
            cmd(b, "auto_save_data_tag mine");
            cmd(b, "auto_save_image_tag ours");
            QCOMPARE(ui->SeqCalcTo->value(), 2);
            bool done = false;
            connect(b.xafsBatch(), &XafsBatch::finished, &b, [&] { done = true; });
            // every set writes under a name of its own
            QTest::failOnWarning(QRegularExpression("^Overwriting"));
            ui->SeqCalc->click();
            QTRY_VERIFY_WITH_TIMEOUT(done, 60000);
            // the tags it found are back
            QCOMPARE(ui->SelectDataSaveDir->addTag(), QString("mine"));
            QCOMPARE(ui->SelectImageSaveDir->addTag(), QString("ours"));
        }
        QCOMPARE(b.i0EnergyList(), QList<double>({7090, 7130}));
        QCOMPARE(i0s, QStringList({"i0-7090eV-00000.img", "i0-7130eV-00000.img"}));
        QCOMPARE(tags, QStringList({"7100eV", "7125eV"}));
        QCOMPARE(counts, QList<int>({NP, NP}));
        for (const QString &tag : tags)
            for (int s = 2; s <= 4; ++s)
                QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(out + "/x-" + tag + QString::asprintf("-%05d.dat", s)),
                                         10000);
        if (byBatch)
            return;
        // a later run of the user's under the last set's name says that it
        // replaces that set's results, once
        cmd(b, "auto_save_data_tag 7125eV");
        tags.clear();
        QTest::ignoreMessage(QtWarningMsg, qPrintable("Overwriting 3 existing result files in " + out));
        ui->CalcCT->click();
        waitRunEnd(b);
        QCOMPARE(tags, QStringList({"7125eV"}));
    }
};

QTEST_MAIN(TestBatchCommands)
#include "TestBatchCommands.moc"
