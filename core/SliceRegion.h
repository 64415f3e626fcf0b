#pragma once
// Calculation region of a slice in result pixels: x from trunc(x0) while
// x < x1, z from trunc(z0) while z < z1 (clipped to the grid).
struct SliceRegion {
    double x0 = 0, z0 = 0, x1 = 0, z1 = 0;
};
