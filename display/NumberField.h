#pragma once
// Line edits that show numbers and paths whole: a number field is wide
// enough for the longest text of 6 significant digits ("-1.23457e-05"), and
// every such field carries its full text as tool tip.
class QLineEdit;

class NumberField
{
public:
    // Widens the field for any 6-digit number and keeps its tool tip.
    static void fit(QLineEdit *e);
    // Keeps the tool tip only (paths: the field shows the end of a long one).
    static void tip(QLineEdit *e);
    // Width, in pixels, that the field needs for the longest number.
    static int widthFor(const QLineEdit *e);
};
