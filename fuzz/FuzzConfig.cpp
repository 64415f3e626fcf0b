// Configuration files and the shared item syntax. The input holds two files,
// "a.cfg" and "b.cfg", separated by the first NUL byte; "a.cfg" is read, and
// either may INCLUDE the other or itself.
#include "ConfigTable.h"
#include "FuzzEnv.h"
#include "LineSyntax.h"

#include <QRegularExpression>

#include <cstdlib>
#include <cstring>

namespace {

void check(bool cond)
{
    if (!cond)
        std::abort();
}

// Splits a line into all its items; every step must consume text.
void splitAll(const QString &line)
{
    QString rest = line;
    int items = 0;
    while (!rest.isEmpty()) {
        const qsizetype before = rest.size();
        const QString item = nextToken(rest, rest);
        check(rest.size() < before);
        check(item.size() <= before);
        check(++items <= line.size() + 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzEnv::enterDir();
    const void *nul = std::memchr(data, 0, size);
    const size_t sizeA = nul ? size_t(static_cast<const uint8_t *>(nul) - data) : size;
    FuzzEnv::write(QStringLiteral("a.cfg"), data, sizeA);
    if (nul)
        FuzzEnv::write(QStringLiteral("b.cfg"), data + sizeA + 1, size - sizeA - 1);
    else
        FuzzEnv::write(QStringLiteral("b.cfg"), data, 0);

    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
    for (const QString &raw : text.split(lineEnd)) {
        const QString line = stripComment(raw);
        check(raw.startsWith(line));
        splitAll(line);
        splitAll(raw);
    }

    ConfigTable table;
    check(table.readFile(QStringLiteral("a.cfg")));
    // Without a cycle each file is read at most once per INCLUDE line above
    // it; the lines kept stay within what two files can produce.
    const qsizetype lines = table.configLines().size();
    check(lines <= qsizetype(size + 1) * qsizetype(size + 1));
    for (const QString &line : table.configLines()) {
        QString rest;
        const QString key = nextToken(line, rest);
        table.valueNoCase(key);
        table.restNoCase(key);
        table.value(key);
    }
    return 0;
}
