#include "CtCore.h"
#include "BackProjectKernel.h"
#include "FftwLock.h"
#include "HSgm.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <system_error>
#include <thread>

namespace {
// First integer v with v >= trunc(a), clipped to [0, n]; n when a is not a number.
int clipBegin(double a, int n)
{
    if (!(a == a))
        return n;
    const double t = std::trunc(a);
    if (t <= 0)
        return 0;
    return t >= n ? n : int(t);
}

// One past the last integer v with v < b, clipped to [0, n]; 0 when b is not a number.
int clipEnd(double b, int n)
{
    if (!(b == b))
        return 0;
    const double c = std::ceil(b);
    if (c <= 0)
        return 0;
    return c >= n ? n : int(c);
}
}

CtCore::~CtCore()
{
    release();
}

int CtCore::fftLengthFor(int sinogramWidth)
{
    return sinogramWidth > 0 ? sinogramWidth - sinogramWidth % 2 : 0;
}

double CtCore::rampFactor(int k, int N)
{
    return 2.0 * M_PI / N * std::min(k, N - k);
}

double CtCore::projAngle(double angleOffsetDeg, int i, int n)
{
    return angleOffsetDeg * M_PI / 180.0 + double(i) * M_PI / double(n);
}

void CtCore::release()
{
    {
        FftwLock lock;
        if (fwdPlan)
            fftw_destroy_plan(fwdPlan);
        if (bwdPlan)
            fftw_destroy_plan(bwdPlan);
    }
    fwdPlan = bwdPlan = nullptr;
    fftw_free(fwdIn);
    fftw_free(fwdOut);
    fftw_free(bwdIn);
    fftw_free(bwdOut);
    fwdIn = bwdOut = nullptr;
    fwdOut = bwdIn = nullptr;
    for (fftw_complex *s : spectra)
        fftw_free(s);
    for (double *f : filtered)
        fftw_free(f - BackProjectKernel::rowPad);
    spectra.clear();
    filtered.clear();
    std::vector<double>().swap(res);
    std::vector<double>().swap(filterTab);
    resValid = false;
    fftN = 0;
    transN = 0;
}

bool CtCore::prepare(int N, int n)
{
    if (n < 0)
        n = 0;
    nProj = n;
    if (N >= 2 && N == fftN && std::size_t(n) == spectra.size() && wanted == prepared_)
        return true;
    release();
    nProj = n;
    if (N < 2)
        return false;
    const RampFilter chosen = wanted;
    const int L = chosen.transformLength(N);
    if (L < N)
        return false;
    const std::size_t cbytes = sizeof(fftw_complex) * std::size_t(L / 2 + 1);
    const std::size_t rbytes = sizeof(double) * std::size_t(L);
    fwdIn = static_cast<double *>(fftw_malloc(rbytes));
    fwdOut = static_cast<fftw_complex *>(fftw_malloc(cbytes));
    bwdIn = static_cast<fftw_complex *>(fftw_malloc(cbytes));
    bwdOut = static_cast<double *>(fftw_malloc(rbytes));
    bool ok = fwdIn && fwdOut && bwdIn && bwdOut;
    for (int i = 0; ok && i < n; ++i) {
        auto *s = static_cast<fftw_complex *>(fftw_malloc(cbytes));
        // a filtered row with zeroed room on both sides for the kernels' windows
        const std::size_t padded = std::size_t(N) + 2 * std::size_t(BackProjectKernel::rowPad);
        auto *f = static_cast<double *>(fftw_malloc(sizeof(double) * padded));
        if (f)
            std::memset(f, 0, sizeof(double) * padded);
        if (s)
            spectra.push_back(s);
        if (f)
            filtered.push_back(f + BackProjectKernel::rowPad);
        ok = s && f;
    }
    if (ok) {
        FftwLock lock;
        fwdPlan = fftw_plan_dft_r2c_1d(L, fwdIn, fwdOut, FFTW_ESTIMATE);
        bwdPlan = fftw_plan_dft_c2r_1d(L, bwdIn, bwdOut, FFTW_ESTIMATE);
        ok = fwdPlan && bwdPlan;
    }
    if (!ok) {
        release();
        return false;
    }
    fftN = N;
    transN = L;
    prepared_ = chosen;
    filterTable(prepared_, fftN, transN, fwdIn, fwdOut, fwdPlan, &filterTab);
    cosTab.assign(std::size_t(n), 0.0);
    sinTab.assign(std::size_t(n), 0.0);
    res.reserve(std::size_t(N) * std::size_t(N));
    return true;
}

