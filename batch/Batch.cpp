#include "Batch.h"

#include "LineSyntax.h"
#include "TextLines.h"

#include <QDebug>

namespace {

// Control words match in any letter case: both sides compared in upper case.
bool sameWord(const QString &name, const char *upperWord)
{
    return name.toUpper() == QLatin1String(upperWord);
}

// Last non-blank character of a line, or a null character.
QChar lastNonBlank(const QString &s)
{
    for (qsizetype i = s.size() - 1; i >= 0; --i)
        if (!s.at(i).isSpace())
            return s.at(i);
    return QChar();
}

QString trimRight(const QString &s)
{
    qsizetype n = s.size();
    while (n > 0 && s.at(n - 1).isSpace())
        --n;
    return s.left(n);
}

QString trimLeft(const QString &s)
{
    qsizetype i = 0;
    while (i < s.size() && s.at(i).isSpace())
        ++i;
    return s.mid(i);
}

} // namespace

Batch::Batch(QObject *parent) : QObject(parent)
{
    BatchCmd::registerMetaType();
    // Control words chain to the next line through the event loop rather than
    // by recursion, so a long run of them (or a ":GOTO" loop among them) cannot
    // exhaust the stack, and batchExec()/batchStop() can still get in.
    connect(this, &Batch::batchExecNext, this, &Batch::batchNext, Qt::QueuedConnection);
    connect(this, &Batch::batchFinishALine, this, &Batch::batchCheckEnd);
}

void Batch::batchStart()
{
    running = true;
    current = 0;
    emit batchExecNext();
}

void Batch::batchStop()
{
    endRun();
}

void Batch::endRun()
{
    if (!running)
        return;
    running = false;
    emit batchFinished();
}

void Batch::batchLoad(QString fname)
{
    // Only a regular file is a batch file: a pipe would hold the interpreter
    // and a device such as /dev/zero never ends.
    QStringList read;
    if (!TextLines::read(fname, &read)) {
        qWarning().noquote() << "Can't open batch file " + fname;
        loadFailed = true;
        return;
    }
    loadFailed = false;

    lines.clear();
    // A line ending in a backslash continues on the next one: the backslash
    // goes and the two parts are joined with one blank.
    QString pending;
    bool continued = false;
    for (const QString &raw : std::as_const(read)) {
        QString s = stripComment(raw);
        if (continued) {
            const QString next = trimLeft(s);
            s = next.isEmpty() ? pending : pending + QLatin1Char(' ') + next;
        }
        if (lastNonBlank(s) == QLatin1Char('\\')) {
            s = trimRight(s);
            pending = trimRight(s.left(s.size() - 1));
            continued = true;
            continue;
        }
        continued = false;
        if (!s.isEmpty())
            lines << s;
    }
    if (continued && !pending.isEmpty())
        lines << pending;
    findLabels();
}

void Batch::findLabels()
{
    labels.clear();
    for (const QString &line : std::as_const(lines)) {
        BatchCmd cmd = BatchCmd::parse(line);
        while ((sameWord(cmd.name, ":IFOK") || sameWord(cmd.name, ":IFNG")) && !cmd.args.isEmpty())
            cmd = BatchCmd::parse(cmd.args.join(QLatin1Char(' ')));
        if (sameWord(cmd.name, ":GOTO"))
            labels.insert(cmd.args.isEmpty() ? QString() : cmd.args.first());
    }
}

void Batch::batchExec()
{
    if (!running) {
        running = true;
        current = 0;
        emit batchExecNext();
    } else {
        endRun();
    }
}

void Batch::batchCheckEnd()
{
    if (awaiting) {
        awaiting = false;
        ++run;
        // "seq_exec_next" answers "no further set" through the flag: that is
        // how loops end, not a failure
        if (!ok && !sameWord(dispatched, "SEQ_EXEC_NEXT"))
            ++failed;
    }
    if (!running)
        return;
    if (!lines.isEmpty())
        emit batchExecNext();
    else
        endRun();
}

void Batch::batchNext()
{
    if (!running)
        return;
    if (current >= lines.size()) {
        endRun();
        return;
    }
    BatchCmd cmd = BatchCmd::parse(lines.at(current++));
    qDebug().noquote() << "cmd " + cmd.name;

    if (sameWord(cmd.name, ":IFOK") && ok)
        cmd = BatchCmd::parse(cmd.args.join(QLatin1Char(' ')));
    if (sameWord(cmd.name, ":IFNG") && !ok)
        cmd = BatchCmd::parse(cmd.args.join(QLatin1Char(' ')));

    if (sameWord(cmd.name, ":GOTO")) {
        const QString label = cmd.args.isEmpty() ? QString() : cmd.args.first();
        for (int i = 0; i < lines.size(); ++i) {
            if (BatchCmd::parse(lines.at(i)).name == label) {
                current = i;
                break;
            }
        }
        if (running) {
            if (!lines.isEmpty())
                emit batchExecNext();
            else
                endRun();
        }
    } else if (sameWord(cmd.name, ":END") || sameWord(cmd.name, ":STOP")) {
        endRun();
        emit batchExecNext();
    } else if (sameWord(cmd.name, ":ECHO")) {
        qDebug().noquote() << cmd.text;
        emit batchExecNext();
    } else if (sameWord(cmd.name, ":IFOK") || sameWord(cmd.name, ":IFNG") || cmd.name.isEmpty()
               || labels.contains(cmd.name)) {
        // A condition that does not hold, a jump target and a line of blanks
        // are no commands: nothing to execute, and ok is true afterwards.
        ok = true;
        emit batchExecNext();
    } else {
        ok = true;
        dispatched = cmd.name;
        awaiting = true;
        emit batchExCmd(cmd);
    }
}
