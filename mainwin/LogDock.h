#pragma once
// The "Log" dock: every line the program writes to the terminal, the latest
// `maxLines` of them, warnings marked. Lines from worker threads arrive
// queued; they are shown in batches so that a flood of lines costs little.
#include <QDockWidget>
#include <QList>
#include <QString>

class QPlainTextEdit;
class QTimer;

class LogDock : public QDockWidget
{
    Q_OBJECT
public:
    static constexpr int maxLines = 10000;
    // Marks a failure line in the dock.
    static constexpr char failureMark[] = "!! ";

    explicit LogDock(QWidget *parent = nullptr);

    // The lines shown so far (those still waiting are shown first).
    QString text();
    // The last failure (warning) seen since construction, or empty.
    QString lastFailure() const { return lastFail; }

public slots:
    void take(quint64 seq, int type, QString text);
    // Shows the lines that have arrived.
    void flush();

signals:
    // A warning (or worse) was written: the window names it.
    void failed(QString text);

private:
    struct Line {
        bool failure;
        QString text;
    };
    QPlainTextEdit *view;
    QTimer *flushTimer;
    QList<Line> pending;
    quint64 lastSeq = 0;
    QString lastFail;
};
