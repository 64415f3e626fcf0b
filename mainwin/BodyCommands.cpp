#include "BodyCommands.h"

#include "Body.h"
#include "ui_Body.h"
#include "ui_SelectDataFiles.h"

#include "Batch.h"
#include "CorActions.h"
#include "CtCalc2Ui.h"
#include "DataSaver.h"
#include "I0ofImage.h"
#include "ImgDatas.h"
#include "ProcCtrl.h"
#include "SeekCtrl.h"
#include "SelectAFile.h"
#include "SelectAImgFile.h"
#include "SelectDataDir.h"
#include "SelectDataFiles.h"
#include "SettingsTable.h"
#include "SetupFile.h"
#include "EnergyCurveActions.h"
#include "EnergyCurvePanel.h"
#include "XafsSequence.h"
#include "ui_SelectDataDir.h"

#include <QDebug>
#include <QSpinBox>

#include <algorithm>
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

    // Settings come from the settings table, in the order names are tested;
    // actions are written here.
    // ---- projection images
    add("images_load", [this, ctFiles](A a) {
        if (!ctFiles()->chooseDir(textArg(a), patternArgs(a)))
            outcome = Outcome::Failed;
    });
    setting("images_new_on_load");
    setting("images_add_on_load");
    add("images_clear", [ctFiles](A) { ctFiles()->clearFiles(); });
    setting("images_exp_time");
    setting("images_multi");
    setting("images_seek");
    setting("images_keep_setup");

    // ---- I0 and BG images
    setting("i0_load");
    add("i0_clear", [ui](A) { ui()->I0ImgSel->clear0(); });
    setting("i0_exp_time");
    setting("i0_median");
    setting("bg_load");
    add("bg_clear", [ui](A) { ui()->BGImgSel->clear0(); });
    setting("bg_exp_time");
    setting("bg_median");

    // ---- processing parameters
    for (const char *n : {"ct_proc_slice", "ct_auto_exec", "ct_slice_from", "ct_slice_to", "ct_slice_step",
                          "ct_threads", "ct_cor", "ct_recorded_cor_1", "ct_recorded_cor_2", "ct_rot_ax_is_h",
                          "ct_rot_ax_is_v", "ct_auto_gen_sinogram", "ct_angle_offset", "ct_set_disp_region",
                          "ct_set_calc_region",
    // ---- calculation and display
                          "calc_ct1", "calc_ct2", "calc_show_res", "fix_color_scale", "fix_color_min",
                          "fix_color_max",
    // ---- automatic saving
                          "auto_save_image", "auto_save_image_path", "auto_save_image_name",
                          "auto_save_image_tag"})
        setting(n);
    add("auto_save_image_clear", [ui](A) { ui()->SelectImageSaveDir->clear0(); });
    for (const char *n : {"auto_save_data", "auto_save_data_path", "auto_save_data_name", "auto_save_data_tag"})
        setting(n);
    add("auto_save_data_clear", [ui](A) { ui()->SelectDataSaveDir->clear0(); });
    for (const char *n : {"auto_save_in_sub_folders", "auto_save_in_sub_folders_of_slice",
                          "auto_save_in_sub_folders_of_energy", "auto_save_data_upper_limit",
                          "auto_save_data_lower_limit", "auto_save_data_offset",
    // ---- additional information for CT-XAFS
                          "add_inf_show", "add_inf_ASR_standard", "add_inf_raw_i0_val", "add_inf_raw_i0_from_xafs",
                          "add_inf_raw_i0_xafs"})
        setting(n);
    add("add_inf_raw_i0_xafs_clear", [ui](A) { ui()->I0ofRawImage_->clearXafsFile(); });
    for (const char *n : {"add_inf_raw_i0_eng_ptn", "add_inf_i0_i0_val", "add_inf_i0_i0_from_xafs",
                          "add_inf_i0_i0_xafs"})
        setting(n);
    add("add_inf_i0_i0_xafs_clear", [ui](A) { ui()->I0ofI0Image_->clearXafsFile(); });
    setting("add_inf_i0_i0_eng_ptn");

    // ---- image tabs: by number, or the tab that holds the named picture
    add("show_tab", [ui](A a) { ui()->ImgsTab->setCurrentIndex(intArg(a)); });
    add("show_orig", [this, ui](A) { showTabOf(ui()->RawImageTab); });
    add("show_sinogram", [this, ui](A) { showTabOf(ui()->SinogramTab); });
    add("show_ct1", [this, ui](A) { showTabOf(ui()->CTImageTab); });
    add("show_i0", [this, ui](A) { showTabOf(ui()->I0ImageTab); });
    add("show_bg", [this, ui](A) { showTabOf(ui()->BGImageTab); });
    add("show_ct2", [this](A a) { showCt2Tab(intArg(a)); });

    // ---- viewer link, calculation, sequential execution
    setting("orvexLink_set_send_msg");
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
    setting("seq_exec_show");
    setting("seq_exec_dir");
    setting("seq_exec_file_pattern");
    add("seq_exec_next", [b, ui](A) { b->batch()->ok = ui()->SelDDir->next(); });
    // a set whose I0 can't be read is not loaded: the command fails
    add("seq_exec_set", [this, b, ui](A) {
        b->sequence->clearRefused();
        ui()->SelDDir->set();
        if (b->sequence->refused())
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
    setting("seq_exec_keep_range_on_new_set");

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
    setting("seq_exec_auto_cor");
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
    // ---- spectra and edge-jump maps of the saved slices of a sequence. The
    // saver may still be writing the last run's files: it writes in arrival
    // order, so once a call queued behind them has run, they are all on disk.
    const auto savedSoFar = [b] {
        if (DataSaver *s = b->dataSaver())
            s->settle();
    };
    add("seq_spectrum", [this, b, savedSoFar](A a) {
        savedSoFar();
        if (!EnergyCurveActions(EnergyCurveActions::of(b->ui))
                 .writeSpectrum(intArg(a, 0), intArg(a, 1), intArg(a, 2), intArg(a, 3), textArg(a, 4)))
            outcome = Outcome::Failed;
    });
    add("seq_jump_map", [this, b, savedSoFar](A a) {
        savedSoFar();
        if (!b->spectrum->makeJumpMap(realArg(a, 0), intArg(a, 1)))
            outcome = Outcome::Failed;
    });
    // ---- reconstruction filter, and every later setting
    for (const SettingsTable::Setting &st : SettingsTable::all())
        if (st.write && std::none_of(table.cbegin(), table.cend(),
                                     [&st](const Entry &e) { return e.upperName == st.name.toUpper(); }))
            setting(st.name);
}

void BodyCommands::setting(const QString &name)
{
    const SettingsTable::Setting *st = SettingsTable::find(name);
    Q_ASSERT(st && st->write);
    Body *b = body;
    add(qPrintable(name), [this, b, st](const QStringList &a) {
        if (!st->write(b, SettingsTable::convert(*st, a)))
            outcome = Outcome::Failed;
    });
}
