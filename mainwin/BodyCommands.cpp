#include "BodyCommands.h"

#include "Body.h"
#include "ui_Body.h"
#include "ui_SelectDataFiles.h"

#include "Batch.h"
#include "CorActions.h"
#include "CtCalc2Ui.h"
#include "I0ofImage.h"
#include "ImgDatas.h"
#include "ProcCtrl.h"
#include "SeekCtrl.h"
#include "SelectAFile.h"
#include "SelectAImgFile.h"
#include "SelectDataDir.h"
#include "SelectDataFiles.h"
#include "SetupFile.h"
#include "ui_SelectDataDir.h"

#include <QDebug>
#include <QSpinBox>

#include <cmath>
#include <limits>

BodyCommands::BodyCommands(Body *body) : body(body)
{
    buildTable();
}

bool BodyCommands::flagArg(const QStringList &args, int i)
{
    return intArg(args, i) == 1;
}

int BodyCommands::intArg(const QStringList &args, int i)
{
    bool ok = false;
    const int v = args.value(i).toInt(&ok, 10);
    return ok ? v : 0;
}

double BodyCommands::realArg(const QStringList &args, int i)
{
    bool ok = false;
    const double v = args.value(i).toDouble(&ok);
    // "nan" and "inf" read as doubles but are no numbers to set a control to
    return ok && std::isfinite(v) ? v : 0.0;
}

QString BodyCommands::textArg(const QStringList &args, int i)
{
    return args.value(i);
}

QStringList BodyCommands::patternArgs(const QStringList &args)
{
    return args.mid(1);
}

void BodyCommands::add(const char *name, std::function<void(const QStringList &)> run)
{
    table.append({QString::fromLatin1(name).toUpper(), std::move(run)});
}

QStringList BodyCommands::names()
{
    static const QStringList all = [] {
        QStringList n;
        BodyCommands probe(nullptr);
        for (const Entry &e : std::as_const(probe.table))
            n << e.upperName;
        return n;
    }();
    return all;
}

BodyCommands::Outcome BodyCommands::exec(const BatchCmd &cmd, bool batch)
{
    outcome = Outcome::Done;
    forBatch = batch;
    if (cmd.name.isEmpty())
        return outcome;
    const QString up = cmd.name.toUpper();
    // Every name is tested in turn; names are distinct, so at most one runs.
    bool known = false;
    for (const Entry &e : std::as_const(table)) {
        if (e.upperName == up) {
            known = true;
            e.run(cmd.args);
        }
    }
    return known ? outcome : Outcome::Unknown;
}

void BodyCommands::showTabOf(QWidget *page)
{
    QTabWidget *tabs = body->ui->ImgsTab;
    const int i = tabs->indexOf(page);
    if (i >= 0)
        tabs->setCurrentIndex(i);
}

void BodyCommands::showCt2Tab(int n)
{
    // The tab that holds worker n's panel: "CT2 n" at 5 + n when every worker
    // has its tab, the one "CT2" tab for worker 1 otherwise.
    if (n < 1 || n > body->ctc2Uis.size())
        return;
    QWidget *panel = body->ctc2Uis.at(n - 1);
    QTabWidget *tabs = body->ui->ImgsTab;
    for (int i = 0; i < tabs->count(); ++i) {
        if (tabs->widget(i)->isAncestorOf(panel)) {
            tabs->setCurrentIndex(i);
            return;
        }
    }
}

