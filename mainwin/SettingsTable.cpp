#include "SettingsTable.h"

#include "Body.h"
#include "ui_Body.h"
#include "ui_SelectDataFiles.h"

#include "BodyCommands.h"
#include "CorrectionsPanel.h"
#include "RampFilter.h"
#include "I0Ratio.h"
#include "ReconMethod.h"
#include "I0ofImage.h"
#include "ProcCtrl.h"
#include "SeekCtrl.h"
#include "SelectAFile.h"
#include "SelectAImgFile.h"
#include "SelectDataDir.h"
#include "SelectDataFiles.h"
#include "SetupFile.h"

#include <QDebug>
#include <QCheckBox>
#include <QSpinBox>

namespace {

using K = SettingsTable::Kind;
using S = SettingsTable::Section;
using Setting = SettingsTable::Setting;
using V = SettingsTable::Values;

QStringList choicesOf(const std::vector<std::string> &names)
{
    QStringList c;
    for (const std::string &n : names)
        c << QString::fromStdString(n);
    return c;
}

// A setting that never refuses its value.
template <class F>
std::function<bool(Body *, const V &)> always(F set)
{
    return [set](Body *b, const V &v) {
        set(b, v);
        return true;
    };
}

} // namespace

QList<SettingsTable::Setting> SettingsTable::build()
{
    QList<Setting> t;
    auto add = [&t](const char *name, QList<K> args, S section, const char *def,
                    std::function<bool(Body *, const V &)> write, std::function<QVariantList(Body *)> read = {}) {
        Setting s;
        s.name = QString::fromLatin1(name);
        s.args = std::move(args);
        s.section = section;
        s.def = QString::fromLatin1(def);
        s.write = std::move(write);
        s.read = std::move(read);
        t << s;
        return &t.last();
    };
    // a line a setup file writes by hand at its place (a file set)
    auto special = [&t](const char *name, S section) {
        Setting s;
        s.name = QString::fromLatin1(name);
        s.section = section;
        s.special = true;
        t << s;
    };
    auto ui = [](Body *b) { return b->form(); };
    auto pc = [](Body *b) { return b->form()->procCtrl; };
    auto ctForm = [](Body *b) { return b->form()->CTFiles->form(); };

    // ---- projection images
    special("images_load", S::OriginalImages);
    add("images_new_on_load", {K::Flag}, S::OriginalImages, "1",
        always([ctForm](Body *b, const V &v) {
            (v.flag() ? ctForm(b)->LoadNewFiles : ctForm(b)->AddFiles)->setChecked(true);
        }),
        [ui](Body *b) { return QVariantList{ui(b)->CTFiles->newFiles()}; });
    add("images_add_on_load", {K::Flag}, S::None, "",
        always([ctForm](Body *b, const V &v) {
            (v.flag() ? ctForm(b)->AddFiles : ctForm(b)->LoadNewFiles)->setChecked(true);
        }));
    add("images_exp_time", {K::Real}, S::None, "",
        always([ui](Body *b, const V &v) { ui(b)->CTFiles->setExpTime(v.real()); }));
    add("images_keep_setup", {K::Flag}, S::OriginalImages, "1",
        always([ctForm](Body *b, const V &v) { ctForm(b)->KeepConditions->setChecked(v.flag()); }),
        [ui](Body *b) { return QVariantList{ui(b)->CTFiles->keepConditions()}; });
    add("images_multi", {K::Flag, K::Int}, S::OriginalImages, "0 180", always([ctForm](Body *b, const V &v) {
            ctForm(b)->LoadMultiTimes->setChecked(v.flag(0));
            ctForm(b)->MultiTimes->setText(QString::number(v.integer(1)));
        }),
        [ui, ctForm](Body *b) {
            return QVariantList{ctForm(b)->LoadMultiTimes->isChecked(), ui(b)->CTFiles->multiTimes()};
        });
    add("images_seek", {K::Int}, S::OriginalImages, "0", always([ui](Body *b, const V &v) {
            SeekCtrl *seek = ui(b)->seekCtrl;
            const int i = qMin(qMax(0, v.integer()), seek->maximum());
            if (auto *index = seek->findChild<QSpinBox *>(QStringLiteral("Index")))
                index->setValue(i);
        }),
        [ui](Body *b) { return QVariantList{ui(b)->seekCtrl->value()}; });

    // ---- I0 and BG images: no image is saved as the clear command. An
    // image that cannot be read turns the selector red and keeps the
    // previous one; an image of another size than the series is held but
    // red, and the sinogram leaves it out; either way the command fails.
    // Several files make one image, by their mean or, with "Median" (set
    // before the files, so they are combined once), their median; files of
    // differing sizes are refused as one that cannot be read.
    for (const bool i0 : {true, false}) {
        auto sel = [i0, ui](Body *b) { return i0 ? ui(b)->I0ImgSel : ui(b)->BGImgSel; };
        add(i0 ? "i0_median" : "bg_median", {K::Flag}, S::OriginalImages, "0",
            [sel](Body *b, const V &v) {
                sel(b)->setMedian(v.flag());
                return sel(b)->paths().size() < 2 || (!sel(b)->lastLoadFailed() && sel(b)->sizeFits());
            },
            [sel](Body *b) { return QVariantList{sel(b)->median()}; });
        Setting *s = add(i0 ? "i0_load" : "bg_load", {K::Paths}, S::OriginalImages, "",
            [sel](Body *b, const V &v) {
                sel(b)->filesSelected0(v.v.value(0).toStringList());
                return !sel(b)->lastLoadFailed() && sel(b)->sizeFits();
            },
            [sel](Body *b) { return QVariantList{QVariant(sel(b)->paths())}; });
        s->emptyLine = QString::fromLatin1(i0 ? "i0_clear" : "bg_clear");
        add(i0 ? "i0_exp_time" : "bg_exp_time", {K::Real}, S::None, "",
            always([sel](Body *b, const V &v) { sel(b)->setExpTime(v.real()); }));
    }

    // ---- processing parameters; a commanded slice, slice-to or CoR is kept
    // over the next load (while "Keep Conds." is checked)
    add("ct_proc_slice", {K::Int}, S::Reconstruction, "1000", always([pc](Body *b, const V &v) {
            pc(b)->setSliceNo(v.integer());
            b->resetSliceOnLoad = false;
        }),
        [pc](Body *b) { return QVariantList{pc(b)->sliceNo}; });
    add("ct_angle_offset", {K::Real}, S::Reconstruction, "0",
        always([pc](Body *b, const V &v) { pc(b)->setAngleOffset(v.real()); }),
        [pc](Body *b) { return QVariantList{pc(b)->getAngleOffset()}; });
    // as a click: "Auto Exec" goes with CT2
    add("ct_auto_exec", {K::Flag}, S::Reconstruction, "0", always([pc](Body *b, const V &v) {
            pc(b)->setAutoExec(v.flag());
            b->changedAutoExec();
        }),
        [pc](Body *b) { return QVariantList{pc(b)->isAutoExec()}; });
    add("ct_slice_from", {K::Int}, S::Reconstruction, "0",
        always([pc](Body *b, const V &v) { pc(b)->setSliceFrom(v.integer()); }),
        [pc](Body *b) { return QVariantList{pc(b)->getSliceFrom()}; });
    add("ct_slice_to", {K::Int}, S::Reconstruction, "2047", always([pc](Body *b, const V &v) {
            pc(b)->setSliceTo(v.integer());
            b->resetSliceToOnLoad = false;
        }),
        [pc](Body *b) { return QVariantList{pc(b)->getSliceTo()}; });
    add("ct_slice_step", {K::Int}, S::Reconstruction, "1",
        always([pc](Body *b, const V &v) { pc(b)->setSliceStep(v.integer()); }),
        [pc](Body *b) { return QVariantList{pc(b)->getSliceStep()}; });
    // four fifths of the hardware threads, at least one
    add("ct_threads", {K::Int}, S::Reconstruction, "",
        always([pc](Body *b, const V &v) { pc(b)->setThreads(v.integer()); }),
        [pc](Body *b) { return QVariantList{pc(b)->getThreads()}; })
        ->defFromMachine = true;
    add("ct_cor", {K::Real}, S::Reconstruction, "1000", always([pc](Body *b, const V &v) {
            pc(b)->setCor(v.real());
            b->resetCorOnLoad = false;
        }),
        [pc](Body *b) { return QVariantList{pc(b)->cor}; });
    add("ct_rot_ax_is_h", {K::Flag}, S::Reconstruction, "1",
        always([pc](Body *b, const V &v) { pc(b)->setRotAxIsV(!v.flag()); }),
        [pc](Body *b) { return QVariantList{!pc(b)->rotAxIsV}; });
    add("ct_rot_ax_is_v", {K::Flag}, S::None, "",
        always([pc](Body *b, const V &v) { pc(b)->setRotAxIsV(v.flag()); }));
    add("ct_recorded_cor_1", {K::Int, K::Real}, S::Reconstruction, "-1 0",
        always([pc](Body *b, const V &v) { pc(b)->setRecordedCoR(1, v.integer(0), v.real(1)); }),
        [pc](Body *b) { return QVariantList{pc(b)->recSlice1, pc(b)->recCor1}; });
    add("ct_recorded_cor_2", {K::Int, K::Real}, S::Reconstruction, "-1 0",
        always([pc](Body *b, const V &v) { pc(b)->setRecordedCoR(2, v.integer(0), v.real(1)); }),
        [pc](Body *b) { return QVariantList{pc(b)->recSlice2, pc(b)->recCor2}; });
    add("ct_auto_gen_sinogram", {K::Flag}, S::Reconstruction, "1",
        always([pc](Body *b, const V &v) { pc(b)->setAutoUpdate(v.flag()); }),
        [pc](Body *b) { return QVariantList{pc(b)->isAutoUpdate()}; });
    // the window and, when given, its cut-off (else the cut-off stays); an
    // unknown name or a cut-off outside (0, 0.5] fails the command and
    // changes nothing
    add("ct_filter", {K::Choice, K::Real}, S::Reconstruction, "ramp 0.5",
        [pc](Body *b, const V &v) {
            RampFilter::Window w;
            const bool known = RampFilter::windowFromName(v.text(0).toStdString(), &w);
            bool numeric = true;
            const double c = v.given(1) ? v.raw.at(1).toDouble(&numeric) : 0.5;
            if (!known || !numeric || !RampFilter::cutoffValid(c)) {
                qWarning().noquote() << "ct_filter refused : " + v.raw.join(QLatin1Char(' '))
                                            + " (windows: ramp, shepp-logan, cosine, hamming, hann;"
                                              " cut-off in (0, 0.5])";
                return false;
            }
            pc(b)->setFilterWindow(v.text(0));
            if (v.given(1))
                pc(b)->setFilterCutoff(c);
            return true;
        },
        [pc](Body *b) {
            const RampFilter f = pc(b)->filterSpec();
            return QVariantList{QString::fromLatin1(RampFilter::windowName(f.window)), f.cutoff};
        })->choices = choicesOf(RampFilter::windowNames());
    add("ct_filter_padding", {K::Choice}, S::Reconstruction, "zero",
        [pc](Body *b, const V &v) {
            if (pc(b)->setFilterPadding(v.text()))
                return true;
            qWarning().noquote() << "ct_filter_padding refused : " + v.text() + " (zero, edge or none)";
            return false;
        },
        [pc](Body *b) {
            return QVariantList{QString::fromLatin1(RampFilter::paddingName(pc(b)->filterSpec().padding))};
        })
        ->choices = choicesOf(RampFilter::paddingNames());
    // ---- sinogram corrections: parameters left out keep their values; a
    // value no stage can work with fails the command and changes nothing
    auto corr = [ui](Body *b) { return ui(b)->corrections; };
    add("ct_ring_removal", {K::Flag, K::Real, K::Int, K::Int}, S::Reconstruction, "0 3 51 21",
        [corr](Body *b, const V &v) {
            const CorrectionSettings &c = corr(b)->settings();
            const bool snrOk = !v.given(1) || CorrectionSettings::snrValid(v.raw.at(1).toDouble());
            if (snrOk && corr(b)->setRings(v.flag(0), v.given(1) ? v.real(1) : c.ringSnr,
                                           v.given(2) ? v.integer(2) : c.ringLarge,
                                           v.given(3) ? v.integer(3) : c.ringSmall))
                return true;
            qWarning().noquote() << "ct_ring_removal refused : " + v.raw.join(QLatin1Char(' '))
                                        + " (SNR above 0, windows 1 .. 999)";
            return false;
        },
        [corr](Body *b) {
            const CorrectionSettings &c = corr(b)->settings();
            return QVariantList{c.rings, c.ringSnr, c.ringLarge, c.ringSmall};
        });
    add("ct_zinger_removal", {K::Flag, K::Real}, S::Reconstruction, "0 0.1",
        [corr](Body *b, const V &v) {
            const bool thrOk = !v.given(1) || CorrectionSettings::thresholdValid(v.raw.at(1).toDouble());
            if (thrOk && corr(b)->setZingers(v.flag(0), v.given(1) ? v.real(1)
                                                                    : corr(b)->settings().zingerThreshold))
                return true;
            qWarning().noquote() << "ct_zinger_removal refused : " + v.raw.join(QLatin1Char(' '))
                                        + " (threshold 0 or more)";
            return false;
        },
        [corr](Body *b) {
            const CorrectionSettings &c = corr(b)->settings();
            return QVariantList{c.zingers, c.zingerThreshold};
        });
    add("ct_air_columns", {K::Int}, S::Reconstruction, "0",
        [corr](Body *b, const V &v) {
            bool numeric = true;
            if (v.given(0))
                v.raw.at(0).toInt(&numeric);
            if (numeric && corr(b)->setAirColumns(v.integer(0)))
                return true;
            qWarning().noquote() << "ct_air_columns refused : " + v.raw.join(QLatin1Char(' '))
                                        + " (0 .. 9999 columns)";
            return false;
        },
        [corr](Body *b) { return QVariantList{corr(b)->settings().airColumns}; });
    // reconstruction method: an unknown name fails the command and changes nothing
    add("ct_method", {K::Choice}, S::Reconstruction, "back-projection",
        [pc](Body *b, const V &v) {
            if (pc(b)->setMethod(v.text()))
                return true;
            qWarning().noquote() << "ct_method refused : " + v.text() + " (back-projection or gridding)";
            return false;
        },
        [pc](Body *b) { return QVariantList{pc(b)->methodName()}; })
        ->choices = choicesOf(ReconMethod::names());
    add("ct_set_disp_region", {K::Real, K::Real, K::Real, K::Real}, S::None, "", always([](Body *b, const V &v) {
            b->applyRegions(v.real(0), v.real(1), v.real(2), v.real(3), false, nullptr);
        }));
    add("ct_set_calc_region", {K::Real, K::Real, K::Real, K::Real}, S::None, "", always([](Body *b, const V &v) {
            b->applyRegions(v.real(0), v.real(1), v.real(2), v.real(3), true, nullptr);
        }));

    // ---- calculation and display. CT1 and CT2 form one exclusive pair: one
    // of them off means the other on. As a click, CT1 unchecks "Auto Exec":
    // a range is for CT2 only.
    add("calc_ct1", {K::Flag}, S::Calculation, "1", always([ui](Body *b, const V &v) {
            (v.flag() ? ui(b)->SelectCt1 : ui(b)->SelectCt2)->setChecked(true);
            b->changedCtSel(ui(b)->SelectCt1);
        }),
        [ui](Body *b) { return QVariantList{ui(b)->SelectCt1->isChecked()}; });
    add("calc_ct2", {K::Flag}, S::None, "", always([ui](Body *b, const V &v) {
            (v.flag() ? ui(b)->SelectCt2 : ui(b)->SelectCt1)->setChecked(true);
            b->changedCtSel(ui(b)->SelectCt2);
        }));
    add("calc_show_res", {K::Flag}, S::Calculation, "1",
        always([ui](Body *b, const V &v) { ui(b)->ShowCalcRes->setChecked(v.flag()); }),
        [ui](Body *b) { return QVariantList{ui(b)->ShowCalcRes->isChecked()}; });
    add("fix_color_scale", {K::Flag}, S::Calculation, "0",
        always([ui](Body *b, const V &v) { ui(b)->FixColorScale->setChecked(v.flag()); }),
        [ui](Body *b) { return QVariantList{ui(b)->FixColorScale->isChecked()}; });
    // as a user's edit of the field: a fixed scale takes the new bound at once
    add("fix_color_min", {K::Real}, S::Calculation, "0", always([](Body *b, const V &v) {
            b->setColorMin(v.real());
            b->fixColorScaleChanged();
        }),
        [](Body *b) { return QVariantList{b->colorMin()}; });
    add("fix_color_max", {K::Real}, S::Calculation, "1", always([](Body *b, const V &v) {
            b->setColorMax(v.real());
            b->fixColorScaleChanged();
        }),
        [](Body *b) { return QVariantList{b->colorMax()}; });

    // ---- automatic saving
    for (const bool image : {true, false}) {
        auto box = [image, ui](Body *b) { return image ? ui(b)->AutoSaveImage : ui(b)->AutoSaveData; };
        auto dir = [image, ui](Body *b) { return image ? ui(b)->SelectImageSaveDir : ui(b)->SelectDataSaveDir; };
        add(image ? "auto_save_image" : "auto_save_data", {K::Flag}, S::Calculation, "0",
            always([box](Body *b, const V &v) { box(b)->setChecked(v.flag()); }),
            [box](Body *b) { return QVariantList{box(b)->isChecked()}; });
        add(image ? "auto_save_image_path" : "auto_save_data_path", {K::Path}, S::Calculation, "",
            always([dir](Body *b, const V &v) { dir(b)->setPath(v.text()); }),
            [dir](Body *b) { return QVariantList{dir(b)->path()}; });
        add(image ? "auto_save_image_name" : "auto_save_data_name", {K::Text}, S::Calculation, "",
            always([dir](Body *b, const V &v) { dir(b)->setName(v.text()); }),
            [dir](Body *b) { return QVariantList{dir(b)->name()}; });
        add(image ? "auto_save_image_tag" : "auto_save_data_tag", {K::Text}, S::Calculation, "",
            always([dir](Body *b, const V &v) { dir(b)->setAddTag(v.text()); }),
            [dir](Body *b) { return QVariantList{dir(b)->addTag()}; });
    }
    // limits and offset of saved data: the fields take the text as given
    struct Field {
        const char *name, *def;
        QLineEdit *Ui::Body::*edit;
    };
    for (const Field &f : {Field{"auto_save_data_upper_limit", "10", &Ui::Body::DataUpperLimit},
                           Field{"auto_save_data_lower_limit", "-10", &Ui::Body::DataLowerLimit},
                           Field{"auto_save_data_offset", "10", &Ui::Body::DataOffset}}) {
        auto edit = [ui, e = f.edit](Body *b) { return ui(b)->*e; };
        add(f.name, {K::NumberText}, S::Calculation, f.def,
            always([edit](Body *b, const V &v) { edit(b)->setText(v.text()); }),
            [edit](Body *b) { return QVariantList{edit(b)->text().toDouble()}; });
    }
    add("auto_save_in_sub_folders", {K::Flag}, S::Calculation, "0",
        always([ui](Body *b, const V &v) { ui(b)->SaveInSubFolders->setChecked(v.flag()); }),
        [ui](Body *b) { return QVariantList{ui(b)->SaveInSubFolders->isChecked()}; });
    add("auto_save_in_sub_folders_of_slice", {K::Flag}, S::Calculation, "0",
        always([ui](Body *b, const V &v) { ui(b)->SubOfSlice->setChecked(v.flag()); }),
        [ui](Body *b) { return QVariantList{ui(b)->SubOfSlice->isChecked()}; });
    add("auto_save_in_sub_folders_of_energy", {K::Flag}, S::Calculation, "0",
        always([ui](Body *b, const V &v) { ui(b)->SubOfEnergy->setChecked(v.flag()); }),
        [ui](Body *b) { return QVariantList{ui(b)->SubOfEnergy->isChecked()}; });

    // ---- additional information for CT-XAFS: the box itself, then what it
    // shows (add_inf_show leaves the box)
    add("seq_exec_show", {K::Flag}, S::CtXafs, "0",
        always([ui](Body *b, const V &v) { ui(b)->ShowAdditionalInfo->setChecked(v.flag()); }),
        [ui](Body *b) { return QVariantList{ui(b)->ShowAdditionalInfo->isChecked()}; });
    add("add_inf_show", {K::Flag}, S::CtXafs, "0",
        always([](Body *b, const V &v) { b->setShowAdditionalInfo(v.flag()); }),
        [ui](Body *b) { return QVariantList{ui(b)->ShowAdditionalInfo->isChecked()}; });
    add("add_inf_ASR_standard", {K::Flag}, S::CtXafs, "1",
        always([ui](Body *b, const V &v) { ui(b)->SelDDir->setIsASRStandard(v.flag()); }),
        [ui](Body *b) { return QVariantList{ui(b)->SelDDir->isASRStandard()}; });
    // the ion-chamber values of the two I0 panels, which scale the I0 image
    // when both "Calc from XAFS file" boxes are off: the boxes first, so
    // that a setup's values are checked as they will stand. A command that
    // leaves the ratio refused (a value 0, empty or no number) fails.
    auto i0Panel = [ui](bool raw) {
        return [raw, ui](Body *b) { return raw ? ui(b)->I0ofRawImage_ : ui(b)->I0ofI0Image_; };
    };
    auto ratioTaken = [ui](Body *b) {
        return I0Ratio::of(ui(b)->I0ofRawImage_, ui(b)->I0ofI0Image_).state != I0Ratio::Refused;
    };
    for (const bool raw : {true, false}) {
        auto i0 = i0Panel(raw);
        add(raw ? "add_inf_raw_i0_from_xafs" : "add_inf_i0_i0_from_xafs", {K::Flag}, S::CtXafs, "1",
            [i0, ratioTaken](Body *b, const V &v) {
                i0(b)->setCalcFromXafs(v.flag());
                return ratioTaken(b);
            },
            [i0](Body *b) { return QVariantList{i0(b)->calcFromXafs()}; });
    }
    for (const bool raw : {true, false}) {
        auto i0 = i0Panel(raw);
        add(raw ? "add_inf_raw_i0_val" : "add_inf_i0_i0_val", {K::Real}, S::CtXafs, "1",
            [i0, ratioTaken](Body *b, const V &v) {
                i0(b)->setI0Val(v.real());
                return ratioTaken(b);
            },
            [i0](Body *b) { return QVariantList{i0(b)->i0Val()}; });
    }
    for (const bool raw : {true, false}) {
        auto i0 = [raw, ui](Body *b) { return raw ? ui(b)->I0ofRawImage_ : ui(b)->I0ofI0Image_; };
        const QString p = QString::fromLatin1(raw ? "add_inf_raw_i0_" : "add_inf_i0_i0_");
        add(qPrintable(p + "xafs"), {K::Path}, S::None, "",
            always([i0](Body *b, const V &v) { i0(b)->setXafsFile(v.text()); }));
        add(qPrintable(p + "eng_ptn"), {K::Text}, S::None, "",
            always([i0](Body *b, const V &v) { i0(b)->setEngPattern(v.text()); }));
    }
    add("orvexLink_set_send_msg", {K::Flag}, S::None, "",
        always([ui](Body *b, const V &v) { ui(b)->SendMsg2Orvex->setChecked(v.flag()); }));
    add("seq_exec_dir", {K::Path}, S::CtXafs, "",
        always([ui](Body *b, const V &v) { ui(b)->SelDDir->setDataDir(v.text()); }),
        [ui](Body *b) { return QVariantList{ui(b)->SelDDir->dataDir()}; });
    add("seq_exec_file_pattern", {K::Text}, S::CtXafs, "*.img",
        always([ui](Body *b, const V &v) { ui(b)->SelDDir->setPattern(v.text()); }),
        [ui](Body *b) { return QVariantList{ui(b)->SelDDir->pattern()}; });
    special("seq_exec_select_i0", S::CtXafs);
    add("seq_exec_keep_range_on_new_set", {K::Flag}, S::CtXafs, "0",
        always([ui](Body *b, const V &v) { ui(b)->keepOnNewSet->setChecked(v.flag()); }),
        [ui](Body *b) { return QVariantList{ui(b)->keepOnNewSet->isChecked()}; });
    // ---- alignment between energies: "Align Energies", "Reference Set"
    // (1-based as From / To)
    auto alignBox = [](Body *b) { return b->findChild<QCheckBox *>(QStringLiteral("SeqAlign")); };
    auto refBox = [](Body *b) { return b->findChild<QSpinBox *>(QStringLiteral("SeqAlignReference")); };
    add("seq_exec_align", {K::Flag}, S::CtXafs, "0",
        always([alignBox](Body *b, const V &v) { alignBox(b)->setChecked(v.flag()); }),
        [alignBox](Body *b) { return QVariantList{alignBox(b)->isChecked()}; });
    add("seq_exec_align_reference", {K::Int}, S::CtXafs, "1",
        [refBox](Body *b, const V &v) {
            if (v.integer() < 1 || v.integer() > refBox(b)->maximum()) {
                qWarning().noquote() << "seq_exec_align_reference refused : " + v.raw.join(QLatin1Char(' '))
                                            + QStringLiteral(" (a set from 1 to %1)").arg(refBox(b)->maximum());
                return false;
            }
            refBox(b)->setValue(v.integer());
            return true;
        },
        [refBox](Body *b) { return QVariantList{refBox(b)->value()}; });
    add("seq_exec_auto_cor", {K::Flag}, S::CtXafs, "0",
        always([](Body *b, const V &v) { b->autoCorBox()->setChecked(v.flag()); }),
        [](Body *b) { return QVariantList{b->autoCorBox()->isChecked()}; });
    return t;
}

