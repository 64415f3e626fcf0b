// tomix-xafs-plan: what a CT-XAFS sequence over the data sets of a setup file
// would reconstruct, one line per task, for scripts that hand the sets to a
// cluster (scripts/slurm-xafs). The setup is loaded into a real main window,
// so the sets, their names and the conditions are the window's own.
//
//   tomix-xafs-plan SETUP [--from N] [--to M] [--slices-per-task K]
//
// Output, one record per line, fields separated by tabs:
//   setup  LINE                 a setup command, every argument in double quotes
//                               (so that a batch file reads it back whole)
//   save   data|img PATH NAME   a kind of result that is saved, its folder and name
//   sub    ON ENERGY SLICE      "Save in Sub Folders", "of Energy", "of Slice" (0/1)
//   range  0|1                  1: the slice range on the workers; 0: one slice
//   threads N                   the setup's worker threads
//   task   SET TAG FROM TO STEP CHUNK
//                               SET the 1-based data set, TAG its name (the tag of
//                               its results), FROM TO STEP the slices it makes,
//                               CHUNK 1 when the task makes only part of the set
// Fields hold no control character (a line end, a tab): a setting, save
// folder or set name with one is refused, as are --to beyond the last set and
// --slices-per-task beyond a set's slices.
// Exit status 0, or 1 with a line on stderr when the plan cannot be made.
#include "Body.h"
#include "ui_Body.h"

#include "BatchCmd.h"
#include "BodyCommands.h"
#include "CtFileSet.h"
#include "ImgData.h"
#include "NaturalOrder.h"
#include "ProcCtrl.h"
#include "SelectAFile.h"
#include "SelectDataDir.h"
#include "SelectDataFiles.h"
#include "TextLines.h"
#include "ui_SelectDataDir.h"
#include "ui_SelectDataFiles.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QRegularExpression>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

void fail(const QString &msg)
{
    std::fprintf(stderr, "tomix-xafs-plan: %s\n", qPrintable(msg));
}

// A value that a line of the plan or of a task's script could not carry: one
// with a control character (a line end, a tab).
bool hasControl(const QString &s)
{
    return std::any_of(s.cbegin(), s.cend(), [](QChar c) { return c.category() == QChar::Other_Control; });
}

// A whole positive number, or 0 for "not given"; -1 for anything else.
int countOption(const QString &text)
{
    bool ok = false;
    const int n = text.toInt(&ok, 10);
    return ok && n >= 0 ? n : -1;
}

QString quotedArgs(const BatchCmd &c)
{
    QString s = c.name;
    for (const QString &a : c.args)
        s += QStringLiteral(" \"") + a + QLatin1Char('"');
    return s;
}

// The first file of set i as the window would load it.
QString firstFileOf(SelectDataDir *sdd, int i)
{
    if (sdd->isASRStandard()) {
        const QFileInfoList files = sdd->fileSets().at(i)->files();
        return files.isEmpty() ? QString() : files.first().filePath();
    }
    sdd->form()->SubDirs->setCurrentIndex(i);
    const QString name = sdd->currentName();
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    const QDir d(sdd->dataDir() + QDir::separator() + name);
    QStringList names = d.entryList(sdd->pattern().split(blanks, Qt::SkipEmptyParts), QDir::NoFilter,
                                    QDir::Unsorted);
    NaturalOrder::sort(names);
    for (const QString &n : names)
        if (QFileInfo(d.absoluteFilePath(n)).isFile())
            return d.absoluteFilePath(n);
    return {};
}

