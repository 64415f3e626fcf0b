#pragma once
// Finding the centre of rotation for the window, the batch commands and the
// sequencer: builds the finding sinogram of a slice from the loaded series,
// runs the finder and logs the outcome, "CoR found : VALUE (slice S, METHOD)"
// on the info channel or "CoR not found : REASON (slice S, METHOD)" as a
// warning. Nothing changes when finding fails. GUI thread only.
#include "CorFinder.h"

#include <QString>

class ProcCtrl;
class Sinogram;

class CorActions
{
public:
    CorActions(Sinogram *sinogram, ProcCtrl *procCtrl);

    // The CoR at `slice` of the loaded series, with the current axis; logged.
    CorFinder::Result find(int slice, CorFinder::Method m) const;
    // Finds at the current slice with the named method (empty: the default)
    // and sets it as the CoR. False, after a warning, when the name is no
    // method or nothing was found.
    bool findAndSet(const QString &methodName) const;
    // Finds at `slice` with the default method and records it as pair k
    // (1 or 2). False, after a warning, for another k or when nothing was found.
    bool findAndRecord(int k, int slice) const;

private:
    Sinogram *sgm;
    ProcCtrl *pc;
};
