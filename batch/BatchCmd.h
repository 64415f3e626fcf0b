#pragma once
// One parsed command line of a batch file, setup file or configuration file.
#include <QMetaType>
#include <QString>
#include <QStringList>

class BatchCmd
{
public:
    QString text;       // the line as stored (comment removed, quotes still in it)
    QString name;       // first item: command word or control word
    QStringList args;   // the following items, quotes removed

    // Splits a line with the shared item syntax. An empty item (an empty quoted
    // item, or the end of the line) ends the argument list.
    static BatchCmd parse(const QString &line);

    // Registers the type under the name "BatchCmd" so that it can travel
    // through queued connections. Safe to call more than once.
    static void registerMetaType();
};

Q_DECLARE_METATYPE(BatchCmd)
