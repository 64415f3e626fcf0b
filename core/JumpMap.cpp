#include "JumpMap.h"
#include "DataFileGrid.h"
#include "DataFileText.h"

#include <algorithm>
#include <limits>

JumpMap JumpMap::of(const QList<EnergyFile> &files, double e0)
{
    JumpMap m;
    for (const EnergyFile &f : files) {
        if (f.energy < e0)
            ++m.below;
        else if (f.energy > e0)
            ++m.above;
    }
    if (m.below == 0 || m.above == 0) {
        m.reason = QStringLiteral("%1 energies below and %2 above %3 eV: one of each is needed")
                       .arg(m.below).arg(m.above).arg(e0, 0, 'g', 10);
        return m;
    }

    // the pixels every file holds
    int xLo = std::numeric_limits<int>::min(), zLo = xLo;
    int xHi = std::numeric_limits<int>::max(), zHi = xHi;   // exclusive
    DataFileGrid grid;
    for (const EnergyFile &f : files) {
        if (!(f.energy < e0 || f.energy > e0))
            continue;
        if (!grid.readHeader(f.path)) {
            m.reason = grid.why();
            return m;
        }
        xLo = std::max(xLo, grid.x0());
        zLo = std::max(zLo, grid.z0());
        xHi = std::min(xHi, grid.x0() + grid.width());
        zHi = std::min(zHi, grid.z0() + grid.height());
    }
    if (xHi <= xLo || zHi <= zLo) {
        m.reason = QStringLiteral("the files' regions have no pixel in common");
        return m;
    }
    m.xb = xLo;
    m.zb = zLo;
    m.w = xHi - xLo;
    m.h = zHi - zLo;
    const std::size_t n = std::size_t(m.w) * std::size_t(m.h);
    std::vector<double> sumBelow(n, 0.0), sumAbove(n, 0.0);
    for (const EnergyFile &f : files) {
        const bool isBelow = f.energy < e0;
        if (!isBelow && !(f.energy > e0))
            continue;
        if (!grid.read(f.path, zLo, zHi - 1)) {
            m.reason = grid.why();
            return m;
        }
        std::vector<double> &sum = isBelow ? sumBelow : sumAbove;
        for (int z = zLo; z < zHi; ++z)
            for (int x = xLo; x < xHi; ++x)
                sum[std::size_t(z - zLo) * std::size_t(m.w) + std::size_t(x - xLo)] += grid.at(x, z);
    }
    m.vals.resize(n);
    for (std::size_t i = 0; i < n; ++i)
        m.vals[i] = sumAbove[i] / m.above - sumBelow[i] / m.below;
    m.made = true;
    return m;
}

QByteArray JumpMap::text() const
{
    if (!made)
        return {};
    // the values at their place in a grid reaching the region's far corner
    const int N = std::max(xb + w, zb + h);
    std::vector<double> res(std::size_t(N) * std::size_t(N), 0.0);
    for (int z = 0; z < h; ++z)
        std::copy_n(vals.begin() + std::ptrdiff_t(z) * w, w,
                    res.begin() + std::ptrdiff_t(z + zb) * N + xb);
    const double inf = std::numeric_limits<double>::infinity();
    return DataFileText::make(res.data(), N, SliceRegion{double(xb), double(zb), double(xb + w), double(zb + h)},
                              -inf, inf, 0.0);
}
