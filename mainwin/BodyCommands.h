#pragma once
// The command set of batch files, setup files and the configuration file:
// every command sets one control of the main window or of one of its panels,
// or presses one of its buttons, as a user would. The main window keeps the
// batch protocol (when the interpreter may go on); this class only executes.
// The commands that set a setting come from the settings table; the actions
// (loads, clears, tabs, runs) are written here.
#include "BatchCmd.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class Body;
class QWidget;

class BodyCommands
{
public:
    // What the caller does after a command.
    enum class Outcome {
        Done,        // executed; the next line may run
        Failed,      // executed, and it failed (a warning has named what)
        Unknown,     // no command of that name; nothing done
        HeldByRun    // a run was started for the batch; it goes on when the run ends
    };

    explicit BodyCommands(Body *body);

    // Executes one command. Names are matched without regard to letter case;
    // unknown names and empty lines do nothing. `forBatch`: the command is a
    // line of the running batch, which a run it starts holds.
    Outcome exec(const BatchCmd &cmd, bool forBatch = false);

    // Every command name, in the order in which names are tested.
    static QStringList names();

    // Argument conversions shared by every command.
    // flag: on exactly when the argument is the integer 1.
    static bool flagArg(const QStringList &args, int i = 0);
    // int: a 32-bit decimal integer; anything else gives 0.
    static int intArg(const QStringList &args, int i = 0);
    // real: a finite double; anything else gives 0.
    static double realArg(const QStringList &args, int i = 0);
    // text: the argument unchanged; missing gives the empty string.
    static QString textArg(const QStringList &args, int i = 0);
    // patterns: the arguments after the first.
    static QStringList patternArgs(const QStringList &args);

private:
    struct Entry {
        QString upperName;
        std::function<void(const QStringList &)> run;
    };
    void add(const char *name, std::function<void(const QStringList &)> run);
    void buildTable();
    // Registers the command of a setting of the settings table.
    void setting(const QString &name);
    void showTabOf(QWidget *page);
    void showCt2Tab(int n);

    Body *body;
    QList<Entry> table;
    Outcome outcome = Outcome::Done;   // of the command being executed
    bool forBatch = false;             // ... and whether the batch sent it
};
