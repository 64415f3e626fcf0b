#include "LogDock.h"

#include "MessageLog.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTimer>

LogDock::LogDock(QWidget *parent)
    : QDockWidget(tr("Log"), parent), view(new QPlainTextEdit(this)), flushTimer(new QTimer(this))
{
    setObjectName(QStringLiteral("LogDock"));
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetFloatable);
    view->setObjectName(QStringLiteral("LogView"));
    view->setReadOnly(true);
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    view->setMaximumBlockCount(maxLines);
    // a few lines high in the window, which keeps its room for the images;
    // as a window of its own as high as wanted
    const int line = view->fontMetrics().lineSpacing();
    const int frame = 2 * view->frameWidth() + 8;
    view->setMinimumHeight(4 * line + frame);
    const int docked = 8 * line + frame;
    view->setMaximumHeight(docked);
    connect(this, &QDockWidget::topLevelChanged, view, [this, docked](bool floating) {
        view->setMaximumHeight(floating ? QWIDGETSIZE_MAX : docked);
    });
    setWidget(view);
    flushTimer->setSingleShot(true);
    flushTimer->setInterval(100);
    connect(flushTimer, &QTimer::timeout, this, &LogDock::flush);

    // what was written before the window existed, then every new line; a
    // line both kept and announced is shown once
    MessageLog *log = MessageLog::instance();
    connect(log, &MessageLog::logged, this, &LogDock::take);
    for (const MessageLog::Entry &e : log->recent())
        take(e.seq, int(e.type), e.text);
}

void LogDock::take(quint64 seq, int type, QString text)
{
    if (seq <= lastSeq)
        return;
    lastSeq = seq;
    const bool failure = MessageLog::isFailure(QtMsgType(type));
    pending.append({failure, text});
    // a flood before the next showing keeps its latest lines, trimmed now
    // and then rather than at every line
    if (pending.size() >= 2 * maxLines)
        pending.erase(pending.begin(), pending.begin() + (pending.size() - maxLines));
    if (failure) {
        lastFail = text;
        emit failed(text);
    }
    if (!flushTimer->isActive())
        flushTimer->start();
}

void LogDock::flush()
{
    flushTimer->stop();
    if (pending.isEmpty())
        return;
    if (pending.size() > maxLines)
        pending.erase(pending.begin(), pending.begin() + (pending.size() - maxLines));
    QScrollBar *bar = view->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    QTextCharFormat plain;
    QTextCharFormat failure;
    failure.setForeground(QColor(176, 0, 0));
    failure.setFontWeight(QFont::Bold);
    QTextCursor c(view->document());
    c.movePosition(QTextCursor::End);
    c.beginEditBlock();
    bool first = view->document()->isEmpty();
    for (const Line &l : std::as_const(pending)) {
        if (!first)
            c.insertBlock();
        first = false;
        if (l.failure)
            c.insertText(QString::fromLatin1(failureMark) + l.text, failure);
        else
            c.insertText(l.text, plain);
    }
    c.endEditBlock();
    pending.clear();
    if (atEnd)
        bar->setValue(bar->maximum());
}

QString LogDock::text()
{
    flush();
    return view->toPlainText();
}
