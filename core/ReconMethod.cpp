#include "ReconMethod.h"
#include "BackProjector.h"
#include "GridReconstructor.h"

#include <algorithm>
#include <cctype>

const char *const ReconMethod::backProjection = "back-projection";
const char *const ReconMethod::gridding = "gridding";

std::vector<std::string> ReconMethod::names()
{
    return {backProjection, gridding};
}

bool ReconMethod::fromName(const std::string &name, std::string *out)
{
    auto lower = [](std::string s) {
        std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
        return s;
    };
    const std::string l = lower(name);
    for (const std::string &m : names())
        if (l == m) {
            *out = m;
            return true;
        }
    return false;
}

std::unique_ptr<Reconstructor> ReconMethod::make(const std::string &name)
{
    std::string m;
    if (!fromName(name, &m))
        return nullptr;
    if (m == gridding)
        return std::make_unique<GridReconstructor>();
    return std::make_unique<BackProjector>();
}
