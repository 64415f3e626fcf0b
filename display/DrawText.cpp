#include "DrawText.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

void DrawText::draw(QPainter *p, double angle, double x, double y, double w, double h,
                    const QFont &font, int align, bool fit, const QString &text,
                    double maxPointSize, const QColor &bg) const
{
    if (!p)
        return;
    w = std::abs(w);
    h = std::abs(h);

    // top-left corner of the box in the turned system
    const double rad = -angle / 180 * 3.141592653;
    const double c = std::cos(rad), s = std::sin(rad);
    const double tx = x * c - y * s - w / 2;
    const double ty = x * s + y * c - h / 2;
    const QRectF box(tx, ty, w, h);

    const QFont oldFont = p->font();
    p->save();
    p->rotate(angle);

    QFont f = font;
    bool drawable = true;
    if (fit) {
        QFont probe = font;
        probe.setPointSizeF(10);
        const QRectF m = QFontMetricsF(probe, p->device())
                             .boundingRect(QRectF(0, 0, 5000, 5000), align, text);
        double scale = 1;
        if (m.width() > 0 && m.height() > 0)
            scale = std::min(w / m.width(), h / m.height());
        double ps = 10 * scale;
        if (maxPointSize > 0 && maxPointSize < ps)
            ps = maxPointSize;
        if (ps > 0 && std::isfinite(ps))
            f.setPointSizeF(ps);
        else
            drawable = false; // an empty box holds no text
    }
    if (bg.isValid())
        p->fillRect(box, bg);
    if (drawable) {
        p->setFont(f);
        p->drawText(box, align, text);
    }
    p->restore();
    p->setFont(oldFont);
}
