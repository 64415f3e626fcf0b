#pragma once
// Reads a whole text file of lines: batch, configuration and setup files.
// Only regular files are read (a pipe or a device such as /dev/zero would
// never end); LF, CR LF and a CR alone all end a line.
#include <QString>
#include <QStringList>

class TextLines
{
public:
    // The lines of the file, decoded as UTF-8. False (lines untouched) when
    // the file is no regular file or cannot be read whole.
    static bool read(const QString &fileName, QStringList *lines);
    // Splits text at every LF, CR LF or CR. A final line ending adds no line.
    static QStringList split(const QString &text);
};
