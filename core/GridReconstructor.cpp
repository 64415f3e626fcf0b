#include "GridReconstructor.h"
#include "CtCore.h"
#include "FftwLock.h"
#include "HSgm.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace {
constexpr int W = GridReconstructor::kernelWidth;
constexpr int tabCells = 1024;      // table samples per grid cell

bool smooth(int m)
{
    for (int p : {2, 3, 5, 7})
        while (m % p == 0)
            m /= p;
    return m == 1;
}

// The frequency grid on 2 MB pages where the system offers them: samples
// are spread over it row by row, one 4 kB page per row otherwise (a
// translation miss for nearly every cell written).
void *allocGrid(std::size_t bytes)
{
#ifdef __linux__
    constexpr std::size_t huge = std::size_t(2) << 20;
    const std::size_t rounded = (bytes + huge - 1) / huge * huge;
    void *p = std::aligned_alloc(huge, rounded);
    if (p)
        madvise(p, rounded, MADV_HUGEPAGE);
    return p;
#else
    return fftw_malloc(bytes);
#endif
}

void freeGrid(void *p)
{
#ifdef __linux__
    std::free(p);
#else
    fftw_free(p);
#endif
}

constexpr int phases = 4096;        // offsets within a cell of the phase table
constexpr int prefetchDistance = 6; // samples between a prefetch and its use

// floor() for the grid's coordinates (finite, far below 2^62) without a
// call into the maths library.
inline double floorOf(double v)
{
    const double t = double(static_cast<long long>(v));
    return t > v ? t - 1 : t;
}

// A coordinate folded into -h .. h (h = M / 2), the period M.
inline double foldInto(double v, double M, double h)
{
    return v >= -h && v < h ? v : v - M * floorOf((v + h) * (1.0 / M));
}

// Cell index folded into 0 .. M-1.
inline int wrap(int c, int M)
{
    while (c < 0)
        c += M;
    while (c >= M)
        c -= M;
    return c;
}

// The region in pixels, x from trunc(x0) while x < x1 (z alike), clipped to
// 0 .. N; a bound that is not a number leaves nothing.
void clip(const SliceRegion &r, int N, int &xb, int &xe, int &zb, int &ze)
{
    auto lo = [N](double a) { return !(a == a) ? N : a <= 0 ? 0 : a >= N ? N : int(std::trunc(a)); };
    auto hi = [N](double b) { return !(b == b) ? 0 : b <= 0 ? 0 : b >= N ? N : int(std::ceil(b)); };
    xb = lo(r.x0);
    xe = hi(r.x1);
    zb = lo(r.z0);
    ze = hi(r.z1);
}

}

GridReconstructor::~GridReconstructor()
{
    release();
}

int GridReconstructor::gridStrideFor(int M)
{
    // whole cache lines of 4 cells, an odd number of them: rows then fall
    // into different cache sets (with M / 2 + 1 cells, 2^k + 1, rows lie
    // a power of two apart and a run down a column evicts itself)
    int s = (M / 2 + 1 + 3) / 4;
    if (s % 2 == 0)
        ++s;
    return 4 * s;
}

int GridReconstructor::gridSizeFor(int N)
{
    if (N < 2 || N > (1 << 28))
        return 0;
    int m = 2 * N;
    while (!smooth(m) || m % 2)
        ++m;
    return m;
}

void GridReconstructor::release()
{
    {
        FftwLock lock;
        for (fftw_plan *p : {&fwdPlan, &bwdPlan, &gridPlan, &colPlan, &rowPlan}) {
            if (*p)
                fftw_destroy_plan(*p);
            *p = nullptr;
        }
    }
    fftw_free(rowIn);
    fftw_free(rowSpec);
    fftw_free(rowBack);
    fftw_free(backSpec);
    fftw_free(rows);
    fftw_free(gridIn);
    fftw_free(gridSpec);
    freeGrid(grid);
    rowIn = rowBack = rows = gridIn = nullptr;
    rowSpec = backSpec = gridSpec = grid = nullptr;
    std::vector<double>().swap(res);
    std::vector<double>().swap(kernelTab);
    std::vector<double>().swap(phaseTab);
    std::vector<double>().swap(deapod);
    std::vector<double>().swap(weightTab);
    std::vector<double>().swap(filterTab);
    std::vector<double>().swap(aliasTab);
    std::vector<double>().swap(cosTab);
    std::vector<double>().swap(sinTab);
    std::vector<int>().swap(rimX);
    std::vector<int>().swap(rimZ);
    std::vector<double>().swap(rimSum);
    std::vector<double>().swap(phaseRe);
    std::vector<double>().swap(phaseIm);
    resValid = false;
    N_ = n_ = L_ = M_ = S_ = 0;
}

