#include "ShiftFinder.h"
#include "FftwLock.h"
#include "ImgData.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <complex>

namespace {

constexpr double pi = 3.14159265358979323846;
using cplx = std::complex<double>;

// fftw_malloc'ed complex array, freed with its owner.
struct FftwArray {
    explicit FftwArray(std::size_t n) : p(static_cast<fftw_complex *>(fftw_malloc(sizeof(fftw_complex) * n))) {}
    ~FftwArray() { fftw_free(p); }
    FftwArray(const FftwArray &) = delete;
    FftwArray &operator=(const FftwArray &) = delete;
    fftw_complex *p;
};

// A plan made and destroyed under the planner lock.
struct Plan {
    Plan(int h, int w, fftw_complex *in, fftw_complex *out, int sign)
    {
        if (!in || !out)
            return;     // memory short: no plan, the finder says so
        FftwLock lock;
        p = fftw_plan_dft_2d(h, w, in, out, sign, FFTW_ESTIMATE);
    }
    ~Plan()
    {
        FftwLock lock;
        if (p)
            fftw_destroy_plan(p);
    }
    Plan(const Plan &) = delete;
    Plan &operator=(const Plan &) = delete;
    fftw_plan p = nullptr;
};

// A weight that falls to 0 over the outer eighth of [0, n): the images are
// taken as periodic by the transform, and their borders must not meet.
std::vector<double> taper(int n)
{
    std::vector<double> w(std::size_t(n), 1.0);
    const int m = std::max(1, n / 8);
    for (int i = 0; i < m && i < n; ++i) {
        const double f = 0.5 - 0.5 * std::cos(pi * (i + 0.5) / m);
        w[std::size_t(i)] = f;
        w[std::size_t(n - 1 - i)] = f;
    }
    return w;
}

// Signed frequency of index k of n.
int signedFreq(int k, int n)
{
    return k <= n / 2 ? k : k - n;
}

}   // namespace

std::vector<int> ShiftFinder::viewsOf(int n, int views)
{
    std::vector<int> v;
    if (n < 1)
        return v;
    if (views < 1)
        views = 1;
    if (n <= views) {
        for (int i = 0; i < n; ++i)
            v.push_back(i);
        return v;
    }
    for (int k = 0; k < views; ++k) {
        const int i = views > 1 ? int(std::lround(double(k) * (n - 1) / (views - 1))) : 0;
        if (v.empty() || v.back() != i)
            v.push_back(i);
    }
    return v;
}

ShiftFinder::Plane ShiftFinder::absorbance(const ImgData &image, const ImgData *i0, const ImgData *bg)
{
    Plane p;
    p.w = image.width;
    p.h = image.height;
    if (p.w < 1 || p.h < 1)
        return Plane();
    const auto fits = [&](const ImgData *d) { return d && d->width == p.w && d->height == p.h; };
    if (!fits(i0))
        i0 = nullptr;
    if (!fits(bg))
        bg = nullptr;
    p.v.assign(std::size_t(p.w) * std::size_t(p.h), 0.0);
    std::vector<double> li(std::size_t(p.w)), l0(std::size_t(p.w), 1.0), lb(std::size_t(p.w), 0.0);
    for (int y = 0; y < p.h; ++y) {
        image.readRow(y, li.data());
        if (i0)
            i0->readRow(y, l0.data());
        if (bg)
            bg->readRow(y, lb.data());
        double *out = p.v.data() + std::size_t(y) * std::size_t(p.w);
        for (int x = 0; x < p.w; ++x) {
            double a = l0[std::size_t(x)] - lb[std::size_t(x)];
            double b = li[std::size_t(x)] - lb[std::size_t(x)];
            if (!(a > 0))
                a = 1.0;
            if (!(b > 0))
                b = 1.0;
            const double v = std::log(a / b);
            out[x] = std::isfinite(v) ? v : 0.0;
        }
    }
    return p;
}

