#include "ScrollColumn.h"

#include <QEvent>
#include <QScrollArea>
#include <QScrollBar>

ScrollColumn::ScrollColumn(QScrollArea *a) : QObject(a), area(a) {}

ScrollColumn *ScrollColumn::follow(QScrollArea *a)
{
    auto *c = new ScrollColumn(a);
    if (a->widget())
        a->widget()->installEventFilter(c);
    c->fit();
    return c;
}

bool ScrollColumn::eventFilter(QObject *o, QEvent *e)
{
    if (e->type() == QEvent::LayoutRequest || e->type() == QEvent::Show)
        fit();
    return QObject::eventFilter(o, e);
}

void ScrollColumn::fit()
{
    QWidget *w = area->widget();
    if (!w)
        return;
    const int need = w->minimumSizeHint().width() + area->verticalScrollBar()->sizeHint().width()
                     + 2 * area->frameWidth();
    if (need != area->minimumWidth())
        area->setMinimumWidth(need);
}
