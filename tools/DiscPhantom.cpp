#include "DiscPhantom.h"

#include <cmath>

double DiscPhantom::lineIntegral(double s, double th) const
{
    const double c = std::cos(th), sn = std::sin(th);
    double p = 0;
    for (const Disc &d : discs) {
        const double q = s - (d.u * c - d.v * sn);
        if (q * q < d.r * d.r)
            p += 2 * d.mu * std::sqrt(d.r * d.r - q * q);
    }
    return p;
}
