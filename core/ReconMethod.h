#pragma once
// The reconstruction methods by name: "back-projection" (filtered
// back-projection, exact, the default) and "gridding" (Fourier gridding,
// O(N^2 log N), for large data sets). The name is what the "Method"
// control shows, `ct_method` takes and the setup file keeps.
#include "Reconstructor.h"

#include <memory>
#include <string>
#include <vector>

class ReconMethod
{
public:
    static const char *const backProjection;   // "back-projection"
    static const char *const gridding;         // "gridding"

    // Every name, the default first.
    static std::vector<std::string> names();
    // The name as listed for `name` (letter case aside); false (and *out
    // untouched) for any other.
    static bool fromName(const std::string &name, std::string *out);
    // A new reconstructor of that method; nullptr for an unknown name.
    static std::unique_ptr<Reconstructor> make(const std::string &name);
};
