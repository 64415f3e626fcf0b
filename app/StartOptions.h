#pragma once
// What the command line and the configuration file decide at start-up.
#include <QString>

class ConfigTable;

class StartOptions
{
public:
    // Configuration file named on the command line ("-config" wins over "-c").
    static QString configFileName(const ConfigTable &table);

    // After the configuration file has been read: data root ("-d" wins over
    // "DataRoot", which wins over `current`) and the flags.
    static StartOptions fromTable(const ConfigTable &table, const QString &currentDataRoot);

    QString dataRoot;
    bool english = false;      // -e: no translation
    bool hasBatch = false;     // -b FILE
    QString batchFile;
    bool execBatch = false;    // -x
    bool noWindow = false;     // -nw
    bool quitAtEnd = false;    // -q: quit when the batch run ends, with its exit status
};