double GridReconstructor::kernelTransform(double nu) const
{
    // C(d) = I0(beta sqrt(1 - (2d / W)^2)) on |d| <= W/2 has the transform
    // W sinh(sqrt(beta^2 - (pi W nu)^2)) / sqrt(...) (sin past the zero)
    const double a = beta * beta - (M_PI * W * nu) * (M_PI * W * nu);
    if (a > 1e-12) {
        const double r = std::sqrt(a);
        return W * std::sinh(r) / r;
    }
    if (a < -1e-12) {
        const double r = std::sqrt(-a);
        return W * std::sin(r) / r;
    }
    return W;
}

double GridReconstructor::kernelAt(double d) const
{
    const double u = std::fabs(d) * tabPerCell;
    const int j = int(u);
    if (j >= int(kernelTab.size()) - 1)
        return 0;
    const double f = u - j;
    return kernelTab[std::size_t(j)] + (kernelTab[std::size_t(j) + 1] - kernelTab[std::size_t(j)]) * f;
}

bool GridReconstructor::prepare(int N, int n, const RampFilter &filter)
{
    if (n < 0)
        n = 0;
    if (N >= 2 && N == N_ && n == n_ && filter == prepared_)
        return true;
    release();
    if (N < 2)
        return false;
    const int L = filter.transformLength(N);
    const int M = gridSizeFor(N);
    if (L < N || M < 2 * N)
        return false;
    const std::size_t half = std::size_t(L / 2 + 1);
    rowIn = static_cast<double *>(fftw_malloc(sizeof(double) * std::size_t(L)));
    rowBack = static_cast<double *>(fftw_malloc(sizeof(double) * std::size_t(L)));
    rowSpec = static_cast<fftw_complex *>(fftw_malloc(sizeof(fftw_complex) * half));
    backSpec = static_cast<fftw_complex *>(fftw_malloc(sizeof(fftw_complex) * half));
    const int R = N;
    gridIn = static_cast<double *>(fftw_malloc(sizeof(double) * std::size_t(R)));
    gridSpec = static_cast<fftw_complex *>(fftw_malloc(sizeof(fftw_complex) * std::size_t(R / 2 + 1)));
    rows = static_cast<double *>(fftw_malloc(sizeof(double) * std::size_t(N) * std::size_t(std::max(n, 1))));
    const int S = gridStrideFor(M);
    const std::size_t gridCells = std::size_t(M) * std::size_t(S);
    grid = static_cast<fftw_complex *>(allocGrid(sizeof(fftw_complex) * gridCells));
    bool ok = rowIn && rowBack && rowSpec && backSpec && gridIn && gridSpec && rows && grid;
    if (ok) {
        // Measured plans (the grid's inverse transform a fifth faster than
        // an estimated one). Measuring overwrites the arrays, so it comes
        // before anything is put in them; FFTW keeps what it learnt for the
        // process, so only the first prepare of a size pays the measuring
        // (seconds at N = 2048) and every later one gets the same plans.
        FftwLock lock;
        const unsigned flags = FFTW_MEASURE;
        fwdPlan = fftw_plan_dft_r2c_1d(L, rowIn, rowSpec, flags);
        bwdPlan = fftw_plan_dft_c2r_1d(L, backSpec, rowBack, flags);
        gridPlan = fftw_plan_dft_r2c_1d(R, gridIn, gridSpec, flags);
        // every column (x frequency 0 .. M/2) along z
        const int len[1] = {M};
        colPlan = fftw_plan_many_dft(1, len, M / 2 + 1, grid, nullptr, S, 1, grid, nullptr,
                                     S, 1, FFTW_BACKWARD, flags);
        // the N rows about the centre, in place: a row of M / 2 + 1 complex
        // values becomes M (+ 2 unused) real ones
        fftw_complex *first = grid + std::size_t(M / 2 - N / 2) * std::size_t(S);
        rowPlan = fftw_plan_many_dft_c2r(1, len, N, first, nullptr, 1, S,
                                         reinterpret_cast<double *>(first), nullptr, 1, 2 * S,
                                         flags);
        ok = fwdPlan && bwdPlan && gridPlan && colPlan && rowPlan;
    }
    if (!ok) {
        release();
        return false;
    }
    N_ = N;
    n_ = n;
    L_ = L;
    M_ = M;
    S_ = S;
    R_ = R;
    prepared_ = filter;

    // ramp and window as back-projection's table
    CtCore::filterTable(filter, N, L, rowIn, rowSpec, fwdPlan, &filterTab);

    // The filtered row, zero beyond its N samples, transformed over M: its
    // frequency k / M sits k cells from the grid's centre. sinc^2 is the
    // transfer of linear interpolation; the bands next to the base band
    // (f - 1 and f + 1) carry what linear interpolation adds above Nyquist,
    // their weight sinc^2(f -+ 1) / sinc^2(f).
    const double g = N / 2;
    weightTab.assign(std::size_t(R / 2 + 1), 0.0);
    aliasTab.assign(std::size_t(2 * (R / 2 + 1)), 0.0);
    phaseRe.assign(std::size_t(R / 2 + 1), 0.0);
    phaseIm.assign(std::size_t(R / 2 + 1), 0.0);
    auto sinc2 = [](double f) {
        if (f == 0)
            return 1.0;
        const double s = std::sin(M_PI * f) / (M_PI * f);
        return s * s;
    };
    for (int k = 0; k <= R / 2; ++k) {
        const double f = double(k) / R;
        // k = 0 and k = M/2 are their own conjugates: each is spread twice
        // (1 / M completes the inverse transform)
        const double ends = ((k == 0 || 2 * k == R) ? 0.5 : 1.0) / R;
        weightTab[std::size_t(k)] = sinc2(f) * ends;
        // (left out where they weigh under 1 %: a third fewer samples, the
        // result within 0.003 % of the range of keeping them)
        aliasTab[2 * std::size_t(k)] = sinc2(f - 1) >= 0.01 ? sinc2(f - 1) * ends : 0;
        aliasTab[2 * std::size_t(k) + 1] = sinc2(f + 1) >= 0.01 ? sinc2(f + 1) * ends : 0;
        const double ph = 2.0 * M_PI * double(k) * g / R;
        phaseRe[std::size_t(k)] = std::cos(ph);
        phaseIm[std::size_t(k)] = std::sin(ph);
    }

    // Kaiser-Bessel shape for oversampling s = M / N (Beatty, Nishimura and
    // Pauly 2005): beta = pi sqrt((W / s)^2 (s - 1/2)^2 - 0.8)
    const double s = double(M) / N;
    beta = M_PI * std::sqrt((W / s) * (W / s) * (s - 0.5) * (s - 0.5) - 0.8);
    tabPerCell = tabCells;
    kernelTab.assign(std::size_t(W / 2 * tabCells + 2), 0.0);
    for (std::size_t j = 0; j < kernelTab.size(); ++j) {
        const double d = double(j) / tabPerCell;
        const double t = 2.0 * d / W;
        kernelTab[j] = t <= 1 ? std::cyl_bessel_i(0.0, beta * std::sqrt(1 - t * t)) : 0.0;
    }
    // the W weights for each of phases + 1 offsets f = p / phases of a point
    // past its cell: cell a (0 .. W-1) lies at distance f + W/2 - 1 - a,
    // and carries the sign (-1)^a
    phaseTab.assign(std::size_t(phases + 1) * W, 0.0);
    for (int p = 0; p <= phases; ++p)
        for (int a = 0; a < W; ++a)
            phaseTab[std::size_t(p) * W + std::size_t(a)] =
                ((a & 1) ? -1.0 : 1.0) * kernelAt(double(p) / phases + W / 2 - 1 - a);
    deapod.assign(std::size_t(N), 0.0);
    for (int x = 0; x < N; ++x)
        deapod[std::size_t(x)] = 1.0 / kernelTransform(double(x - N / 2) / M);
    cosTab.assign(std::size_t(n), 0.0);
    sinTab.assign(std::size_t(n), 0.0);
    // the outermost ring's pixels, row by row
    const double gc = N / 2;
    for (int z = 0; z < N; ++z)
        for (int x = 0; x < N; ++x) {
            const double r = std::sqrt((x - gc) * (x - gc) + (z - gc) * (z - gc));
            if (r < gc && r >= gc - rimWidth) {
                rimX.push_back(x);
                rimZ.push_back(z);
            }
        }
    rimSum.assign(rimX.size(), 0.0);
    res.reserve(std::size_t(N) * std::size_t(N));
    return true;
}

