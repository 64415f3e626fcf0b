#pragma once
// The shift of one data set's projections against the reference set of a
// CT-XAFS sequence: a feature at (x, y) in a reference projection lies at
// (x + dx, y + dy) in this set's projection of the same angle (pixels).
//
// Applied when a slice is built: the shift across the axis moves the CoR (and
// the recorded pairs' CoRs with it), the shift along the axis moves the slice
// (the slice's line is interpolated between the two image lines about
// slice + shift), and the slice is reconstructed on the grid of the
// reference set, whatever its own CoR leaves room for.
//
// Without the alignment, "Auto CoR" gives every set the CoR it finds on its
// own projections: then nothing moves (dx = dy = 0) and `gridCor` is the
// reference set's CoR, whose grid every set is reconstructed on, centred on
// its own axis.
#include <cmath>
#include <limits>

class EnergyShift
{
public:
    bool on = false;    // off: the set is built as it stands, on its own grid
    double dx = 0;      // along image rows (columns x)
    double dy = 0;      // along image columns (rows y)
    // The reference set's CoR when each set keeps its own (see above); NaN:
    // the reference CoR is the set's less the shift across the axis.
    double gridCor = std::numeric_limits<double>::quiet_NaN();

    EnergyShift() = default;
    EnergyShift(double dx, double dy) : on(true), dx(dx), dy(dy) {}
    // A set at its own CoR on the grid of the reference set's CoR.
    static EnergyShift onGridOf(double referenceCor)
    {
        EnergyShift s(0, 0);
        s.gridCor = referenceCor;
        return s;
    }

    // The part across the rotation axis (added to the CoR) and along it
    // (added to the slice number), for the axis given.
    double acrossAxis(bool rotAxIsV) const { return on ? (rotAxIsV ? dx : dy) : 0.0; }
    double alongAxis(bool rotAxIsV) const { return on ? (rotAxIsV ? dy : dx) : 0.0; }

    // The reference set's CoR, whose grid a slice built about `cor` (the
    // set's own, the shift included) is reconstructed on.
    double referenceCor(double cor, bool rotAxIsV) const
    {
        return on && std::isfinite(gridCor) ? gridCor : cor - acrossAxis(rotAxIsV);
    }
};
