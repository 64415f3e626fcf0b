#include "StatusLine.h"

#include "LogDock.h"
#include "StateStyle.h"

#include <QAction>
#include <QLabel>
#include <QToolButton>

StatusLine::StatusLine(LogDock *log, QWidget *parent)
    : QStatusBar(parent)
{
    setObjectName(QStringLiteral("StatusBar"));
    setSizeGripEnabled(false);
    lastFailure = new QLabel(this);
    lastFailure->setObjectName(QStringLiteral("LastFailure"));
    // a long message is cut, it never widens the window
    lastFailure->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    lastFailure->setTextInteractionFlags(Qt::TextSelectableByMouse);
    addWidget(lastFailure, 1);
    auto *showLog = new QToolButton(this);
    showLog->setObjectName(QStringLiteral("ShowLog"));
    showLog->setDefaultAction(log->toggleViewAction());
    showLog->setToolTip(tr("Show every line the program has written"));
    addPermanentWidget(showLog);
    connect(log, &LogDock::failed, this, &StatusLine::showFailure);
    if (!log->lastFailure().isEmpty())
        showFailure(log->lastFailure());
}

void StatusLine::showFailure(const QString &text)
{
    const QString shown = text.simplified();
    lastFailure->setText(shown);
    lastFailure->setToolTip(shown);
    lastFailure->setStyleSheet(StateStyle::failed);
}
