#pragma once
// Maps between window pixels and real coordinates (image pixels, angles,
// data values). Rectangles are kept as first corner / second corner pairs.
#include <QObject>

class ChCoord : public QObject
{
    Q_OBJECT
public:
    struct Rect {
        double x0, x1, y0, y1;
    };

    explicit ChCoord(QObject *parent = nullptr);

    Rect win{0, 1, 0, 1};
    Rect area{0, 1, 0, 1};
    Rect real{0, 1, 0, 1};

    void setWindow(double x0, double y0, double x1, double y1);
    void setReal(double x0, double y0, double x1, double y1);

    // A zero-sized (or non-finite) rectangle on either side collapses the
    // mapping onto the target's first corner, so callers never get inf or NaN.
    double toWinX(double x) const;
    double toWinY(double y) const;
    double toWinDx(double dx) const;
    double toWinDy(double dy) const;
    double toRealX(double x) const;
    double toRealY(double y) const;
};
