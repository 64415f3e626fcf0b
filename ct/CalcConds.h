#pragma once
// The conditions of one reconstruction run, filled by ProcCtrl::fillConds when
// the run starts and read by the calculators through a pointer.
#include "CorrectionSettings.h"
#include "EnergyShift.h"
#include "RampFilter.h"
#include "ReconMethod.h"

#include <string>

class CalcConds
{
public:
    bool doCt1 = true;          // single-slice calculator
    bool doCt2 = false;         // multi-slice workers
    bool rotAxIsV = true;       // rotation axis vertical: slices are image rows
    int slice = 0;              // slice of a single-slice run
    double cor = 0;             // centre of rotation
    double recCor1 = 0, recCor2 = 0;    // recorded centres of rotation
    int recSlice1 = 0, recSlice2 = 0;   // slices they were recorded at; < 0: none
    double angleOffset = 0;     // degrees
    bool rangeMode = false;     // calculate the slices sliceFrom..sliceTo
    int sliceFrom = 0, sliceTo = 0;     // either order
    int sliceStep = 0;          // signed, points from sliceFrom towards sliceTo
    int threads = 1;            // workers used by a run
    int nextSlice = 0;          // next slice to hand out (run control)
    bool rangeDone = false;     // the step from the last slice would pass the int limits
    double upperLimit = 0, lowerLimit = 0, dataOffset = 0;  // saved-data limits
    RampFilter filter;          // window, cut-off and padding of the filter
    double i0Scale = 1.0;       // ion-chamber ratio I0raw / I0i0 (HSgm::i0Scale); 1: none
    CorrectionSettings corrections;     // sinogram stages of the run (all off: none)
    // The data set's shift against its sequence's reference set (off: none):
    // corForSlice adds it across the axis; the workers build each slice's line
    // shifted along the axis, on the reference set's grid (the grid of the
    // CoR without the shift).
    EnergyShift shift;
    std::string method = ReconMethod::backProjection;  // reconstruction method (ReconMethod name)

    // Centre of rotation for slice s: the straight line through the two
    // recorded pairs when both are set and differ in slice, otherwise `cor`;
    // plus the shift across the axis.
    double corForSlice(int s) const;

    static double interpolateCor(double cor, double recCor1, int recSlice1,
                                 double recCor2, int recSlice2, int s);
};
