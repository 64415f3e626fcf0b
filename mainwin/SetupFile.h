#pragma once
// Setup files: the working conditions of the main window as a list of batch
// commands under a title line and four section headers. Saving writes one
// command per saved setting of the settings table, in its section and order,
// with its current value; loading runs the file's lines through the command
// set.
#include <QString>

class Body;

class SetupFile
{
public:
    explicit SetupFile(Body *body);

    // Writes the file whole, replacing any existing one, or leaves that one
    // as it was. False, after a warning, when it cannot be written, or when
    // no line reloads exactly the chosen I0 file set (the file is written all
    // the same).
    bool save(const QString &fname) const;
    // Runs every line as a command, in file order. False, after a warning,
    // when it cannot be read or is already being loaded (a setup that loads
    // itself).
    bool load(const QString &fname) const;

    // "name" padded with blanks to column 25 (one blank after longer names),
    // then the value.
    static QString line(const QString &name, const QString &value);
    // A text value as written: in double quotes when it holds blanks, so that
    // it is read back as one item; unchanged otherwise.
    static QString quoted(const QString &text);

private:
    Body *body;
};