void CtCore::filterTable(const RampFilter &f, int N, int L, double *in, fftw_complex *out,
                         fftw_plan plan, std::vector<double> *H)
{
    H->assign(std::size_t(L / 2 + 1), 0.0);
    if (f.padding == RampFilter::Padding::None) {
        // the row's own length: the sampled ramp |w|, zero at k = 0
        for (int k = 0; k <= L / 2; ++k)
            (*H)[std::size_t(k)] = rampFactor(k, N) * f.windowAt(k, L);
        return;
    }
    // H = 2 pi DFT(h) of the spatial discrete ramp, real and even: one
    // forward transform with the plan the rows use
    RampFilter::spatialRamp(L, in);
    fftw_execute(plan);
    for (int k = 0; k <= L / 2; ++k)
        (*H)[std::size_t(k)] = 2.0 * M_PI * out[k][0] * f.windowAt(k, L);
}

void CtCore::clearRes()
{
    res.assign(std::size_t(fftN) * std::size_t(fftN), 0.0);
    resValid = false;
}

void CtCore::transformRow(const double *row)
{
    std::memcpy(fwdIn, row, sizeof(double) * std::size_t(fftN));
    RampFilter::pad(fwdIn, fftN, transN, prepared_.padding);
    fftw_execute(fwdPlan);
}

void CtCore::transform(int i, const double *row)
{
    if (!prepared() || i < 0 || i >= int(spectra.size()))
        return;
    transformRow(row);
    std::memcpy(spectra[std::size_t(i)], fwdOut, sizeof(fftw_complex) * std::size_t(transN / 2 + 1));
}

void CtCore::filter(int i)
{
    if (!prepared() || i < 0 || i >= int(filtered.size()))
        return;
    filterSpectrum(i, spectra[std::size_t(i)]);
}

void CtCore::transformAndFilter(int i, const double *row)
{
    if (!prepared() || i < 0 || i >= int(filtered.size()))
        return;
    transformRow(row);
    filterSpectrum(i, fwdOut);
}

void CtCore::filterSpectrum(int i, const fftw_complex *S)
{
    const int N = fftN, L = transN;
    const double *H = filterTab.data();
    for (int k = 0; k <= L / 2; ++k) {
        bwdIn[k][0] = S[k][0] * H[k];
        bwdIn[k][1] = S[k][1] * H[k];
    }
    fftw_execute(bwdPlan);
    // 1/L completes the inverse transform and 1/n is the angular weight.
    // Against the exact (pi / n) |f| (f in cycles per sample) the ramp
    // 2 pi |f| over n is twice as large, so the values are twice the
    // attenuation per pixel: the scale of every stored data file, of the
    // viewer that analyses them and of the default limits and offset.
    double div = double(L) * double(nProj);
    if (div <= 0)
        div = 1;
    double *f = filtered[std::size_t(i)];
    for (int k = 0; k < N; ++k)
        f[k] = bwdOut[k] / div;
}

bool CtCore::clipRegion(const Region &r, int &xBegin, int &xEnd, int &zBegin, int &zEnd) const
{
    xBegin = clipBegin(r.x0, fftN);
    xEnd = clipEnd(r.x1, fftN);
    zBegin = clipBegin(r.z0, fftN);
    zEnd = clipEnd(r.z1, fftN);
    return xBegin < xEnd && zBegin < zEnd;
}

void CtCore::backProjectRows(int i0, int i1, int zBegin, int zEnd, int xBegin, int xEnd)
{
    BackProjectKernel::Job job;
    job.res = res.data();
    job.N = fftN;
    job.zBegin = zBegin;
    job.zEnd = zEnd;
    job.xBegin = xBegin;
    job.xEnd = xEnd;
    job.i0 = i0;
    job.i1 = i1;
    job.cosTab = cosTab.data();
    job.sinTab = sinTab.data();
    job.filtered = filtered.data();
    BackProjectKernel::run(job);
}

void CtCore::backProject(int i, double angleOffsetDeg, const Region &region)
{
    if (!prepared() || i < 0 || i >= int(filtered.size()) || res.size() != std::size_t(fftN) * std::size_t(fftN))
        return;
    const double th = projAngle(angleOffsetDeg, i, nProj);
    cosTab[std::size_t(i)] = std::cos(th);
    sinTab[std::size_t(i)] = std::sin(th);
    int xb, xe, zb, ze;
    if (clipRegion(region, xb, xe, zb, ze))
        backProjectRows(i, i + 1, zb, ze, xb, xe);
    resValid = true;
}

