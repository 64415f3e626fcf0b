#pragma once
// Keeps a vertically scrolling column as wide as its content needs: the
// content's minimum width plus the scroll bar, followed as panels inside it
// open and close.
#include <QObject>

class QScrollArea;

class ScrollColumn : public QObject
{
    Q_OBJECT
public:
    // Follows the content of area (owned by area).
    static ScrollColumn *follow(QScrollArea *area);

protected:
    bool eventFilter(QObject *o, QEvent *e) override;

private:
    explicit ScrollColumn(QScrollArea *area);
    void fit();
    QScrollArea *area;
};
