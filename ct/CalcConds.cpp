#include "CalcConds.h"

double CalcConds::corForSlice(int s) const
{
    return interpolateCor(cor, recCor1, recSlice1, recCor2, recSlice2, s) + shift.acrossAxis(rotAxIsV);
}

double CalcConds::interpolateCor(double cor, double recCor1, int recSlice1,
                                 double recCor2, int recSlice2, int s)
{
    if (recSlice1 < 0 || recSlice2 < 0 || recSlice1 == recSlice2)
        return cor;
    // differences in double: slice numbers far apart must not overflow int
    return recCor1 + (recCor2 - recCor1) * (double(s) - double(recSlice1))
                         / (double(recSlice2) - double(recSlice1));
}