void CtCore::backProjectAll(double angleOffsetDeg, const Region &region)
{
    const int n = int(filtered.size());
    if (!prepared() || n < 1 || res.size() != std::size_t(fftN) * std::size_t(fftN))
        return;
    for (int i = 0; i < n; ++i) {
        const double th = projAngle(angleOffsetDeg, i, nProj);
        cosTab[std::size_t(i)] = std::cos(th);
        sinTab[std::size_t(i)] = std::sin(th);
    }
    int xb, xe, zb, ze;
    if (clipRegion(region, xb, xe, zb, ze)) {
        // parts of at least two bands of rows each
        const int parts = std::clamp(bpThreads, 1, std::max(1, (ze - zb) / 24));
        if (parts == 1) {
            backProjectRows(0, n, zb, ze, xb, xe);
        } else {
            // cut where the running count of pixels inside the circle passes k / parts
            std::vector<std::int64_t> upTo(std::size_t(ze - zb) + 1, 0);
            for (int z = zb; z < ze; ++z) {
                int lo = 0, hi = 0;
                const bool any = BackProjectKernel::rowSpan(z, fftN, xb, xe, lo, hi);
                upTo[std::size_t(z - zb) + 1] = upTo[std::size_t(z - zb)] + (any ? hi - lo : 0);
            }
            std::vector<int> cut(std::size_t(parts) + 1, ze);
            cut[0] = zb;
            for (int k = 1; k < parts; ++k) {
                const std::int64_t want = upTo.back() * k / parts;
                cut[std::size_t(k)] = zb + int(std::lower_bound(upTo.begin(), upTo.end(), want) - upTo.begin());
            }
            std::vector<std::thread> helpers;
            std::vector<int> leftOver;
            helpers.reserve(std::size_t(parts));    // no reallocation once a thread runs
            leftOver.reserve(std::size_t(parts));
            for (int k = 1; k < parts; ++k) {
                const int z0 = cut[std::size_t(k)], z1 = cut[std::size_t(k) + 1];
                try {
                    helpers.emplace_back([this, n, z0, z1, xb, xe] { backProjectRows(0, n, z0, z1, xb, xe); });
                } catch (const std::system_error &) {
                    leftOver.push_back(k);
                }
            }
            backProjectRows(0, n, cut[0], cut[1], xb, xe);
            for (int k : leftOver)
                backProjectRows(0, n, cut[std::size_t(k)], cut[std::size_t(k) + 1], xb, xe);
            for (std::thread &t : helpers)
                t.join();
        }
    }
    resValid = true;
}

void CtCore::backProjectPlain(int i, double angleOffsetDeg, const Region &region)
{
    if (!prepared() || i < 0 || i >= int(filtered.size()) || res.size() != std::size_t(fftN) * std::size_t(fftN))
        return;
    const int N = fftN;
    const double g = N / 2;
    const double th = projAngle(angleOffsetDeg, i, nProj);
    const double c = std::cos(th), s = std::sin(th);
    const double *f = filtered[std::size_t(i)];
    int xb, xe, zb, ze;
    if (clipRegion(region, xb, xe, zb, ze)) {
        for (int z = zb; z < ze; ++z) {
            for (int x = xb; x < xe; ++x) {
                if (!(std::sqrt((x - g) * (x - g) + (z - g) * (z - g)) < g))
                    continue;
                const double t = g + (x - g) * c - (z - g) * s;
                const double jf = std::floor(t);
                if (!(jf >= 0 && jf < N - 1))     // also a t that is not a number
                    continue;
                const int j = int(jf);
                resAt(z, x) += f[j] + (f[j + 1] - f[j]) * (t - j);
            }
        }
    }
    resValid = true;
}

bool CtCore::reconstruct(const HSgm &hSgm, double angleOffsetDeg, const Region &region)
{
    if (!hSgm.hasData())
        return false;
    const int N = fftLengthFor(hSgm.width);
    const int n = hSgm.height;
    if (N < 2 || n < 1)
        return false;
    if (!prepare(N, n))
        return false;
    clearRes();
    for (int i = 0; i < n; ++i)
        transformAndFilter(i, hSgm.sgmRow(i));
    backProjectAll(angleOffsetDeg, region);
    findExtremes();
    return true;
}

void CtCore::extremesOf(const std::vector<double> &v, double *lo, double *hi)
{
    double l = DBL_MAX, h = -DBL_MAX;
    for (double x : v) {
        if (x < l)
            l = x;
        if (x > h)
            h = x;
    }
    *lo = l;
    *hi = h;
}

void CtCore::findExtremes()
{
    if (resValid)
        extremesOf(res, &resMin, &resMax);
}
