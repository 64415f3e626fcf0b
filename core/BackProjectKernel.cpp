#include "BackProjectKernel.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define TOMIX_X86_KERNELS 1
#include <immintrin.h>
// the compiler's own AVX-512 intrinsics start from undefined registers
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

// This file must be compiled without floating-point contraction
// (-ffp-contract=off): t is rounded step by step exactly as in the plain loop,
// so that every pixel meets the same detector sample, the same weight and the
// same end-of-detector cut; only the interpolation uses an explicit fused
// multiply-add.

namespace {

constexpr int maxBlock = 256;

// Largest d with d * d <= m (m >= 0).
std::int64_t isqrt(std::int64_t m)
{
    std::int64_t d = std::int64_t(std::sqrt(double(m)));
    while (d > 0 && d * d > m)
        --d;
    while ((d + 1) * (d + 1) <= m)
        ++d;
    return d;
}

// Columns of row z with (x - g)^2 + (z - g)^2 <= m2, within [xBegin, xEnd).
bool discSpan(int z, int g, std::int64_t r2, int xBegin, int xEnd, int &lo, int &hi)
{
    const std::int64_t dz = std::int64_t(z) - g;
    const std::int64_t m = r2 - dz * dz;
    if (m < 0)
        return false;
    const std::int64_t d = isqrt(m);
    lo = int(std::max<std::int64_t>(xBegin, g - d));
    hi = int(std::min<std::int64_t>(xEnd, g + d + 1));
    return lo < hi;
}

// One row segment lo..hi-1 of projections 0..nb-1 of a block. c[p]: cosine,
// zs[p]: (z - g) * sine, f[p]: filtered samples. Any t is safe: a sample is
// read only for 0 <= t < N - 1, tested before t becomes an index.
void rowPortable(double *row, int lo, int hi, int g, int N, int nb,
                 const double *c, const double *zs, const double *const *f)
{
    const double gd = g;
    const double lim = N - 1;
    int x = lo;
    // four pixels at a time so that four independent sums are in flight
    for (; x + 4 <= hi; x += 4) {
        double a0 = row[x], a1 = row[x + 1], a2 = row[x + 2], a3 = row[x + 3];
        const double x0 = double(x - g), x1 = x0 + 1, x2 = x0 + 2, x3 = x0 + 3;
        for (int p = 0; p < nb; ++p) {
            const double cp = c[p], zp = zs[p];
            const double *fp = f[p];
            const double t0 = (gd + x0 * cp) - zp;
            const double t1 = (gd + x1 * cp) - zp;
            const double t2 = (gd + x2 * cp) - zp;
            const double t3 = (gd + x3 * cp) - zp;
            if (t0 >= 0.0 && t0 < lim) {
                const int j = int(t0);
                a0 += fp[j] + (fp[j + 1] - fp[j]) * (t0 - j);
            }
            if (t1 >= 0.0 && t1 < lim) {
                const int j = int(t1);
                a1 += fp[j] + (fp[j + 1] - fp[j]) * (t1 - j);
            }
            if (t2 >= 0.0 && t2 < lim) {
                const int j = int(t2);
                a2 += fp[j] + (fp[j + 1] - fp[j]) * (t2 - j);
            }
            if (t3 >= 0.0 && t3 < lim) {
                const int j = int(t3);
                a3 += fp[j] + (fp[j + 1] - fp[j]) * (t3 - j);
            }
        }
        row[x] = a0;
        row[x + 1] = a1;
        row[x + 2] = a2;
        row[x + 3] = a3;
    }
    for (; x < hi; ++x) {
        double a = row[x];
        const double xd = double(x - g);
        for (int p = 0; p < nb; ++p) {
            const double t = (gd + xd * c[p]) - zs[p];
            const double *fp = f[p];
            if (t >= 0.0 && t < lim) {
                const int j = int(t);
                a += fp[j] + (fp[j + 1] - fp[j]) * (t - j);
            }
        }
        row[x] = a;
    }
}

// Rows z of a block through the portable kernel (also the path of any block
// whose cosines and sines are not those of an angle).
void blockPortable(const BackProjectKernel::Job &job, int p0, int nb)
{
    const int N = job.N;
    const int g = N / 2;
    const double *c = job.cosTab + p0;
    const double *s = job.sinTab + p0;
    const double *const *f = job.filtered + p0;
    double zs[maxBlock];
    for (int z = job.zBegin; z < job.zEnd; ++z) {
        int lo, hi;
        if (!BackProjectKernel::rowSpan(z, N, job.xBegin, job.xEnd, lo, hi))
            continue;
        const double dz = double(z - g);
        for (int p = 0; p < nb; ++p)
            zs[p] = dz * s[p];
        rowPortable(job.res + std::size_t(z) * std::size_t(N), lo, hi, g, N, nb, c, zs, f);
    }
}

#ifdef TOMIX_X86_KERNELS

// The vector kernels work on tiles of W pixels by R rows. For every
// projection the samples that all pixels of a tile can meet lie in a few
// neighbouring positions (|cos|, |sin| <= 1), so a window of 2 W samples
// from `m` on is loaded once per tile and projection, for the samples f and
// for their differences d[k] = f[k + 1] - f[k] (made once per block), and
// each pixel's pair is picked out of the window by lane permutes: no gathers.
//
// The index of a pixel's sample in the window comes from t in one rounding
// step: t + (2^52 - m), rounded down (or added to floor(t)), is 2^52 +
// floor(t) - m, whose low mantissa bits are the position.
//
// Per update: t = A - Z (A = g + (x - g) c per tile and projection, Z =
// (z - g) s per row and projection, both rounded as in the plain loop),
// the position, the weight t - floor(t), two picks, one fused multiply-add
// and one add. Tiles strictly inside the circle of radius g - 2 need no lane
// masks: there 2 - tiny < t < N - 2 + tiny. The other tiles mask lanes by the
// exact circle span of each row and the cut t < N - 1.

constexpr int pad = 32;                 // zero samples each side of a block row
constexpr double two52 = 4503599627370496.0;

struct BlockData {
    int N = 0, g = 0, nb = 0;
    const double *c = nullptr, *s = nullptr;
    std::vector<double> fd;             // per projection: f row, then d row, each pad around
    std::size_t rowLen = 0;             // N + 2 pad
    std::vector<double> cp;             // the cosines, zeros after nb up to a multiple of 8
};

// Copies the filtered rows of a block into zero-padded rows of f and d.
void fillBlock(BlockData &b, const BackProjectKernel::Job &job, int p0, int nb)
{
    const int N = job.N;
    b.N = N;
    b.g = N / 2;
    b.nb = nb;
    b.c = job.cosTab + p0;
    b.s = job.sinTab + p0;
    b.rowLen = std::size_t(N) + 2 * pad;
    b.fd.assign(std::size_t(nb) * 2 * b.rowLen, 0.0);
    b.cp.assign(std::size_t(nb + 8), 0.0);
    std::copy(b.c, b.c + nb, b.cp.begin());
    for (int p = 0; p < nb; ++p) {
        const double *src = job.filtered[p0 + p];
        double *f = b.fd.data() + std::size_t(p) * 2 * b.rowLen + pad;
        double *d = f + b.rowLen;
        std::memcpy(f, src, sizeof(double) * std::size_t(N));
        for (int k = 0; k + 1 < N; ++k)
            d[k] = src[k + 1] - src[k];
    }
}

// Cosines and sines of real angles: finite, with c^2 + s^2 = 1 within
// rounding. Anything else goes through the portable kernel.
bool anglesAreSane(const double *c, const double *s, int nb)
{
    for (int p = 0; p < nb; ++p) {
        const double q = c[p] * c[p] + s[p] * s[p];
        if (!(std::isfinite(c[p]) && std::isfinite(s[p]) && q <= 1.0 + 1e-9))
            return false;
    }
    return true;
}

// One band of R rows z0 .. z0 + R - 1 as a kernel sees it.
template <int R>
struct Band {
    double *row[R];         // res row, or a dummy row for rows outside the job
    int lo[R], hi[R];       // circle span of each row within the region (lo == hi: none)
    const double *zs;       // zs[p * R + r] = (z0 + r - g) * s[p]
    const double *wc;       // wc[p] = g - (zc - g) s[p] - hw[p] (zc: middle row)
    long long *m;           // scratch: window start per projection
    double *k;              // scratch: the rounding constant per projection
};

// Drives the tiles of a block: bands of R rows, tiles of W columns; Tile
// is the kernel's tile function (template argument: lane masks needed).
template <int W, int R, void (*TileFn)(const BlockData &, const Band<R> &, int, bool)>
void runTiles(const BlockData &b, const BackProjectKernel::Job &job)
{
    const int N = b.N, g = b.g, nb = b.nb;
    alignas(64) double zs[maxBlock * R];
    alignas(64) double wc[maxBlock + 8];
    alignas(64) long long mArr[maxBlock + 8];
    alignas(64) double kArr[maxBlock + 8];
    alignas(64) double dummy[2 * W] = {};
    // squared radius of the circle whose tiles need no masks (none below g = 3)
    const std::int64_t inner2 = g >= 3 ? std::int64_t(g - 2) * (g - 2) : -1;
    std::vector<double> hw(static_cast<std::size_t>(nb));
    for (int p = 0; p < nb; ++p)
        hw[std::size_t(p)] = 0.5 * (W - 1) * std::fabs(b.c[p]) + 0.5 * (R - 1) * std::fabs(b.s[p]) + 0.01;
    for (int z0 = job.zBegin; z0 < job.zEnd; z0 += R) {
        Band<R> band;
        int xs = N, xe = 0, iLo = 0, iHi = N;
        for (int r = 0; r < R; ++r) {
            const int z = z0 + r;
            int lo = 0, hi = 0;
            if (z < job.zEnd && BackProjectKernel::rowSpan(z, N, job.xBegin, job.xEnd, lo, hi)) {
                band.row[r] = job.res + std::size_t(z) * std::size_t(N);
                xs = std::min(xs, lo);
                xe = std::max(xe, hi);
            } else {
                band.row[r] = dummy;
                lo = hi = 0;
            }
            band.lo[r] = lo;
            band.hi[r] = hi;
            int ilo, ihi;
            if (z < job.zEnd && discSpan(z, g, inner2, job.xBegin, job.xEnd, ilo, ihi)) {
                iLo = std::max(iLo, ilo);
                iHi = std::min(iHi, ihi);
            } else {
                iLo = N;
                iHi = 0;
            }
        }
        if (xs >= xe)
            continue;
        const double zc = double(z0 - g) + 0.5 * (R - 1);
        for (int p = 0; p < nb; ++p) {
            for (int r = 0; r < R; ++r)
                zs[p * R + r] = double(z0 + r - g) * b.s[p];
            wc[p] = (g - zc * b.s[p]) - hw[std::size_t(p)];
        }
        for (int p = nb; p < nb + 8; ++p)
            wc[p] = 0.0;
        band.zs = zs;
        band.wc = wc;
        band.m = mArr;
        band.k = kArr;
        for (int x0 = xs; x0 < xe; x0 += W)
            TileFn(b, band, x0, !(x0 >= iLo && x0 + W <= iHi));
    }
}

// AVX-512: tiles of 8 columns by 12 rows. The t of a tile spans at most
// 7 |c| + 11 |s| <= 13.1, so a window of 16 samples holds every sample its
// pixels meet; it is picked with one two-register permute per value.
constexpr int r512 = 12;

__attribute__((target("avx512f,avx512dq"))) void tileAvx512(const BlockData &b,
                                                            const Band<r512> &band, int x0,
                                                            bool masked)
{
    constexpr int R = r512;
    const int nb = b.nb, g = b.g;
    const double *fd = b.fd.data();
    const std::size_t stride = 2 * b.rowLen;
    const std::size_t dOff = b.rowLen;
    // window starts: floor of the smallest t of the tile, kept inside the padded rows
    {
        const __m512d xc = _mm512_set1_pd(double(x0 - g) + 3.5);
        const __m512i mLo = _mm512_set1_epi64(-pad);
        const __m512i mHi = _mm512_set1_epi64(b.N + pad - 16);
        const __m512d big = _mm512_set1_pd(two52);
        for (int p = 0; p < nb; p += 8) {
            const __mmask8 live = nb - p >= 8 ? __mmask8(0xff) : __mmask8((1u << (nb - p)) - 1);
            const __m512d tc = _mm512_add_pd(_mm512_mul_pd(xc, _mm512_maskz_loadu_pd(live, b.cp.data() + p)),
                                             _mm512_maskz_loadu_pd(live, band.wc + p));
            __m512i m = _mm512_cvt_roundpd_epi64(tc, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
            m = _mm512_min_epi64(_mm512_max_epi64(m, mLo), mHi);
            _mm512_store_si512(band.m + p, m);
            _mm512_store_pd(band.k + p, _mm512_sub_pd(big, _mm512_cvtepi64_pd(m)));
        }
    }
    __mmask8 lane[R];
    __m512d acc[R];
#pragma GCC unroll 16
    for (int r = 0; r < R; ++r) {
        const int a = std::clamp(band.lo[r] - x0, 0, 8), e = std::clamp(band.hi[r] - x0, 0, 8);
        lane[r] = __mmask8(((1u << e) - 1) & ~((1u << a) - 1));
        acc[r] = masked ? _mm512_maskz_loadu_pd(lane[r], band.row[r] + (lane[r] ? x0 : 0))
                        : _mm512_loadu_pd(band.row[r] + x0);
    }
    const __m512d gv = _mm512_set1_pd(double(g));
    const __m512d xv = _mm512_add_pd(_mm512_set1_pd(double(x0 - g)), _mm512_set_pd(7, 6, 5, 4, 3, 2, 1, 0));
    const __m512d lim = _mm512_set1_pd(double(b.N - 1));
    for (int p = 0; p < nb; ++p) {
        const double *f = fd + std::size_t(p) * stride + pad + band.m[p];
        const __m512d f0 = _mm512_loadu_pd(f), f1 = _mm512_loadu_pd(f + 8);
        const __m512d d0 = _mm512_loadu_pd(f + dOff), d1 = _mm512_loadu_pd(f + dOff + 8);
        const __m512d kv = _mm512_set1_pd(band.k[p]);
        const __m512d A = _mm512_add_pd(gv, _mm512_mul_pd(xv, _mm512_set1_pd(b.c[p])));
        const double *zs = band.zs + p * R;
        if (!masked) {
#pragma GCC unroll 16
            for (int r = 0; r < R; ++r) {
                const __m512d t = _mm512_sub_pd(A, _mm512_set1_pd(zs[r]));
                const __m512i pos = _mm512_castpd_si512(
                    _mm512_add_round_pd(t, kv, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC));
                const __m512d w = _mm512_reduce_pd(t, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
                const __m512d fv = _mm512_permutex2var_pd(f0, pos, f1);
                const __m512d dv = _mm512_permutex2var_pd(d0, pos, d1);
                acc[r] = _mm512_add_pd(acc[r], _mm512_fmadd_pd(dv, w, fv));
            }
        } else {
#pragma GCC unroll 16
            for (int r = 0; r < R; ++r) {
                const __m512d t = _mm512_sub_pd(A, _mm512_set1_pd(zs[r]));
                const __mmask8 k = _mm512_mask_cmp_pd_mask(lane[r], t, lim, _CMP_LT_OQ);
                const __m512i pos = _mm512_castpd_si512(
                    _mm512_add_round_pd(t, kv, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC));
                const __m512d w = _mm512_reduce_pd(t, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
                const __m512d fv = _mm512_permutex2var_pd(f0, pos, f1);
                const __m512d dv = _mm512_permutex2var_pd(d0, pos, d1);
                acc[r] = _mm512_mask_add_pd(acc[r], k, acc[r], _mm512_fmadd_pd(dv, w, fv));
            }
        }
    }
#pragma GCC unroll 16
    for (int r = 0; r < R; ++r) {
        if (masked) {
            if (lane[r])
                _mm512_mask_storeu_pd(band.row[r] + x0, lane[r], acc[r]);
        } else {
            _mm512_storeu_pd(band.row[r] + x0, acc[r]);
        }
    }
}

// AVX2: tiles of 4 columns by 6 rows; t spans at most 3 |c| + 5 |s| <= 5.9,
// so a window of 8 samples (two registers) holds them. A value is picked
// from each register by a lane permute and the right one blended in. One
// fused multiply-add on floor(t) gives the permute's dword pair
// (2 i, 2 i + 1) of window position i and, in bit 35, the register.
constexpr int r256 = 6;

// b where the sign bit of m is set, else a: one blendv (the compiler would
// first turn the sign into a compare).
__attribute__((target("avx2"), always_inline)) inline __m256d blendBySign(__m256d a, __m256d b, __m256d m)
{
    __m256d r;
    asm("vblendvpd %3, %2, %1, %0" : "=x"(r) : "x"(a), "x"(b), "x"(m));
    return r;
}

__attribute__((target("avx2,fma"))) void tileAvx2(const BlockData &b, const Band<r256> &band,
                                                  int x0, bool masked)
{
    constexpr int R = r256;
    const int nb = b.nb, g = b.g;
    const double *fd = b.fd.data();
    const std::size_t stride = 2 * b.rowLen;
    const std::size_t dOff = b.rowLen;
    {
        // position i = floor(t) - m as dword pair: floor(t) * (2 + 2^33) + k
        // with k = 2^52 + 2^32 - m * (2 + 2^33), exact
        const __m256d xc = _mm256_set1_pd(double(x0 - g) + 1.5);
        const __m128i mLo = _mm_set1_epi32(-pad), mHi = _mm_set1_epi32(b.N + pad - 8);
        const __m256d k0 = _mm256_set1_pd(two52 + 4294967296.0), pm = _mm256_set1_pd(8589934594.0);
        for (int p = 0; p < nb; p += 4) {
            const __m256d tc = _mm256_add_pd(_mm256_mul_pd(xc, _mm256_loadu_pd(b.cp.data() + p)),
                                             _mm256_loadu_pd(band.wc + p));
            __m128i m = _mm256_cvttpd_epi32(_mm256_floor_pd(tc));
            m = _mm_min_epi32(_mm_max_epi32(m, mLo), mHi);
            _mm256_storeu_si256(reinterpret_cast<__m256i *>(band.m + p), _mm256_cvtepi32_epi64(m));
            _mm256_storeu_pd(band.k + p, _mm256_sub_pd(k0, _mm256_mul_pd(_mm256_cvtepi32_pd(m), pm)));
        }
    }
    __m256d lane[R];
    __m256d acc[R];
    const __m256i laneNo = _mm256_set_epi64x(3, 2, 1, 0);
#pragma GCC unroll 16
    for (int r = 0; r < R; ++r) {
        const __m256i a = _mm256_set1_epi64x(band.lo[r] - x0), e = _mm256_set1_epi64x(band.hi[r] - x0);
        const __m256i in = _mm256_andnot_si256(_mm256_cmpgt_epi64(a, laneNo), _mm256_cmpgt_epi64(e, laneNo));
        lane[r] = _mm256_castsi256_pd(in);
        acc[r] = masked ? _mm256_maskload_pd(band.row[r] + (band.lo[r] < band.hi[r] ? x0 : 0), in)
                        : _mm256_loadu_pd(band.row[r] + x0);
    }
    const __m256d gv = _mm256_set1_pd(double(g));
    const __m256d xv = _mm256_add_pd(_mm256_set1_pd(double(x0 - g)), _mm256_set_pd(3, 2, 1, 0));
    const __m256d lim = _mm256_set1_pd(double(b.N - 1));
    const __m256d pairMul = _mm256_set1_pd(8589934594.0);     // 2 + 2^33
    for (int p = 0; p < nb; ++p) {
        const double *f = fd + std::size_t(p) * stride + pad + band.m[p];
        const __m256 f0 = _mm256_castpd_ps(_mm256_loadu_pd(f));
        const __m256 f1 = _mm256_castpd_ps(_mm256_loadu_pd(f + 4));
        const __m256 d0 = _mm256_castpd_ps(_mm256_loadu_pd(f + dOff));
        const __m256 d1 = _mm256_castpd_ps(_mm256_loadu_pd(f + dOff + 4));
        const __m256d kv = _mm256_set1_pd(band.k[p]);
        const __m256d A = _mm256_add_pd(gv, _mm256_mul_pd(xv, _mm256_set1_pd(b.c[p])));
        const double *zs = band.zs + p * R;
#pragma GCC unroll 16
        for (int r = 0; r < R; ++r) {
            const __m256d t = _mm256_sub_pd(A, _mm256_set1_pd(zs[r]));
            const __m256d fl = _mm256_floor_pd(t);
            const __m256d w = _mm256_sub_pd(t, fl);
            const __m256i pos = _mm256_castpd_si256(_mm256_fmadd_pd(fl, pairMul, kv));
            const __m256d sel = _mm256_castsi256_pd(_mm256_slli_epi64(pos, 28));
            const __m256d fv = blendBySign(_mm256_castps_pd(_mm256_permutevar8x32_ps(f0, pos)),
                                           _mm256_castps_pd(_mm256_permutevar8x32_ps(f1, pos)), sel);
            const __m256d dv = blendBySign(_mm256_castps_pd(_mm256_permutevar8x32_ps(d0, pos)),
                                           _mm256_castps_pd(_mm256_permutevar8x32_ps(d1, pos)), sel);
            __m256d v = _mm256_fmadd_pd(dv, w, fv);
            if (masked)
                v = _mm256_and_pd(v, _mm256_and_pd(lane[r], _mm256_cmp_pd(t, lim, _CMP_LT_OQ)));
            acc[r] = _mm256_add_pd(acc[r], v);
        }
    }
#pragma GCC unroll 16
    for (int r = 0; r < R; ++r) {
        if (masked) {
            if (band.lo[r] < band.hi[r])
                _mm256_maskstore_pd(band.row[r] + x0, _mm256_castpd_si256(lane[r]), acc[r]);
        } else {
            _mm256_storeu_pd(band.row[r] + x0, acc[r]);
        }
    }
}

#endif // TOMIX_X86_KERNELS

bool cpuHas(BackProjectKernel::Variant v)
{
    switch (v) {
    case BackProjectKernel::Portable:
        return true;
#ifdef TOMIX_X86_KERNELS
    case BackProjectKernel::Avx2:
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    case BackProjectKernel::Avx512:
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq");
#endif
    default:
        return false;
    }
}

BackProjectKernel::Variant detected()
{
    static const BackProjectKernel::Variant v = [] {
        const char *env = std::getenv("TOMIX_BP_KERNEL");
        const BackProjectKernel::Variant wanted = BackProjectKernel::fromName(env ? env : "");
        if (wanted != BackProjectKernel::Auto && cpuHas(wanted))
            return wanted;
        if (cpuHas(BackProjectKernel::Avx512))
            return BackProjectKernel::Avx512;
        if (cpuHas(BackProjectKernel::Avx2))
            return BackProjectKernel::Avx2;
        return BackProjectKernel::Portable;
    }();
    return v;
}

std::atomic<int> forced{BackProjectKernel::Auto};

} // namespace

bool BackProjectKernel::supported(Variant v)
{
    return cpuHas(v);
}

BackProjectKernel::Variant BackProjectKernel::active()
{
    const Variant f = Variant(forced.load(std::memory_order_relaxed));
    return f != Auto ? f : detected();
}

bool BackProjectKernel::force(Variant v)
{
    if (v != Auto && !cpuHas(v))
        return false;
    forced.store(v, std::memory_order_relaxed);
    return true;
}

const char *BackProjectKernel::name(Variant v)
{
    switch (v) {
    case Portable:
        return "portable";
    case Avx2:
        return "avx2";
    case Avx512:
        return "avx512";
    default:
        return "auto";
    }
}

BackProjectKernel::Variant BackProjectKernel::fromName(const char *text)
{
    if (!text)
        return Auto;
    for (Variant v : {Portable, Avx2, Avx512})
        if (std::strcmp(text, name(v)) == 0)
            return v;
    return Auto;
}

bool BackProjectKernel::rowSpan(int z, int N, int xBegin, int xEnd, int &lo, int &hi)
{
    // strictly inside: (x - g)^2 + (z - g)^2 < g^2, i.e. (x - g)^2 <= m
    const int g = N / 2;
    return discSpan(z, g, std::int64_t(g) * g - 1, xBegin, xEnd, lo, hi);
}

int BackProjectKernel::projectionBlock(int N)
{
    // the vector kernels keep a row of samples and one of differences
    const int perRow = 2 * int(sizeof(double)) * (std::max(N, 1) + 64);
    return std::clamp((768 << 10) / perRow, 8, maxBlock);
}

void BackProjectKernel::run(const Job &job)
{
    run(job, active());
}

void BackProjectKernel::run(const Job &job, Variant v)
{
    if (!job.res || job.N < 2 || job.i0 >= job.i1 || job.zBegin >= job.zEnd || job.xBegin >= job.xEnd)
        return;
    if (!cpuHas(v))
        v = Portable;
    const int block = projectionBlock(job.N);
#ifdef TOMIX_X86_KERNELS
    BlockData data;
#endif
    for (int p0 = job.i0; p0 < job.i1; p0 += block) {
        const int nb = std::min(block, job.i1 - p0);
#ifdef TOMIX_X86_KERNELS
        if (v != Portable && anglesAreSane(job.cosTab + p0, job.sinTab + p0, nb)) {
            fillBlock(data, job, p0, nb);
            if (v == Avx512)
                runTiles<8, r512, tileAvx512>(data, job);
            else
                runTiles<4, r256, tileAvx2>(data, job);
            continue;
        }
#endif
        blockPortable(job, p0, nb);
    }
}