void GridReconstructor::clearResult()
{
    res.assign(std::size_t(N_) * std::size_t(N_), 0.0);
    resValid = false;
}

void GridReconstructor::filterRow(int i, const double *row)
{
    // back-projection's filtered row (CtCore::filterSpectrum)
    const int N = N_, L = L_;
    std::memcpy(rowIn, row, sizeof(double) * std::size_t(N));
    RampFilter::pad(rowIn, N, L, prepared_.padding);
    fftw_execute(fwdPlan);
    for (int k = 0; k <= L / 2; ++k) {
        backSpec[k][0] = rowSpec[k][0] * filterTab[std::size_t(k)];
        backSpec[k][1] = rowSpec[k][1] * filterTab[std::size_t(k)];
    }
    fftw_execute(bwdPlan);
    const double div = double(L) * double(std::max(n_, 1));
    double *f = rows + std::size_t(i) * std::size_t(N);
    for (int k = 0; k < N; ++k)
        f[k] = rowBack[k] / div;
}

void GridReconstructor::filter(const HSgm &h)
{
    if (N_ < 2)
        return;
    for (int i = 0; i < n_ && i < h.height; ++i)
        filterRow(i, h.sgmRow(i));
}

void GridReconstructor::spread(double px, double pz, double re, double im, bool anyCell)
{
    const int M = M_, half = M / 2;
    const double fx = floorOf(px), fz = floorOf(pz);
    const int x0 = int(fx) - (W / 2 - 1), z0 = int(fz) - (W / 2 - 1);
    // the W weights of each direction from the phase table, the sign
    // (-1)^cell completed by the parity of the first cell
    const double *wx = phaseTab.data() + std::size_t(int((px - fx) * phases + 0.5)) * W;
    const double *wz = phaseTab.data() + std::size_t(int((pz - fz) * phases + 0.5)) * W;
    if ((x0 ^ z0) & 1) {
        re = -re;
        im = -im;
    }
    const std::size_t stride = std::size_t(S_);
    if (!anyCell) {
        // W neighbouring columns inside the stored half; rows folded
        for (int b = 0; b < W; ++b) {
            int r = z0 + b;
            r += r < 0 ? M : r >= M ? -M : 0;
            double *line = &grid[std::size_t(r) * stride + std::size_t(x0)][0];
            const double vr = re * wz[b], vi = im * wz[b];
            for (int a = 0; a < W; ++a) {
                line[2 * a] += vr * wx[a];
                line[2 * a + 1] += vi * wx[a];
            }
        }
        return;
    }
    // near column 0 or M/2: cell by cell; only columns 0 .. M/2 are stored
    // (the rest is conjugate)
    int xi[W], zi[W];
    bool any = false;
    for (int a = 0; a < W; ++a) {
        const int c = wrap(x0 + a, M);
        xi[a] = c <= half ? c : -1;
        any = any || c <= half;
    }
    if (!any)
        return;
    for (int b = 0; b < W; ++b)
        zi[b] = wrap(z0 + b, M);
    for (int b = 0; b < W; ++b) {
        fftw_complex *line = grid + std::size_t(zi[b]) * stride;
        const double vr = re * wz[b], vi = im * wz[b];
        for (int a = 0; a < W; ++a) {
            if (xi[a] < 0)
                continue;
            line[xi[a]][0] += vr * wx[a];
            line[xi[a]][1] += vi * wx[a];
        }
    }
}