const QList<SettingsTable::Setting> &SettingsTable::all()
{
    static const QList<Setting> table = build();
    return table;
}

const SettingsTable::Setting *SettingsTable::find(const QString &name)
{
    for (const Setting &s : all())
        if (s.name.compare(name, Qt::CaseInsensitive) == 0)
            return &s;
    return nullptr;
}

SettingsTable::Values SettingsTable::convert(const Setting &s, const QStringList &args)
{
    Values v;
    v.raw = args;
    for (int i = 0; i < s.args.size(); ++i) {
        switch (s.args.at(i)) {
        case Kind::Flag: v.v << BodyCommands::flagArg(args, i); break;
        case Kind::Int: v.v << BodyCommands::intArg(args, i); break;
        case Kind::Real: v.v << BodyCommands::realArg(args, i); break;
        case Kind::Text:
        case Kind::Path:
        case Kind::Choice:
        case Kind::NumberText: v.v << BodyCommands::textArg(args, i); break;
        case Kind::Paths: v.v << QVariant(args.mid(i)); break;
        }
    }
    return v;
}

QString SettingsTable::valueText(const Setting &s, const QVariantList &v)
{
    QStringList items;
    for (int i = 0; i < s.args.size(); ++i) {
        const QVariant x = v.value(i);
        switch (s.args.at(i)) {
        case Kind::Flag: items << (x.toBool() ? QStringLiteral("1") : QStringLiteral("0")); break;
        case Kind::Int: items << QString::number(x.toInt()); break;
        case Kind::Real:
        case Kind::NumberText: items << QString::number(x.toDouble(), 'g', 6); break;
        case Kind::Text:
        case Kind::Path: items << SetupFile::quoted(x.toString()); break;
        case Kind::Choice: items << x.toString(); break;
        case Kind::Paths:
            for (const QString &p : x.toStringList())
                items << SetupFile::quoted(p);
            break;
        }
    }
    return items.join(QLatin1Char(' '));
}

const char *SettingsTable::sectionHeader(Section s)
{
    switch (s) {
    case Section::OriginalImages: return "## Original Images";
    case Section::Reconstruction: return "## CT Reconstruction setting";
    case Section::Calculation: return "## CT Reconstruction calculation";
    case Section::CtXafs: return "## Additional Settings for CT-XAFS";
    case Section::None: break;
    }
    return "";
}

const char *SettingsTable::kindName(Kind k)
{
    switch (k) {
    case Kind::Flag: return "flag";
    case Kind::Int: return "int";
    case Kind::Real: return "real";
    case Kind::Text: return "text";
    case Kind::Path: return "path";
    case Kind::Choice: return "choice";
    case Kind::NumberText: return "text";
    case Kind::Paths: return "paths";
    }
    return "";
}