void BodyCommands::buildTable()
{
    using A = const QStringList &;
    // Without a window (names()) the table only lists the names; no action runs.
    Body *b = body;
    auto ui = [b] { return b->ui; };
    auto ctFiles = [ui] { return ui()->CTFiles; };
    auto pc = [ui] { return ui()->procCtrl; };
    auto check = [](QAbstractButton *box, bool on) { box->setChecked(on); };

    // ---- projection images
    add("images_load", [this, ctFiles](A a) {
        if (!ctFiles()->chooseDir(textArg(a), patternArgs(a)))
            outcome = Outcome::Failed;
    });
    add("images_new_on_load", [ctFiles](A a) {
        Ui::SelectDataFiles *f = ctFiles()->form();
        (flagArg(a) ? f->LoadNewFiles : f->AddFiles)->setChecked(true);
    });
    add("images_add_on_load", [ctFiles](A a) {
        Ui::SelectDataFiles *f = ctFiles()->form();
        (flagArg(a) ? f->AddFiles : f->LoadNewFiles)->setChecked(true);
    });
    add("images_clear", [ctFiles](A) { ctFiles()->clearFiles(); });
    add("images_exp_time", [ctFiles](A a) { ctFiles()->setExpTime(realArg(a)); });
    add("images_multi", [ctFiles](A a) {
        Ui::SelectDataFiles *f = ctFiles()->form();
        f->LoadMultiTimes->setChecked(flagArg(a));
        f->MultiTimes->setText(QString::number(intArg(a, 1)));
    });
    add("images_seek", [ui](A a) {
        SeekCtrl *seek = ui()->seekCtrl;
        const int v = qMin(qMax(0, intArg(a)), seek->maximum());
        if (auto *index = seek->findChild<QSpinBox *>(QStringLiteral("Index")))
            index->setValue(v);
    });
    add("images_keep_setup", [ctFiles, check](A a) {
        check(ctFiles()->form()->KeepConditions, flagArg(a));
    });

    // ---- I0 and BG images
    // an image that cannot be read turns the selector red and keeps the
    // previous one; an image of another size than the series is held but
    // red, and the sinogram leaves it out; either way the command fails
    add("i0_load", [this, ui](A a) {
        ui()->I0ImgSel->fileSelected0(textArg(a));
        if (ui()->I0ImgSel->lastLoadFailed() || !ui()->I0ImgSel->sizeFits())
            outcome = Outcome::Failed;
    });
    add("i0_clear", [ui](A) { ui()->I0ImgSel->clear0(); });
    add("i0_exp_time", [ui](A a) { ui()->I0ImgSel->setExpTime(realArg(a)); });
    add("bg_load", [this, ui](A a) {
        ui()->BGImgSel->fileSelected0(textArg(a));
        if (ui()->BGImgSel->lastLoadFailed() || !ui()->BGImgSel->sizeFits())
            outcome = Outcome::Failed;
    });
    add("bg_clear", [ui](A) { ui()->BGImgSel->clear0(); });
    add("bg_exp_time", [ui](A a) { ui()->BGImgSel->setExpTime(realArg(a)); });

    // ---- processing parameters; a commanded slice, slice-to or CoR is kept
    // over the next load (while "Keep Conds." is checked)
    add("ct_proc_slice", [b, pc](A a) {
        pc()->setSliceNo(intArg(a));
        b->resetSliceOnLoad = false;
    });
    // as a click: "Auto Exec" goes with CT2
    add("ct_auto_exec", [b, pc](A a) {
        pc()->setAutoExec(flagArg(a));
        b->changedAutoExec();
    });
    add("ct_slice_from", [pc](A a) { pc()->setSliceFrom(intArg(a)); });
    add("ct_slice_to", [b, pc](A a) {
        pc()->setSliceTo(intArg(a));
        b->resetSliceToOnLoad = false;
    });
    add("ct_slice_step", [pc](A a) { pc()->setSliceStep(intArg(a)); });
    add("ct_threads", [pc](A a) { pc()->setThreads(intArg(a)); });
    add("ct_cor", [b, pc](A a) {
        pc()->setCor(realArg(a));
        b->resetCorOnLoad = false;
    });
    add("ct_recorded_cor_1", [pc](A a) { pc()->setRecordedCoR(1, intArg(a), realArg(a, 1)); });
    add("ct_recorded_cor_2", [pc](A a) { pc()->setRecordedCoR(2, intArg(a), realArg(a, 1)); });
    add("ct_rot_ax_is_h", [pc](A a) { pc()->setRotAxIsV(!flagArg(a)); });
    add("ct_rot_ax_is_v", [pc](A a) { pc()->setRotAxIsV(flagArg(a)); });
    add("ct_auto_gen_sinogram", [pc](A a) { pc()->setAutoUpdate(flagArg(a)); });
    add("ct_angle_offset", [pc](A a) { pc()->setAngleOffset(realArg(a)); });
    add("ct_set_disp_region", [b](A a) {
        b->applyRegions(realArg(a, 0), realArg(a, 1), realArg(a, 2), realArg(a, 3), false, nullptr);
    });
    add("ct_set_calc_region", [b](A a) {
        b->applyRegions(realArg(a, 0), realArg(a, 1), realArg(a, 2), realArg(a, 3), true, nullptr);
    });

    // ---- calculation and display. CT1 and CT2 form one exclusive pair: one
    // of them off means the other on.
    // As a click, CT1 unchecks "Auto Exec": a range is for CT2 only.
    add("calc_ct1", [b, ui](A a) {
        (flagArg(a) ? ui()->SelectCt1 : ui()->SelectCt2)->setChecked(true);
        b->changedCtSel(ui()->SelectCt1);
    });
    add("calc_ct2", [b, ui](A a) {
        (flagArg(a) ? ui()->SelectCt2 : ui()->SelectCt1)->setChecked(true);
        b->changedCtSel(ui()->SelectCt2);
    });
    add("calc_show_res", [ui, check](A a) { check(ui()->ShowCalcRes, flagArg(a)); });
    add("fix_color_scale", [ui, check](A a) { check(ui()->FixColorScale, flagArg(a)); });
    // as a user's edit of the field: a fixed scale takes the new bound at once
    add("fix_color_min", [b](A a) {
        b->setColorMin(realArg(a));
        b->fixColorScaleChanged();
    });
    add("fix_color_max", [b](A a) {
        b->setColorMax(realArg(a));
        b->fixColorScaleChanged();
    });

    // ---- automatic saving
    add("auto_save_image", [ui, check](A a) { check(ui()->AutoSaveImage, flagArg(a)); });
    add("auto_save_image_path", [ui](A a) { ui()->SelectImageSaveDir->setPath(textArg(a)); });
    add("auto_save_image_name", [ui](A a) { ui()->SelectImageSaveDir->setName(textArg(a)); });
    add("auto_save_image_tag", [ui](A a) { ui()->SelectImageSaveDir->setAddTag(textArg(a)); });
    add("auto_save_image_clear", [ui](A) { ui()->SelectImageSaveDir->clear0(); });
    add("auto_save_data", [ui, check](A a) { check(ui()->AutoSaveData, flagArg(a)); });
    add("auto_save_data_path", [ui](A a) { ui()->SelectDataSaveDir->setPath(textArg(a)); });
    add("auto_save_data_name", [ui](A a) { ui()->SelectDataSaveDir->setName(textArg(a)); });
    add("auto_save_data_tag", [ui](A a) { ui()->SelectDataSaveDir->setAddTag(textArg(a)); });
    add("auto_save_data_clear", [ui](A) { ui()->SelectDataSaveDir->clear0(); });
    add("auto_save_in_sub_folders", [ui, check](A a) { check(ui()->SaveInSubFolders, flagArg(a)); });
    add("auto_save_in_sub_folders_of_slice", [ui, check](A a) { check(ui()->SubOfSlice, flagArg(a)); });
    add("auto_save_in_sub_folders_of_energy", [ui, check](A a) { check(ui()->SubOfEnergy, flagArg(a)); });
    add("auto_save_data_upper_limit", [ui](A a) { ui()->DataUpperLimit->setText(textArg(a)); });
    add("auto_save_data_lower_limit", [ui](A a) { ui()->DataLowerLimit->setText(textArg(a)); });
    add("auto_save_data_offset", [ui](A a) { ui()->DataOffset->setText(textArg(a)); });

    // ---- additional information for CT-XAFS
    add("add_inf_show", [b](A a) { b->setShowAdditionalInfo(flagArg(a)); });
    add("add_inf_ASR_standard", [ui](A a) { ui()->SelDDir->setIsASRStandard(flagArg(a)); });
    add("add_inf_raw_i0_val", [ui](A a) { ui()->I0ofRawImage_->setI0Val(realArg(a)); });
    add("add_inf_raw_i0_from_xafs", [ui](A a) { ui()->I0ofRawImage_->setCalcFromXafs(flagArg(a)); });
    add("add_inf_raw_i0_xafs", [ui](A a) { ui()->I0ofRawImage_->setXafsFile(textArg(a)); });
    add("add_inf_raw_i0_xafs_clear", [ui](A) { ui()->I0ofRawImage_->clearXafsFile(); });
    add("add_inf_raw_i0_eng_ptn", [ui](A a) { ui()->I0ofRawImage_->setEngPattern(textArg(a)); });
    add("add_inf_i0_i0_val", [ui](A a) { ui()->I0ofI0Image_->setI0Val(realArg(a)); });
    add("add_inf_i0_i0_from_xafs", [ui](A a) { ui()->I0ofI0Image_->setCalcFromXafs(flagArg(a)); });
    add("add_inf_i0_i0_xafs", [ui](A a) { ui()->I0ofI0Image_->setXafsFile(textArg(a)); });
    add("add_inf_i0_i0_xafs_clear", [ui](A) { ui()->I0ofI0Image_->clearXafsFile(); });
    add("add_inf_i0_i0_eng_ptn", [ui](A a) { ui()->I0ofI0Image_->setEngPattern(textArg(a)); });

    // ---- image tabs: by number, or the tab that holds the named picture
    add("show_tab", [ui](A a) { ui()->ImgsTab->setCurrentIndex(intArg(a)); });
    add("show_orig", [this, ui](A) { showTabOf(ui()->RawImageTab); });
    add("show_sinogram", [this, ui](A) { showTabOf(ui()->SinogramTab); });
    add("show_ct1", [this, ui](A) { showTabOf(ui()->CTImageTab); });
    add("show_i0", [this, ui](A) { showTabOf(ui()->I0ImageTab); });
    add("show_bg", [this, ui](A) { showTabOf(ui()->BGImageTab); });
    add("show_ct2", [this](A a) { showCt2Tab(intArg(a)); });

    // ---- viewer link, calculation, sequential execution
    add("orvexLink_set_send_msg", [ui, check](A a) { check(ui()->SendMsg2Orvex, flagArg(a)); });
    add("calc_exec", [this, b](A) {
        // Like the "Calc" button: nothing to reconstruct, nothing starts.
        if (!b->hasImages()) {
            qWarning("calc_exec: no projection images loaded");
            outcome = Outcome::Failed;
            return;
        }
        // Only a run the batch started holds and releases the batch: one from
        // the configuration or a setup file leaves a running batch alone.
        if (forBatch) {
            b->batchStarted = true;
            outcome = Outcome::HeldByRun;
        }
        emit b->batchCalcStart();
    });
    add("seq_exec_show", [ui, check](A a) { check(ui()->ShowAdditionalInfo, flagArg(a)); });
    add("seq_exec_dir", [ui](A a) { ui()->SelDDir->setDataDir(textArg(a)); });
    add("seq_exec_file_pattern", [ui](A a) { ui()->SelDDir->setPattern(textArg(a)); });
    add("seq_exec_next", [b, ui](A) { b->batch()->ok = ui()->SelDDir->next(); });
    // a set whose I0 can't be read is not loaded: the command fails
    add("seq_exec_set", [this, b, ui](A) {
        b->setRefused = false;
        ui()->SelDDir->set();
        if (b->setRefused)
            outcome = Outcome::Failed;
    });
    // Data set k (1-based, as "From"/"To") becomes the current entry without
    // being handed over; with no such set nothing changes and the command fails.
    add("seq_exec_set_index", [this, ui](A a) {
        SelectDataDir *sdd = ui()->SelDDir;
        const int k = intArg(a);
        if (k >= 1 && k <= sdd->count()) {
            sdd->form()->SubDirs->setCurrentIndex(k - 1);
            return;
        }
        qWarning().noquote() << QStringLiteral("seq_exec_set_index: no data set %1 of %2").arg(k).arg(sdd->count());
        outcome = Outcome::Failed;
    });
    add("seq_exec_select_i0", [this, ui](A a) {
        if (!ui()->SelI0Files->chooseInDir(textArg(a), patternArgs(a)))
            outcome = Outcome::Failed;
    });
    add("seq_exec_keep_range_on_new_set", [ui, check](A a) { check(ui()->keepOnNewSet, flagArg(a)); });

    // ---- centre of rotation found from the data; a failure fails the command
    add("ct_find_cor", [this, b, pc](A a) {
        if (!CorActions(b->sgm, pc()).findAndSet(textArg(a)))
            outcome = Outcome::Failed;
        else
            b->resetCorOnLoad = false;
    });
    // CoR trials of the current slice; a batch that started them goes on
    // when they are done
    add("ct_try_cor", [this, b](A a) {
        // marked before the start, which may wait for workers still busy
        const bool held = b->batchStarted;
        if (forBatch)
            b->batchStarted = true;
        if (!b->startCorTrials(realArg(a, 0), realArg(a, 1), realArg(a, 2))) {
            b->batchStarted = held;
            outcome = Outcome::Failed;
        } else if (forBatch) {
            outcome = Outcome::HeldByRun;
        }
    });
    add("seq_exec_auto_cor", [b, check](A a) { check(b->autoCor, flagArg(a)); });
    add("ct_find_recorded_cor", [this, b, pc](A a) {
        if (!CorActions(b->sgm, pc()).findAndRecord(intArg(a), intArg(a, 1)))
            outcome = Outcome::Failed;
    });

    // ---- setup files, as "Save Setup" and "Load Setup" make and read them; a
    // load fails when the file cannot be read or one of its lines failed
    add("setup_save", [this, b](A a) {
        if (!SetupFile(b).save(textArg(a)))
            outcome = Outcome::Failed;
    });
    add("setup_load", [this, b](A a) {
        const int before = b->failureCount;
        if (!SetupFile(b).load(textArg(a)) || b->failureCount != before)
            outcome = Outcome::Failed;
    });

    // ---- reconstruction filter
    // the window and, when given, its cut-off (else the cut-off stays); an
    // unknown name or a cut-off outside (0, 0.5] fails the command and
    // changes nothing
    add("ct_filter", [this, pc](A a) {
        FilterSpec::Window w;
        const bool known = FilterSpec::windowFromName(textArg(a).toStdString(), &w);
        bool numeric = true;
        const double c = a.size() > 1 ? a.at(1).toDouble(&numeric) : 0.5;
        if (!known || !numeric || !FilterSpec::cutoffValid(c)) {
            qWarning().noquote() << "ct_filter refused : " + a.join(QLatin1Char(' '))
                                        + " (windows: ramp, shepp-logan, cosine, hamming, hann;"
                                          " cut-off in (0, 0.5])";
            outcome = Outcome::Failed;
            return;
        }
        pc()->setFilterWindow(textArg(a));
        if (a.size() > 1)
            pc()->setFilterCutoff(c);
    });
    add("ct_filter_padding", [this, pc](A a) {
        if (!pc()->setFilterPadding(textArg(a))) {
            qWarning().noquote() << "ct_filter_padding refused : " + textArg(a) + " (zero, edge or none)";
            outcome = Outcome::Failed;
        }
    });
}
