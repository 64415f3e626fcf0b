#pragma once
// The FFTW planner is not re-entrant: every fftw_plan_* and fftw_destroy_plan
// call in the program is made while holding this one process-wide lock.
// Executing different plans at the same time needs no lock.
#include <mutex>

std::mutex &fftwPlannerMutex();

// Holds the planner lock for the lifetime of the object.
class FftwLock
{
public:
    FftwLock() : guard(fftwPlannerMutex()) {}
    FftwLock(const FftwLock &) = delete;
    FftwLock &operator=(const FftwLock &) = delete;

private:
    std::lock_guard<std::mutex> guard;
};