// Width and height of the first readable image among the set's first files.
bool imageSize(const QString &path, int *w, int *h)
{
    const int type = ImgData::fileType(path);
    std::unique_ptr<ImgData> img(ImgData::newImgData(type));
    return img && img->readProps(path, w, h) && *w > 0 && *h > 0;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("The tasks of a CT-XAFS sequence over a setup file's data sets."));
    p.addHelpOption();
    p.addPositionalArgument("setup", "setup file (\"Save Setup\")");
    p.addOption({"from", "first data set, 1-based (default 1)", "n", "1"});
    p.addOption({"to", "last data set, 1-based (default: the last)", "n", "0"});
    p.addOption({"slices-per-task", "split every set into chunks of this many slices", "k", "0"});
    p.process(app);
    if (p.positionalArguments().size() != 1) {
        fail(QStringLiteral("one setup file expected"));
        return 1;
    }
    const QString setup = p.positionalArguments().first();
    // the lines as the window reads them: LF, CR LF or CR alone end a line
    QStringList lines;
    if (!TextLines::read(setup, &lines)) {
        fail(QStringLiteral("can't open setup file : ") + setup);
        return 1;
    }
    QList<BatchCmd> cmds;
    for (const QString &line : std::as_const(lines))
        cmds << BatchCmd::parse(line);
    const int from = countOption(p.value("from"));
    const int toAsked = countOption(p.value("to"));
    const int perTask = countOption(p.value("slices-per-task"));
    if (from < 1 || toAsked < 0 || perTask < 0) {
        fail(QStringLiteral("--from, --to and --slices-per-task take a whole number, at least 1"));
        return 1;
    }

    Body body;
    body.loadSetup(setup);
    Ui::Body *ui = body.form();
    SelectDataDir *sdd = ui->SelDDir;
    ProcCtrl *pc = ui->procCtrl;
    QTextStream out(stdout);

    // The setup's commands, and which of the load-time defaults they keep.
    const QStringList known = BodyCommands::names();
    bool sliceToSet = false, sliceSet = false;
    for (const BatchCmd &c : std::as_const(cmds)) {
        const QString up = c.name.toUpper();
        if (!known.contains(up))
            continue;
        if (c.args.join(QString()).contains(QLatin1Char('"'))) {
            fail(QStringLiteral("a double quote in a setting can't be handed on: ") + c.name);
            return 1;
        }
        if (hasControl(c.name + c.args.join(QString()))) {
            fail(QStringLiteral("a control character in a setting can't be handed on: ") + c.name);
            return 1;
        }
        // an I0 or BG line with no path says "none chosen" in older setups;
        // a fresh window has none to forget, and the run would count the
        // empty load as a failure
        if ((up == QLatin1String("I0_LOAD") || up == QLatin1String("BG_LOAD")) && c.args.isEmpty())
            continue;
        sliceToSet |= up == QLatin1String("CT_SLICE_TO");
        sliceSet |= up == QLatin1String("CT_PROC_SLICE");
        out << "setup\t" << quotedArgs(c) << '\n';
    }

    const int count = sdd->count();
    const int to = toAsked > 0 ? toAsked : count;
    if (count < 1) {
        fail(QStringLiteral("no data sets in %1 (pattern %2)").arg(sdd->dataDir(), sdd->pattern()));
        return 1;
    }
    if (to > count) {
        fail(QStringLiteral("no data set %1: %2 has %3 (pattern %4)")
                 .arg(to).arg(sdd->dataDir()).arg(count).arg(sdd->pattern()));
        return 1;
    }
    if (from > to) {
        fail(QStringLiteral("no data sets from %1 to %2 of %3").arg(from).arg(to).arg(count));
        return 1;
    }
    if (!ui->CTFiles->form()->LoadNewFiles->isChecked())
        fail(QStringLiteral("warning: the setup adds each set to the images already loaded; "
                            "every task loads its own set alone"));

    const bool img = ui->AutoSaveImage->isChecked();
    const bool dat = ui->AutoSaveData->isChecked();
    for (const SelectAFile *dir : {ui->SelectDataSaveDir, ui->SelectImageSaveDir}) {
        if (hasControl(dir->path()) || hasControl(dir->name())) {
            fail(QStringLiteral("a control character in a save folder or name: ") + dir->path() + dir->name());
            return 1;
        }
    }
    if (dat)
        out << "save\tdata\t" << ui->SelectDataSaveDir->path() << '\t' << ui->SelectDataSaveDir->name() << '\n';
    if (img)
        out << "save\timg\t" << ui->SelectImageSaveDir->path() << '\t' << ui->SelectImageSaveDir->name() << '\n';
    if (!img && !dat)
        fail(QStringLiteral("warning: neither images nor data are saved"));
    out << "sub\t" << int(ui->SaveInSubFolders->isChecked()) << '\t' << int(ui->SubOfEnergy->isChecked())
        << '\t' << int(ui->SubOfSlice->isChecked()) << '\n';

    const bool range = pc->isAutoExec() && ui->SelectCt2->isChecked();
    if (perTask > 0 && !range) {
        fail(QStringLiteral("--slices-per-task needs a run over the slice range (calc_ct2 1, ct_auto_exec 1)"));
        return 1;
    }
    out << "range\t" << int(range) << '\n';
    out << "threads\t" << qMax(1, pc->getThreads()) << '\n';

    // Which slices a set makes: the conditions after its load, where a load
    // replaces slice and slice-to by the image's defaults unless "Keep Conds."
    // keeps the values the setup gave.
    const bool keep = ui->CTFiles->keepConditions();
    const bool v = pc->rotAxIsV;
    for (int i = from - 1; i < to; ++i) {
        const QString first = firstFileOf(sdd, i);
        sdd->form()->SubDirs->setCurrentIndex(i);
        const QString tag = sdd->currentName();
        if (hasControl(tag) || tag.contains(QLatin1Char('"'))) {
            fail(QStringLiteral("data set %1: a name with a control character or a double quote: %2")
                     .arg(i + 1)
                     .arg(QString::fromLatin1(tag.toUtf8().toPercentEncoding(" -_.~/"))));
            return 1;
        }
        int w = 0, h = 0;
        const bool sized = !first.isEmpty() && imageSize(first, &w, &h);
        int sFrom = pc->getSliceFrom();
        int sTo = pc->getSliceTo();
        int slice = pc->sliceNo;
        if (sized && (!keep || !sliceToSet))
            sTo = (v ? h : w) - 1;
        if (sized && (!keep || !sliceSet))
            slice = (v ? h : w) / 2;
        if (!sized)
            fail(QStringLiteral("warning: no readable image in data set %1 (%2)").arg(i + 1).arg(tag));
        long step = std::labs(long(pc->getSliceStep()));
        if (step < 1)
            step = 1;
        if (sFrom > sTo)
            step = -step;
        if (!range) {
            out << "task\t" << i + 1 << '\t' << tag << '\t' << slice << '\t' << slice << "\t1\t0\n";
            continue;
        }
        const long long n = (qAbs((long long)sTo - sFrom)) / qAbs(step) + 1;   // slices of the set
        if (perTask > n) {
            fail(QStringLiteral("--slices-per-task %1: data set %2 (%3) has %4 slices").arg(perTask).arg(i + 1)
                     .arg(tag).arg(n));
            return 1;
        }
        const long long k = perTask > 0 ? perTask : n;
        for (long long c = 0; c < n; c += k) {
            const long long a = sFrom + c * step;
            const long long b = sFrom + (qMin(n, c + k) - 1) * step;
            out << "task\t" << i + 1 << '\t' << tag << '\t' << a << '\t' << b << '\t' << step << '\t'
                << int(k < n) << '\n';
        }
    }
    out.flush();
    return 0;
}
