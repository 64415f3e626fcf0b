#include "BatchCmd.h"

#include "LineSyntax.h"

BatchCmd BatchCmd::parse(const QString &line)
{
    BatchCmd cmd;
    cmd.text = line;
    QString rest;
    cmd.name = nextToken(line, rest);
    if (cmd.name.isEmpty())
        return cmd;
    for (;;) {
        const QString item = nextToken(rest, rest);
        if (item.isEmpty())
            break;
        cmd.args << item;
    }
    return cmd;
}

void BatchCmd::registerMetaType()
{
    qRegisterMetaType<BatchCmd>("BatchCmd");
}
