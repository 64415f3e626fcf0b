#pragma once
// Process-wide table of command-line options and configuration-file entries.
#include <QSet>
#include <QString>
#include <QStringList>

class ConfigTable
{
public:
    // One entry per option ("-x ..."): value is the next plain argument, rest all
    // plain arguments up to the next option joined by one blank.
    void parseArgs(int argc, const char *const *argv);
    void parseArgs(const QStringList &args);

    // Reads a configuration file (and the files it INCLUDEs) into the table and
    // into configLines(). Returns false when the file could not be opened.
    // INCLUDEs nest at most maxIncludeDepth files deep; a deeper one is not
    // read (a long chain would overflow the stack).
    bool readFile(const QString &fileName);
    static constexpr int maxIncludeDepth = 64;
    // INCLUDEs not read since the last clear(): files that could not be
    // opened (missing, a directory, a pipe, a device) and files nested too
    // deep. Each was named by a warning.
    int failures() const { return includeFailures; }

    void set(const QString &key, const QString &value, const QString &rest);
    QString value(const QString &key, const QString &def = QString()) const;
    QString valueNoCase(const QString &key, const QString &def = QString()) const;
    QString restNoCase(const QString &key, const QString &def = QString()) const;
    bool contains(const QString &key) const;
    const QStringList &configLines() const { return lines; }

    void clear();

private:
    bool readFileAt(const QString &fileName, int depth);
    // An INCLUDE line of a file `depth` - 1 deep.
    void include(const QString &fileName, int depth);
    bool readFileGuarded(const QString &fileName, int depth);

    QStringList keys, values, rests;
    QStringList upperKeys, upperValues, upperRests;
    QStringList lines;
    QSet<QString> openFiles;    // files being read right now, to stop INCLUDE cycles
    int includeFailures = 0;
};

extern ConfigTable configTable;
// Start directory of every file dialog.
extern QString dataRoot;
