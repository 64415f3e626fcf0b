#include "ClosableBase.h"

#include <QCloseEvent>

ClosableBase::ClosableBase(QWidget *parent) : QFrame(parent) {}

void ClosableBase::closeEvent(QCloseEvent *e)
{
    emit closed();
    QFrame::closeEvent(e);
}