void GridReconstructor::spreadPair(double px, double pz, double re, double im)
{
    // folded into the period: -M/2 <= p < M/2 (give or take a rounding;
    // spread() folds rows and, near the ends, columns once more)
    const double M = M_, h = M_ / 2;
    px = foldInto(px, M, h);
    pz = foldInto(pz, M, h);
    // a point W/2 + 1 cells clear of columns 0 and +-M/2 reaches the stored
    // half alone (x > 0) or through its conjugate opposite alone (x < 0)
    const double clear = W / 2 + 1;
    if (px > clear && px < h - clear)
        spread(px, pz, re, im, false);
    else if (px < -clear && px > -h + clear)
        spread(-px, -pz, re, -im, false);
    else {
        spread(px, pz, re, im, true);
        spread(-px, -pz, re, -im, true);
    }
}

void GridReconstructor::prefetchAt(double px, double pz) const
{
    // the rows a sample at p (or its conjugate opposite) will update
    const double M = M_, h = M_ / 2;
    px = foldInto(px, M, h);
    pz = foldInto(pz, M, h);
    if (px < 0) {
        px = -px;
        pz = -pz;
    }
    const int x0 = std::max(0, int(px) - (W / 2 - 1));
    int z0 = int(floorOf(pz)) - (W / 2 - 1);
    if (z0 < 0)
        z0 += M_;
    const std::size_t stride = std::size_t(S_);
    for (int b = 0; b < W; ++b) {
        int r = z0 + b;
        r -= r >= M_ ? M_ : 0;
        const fftw_complex *line = grid + std::size_t(r) * stride + std::size_t(x0);
        __builtin_prefetch(line, 1, 3);
        __builtin_prefetch(line + W - 1, 1, 3);
    }
}

