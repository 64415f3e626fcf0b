#include "DataFileGrid.h"

#include <QFile>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace {

const char magic[] = "#TOMX-CTImg";

// The end of the line starting at p (its '\n', or end).
const char *lineEnd(const char *p, const char *end)
{
    const void *nl = std::memchr(p, '\n', std::size_t(end - p));
    return nl ? static_cast<const char *>(nl) : end;
}

// A bound of the header: the number after the line's ':'.
bool headerNumber(const char *p, const char *e, double *v)
{
    const char *colon = static_cast<const char *>(std::memchr(p, ':', std::size_t(e - p)));
    if (!colon)
        return false;
    const char *q = colon + 1;
    while (q < e && (*q == ' ' || *q == '\t'))
        ++q;
    const auto r = std::from_chars(q, e, *v);
    return r.ec == std::errc() && std::isfinite(*v);
}

} // namespace

bool DataFileGrid::fail(const QString &file, const QString &what)
{
    reason = QStringLiteral("%1: %2").arg(file, what);
    vals.clear();
    rows = 0;
    return false;
}

bool DataFileGrid::parseHeader(const char *text, qint64 size, qint64 *body, const QString &file)
{
    const char *p = text, *end = text + size;
    const char *e = lineEnd(p, end);
    if (std::size_t(e - p) < sizeof magic - 1 || std::memcmp(p, magic, sizeof magic - 1) != 0)
        return fail(file, QStringLiteral("not a \"#TOMX-CTImg\" data file"));
    double b[4];
    bool seen[4] = {false, false, false, false};
    const char *keys[4] = {"Range_X0", "Range_Y0", "Range_X1", "Range_Y1"};
    p = e < end ? e + 1 : end;
    while (p < end && *p == '#') {
        e = lineEnd(p, end);
        for (int k = 0; k < 4; ++k) {
            const std::size_t n = std::strlen(keys[k]);
            const char *at = std::search(p, e, keys[k], keys[k] + n);
            if (at != e && !seen[k]) {
                if (!headerNumber(at + n, e, &b[k]))
                    return fail(file, QStringLiteral("header line %1 without a number").arg(keys[k]));
                seen[k] = true;
            }
        }
        p = e < end ? e + 1 : end;
    }
    for (int k = 0; k < 4; ++k)
        if (!seen[k])
            return fail(file, QStringLiteral("no header line %1").arg(keys[k]));
    // the header names the last pixel; the bounds were clipped to 0 .. N
    const double big = 1 << 20;
    for (double v : b)
        if (v < -1 || v > big)
            return fail(file, QStringLiteral("region outside 0 .. %1").arg(big));
    xb = int(b[0]);
    zb = int(b[1]);
    w = std::max(0, int(std::ceil(b[2] + 1)) - xb);
    h = std::max(0, int(std::ceil(b[3] + 1)) - zb);
    *body = p - text;
    return true;
}

bool DataFileGrid::begin(QFile &f)
{
    reason.clear();
    vals.clear();
    rows = 0;
    return f.open(QIODevice::ReadOnly) || fail(f.fileName(), f.errorString());
}

bool DataFileGrid::readHeader(const QString &file)
{
    QFile f(file);
    if (!begin(f))
        return false;
    // six lines of at most a few dozen characters
    const QByteArray head = f.read(4096);
    qint64 body = 0;
    return parseHeader(head.constData(), head.size(), &body, file);
}

bool DataFileGrid::read(const QString &file, int zFrom, int zTo)
{
    QFile f(file);
    if (!begin(f))
        return false;
    QByteArray whole;
    const char *text = nullptr;
    qint64 size = f.size();
    if (uchar *m = size > 0 ? f.map(0, size) : nullptr) {
        text = reinterpret_cast<const char *>(m);
    } else {
        whole = f.readAll();
        text = whole.constData();
        size = whole.size();
    }
    qint64 body = 0;
    if (!parseHeader(text, size, &body, file))
        return false;

    // every pixel line takes at least "x<TAB>z<TAB>v<LF>": a header that
    // claims more lines than the file can hold is refused before anything
    // is made for them
    if (qint64(w) * h > (size - body) / 6 + 1)
        return fail(file, QStringLiteral("header region of %1 x %2 pixels larger than the file").arg(w).arg(h));
    zr0 = std::max(zb, zFrom);
    const int zEnd = int(std::min<qint64>(qint64(zb) + h, qint64(zTo) + 1));
    const int want = std::max(0, zEnd - zr0);
    vals.assign(std::size_t(want) * std::size_t(w), 0.0);

    const char *p = text + body, *end = text + size;
    // rows before zFrom are stepped over; none at all when no row is wanted
    for (int z = zb; want > 0 && z < zr0 + want; ++z) {
        const bool keep = z >= zr0;
        for (int x = xb; x < xb + w; ++x) {
            if (p >= end)
                return fail(file, QStringLiteral("ends before pixel (%1, %2)").arg(x).arg(z));
            const char *e = lineEnd(p, end);
            if (keep) {
                int lx = 0, lz = 0;
                double v = 0;
                auto r = std::from_chars(p, e, lx);
                bool ok = r.ec == std::errc() && r.ptr < e && *r.ptr == '\t';
                if (ok) {
                    r = std::from_chars(r.ptr + 1, e, lz);
                    ok = r.ec == std::errc() && r.ptr < e && *r.ptr == '\t';
                }
                if (ok) {
                    r = std::from_chars(r.ptr + 1, e, v);
                    ok = r.ec == std::errc() && std::isfinite(v)
                         && (r.ptr == e || (*r.ptr == '\r' && r.ptr + 1 == e));
                }
                if (!ok || lx != x || lz != z)
                    return fail(file, QStringLiteral("no line for pixel (%1, %2) where it belongs").arg(x).arg(z));
                vals[std::size_t(z - zr0) * std::size_t(w) + std::size_t(x - xb)] = v;
            }
            p = e < end ? e + 1 : end;
        }
    }
    rows = want;
    return true;
}

bool DataFileGrid::meanOver(int x0, int z0, int x1, int z1, double *mean, int *count) const
{
    double sum = 0;
    int n = 0;
    for (int z = std::max(z0, zr0); z <= std::min(z1, zr0 + rows - 1); ++z)
        for (int x = std::max(x0, xb); x <= std::min(x1, xb + w - 1); ++x) {
            sum += at(x, z);
            ++n;
        }
    if (count)
        *count = n;
    if (n == 0)
        return false;
    *mean = sum / n;
    return true;
}
