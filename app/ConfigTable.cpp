#include "ConfigTable.h"
#include "LineSyntax.h"
#include "TextLines.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

ConfigTable configTable;
QString dataRoot = QStringLiteral("/home/qorin/Data");

static bool isOption(const QString &arg)
{
    return arg.startsWith(QLatin1Char('-'));
}

void ConfigTable::parseArgs(int argc, const char *const *argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    parseArgs(args);
}

void ConfigTable::parseArgs(const QStringList &args)
{
    qsizetype i = 0;
    while (i < args.size()) {
        if (!isOption(args.at(i))) {
            ++i;
            continue;
        }
        const QString option = args.at(i);
        QStringList plain;
        qsizetype j = i + 1;
        while (j < args.size() && !isOption(args.at(j)))
            plain << args.at(j++);
        set(option, plain.isEmpty() ? QString() : plain.first(), plain.join(QLatin1Char(' ')));
        i = j;
    }
}

bool ConfigTable::readFile(const QString &fileName)
{
    return readFileAt(fileName, 0);
}

// depth: how many files include this one (0 for the file read first).
bool ConfigTable::readFileAt(const QString &fileName, int depth)
{
    const QString id = QFileInfo(fileName).canonicalFilePath();
    if (!id.isEmpty())
        openFiles.insert(id);
    const bool ok = readFileGuarded(fileName, depth);
    if (!id.isEmpty())
        openFiles.remove(id);
    return ok;
}

bool ConfigTable::readFileGuarded(const QString &fileName, int depth)
{
    // Only regular files: a device or a pipe (an INCLUDE of /dev/zero, say)
    // would never end.
    QStringList fileLines;
    if (!TextLines::read(fileName, &fileLines)) {
        qWarning().noquote() << "Can't open config file : " + fileName;
        return false;
    }
    for (const QString &raw : fileLines) {
        const QString line = stripComment(raw);
        if (line.simplified().isEmpty())
            continue;
        lines << line;
        QString rest;
        const QString key = nextToken(line, rest);
        QString dummy;
        const QString value = nextToken(rest, dummy);
        if (key.toUpper() == QLatin1String("INCLUDE"))
            include(value, depth + 1);
        else
            set(key, value, rest);
    }
    return true;
}

void ConfigTable::include(const QString &fileName, int depth)
{
    if (depth > maxIncludeDepth) {
        qWarning().noquote() << QStringLiteral("Config files INCLUDE each other more than %1 deep, "
                                               "not read : ").arg(maxIncludeDepth) + fileName;
        ++includeFailures;
        return;
    }
    const QString id = QFileInfo(fileName).canonicalFilePath();
    if (!id.isEmpty() && openFiles.contains(id)) {
        // read once already on the way here: not a failure, nothing is lost
        qDebug().noquote() << "Config file includes itself, not read again : " + fileName;
        return;
    }
    if (!readFileAt(fileName, depth))
        ++includeFailures;
}

void ConfigTable::set(const QString &key, const QString &value, const QString &rest)
{
    qsizetype i = keys.indexOf(key);
    if (i >= 0) {
        values[i] = value;
        rests[i] = rest;
    } else {
        keys << key;
        values << value;
        rests << rest;
    }
    const QString up = key.toUpper();
    i = upperKeys.indexOf(up);
    if (i >= 0) {
        upperValues[i] = value;
        upperRests[i] = rest;
    } else {
        upperKeys << up;
        upperValues << value;
        upperRests << rest;
    }
}

QString ConfigTable::value(const QString &key, const QString &def) const
{
    const qsizetype i = keys.indexOf(key);
    return i >= 0 ? values.at(i) : def;
}

QString ConfigTable::valueNoCase(const QString &key, const QString &def) const
{
    const qsizetype i = upperKeys.indexOf(key.toUpper());
    return i >= 0 ? upperValues.at(i) : def;
}

QString ConfigTable::restNoCase(const QString &key, const QString &def) const
{
    const qsizetype i = upperKeys.indexOf(key.toUpper());
    return i >= 0 ? upperRests.at(i) : def;
}

bool ConfigTable::contains(const QString &key) const
{
    return keys.contains(key);
}

void ConfigTable::clear()
{
    keys.clear();
    values.clear();
    rests.clear();
    upperKeys.clear();
    upperValues.clear();
    upperRests.clear();
    lines.clear();
    openFiles.clear();
    includeFailures = 0;
}
