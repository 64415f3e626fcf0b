#include "DataFileText.h"
#include "DecimalG6.h"

#include <charconv>
#include <cmath>

namespace {
double clampBound(double v, int N)
{
    if (std::isnan(v) || v < 0)
        return 0;
    return v > N ? double(N) : v;
}
}

SliceRegion DataFileText::clipped(const SliceRegion &r, int N)
{
    if (N < 0)
        N = 0;
    return SliceRegion{clampBound(r.x0, N), clampBound(r.z0, N), clampBound(r.x1, N),
                          clampBound(r.z1, N)};
}

void DataFileText::appendNumber(QByteArray &out, double v)
{
    char buf[DecimalG6::maxLength];
    out.append(buf, int(DecimalG6::write(buf, v) - buf));
}

void DataFileText::appendInt(QByteArray &out, int v)
{
    char buf[16];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, int(r.ptr - buf));
}

QByteArray DataFileText::make(const double *res, int N, const SliceRegion &region,
                              double lowerLimit, double upperLimit, double dataOffset)
{
    if (!res)
        N = 0;
    const SliceRegion c = clipped(region, N);
    const int xb = int(c.x0), zb = int(c.z0);   // trunc: the bounds are >= 0
    // one past the last integer below the upper bound
    const int xe = int(std::ceil(c.x1)), ze = int(std::ceil(c.z1));

    QByteArray out;
    const qint64 lines = qint64(std::max(0, xe - xb)) * std::max(0, ze - zb);
    out.reserve(int(std::min<qint64>(lines * 20 + 256, 1 << 30)));
    out.append("#TOMX-CTImg\n");
    out.append("# Range_X0       : ");
    appendNumber(out, c.x0);
    out.append("\n# Range_Y0       : ");
    appendNumber(out, c.z0);
    out.append("\n# Range_X1       : ");
    appendNumber(out, c.x1 - 1);
    out.append("\n# Range_Y1       : ");
    appendNumber(out, c.z1 - 1);
    out.append("\n# sx,sy, ex,ey   : ");
    appendNumber(out, c.x0);
    out.append('\t');
    appendNumber(out, c.z0);
    out.append('\t');
    appendNumber(out, c.x1 - 1);
    out.append('\t');
    appendNumber(out, c.z1 - 1);
    out.append('\n');

    char buf[64];
    for (int z = zb; z < ze; ++z) {
        const double *row = res + std::size_t(z) * std::size_t(N);
        char zText[16];
        const auto zr = std::to_chars(zText, zText + sizeof zText, z);
        const int zLen = int(zr.ptr - zText);
        for (int x = xb; x < xe; ++x) {
            char *p = std::to_chars(buf, buf + 16, x).ptr;
            *p++ = '\t';
            for (int k = 0; k < zLen; ++k)
                *p++ = zText[k];
            *p++ = '\t';
            p = DecimalG6::write(p, limited(row[x], lowerLimit, upperLimit, dataOffset));
            *p++ = '\n';
            out.append(buf, int(p - buf));
        }
    }
    return out;
}
