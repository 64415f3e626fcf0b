#include "FftwLock.h"

std::mutex &fftwPlannerMutex()
{
    static std::mutex m;
    return m;
}
