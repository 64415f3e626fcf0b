#include "StartOptions.h"
#include "ConfigTable.h"

QString StartOptions::configFileName(const ConfigTable &table)
{
    QString name = QStringLiteral("config.cfg");
    if (table.contains("-c"))
        name = table.value("-c", name);
    if (table.contains("-config"))
        name = table.value("-config", name);
    return name;
}

StartOptions StartOptions::fromTable(const ConfigTable &table, const QString &currentDataRoot)
{
    StartOptions o;
    o.dataRoot = table.value("DataRoot", currentDataRoot);
    if (table.contains("-d"))
        o.dataRoot = table.value("-d", o.dataRoot);
    o.english = table.contains("-e");
    o.hasBatch = table.contains("-b");
    o.batchFile = o.hasBatch ? table.value("-b", QString()) : QString();
    o.execBatch = table.contains("-x");
    o.noWindow = table.contains("-nw");
    o.quitAtEnd = table.contains("-q");
    return o;
}
