#include "SetupFile.h"

#include "Body.h"
#include "ui_Body.h"
#include "ui_SelectDataFiles.h"

#include "BatchCmd.h"
#include "BodyCommands.h"
#include "ProcCtrl.h"
#include "SeekCtrl.h"
#include "SelectAFile.h"
#include "SelectAImgFile.h"
#include "SelectDataDir.h"
#include "SelectDataFiles.h"
#include "TextLines.h"
#include "WholeFile.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

namespace {

constexpr int nameColumn = 25;

QString flag(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

QString real(double v)
{
    return QString::number(v, 'g', 6);
}

// "directory *.suffix" of the first file a selector lists.
QString dirAndPattern(const SelectDataFiles *files)
{
    const QFileInfo first(files->file(0));
    return SetupFile::quoted(first.absolutePath()) + QStringLiteral(" *.") + first.suffix();
}

} // namespace

SetupFile::SetupFile(Body *body) : body(body) {}

QString SetupFile::line(const QString &name, const QString &value)
{
    const QString n = name.size() >= nameColumn ? name + QLatin1Char(' ')
                                                : name.leftJustified(nameColumn, QLatin1Char(' '));
    return n + value;
}

QString SetupFile::quoted(const QString &text)
{
    for (const QChar c : text)
        if (c.isSpace())
            return QLatin1Char('"') + text + QLatin1Char('"');
    return text;
}

bool SetupFile::save(const QString &fname) const
{
    QString text;
    QTextStream out(&text);
    const Ui::Body *ui = body->form();
    const ProcCtrl *pc = ui->procCtrl;
    auto put = [&out](const QString &name, const QString &value) { out << line(name, value) << '\n'; };
    auto section = [&out](const char *header) { out << '\n' << header << "\n\n"; };

    out << "### Tomix setup saving setup file\n";

    section("## Original Images");
    const SelectDataFiles *ct = ui->CTFiles;
    if (ct->count() > 0)
        put(QStringLiteral("#%1").arg(QStringLiteral("images_load")), dirAndPattern(ct));
    put("images_new_on_load", flag(ct->newFiles()));
    put("images_keep_setup", flag(ct->keepConditions()));
    put("images_multi", flag(ct->form()->LoadMultiTimes->isChecked())
                            + QLatin1Char(' ') + QString::number(ct->multiTimes()));
    put("images_seek", QString::number(ui->seekCtrl->value()));
    put("i0_load", quoted(ui->I0ImgSel->path()));
    put("bg_load", quoted(ui->BGImgSel->path()));

    section("## CT Reconstruction setting");
    put("ct_proc_slice", QString::number(pc->sliceNo));
    put("ct_angle_offset", real(pc->getAngleOffset()));
    put("ct_auto_exec", flag(pc->isAutoExec()));
    put("ct_slice_from", QString::number(pc->getSliceFrom()));
    put("ct_slice_to", QString::number(pc->getSliceTo()));
    put("ct_slice_step", QString::number(pc->getSliceStep()));
    put("ct_threads", QString::number(pc->getThreads()));
    put("ct_cor", real(pc->cor));
    put("ct_rot_ax_is_h", flag(!pc->rotAxIsV));
    put("ct_recorded_cor_1", QString::number(pc->recSlice1) + QLatin1Char(' ') + real(pc->recCor1));
    put("ct_recorded_cor_2", QString::number(pc->recSlice2) + QLatin1Char(' ') + real(pc->recCor2));
    put("ct_auto_gen_sinogram", flag(pc->isAutoUpdate()));

    section("## CT Reconstruction calculation");
    put("calc_ct1", flag(ui->SelectCt1->isChecked()));
    put("calc_show_res", flag(ui->ShowCalcRes->isChecked()));
    put("fix_color_scale", flag(ui->FixColorScale->isChecked()));
    put("fix_color_min", real(body->colorMin()));
    put("fix_color_max", real(body->colorMax()));
    put("auto_save_image", flag(ui->AutoSaveImage->isChecked()));
    put("auto_save_image_path", quoted(ui->SelectImageSaveDir->path()));
    put("auto_save_image_name", quoted(ui->SelectImageSaveDir->name()));
    put("auto_save_image_tag", quoted(ui->SelectImageSaveDir->addTag()));
    put("auto_save_data", flag(ui->AutoSaveData->isChecked()));
    put("auto_save_data_path", quoted(ui->SelectDataSaveDir->path()));
    put("auto_save_data_name", quoted(ui->SelectDataSaveDir->name()));
    put("auto_save_data_tag", quoted(ui->SelectDataSaveDir->addTag()));
    put("auto_save_data_upper_limit", real(ui->DataUpperLimit->text().toDouble()));
    put("auto_save_data_lower_limit", real(ui->DataLowerLimit->text().toDouble()));
    put("auto_save_data_offset", real(ui->DataOffset->text().toDouble()));
    put("auto_save_in_sub_folders", flag(ui->SaveInSubFolders->isChecked()));
    put("auto_save_in_sub_folders_of_energy", flag(ui->SubOfEnergy->isChecked()));

    section("## Additional Settings for CT-XAFS");
    const SelectDataDir *sdd = ui->SelDDir;
    put("add_inf_show", flag(ui->ShowAdditionalInfo->isChecked()));
    put("add_inf_ASR_standard", flag(sdd->isASRStandard()));
    put("seq_exec_dir", quoted(sdd->dataDir()));
    put("seq_exec_file_pattern", quoted(sdd->pattern()));
    if (ui->SelI0Files->count() > 0)
        put("seq_exec_select_i0", dirAndPattern(ui->SelI0Files));
    put("seq_exec_keep_range_on_new_set", flag(ui->keepOnNewSet->isChecked()));
    put("seq_exec_auto_cor", flag(body->autoCorBox()->isChecked()));

    out.flush();
    // whole or not at all: a setup saved earlier under this name stays as it
    // was when the disk is full
    bool opened = false;
    if (!WholeFile::write(fname, text.toUtf8(), &opened)) {
        qWarning().noquote() << (opened ? "Can't write setup file : " : "can't open save setup file : ") + fname;
        return false;
    }
    return true;
}

bool SetupFile::load(const QString &fname) const
{
    QStringList lines;
    if (!TextLines::read(fname, &lines)) {
        qWarning().noquote() << "can't open save setup file : " + fname;
        return false;
    }
    // Every line is a command: the title, the headers, the "#" line and empty
    // lines are names the command set does not know. A batch that may be
    // running is not told about these commands, so they cannot make it
    // skip ahead.
    for (const QString &text : std::as_const(lines))
        body->runOwnCommand(BatchCmd::parse(text));
    return true;
}
