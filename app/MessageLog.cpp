#include "MessageLog.h"

#include <QMutexLocker>

#include <atomic>
#include <cstdio>

namespace {
std::atomic<MessageLog *> theLog{nullptr};
// written once, when the handler is installed; read from any thread
std::atomic<QtMessageHandler> previousHandler{nullptr};
// a line written while a line is being handed on (by a receiver, say) is
// printed, not handed on again
thread_local bool handing = false;
}

MessageLog::MessageLog() = default;

MessageLog *MessageLog::instance()
{
    static MessageLog *const log = [] {
        auto *l = new MessageLog;
        theLog.store(l, std::memory_order_release);
        previousHandler.store(qInstallMessageHandler(&MessageLog::handle), std::memory_order_release);
        return l;
    }();
    return log;
}

void MessageLog::handle(QtMsgType type, const QMessageLogContext &context, const QString &msg)
{
    // the terminal first, unchanged
    if (const QtMessageHandler before = previousHandler.load(std::memory_order_acquire))
        before(type, context, msg);
    else    // only while the handler is being installed
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, msg)));
    MessageLog *log = theLog.load(std::memory_order_acquire);
    if (!log || handing)
        return;
    handing = true;
    log->take(type, msg);
    handing = false;
}

void MessageLog::take(QtMsgType type, const QString &msg)
{
    quint64 seq;
    {
        QMutexLocker lock(&mutex);
        seq = nextSeq++;
        kept.push_back({seq, type, msg});
        if (kept.size() > std::size_t(maxKept))
            kept.pop_front();
    }
    emit logged(seq, int(type), msg);
}

QList<MessageLog::Entry> MessageLog::recent() const
{
    QMutexLocker lock(&mutex);
    return QList<Entry>(kept.begin(), kept.end());
}
