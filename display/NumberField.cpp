#include "NumberField.h"

#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionFrame>

int NumberField::widthFor(const QLineEdit *e)
{
    QStyleOptionFrame opt;
    opt.initFrom(e);
    opt.rect = e->rect();
    opt.lineWidth = e->hasFrame() ? e->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, e)
                                  : 0;
    const QMargins m = e->textMargins();
    // a little room for the cursor and the frame's inner margin
    const int text = e->fontMetrics().horizontalAdvance(QStringLiteral("-1.23457e-05")) + 6;
    const QSize need = e->style()->sizeFromContents(
        QStyle::CT_LineEdit, &opt, QSize(text + m.left() + m.right(), e->fontMetrics().height()),
        e);
    return need.width();
}

void NumberField::fit(QLineEdit *e)
{
    const int w = widthFor(e);
    if (e->maximumWidth() < w)
        e->setMaximumWidth(w);
    e->setMinimumWidth(w);
    tip(e);
}

void NumberField::tip(QLineEdit *e)
{
    e->setToolTip(e->text());
    QObject::connect(e, &QLineEdit::textChanged, e, [e](const QString &t) { e->setToolTip(t); });
}
