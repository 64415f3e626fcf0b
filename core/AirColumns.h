#pragma once
// Air columns: the first and last K samples of every sinogram row see only
// air, so their value should be 0. A beam that decays during the scan (or
// differs from the I0 image) adds ln(I0 / I0 of that projection) to the whole
// row; each row is shifted by the mean of its 2 K air samples. K is held to
// half the row (the whole row is then its own reference).
#include "SinogramStage.h"

class AirColumns : public SinogramStage
{
public:
    explicit AirColumns(int columns) : k(columns) {}
    const char *name() const override { return "air columns"; }
    bool prepare(int, int) override { return true; }
    void apply(HSgm &h) override;

private:
    int k;
};
