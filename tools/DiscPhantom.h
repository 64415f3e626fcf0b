#pragma once
// Discs of uniform attenuation in one slice, whose line integrals are known
// exactly: the truth that tests and benchmarks reconstruct.
#include <vector>

class DiscPhantom
{
public:
    // Centre (u along the detector, v across it) from the rotation axis,
    // radius and attenuation, in pixels and per pixel.
    struct Disc {
        double u, v, r, mu;
    };
    std::vector<Disc> discs;

    // The integral along the ray at signed distance s from the axis in the
    // projection at angle th (radians): the ray u cos(th) - v sin(th) = s.
    double lineIntegral(double s, double th) const;
};
