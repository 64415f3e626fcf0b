#include "ChCoord.h"

#include <cmath>

namespace {
// Scale (to1 - to0) / (from1 - from0), or 0 when it would not be finite.
double scaleOf(double to0, double to1, double from0, double from1)
{
    const double d = from1 - from0;
    if (d == 0 || !std::isfinite(d))
        return 0;
    const double s = (to1 - to0) / d;
    return std::isfinite(s) ? s : 0;
}

double mapped(double s, double v, double from0, double to0)
{
    const double r = s * (v - from0) + to0;
    return std::isfinite(r) ? r : (std::isfinite(to0) ? to0 : 0);
}
}

ChCoord::ChCoord(QObject *parent) : QObject(parent) {}

void ChCoord::setWindow(double x0, double y0, double x1, double y1)
{
    win = {x0, x1, y0, y1};
    area = win;
}

void ChCoord::setReal(double x0, double y0, double x1, double y1)
{
    real = {x0, x1, y0, y1};
}

double ChCoord::toWinX(double x) const
{
    return mapped(scaleOf(area.x0, area.x1, real.x0, real.x1), x, real.x0, area.x0);
}

double ChCoord::toWinY(double y) const
{
    return mapped(scaleOf(area.y0, area.y1, real.y0, real.y1), y, real.y0, area.y0);
}

double ChCoord::toWinDx(double dx) const
{
    return mapped(scaleOf(area.x0, area.x1, real.x0, real.x1), dx, 0, 0);
}

double ChCoord::toWinDy(double dy) const
{
    return mapped(scaleOf(area.y0, area.y1, real.y0, real.y1), dy, 0, 0);
}

double ChCoord::toRealX(double x) const
{
    return mapped(scaleOf(real.x0, real.x1, area.x0, area.x1), x, area.x0, real.x0);
}

double ChCoord::toRealY(double y) const
{
    return mapped(scaleOf(real.y0, real.y1, area.y0, area.y1), y, area.y0, real.y0);
}