namespace {

// Value of p at (x, y) by separable cubic (Catmull-Rom) interpolation, pixels
// past the border taking the border's value.
double cubicAt(const ShiftFinder::Plane &p, double x, double y)
{
    const int ix = int(std::floor(x)), iy = int(std::floor(y));
    const double fx = x - ix, fy = y - iy;
    const auto weights = [](double f, double *w) {
        const double f2 = f * f, f3 = f2 * f;
        w[0] = 0.5 * (-f3 + 2 * f2 - f);
        w[1] = 0.5 * (3 * f3 - 5 * f2 + 2);
        w[2] = 0.5 * (-3 * f3 + 4 * f2 + f);
        w[3] = 0.5 * (f3 - f2);
    };
    double wx[4], wy[4];
    weights(fx, wx);
    weights(fy, wy);
    double sum = 0;
    for (int j = 0; j < 4; ++j) {
        const int yy = std::clamp(iy - 1 + j, 0, p.h - 1);
        const double *row = p.v.data() + std::size_t(yy) * std::size_t(p.w);
        double r = 0;
        for (int i = 0; i < 4; ++i)
            r += wx[i] * row[std::clamp(ix - 1 + i, 0, p.w - 1)];
        sum += wy[j] * r;
    }
    return sum;
}

// p moved by (-dx, -dy): what lies at (x + dx, y + dy) comes to (x, y).
ShiftFinder::Plane movedBack(const ShiftFinder::Plane &p, double dx, double dy)
{
    ShiftFinder::Plane q;
    q.w = p.w;
    q.h = p.h;
    q.v.resize(p.v.size());
    for (int y = 0; y < p.h; ++y)
        for (int x = 0; x < p.w; ++x)
            q.v[std::size_t(y) * std::size_t(p.w) + std::size_t(x)] = cubicAt(p, x + dx, y + dy);
    return q;
}

// The phase correlation of a set of planes against the reference spectra,
// with its peak refined (see the header).
class Correlator
{
public:
    Correlator(int w, int h)
        : w(w), h(h), n(std::size_t(w) * std::size_t(h)), in(n), out(n), sum(n),
          tx(taper(w)), ty(taper(h)), fwd(h, w, in.p, out.p, FFTW_FORWARD),
          inv(h, w, sum.p, in.p, FFTW_BACKWARD), lowPass(n)
    {
        // The whitened spectrum weighted towards low frequencies: point
        // samples of sharp edges alias, and the aliased part moves otherwise
        // than the sample does.
        for (int v = 0; v < h; ++v)
            for (int u = 0; u < w; ++u) {
                const double fu = double(signedFreq(u, w)) / w, fv = double(signedFreq(v, h)) / h;
                lowPass[std::size_t(v) * std::size_t(w) + std::size_t(u)] =
                    std::exp(-(fu * fu + fv * fv) / (2 * ShiftFinder::band * ShiftFinder::band));
            }
    }
    bool planned() const { return fwd.p && inv.p; }

    // The windowed spectrum of a plane.
    std::vector<cplx> spectrum(const ShiftFinder::Plane &p)
    {
        double mean = 0;
        for (double v : p.v)
            mean += v;
        mean /= double(n);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const std::size_t i = std::size_t(y) * std::size_t(w) + std::size_t(x);
                in.p[i][0] = (p.v[i] - mean) * ty[std::size_t(y)] * tx[std::size_t(x)];
                in.p[i][1] = 0;
            }
        fftw_execute_dft(fwd.p, in.p, out.p);
        std::vector<cplx> f(n);
        for (std::size_t i = 0; i < n; ++i)
            f[i] = cplx(out.p[i][0], out.p[i][1]);
        return f;
    }

    // The shift of `set` against the reference spectra; false when nothing
    // could be correlated.
    bool shift(const std::vector<std::vector<cplx>> &ref, const std::vector<ShiftFinder::Plane> &set,
               double *dx, double *dy, double *peak)
    {
        std::fill(&sum.p[0][0], &sum.p[0][0] + 2 * n, 0.0);
        int used = 0;
        for (std::size_t k = 0; k < ref.size(); ++k) {
            const std::vector<cplx> fs = spectrum(set[k]);
            double energy = 0;
            for (std::size_t i = 0; i < n; ++i) {
                const cplx c = fs[i] * std::conj(ref[k][i]);
                const double m = std::abs(c);
                energy += m;
                if (m > 0) {
                    sum.p[i][0] += lowPass[i] * c.real() / m;
                    sum.p[i][1] += lowPass[i] * c.imag() / m;
                }
            }
            if (energy > 0)
                ++used;
        }
        if (used == 0)
            return false;
        for (std::size_t i = 0; i < n; ++i) {
            sum.p[i][0] /= double(used);
            sum.p[i][1] /= double(used);
        }
        // the integer peak of the correlation surface
        fftw_execute(inv.p);
        std::size_t best = 0;
        for (std::size_t i = 1; i < n; ++i)
            if (in.p[i][0] > in.p[best][0])
                best = i;
        const int px = signedFreq(int(best % std::size_t(w)), w);
        const int py = signedFreq(int(best / std::size_t(w)), h);

        // the surface on a 0.05-pixel grid about it, as the DFT of the summed
        // spectrum, separable in x and y
        constexpr int steps = 15;           // each side: 0.75 pixel
        constexpr double step = 0.05;
        constexpr int m = 2 * steps + 1;
        std::vector<cplx> ex(std::size_t(w) * m), ey(std::size_t(h) * m);
        for (int u = 0; u < w; ++u)
            for (int j = 0; j < m; ++j)
                ex[std::size_t(u) * m + std::size_t(j)] =
                    std::polar(1.0, 2 * pi * signedFreq(u, w) * (px + (j - steps) * step) / w);
        for (int v = 0; v < h; ++v)
            for (int j = 0; j < m; ++j)
                ey[std::size_t(v) * m + std::size_t(j)] =
                    std::polar(1.0, 2 * pi * signedFreq(v, h) * (py + (j - steps) * step) / h);
        std::vector<cplx> t(std::size_t(h) * m, cplx(0, 0));   // t[v][jx] = sum_u R[v][u] ex[u][jx]
        for (int v = 0; v < h; ++v) {
            cplx *tv = t.data() + std::size_t(v) * m;
            const fftw_complex *row = sum.p + std::size_t(v) * std::size_t(w);
            for (int u = 0; u < w; ++u) {
                const cplx rv(row[u][0], row[u][1]);
                const cplx *e = ex.data() + std::size_t(u) * m;
                for (int j = 0; j < m; ++j)
                    tv[j] += rv * e[j];
            }
        }
        std::vector<double> c(std::size_t(m) * m, 0.0);     // c[jy][jx]
        for (int jy = 0; jy < m; ++jy)
            for (int jx = 0; jx < m; ++jx) {
                cplx s(0, 0);
                for (int v = 0; v < h; ++v)
                    s += t[std::size_t(v) * m + std::size_t(jx)] * ey[std::size_t(v) * m + std::size_t(jy)];
                c[std::size_t(jy) * m + std::size_t(jx)] = s.real() / double(n);
            }
        const auto at = [&](int jx, int jy) { return c[std::size_t(jy) * m + std::size_t(jx)]; };
        int bx = steps, by = steps;
        for (int jy = 0; jy < m; ++jy)
            for (int jx = 0; jx < m; ++jx)
                if (at(jx, jy) > at(bx, by)) {
                    bx = jx;
                    by = jy;
                }
        // a parabola through the best point and its neighbours, per axis
        const auto vertex = [](double l, double mid, double rgt) {
            const double d = l - 2 * mid + rgt;
            return d < 0 ? std::clamp(0.5 * (l - rgt) / d, -0.5, 0.5) : 0.0;
        };
        double fx = 0, fy = 0;
        if (bx > 0 && bx < m - 1)
            fx = vertex(at(bx - 1, by), at(bx, by), at(bx + 1, by));
        if (by > 0 && by < m - 1)
            fy = vertex(at(bx, by - 1), at(bx, by), at(bx, by + 1));
        *peak = at(bx, by);
        *dx = px + (bx - steps + fx) * step;
        *dy = py + (by - steps + fy) * step;
        return true;
    }

private:
    int w, h;
    std::size_t n;
    FftwArray in, out, sum;
    std::vector<double> tx, ty;
    Plan fwd, inv;
    std::vector<double> lowPass;
};

}   // namespace

