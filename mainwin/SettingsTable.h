#pragma once
// The settings of the main window and its panels, each declared once: its
// command name, the kinds of its arguments, how it sets and reads its
// control, and the setup-file section that carries it. The command set
// registers its setting commands from here; "Save Setup" writes the settings
// of each section in the order of this table.
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>

class Body;

class SettingsTable
{
public:
    // How an argument is read from a command and written to a setup line.
    enum class Kind {
        Flag,        // 1 is on, anything else off; written 1 or 0
        Int,         // a 32-bit decimal integer, anything else 0
        Real,        // a finite double, anything else 0; 6 significant digits
        Text,        // one item, unchanged; quoted when it holds blanks
        Path,        // a file or directory, as text
        Choice,      // one of the setting's choices, as text
        NumberText,  // a number field set as typed, written as a real
        Paths        // every remaining argument, files each written as a Path
    };
    // The sections of a setup file, in file order. None: not saved.
    enum class Section { None, OriginalImages, Reconstruction, Calculation, CtXafs };

    // The arguments of one command, converted by the setting's kinds.
    struct Values {
        QStringList raw;      // as given
        QVariantList v;       // one per kind; missing ones take the kind's default
        bool given(int i) const { return i < raw.size(); }
        bool flag(int i = 0) const { return v.value(i).toBool(); }
        int integer(int i = 0) const { return v.value(i).toInt(); }
        double real(int i = 0) const { return v.value(i).toDouble(); }
        QString text(int i = 0) const { return v.value(i).toString(); }
    };

    struct Setting {
        QString name;                 // the command, as written
        QList<Kind> args;
        QStringList choices;          // the names a Choice argument takes
        Section section = Section::None;
        // A setup line of its own kind (a file set), which the setup file
        // writes itself at this place; the command is no setting.
        bool special = false;
        // The line a setup file carries when the (first) value is empty text.
        QString emptyLine;
        // A saved setting's value in a fresh window, as a setup line writes
        // it; unless the window derives it from the machine at start-up.
        QString def;
        bool defFromMachine = false;
        // Sets the control; false when refused (a warning has named why).
        std::function<bool(Body *, const Values &)> write;
        // The control's value, one per kind, as a setup file restores it.
        std::function<QVariantList(Body *)> read;
    };

    // Every setting, in setup-file order within each section.
    static const QList<Setting> &all();
    // The setting of that command name (letter case aside), or null.
    static const Setting *find(const QString &name);

    // The arguments converted by the kinds of `s`.
    static Values convert(const Setting &s, const QStringList &args);
    // The setup-file value of `s` (its arguments, blank separated).
    static QString valueText(const Setting &s, const QVariantList &v);

    static const char *sectionHeader(Section s);
    static const char *kindName(Kind k);

private:
    static QList<Setting> build();
};
