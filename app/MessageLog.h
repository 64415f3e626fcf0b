#pragma once
// Every line of Qt's message channels (qDebug, qInfo, qWarning, ...): still
// printed by the handler that was there before, exactly as before, and also
// kept (the latest `maxKept`) and announced by `logged`, from whatever thread
// wrote it. Receivers in the window's thread get the lines queued.
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>

#include <deque>

class MessageLog : public QObject
{
    Q_OBJECT
public:
    struct Entry {
        quint64 seq = 0;
        QtMsgType type = QtDebugMsg;
        QString text;
    };
    static constexpr int maxKept = 10000;

    // The one log of the process; the first call installs the handler. Call
    // it first from the main thread. The log lives until the process ends.
    static MessageLog *instance();
    // Warnings, critical and fatal messages name failures.
    static bool isFailure(QtMsgType t) { return t == QtWarningMsg || t == QtCriticalMsg || t == QtFatalMsg; }
    // The lines kept so far, oldest first.
    QList<Entry> recent() const;

signals:
    // seq rises by one per line; type is a QtMsgType
    void logged(quint64 seq, int type, QString text);

private:
    MessageLog();
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &msg);
    void take(QtMsgType type, const QString &msg);

    mutable QMutex mutex;
    std::deque<Entry> kept;
    quint64 nextSeq = 1;
};