void GridReconstructor::backProjectRim()
{
    // projection by projection, each filtered row read once; each pixel's
    // sum still runs over the projections in order
    const int N = N_;
    const double g = N / 2;
    const std::size_t count = rimSum.size();
    std::fill(rimSum.begin(), rimSum.end(), 0.0);
    for (int i = 0; i < n_; ++i) {
        const double c = cosTab[std::size_t(i)], s = sinTab[std::size_t(i)];
        const double *f = rows + std::size_t(i) * std::size_t(N);
        for (std::size_t p = 0; p < count; ++p) {
            const double t = g + (rimX[p] - g) * c - (rimZ[p] - g) * s;
            if (!(t >= 0 && t < N - 1))     // floor(t) in 0 .. N-2, as back-projection reads
                continue;
            const int j = int(t);
            rimSum[p] += f[j] + (f[j + 1] - f[j]) * (t - j);
        }
    }
}

void GridReconstructor::project(double angleOffsetDeg, const SliceRegion &region)
{
    if (N_ < 2 || n_ < 1 || res.size() != std::size_t(N_) * std::size_t(N_))
        return;
    const int N = N_, M = M_;
    std::memset(grid, 0, sizeof(fftw_complex) * std::size_t(M) * std::size_t(S_));
    const int K = R_ / 2 + 1;       // frequencies of a row, 0 .. R/2
    const double cell = double(M) / R_;
    for (int i = 0; i < n_; ++i) {
        const double th = CtCore::projAngle(angleOffsetDeg, i, n_);
        const double c = std::cos(th), s = std::sin(th);
        cosTab[std::size_t(i)] = c;
        sinTab[std::size_t(i)] = s;
        if (!std::isfinite(c) || !std::isfinite(s))
            continue;   // an angle that is not a number adds nothing, as in back-projection
        std::memcpy(gridIn, rows + std::size_t(i) * std::size_t(N), sizeof(double) * std::size_t(N));
        fftw_execute(gridPlan);
        // shifted so that sample g is the origin
        for (int k = 0; k < K; ++k) {
            const double re0 = gridSpec[k][0], im0 = gridSpec[k][1];
            gridSpec[k][0] = re0 * phaseRe[std::size_t(k)] - im0 * phaseIm[std::size_t(k)];
            gridSpec[k][1] = re0 * phaseIm[std::size_t(k)] + im0 * phaseRe[std::size_t(k)];
        }
        // Frequency k / R lies k M / R cells from the centre along
        // (cos, -sin), its conjugate opposite; the neighbouring bands R
        // further along the same line (g is whole: the shift keeps the
        // phase). Band by band, each a straight run through the grid.
        for (int band = 0; band < 3; ++band) {
            const int shift = band == 0 ? 0 : band == 1 ? -R_ : R_;
            const double *wt = band == 0 ? weightTab.data() : aliasTab.data() + (band - 1);
            const std::size_t step = band == 0 ? 1 : 2;
            for (int k = 0; k < K; ++k) {
                const double w = wt[std::size_t(k) * step];
                if (w == 0)
                    continue;
                // the grid rows of a sample a few further out asked for now:
                // a line at a steep angle meets new rows at every sample,
                // which would otherwise each wait for memory
                const double ahead = (k + prefetchDistance + shift) * cell;
                prefetchAt(ahead * c, -ahead * s);
                const double rad = (k + shift) * cell;
                spreadPair(rad * c, -rad * s, w * gridSpec[k][0], w * gridSpec[k][1]);
            }
        }
    }
    fftw_execute(colPlan);
    fftw_execute(rowPlan);
    int xb, xe, zb, ze;
    clip(region, N, xb, xe, zb, ze);
    const double g = N / 2;
    const std::size_t rowStride = 2 * std::size_t(S_);
    const double *real = reinterpret_cast<const double *>(grid);
    for (int z = zb; z < ze; ++z) {
        const double *line = real + std::size_t(M / 2 - N / 2 + z) * rowStride + (M / 2 - N / 2);
        const double dz = deapod[std::size_t(z)];
        double *out = res.data() + std::size_t(z) * std::size_t(N);
        for (int x = xb; x < xe; ++x) {
            const double r = std::sqrt((x - g) * (x - g) + (z - g) * (z - g));
            if (!(r < g))
                continue;
            if (r < g - rimWidth)
                out[x] += line[x] * dz * deapod[std::size_t(x)];
        }
    }
    // the outermost ring, where back-projection leaves out the detector's
    // last interval, is back-projected directly
    backProjectRim();
    for (std::size_t p = 0; p < rimSum.size(); ++p)
        if (rimX[p] >= xb && rimX[p] < xe && rimZ[p] >= zb && rimZ[p] < ze)
            res[std::size_t(rimZ[p]) * std::size_t(N) + std::size_t(rimX[p])] += rimSum[p];
    resValid = true;
}

void GridReconstructor::addOne(const HSgm &h, int i, double angleOffsetDeg, const SliceRegion &region)
{
    if (N_ < 2 || i < 0 || i >= n_ || i >= h.height || res.size() != std::size_t(N_) * std::size_t(N_))
        return;
    const int N = N_;
    filterRow(i, h.sgmRow(i));
    const double *f = rows + std::size_t(i) * std::size_t(N);
    const double g = N / 2;
    const double th = CtCore::projAngle(angleOffsetDeg, i, n_);
    const double c = std::cos(th), s = std::sin(th);
    int xb, xe, zb, ze;
    clip(region, N, xb, xe, zb, ze);
    for (int z = zb; z < ze; ++z) {
        double *out = res.data() + std::size_t(z) * std::size_t(N);
        for (int x = xb; x < xe; ++x) {
            if (!(std::sqrt((x - g) * (x - g) + (z - g) * (z - g)) < g))
                continue;
            const double t = g + (x - g) * c - (z - g) * s;
            const double jf = std::floor(t);
            if (!(jf >= 0 && jf < N - 1))
                continue;
            const int j = int(jf);
            out[x] += f[j] + (f[j + 1] - f[j]) * (t - j);
        }
    }
    resValid = true;
}
