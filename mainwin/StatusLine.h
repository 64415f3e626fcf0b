#pragma once
// The status bar below the window's panels: the last failure named on the
// warning channel (kept in step with the log dock, styled as failed, cut
// rather than widening the window) and "ShowLog", which opens the log dock.
#include <QStatusBar>

class LogDock;
class QLabel;

class StatusLine : public QStatusBar
{
    Q_OBJECT
public:
    StatusLine(LogDock *log, QWidget *parent = nullptr);

    QLabel *lastFailureLabel() const { return lastFailure; }

private slots:
    void showFailure(const QString &text);

private:
    QLabel *lastFailure;
};
