#pragma once
// Setup files: the working conditions of the main window as a list of batch
// commands under a title line and four section headers. Saving writes one
// command per setting with its current value; loading runs the file's lines
// through the command set.
#include <QString>

class Body;

class SetupFile
{
public:
    explicit SetupFile(Body *body);

    // Writes the file whole, replacing any existing one, or leaves that one
    // as it was; false when it cannot be written.
    bool save(const QString &fname) const;
    // Runs every line as a command, in file order. False when it cannot be opened.
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
