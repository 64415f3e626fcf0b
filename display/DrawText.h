#pragma once
// Draws a text turned by an angle in a box centred on a point, optionally
// fitting the font to the box.
#include <QColor>
#include <QFont>
#include <QString>

class QPainter;

class DrawText
{
public:
    // angle in degrees (clockwise on screen); (x, y) the centre of a w x h box
    // measured in the turned system; align: Qt alignment flags; with fit the
    // point size is chosen so the text fills the box, at most maxPointSize when
    // that is positive. A valid bg fills the box first.
    void draw(QPainter *p, double angle, double x, double y, double w, double h,
              const QFont &font, int align, bool fit, const QString &text,
              double maxPointSize, const QColor &bg = QColor()) const;
};
