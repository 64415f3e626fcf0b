#include "SetupFile.h"

#include "SettingsTable.h"

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
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include <algorithm>

namespace {

constexpr int nameColumn = 25;

// A file name as a pattern that matches only itself: the wildcard
// characters in brackets. A double quote cannot stand in a setup line; "?"
// takes its place, and the check of the whole line finds a second match.
QString literalPattern(const QString &name)
{
    QString p;
    for (const QChar c : name) {
        if (c == QLatin1Char('*') || c == QLatin1Char('?') || c == QLatin1Char('['))
            p += QLatin1Char('[') + c + QLatin1Char(']');
        else if (c == QLatin1Char('"'))
            p += QLatin1Char('?');
        else
            p += c;
    }
    return p;
}

// What a load of `patterns` in dir lists, as the selectors list it.
QStringList matching(const QDir &dir, const QStringList &patterns)
{
    QStringList names = dir.entryList(patterns, QDir::Files | QDir::Hidden, QDir::Unsorted);
    names.sort();
    return names;
}

// Patterns that load exactly `names` (distinct, of one directory) again, as
// the directory is at the time of saving: the set's own "prefix-*.suffix" if
// it lists them and nothing else, then the names' whole common start and end
// around "*", else every name. `exact`: false when even the names do not.
QStringList patternsFor(const QDir &dir, QStringList names, bool *exact)
{
    names.sort();
    QStringList candidates;
    if (names.size() > 1) {
        const QString &a = names.first();
        qsizetype pre = 0, suf = 0, shortest = a.size();
        for (const QString &n : std::as_const(names))
            shortest = qMin(shortest, n.size());
        while (pre < shortest && std::all_of(names.cbegin(), names.cend(),
                                             [&](const QString &n) { return n.at(pre) == a.at(pre); }))
            ++pre;
        while (suf < shortest - pre
               && std::all_of(names.cbegin(), names.cend(), [&](const QString &n) {
                      return n.at(n.size() - 1 - suf) == a.at(a.size() - 1 - suf);
                  }))
            ++suf;
        const QString prefix = a.left(pre), suffix = a.right(suf);
        const qsizetype sep = qMax(prefix.lastIndexOf(QLatin1Char('-')), prefix.lastIndexOf(QLatin1Char('_')));
        const qsizetype dot = suffix.lastIndexOf(QLatin1Char('.'));
        if (sep >= 0 && dot >= 0)
            candidates << literalPattern(prefix.left(sep + 1)) + QLatin1Char('*') + literalPattern(suffix.mid(dot));
        candidates << literalPattern(prefix) + QLatin1Char('*') + literalPattern(suffix);
    }
    for (const QString &c : std::as_const(candidates)) {
        if (matching(dir, {c}) == names) {
            *exact = true;
            return {c};
        }
    }
    QStringList each;
    for (const QString &n : std::as_const(names))
        each << literalPattern(n);
    *exact = matching(dir, each) == names;
    return each;
}

// "directory pattern..." lines that load the files a selector lists, one per
// directory in the order the files come; a file listed more than once ("Multi")
// is named once. `exact`: false when some line would not load exactly them.
QStringList loadLines(const SelectDataFiles *files, bool *exact)
{
    QStringList dirs;
    QList<QStringList> names;
    for (int i = 0; i < files->count(); ++i) {
        const QFileInfo fi(files->file(i));
        const QString dir = fi.absolutePath();
        qsizetype k = dirs.indexOf(dir);
        if (k < 0) {
            dirs << dir;
            names << QStringList();
            k = dirs.size() - 1;
        }
        if (!names[k].contains(fi.fileName()))
            names[k] << fi.fileName();
    }
    *exact = true;
    QStringList lines;
    for (qsizetype k = 0; k < dirs.size(); ++k) {
        bool one = false;
        QStringList args;
        for (const QString &p : patternsFor(QDir(dirs.at(k)), names.at(k), &one))
            args << SetupFile::quoted(p);
        *exact = *exact && one;
        lines << SetupFile::quoted(dirs.at(k)) + QLatin1Char(' ') + args.join(QLatin1Char(' '));
    }
    return lines;
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
    bool ok = true;
    const Ui::Body *ui = body->form();
    auto put = [&out](const QString &name, const QString &value) { out << line(name, value) << '\n'; };

    out << "### Tomix setup saving setup file\n";

    // every saved setting, section by section in table order; the file sets
    // are lines of their own at their place
    using Table = SettingsTable;
    for (const Table::Section sec : {Table::Section::OriginalImages, Table::Section::Reconstruction,
                                     Table::Section::Calculation, Table::Section::CtXafs}) {
        out << '\n' << Table::sectionHeader(sec) << "\n\n";
        for (const Table::Setting &s : Table::all()) {
            if (s.section != sec)
                continue;
            if (s.name == QLatin1String("images_load")) {
                // the projections chosen, as a comment: a setup does not load them
                bool exact = true;
                for (const QString &l : loadLines(ui->CTFiles, &exact))
                    put(QLatin1Char('#') + s.name, l);
                if (!exact)
                    qWarning().noquote() << "setup file " + fname
                                                + " : the projection line does not load exactly the files chosen";
            } else if (s.name == QLatin1String("seq_exec_select_i0")) {
                // the I0 files chosen, and no others of their folder; the list
                // is replaced by each load, so one folder only
                bool exact = true;
                const QStringList i0Lines = loadLines(ui->SelI0Files, &exact);
                if (i0Lines.size() > 1 || !exact) {
                    qWarning().noquote() << "setup file " + fname + " : no line loads exactly the I0 file set";
                    ok = false;
                }
                if (!i0Lines.isEmpty())
                    put(s.name, i0Lines.first());
            } else {
                const QVariantList v = s.read(body);
                // the chosen image, or none: a setup restores "none" too
                const QVariant first = v.value(0);
                const bool none = first.typeId() == QMetaType::QStringList ? first.toStringList().isEmpty()
                                                                            : first.toString().isEmpty();
                if (!s.emptyLine.isEmpty() && none)
                    out << s.emptyLine << '\n';
                else
                    put(s.name, Table::valueText(s, v));
            }
        }
    }

    out.flush();
    // whole or not at all: a setup saved earlier under this name stays as it
    // was when the disk is full
    bool opened = false;
    if (!WholeFile::write(fname, text.toUtf8(), &opened)) {
        qWarning().noquote() << (opened ? "Can't write setup file : " : "can't open save setup file : ") + fname;
        return false;
    }
    return ok;
}

bool SetupFile::load(const QString &fname) const
{
    QStringList lines;
    if (!TextLines::read(fname, &lines)) {
        qWarning().noquote() << "can't open save setup file : " + fname;
        return false;
    }
    // A setup that loads itself, directly or through others, is not read again.
    const QString me = QFileInfo(fname).canonicalFilePath();
    if (body->setupsLoading.contains(me)) {
        qWarning().noquote() << "setup file loads itself : " + fname;
        return false;
    }
    body->setupsLoading << me;
    // Every line is a command: the title, the headers, the "#" line and empty
    // lines are names the command set does not know. A batch that may be
    // running is not told about these commands, so they cannot make it
    // skip ahead.
    for (const QString &text : std::as_const(lines)) {
        BatchCmd cmd = BatchCmd::parse(text);
        // earlier setups wrote "none chosen" as a load of nothing
        const QString up = cmd.name.toUpper();
        if (cmd.args.isEmpty() && (up == QLatin1String("I0_LOAD") || up == QLatin1String("BG_LOAD")))
            cmd.name = cmd.name.left(2) + QStringLiteral("_clear");
        body->runOwnCommand(cmd);
    }
    body->setupsLoading.removeLast();
    return true;
}