ShiftFinder::Result ShiftFinder::find(const std::vector<Plane> &ref, const std::vector<Plane> &set)
{
    Result r;
    if (ref.empty() || ref.size() != set.size()) {
        r.error = QStringLiteral("%1 reference projection(s) against %2").arg(ref.size()).arg(set.size());
        return r;
    }
    const int w = ref.front().w, h = ref.front().h;
    for (std::size_t k = 0; k < ref.size(); ++k)
        for (const Plane *p : {&ref[k], &set[k]})
            if (p->w != w || p->h != h || p->v.size() != std::size_t(w) * std::size_t(h)) {
                r.error = QStringLiteral("projections of %1 x %2 against %3 x %4")
                              .arg(w).arg(h).arg(p->w).arg(p->h);
                return r;
            }
    if (w < 4 || h < 4) {
        r.error = QStringLiteral("projections of %1 x %2 are too small to correlate").arg(w).arg(h);
        return r;
    }
    Correlator corr(w, h);
    if (!corr.planned()) {
        r.error = QStringLiteral("no transform of %1 x %2").arg(w).arg(h);
        return r;
    }
    std::vector<std::vector<cplx>> refSpectra;
    for (const Plane &p : ref)
        refSpectra.push_back(corr.spectrum(p));
    // The window that keeps the borders apart stays where it is while the
    // content moves under it, which pulls a shift towards 0. So the set is
    // moved back by the shift found and what is left is found again, until
    // it is small: then both sets lie alike under the window.
    double dx = 0, dy = 0, peak = 0;
    std::vector<Plane> moved = set;
    for (int round = 0; round < maxRounds; ++round) {
        double rx = 0, ry = 0;
        if (!corr.shift(refSpectra, moved, &rx, &ry, &peak)) {
            r.error = QStringLiteral("the projections carry nothing to correlate");
            return r;
        }
        if (!std::isfinite(rx) || !std::isfinite(ry))
            break;
        dx += rx;
        dy += ry;
        if (round == 0 && !(peak >= minPeak))
            break;      // nothing clear to refine
        if (std::abs(rx) < 0.002 && std::abs(ry) < 0.002)
            break;
        if (round + 1 < maxRounds)
            for (std::size_t k = 0; k < set.size(); ++k)
                moved[k] = movedBack(set[k], dx, dy);
    }
    r.peak = peak;
    r.dx = dx;
    r.dy = dy;
    if (!(peak >= minPeak) || !std::isfinite(dx) || !std::isfinite(dy)) {
        r.error = QStringLiteral("no clear correlation peak (height %1, at least %2 wanted)")
                      .arg(QString::number(peak, 'g', 3)).arg(minPeak);
        return r;
    }
    r.ok = true;
    return r;
}
