#include "BackProjectKernel.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define TOMIX_X86_KERNELS 1
#include <immintrin.h>
#endif

// This file must be compiled without floating-point contraction
// (-ffp-contract=off): a fused multiply-add would change t near a detector
// sample and so which term a pixel receives.

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

// One row segment lo..hi-1 of projections 0..nb-1 of a block. c[p]: cosine,
// zs[p]: (z - g) * sine, f[p]: filtered samples.
using RowFn = void (*)(double *row, int lo, int hi, int g, int N, int nb,
                       const double *c, const double *zs, const double *const *f);

void rowPortable(double *row, int lo, int hi, int g, int N, int nb,
                 const double *c, const double *zs, const double *const *f)
{
    const double gd = g;
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
            const int j0 = int(t0), j1 = int(t1), j2 = int(t2), j3 = int(t3);
            if (t0 >= 0.0 && j0 < N - 1)
                a0 += fp[j0] + (fp[j0 + 1] - fp[j0]) * (t0 - j0);
            if (t1 >= 0.0 && j1 < N - 1)
                a1 += fp[j1] + (fp[j1 + 1] - fp[j1]) * (t1 - j1);
            if (t2 >= 0.0 && j2 < N - 1)
                a2 += fp[j2] + (fp[j2 + 1] - fp[j2]) * (t2 - j2);
            if (t3 >= 0.0 && j3 < N - 1)
                a3 += fp[j3] + (fp[j3 + 1] - fp[j3]) * (t3 - j3);
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
            const int j = int(t);
            const double *fp = f[p];
            if (t >= 0.0 && j < N - 1)
                a += fp[j] + (fp[j + 1] - fp[j]) * (t - j);
        }
        row[x] = a;
    }
}

#ifdef TOMIX_X86_KERNELS

// Pixels strictly inside the circle have t > g - sqrt(g^2 - 1) > 1 / (2 g),
// far above the rounding of t, so t >= 0 needs no test in the SIMD kernels:
// truncation is the floor and only t < N - 1 decides.

// One value per lane from the 8 samples w0:w1 at the positions i whose dword
// pairs (2 i, 2 i + 1) are in `pair`.
__attribute__((target("avx2"), always_inline)) inline __m256d pick(__m256d w0, __m256d w1,
                                                                  __m256i pair)
{
    const __m256d p0 = _mm256_castps_pd(_mm256_permutevar8x32_ps(_mm256_castpd_ps(w0), pair));
    const __m256d p1 = _mm256_castps_pd(_mm256_permutevar8x32_ps(_mm256_castpd_ps(w1), pair));
    return _mm256_blendv_pd(p0, p1, _mm256_castsi256_pd(_mm256_cmpgt_epi32(pair, _mm256_set1_epi32(7))));
}

// The same window idea as the AVX-512 kernel below, for four pixels: their
// samples floor(t) and floor(t) + 1 lie in 8 neighbouring positions from
// base = floor(tc) - 2 (tc: approximate t of the middle of the four), held in
// two registers; each value is picked from both by a lane permute and the
// right one blended in.
__attribute__((target("avx2"))) void rowAvx2(double *row, int lo, int hi, int g, int N, int nb,
                                             const double *c, const double *zs,
                                             const double *const *f)
{
    const __m256d gv = _mm256_set1_pd(double(g));
    const __m256d lim = _mm256_set1_pd(double(N - 1));
    const __m256d zero = _mm256_setzero_pd();
    const __m256d ramp = _mm256_set_pd(3, 2, 1, 0);
    const __m256i spread = _mm256_set_epi32(3, 3, 2, 2, 1, 1, 0, 0);
    const __m256i lowHigh = _mm256_set_epi32(1, 0, 1, 0, 1, 0, 1, 0);
    const __m256i two = _mm256_set1_epi32(2);
    const __m128i twoQ = _mm_set1_epi32(2);
    alignas(32) int baseA[maxBlock], baseB[maxBlock];
    int x = lo;


    // two vectors of four pixels per pass
    for (; x + 8 <= hi; x += 8) {
        const __m256d xa = _mm256_add_pd(_mm256_set1_pd(double(x - g)), ramp);
        const __m256d xb = _mm256_add_pd(xa, _mm256_set1_pd(4.0));
        const __m256d xmA = _mm256_set1_pd(double(x - g) + 1.5);
        const __m256d xmB = _mm256_set1_pd(double(x - g) + 5.5);
        for (int p = 0; p < nb; p += 4) {
            const int left = nb - p;
            const __m256i m = _mm256_set_epi64x(left > 3 ? -1 : 0, left > 2 ? -1 : 0,
                                                left > 1 ? -1 : 0, -1);
            const __m256d cv = _mm256_maskload_pd(c + p, m);
            const __m256d gz = _mm256_sub_pd(gv, _mm256_maskload_pd(zs + p, m));
            const __m256d tcA = _mm256_add_pd(_mm256_mul_pd(xmA, cv), gz);
            const __m256d tcB = _mm256_add_pd(_mm256_mul_pd(xmB, cv), gz);
            _mm_store_si128(reinterpret_cast<__m128i *>(baseA + p),
                            _mm_sub_epi32(_mm256_cvtpd_epi32(_mm256_floor_pd(tcA)), twoQ));
            _mm_store_si128(reinterpret_cast<__m128i *>(baseB + p),
                            _mm_sub_epi32(_mm256_cvtpd_epi32(_mm256_floor_pd(tcB)), twoQ));
        }
        __m256d acca = _mm256_loadu_pd(row + x);
        __m256d accb = _mm256_loadu_pd(row + x + 4);
        for (int p = 0; p < nb; ++p) {
            const __m256d cv = _mm256_set1_pd(c[p]);
            const __m256d zv = _mm256_set1_pd(zs[p]);
            const double *wa = f[p] + baseA[p];
            const double *wb = f[p] + baseB[p];
            const __m256d ta = _mm256_sub_pd(_mm256_add_pd(gv, _mm256_mul_pd(xa, cv)), zv);
            const __m256d tb = _mm256_sub_pd(_mm256_add_pd(gv, _mm256_mul_pd(xb, cv)), zv);
            const __m256d ka = _mm256_cmp_pd(ta, lim, _CMP_LT_OQ);
            const __m256d kb = _mm256_cmp_pd(tb, lim, _CMP_LT_OQ);
            const __m128i ja = _mm256_cvttpd_epi32(ta);
            const __m128i jb = _mm256_cvttpd_epi32(tb);
            const __m256d ra = _mm256_sub_pd(ta, _mm256_floor_pd(ta));
            const __m256d rb = _mm256_sub_pd(tb, _mm256_floor_pd(tb));
            // dword pairs (2 i, 2 i + 1) of the window positions i = j - base
            const __m256i sa = _mm256_permutevar8x32_epi32(
                _mm256_castsi128_si256(_mm_sub_epi32(ja, _mm_set1_epi32(baseA[p]))), spread);
            const __m256i sb = _mm256_permutevar8x32_epi32(
                _mm256_castsi128_si256(_mm_sub_epi32(jb, _mm_set1_epi32(baseB[p]))), spread);
            const __m256i pa = _mm256_add_epi32(_mm256_add_epi32(sa, sa), lowHigh);
            const __m256i pb = _mm256_add_epi32(_mm256_add_epi32(sb, sb), lowHigh);
            const __m256d wa0 = _mm256_loadu_pd(wa), wa1 = _mm256_loadu_pd(wa + 4);
            const __m256d wb0 = _mm256_loadu_pd(wb), wb1 = _mm256_loadu_pd(wb + 4);
            const __m256d fa0 = pick(wa0, wa1, pa);
            const __m256d fa1 = pick(wa0, wa1, _mm256_add_epi32(pa, two));
            const __m256d fb0 = pick(wb0, wb1, pb);
            const __m256d fb1 = pick(wb0, wb1, _mm256_add_epi32(pb, two));
            const __m256d va = _mm256_add_pd(fa0, _mm256_mul_pd(_mm256_sub_pd(fa1, fa0), ra));
            const __m256d vb = _mm256_add_pd(fb0, _mm256_mul_pd(_mm256_sub_pd(fb1, fb0), rb));
            acca = _mm256_add_pd(acca, _mm256_and_pd(va, ka));
            accb = _mm256_add_pd(accb, _mm256_and_pd(vb, kb));
        }
        _mm256_storeu_pd(row + x, acca);
        _mm256_storeu_pd(row + x + 4, accb);
    }
    // the rest, up to four pixels at a time, the lanes past hi masked off
    for (; x < hi; x += 4) {
        const int left = hi - x;
        const __m256i lanes = _mm256_set_epi64x(left > 3 ? -1 : 0, left > 2 ? -1 : 0,
                                                left > 1 ? -1 : 0, -1);
        const __m256d lane = _mm256_castsi256_pd(lanes);
        const __m256d xa = _mm256_add_pd(_mm256_set1_pd(double(x - g)), ramp);
        __m256d acc = _mm256_maskload_pd(row + x, lanes);
        for (int p = 0; p < nb; ++p) {
            const __m256d cv = _mm256_set1_pd(c[p]);
            const __m256d zv = _mm256_set1_pd(zs[p]);
            const double *fp = f[p];
            const __m256d t = _mm256_sub_pd(_mm256_add_pd(gv, _mm256_mul_pd(xa, cv)), zv);
            const __m256d k = _mm256_and_pd(_mm256_cmp_pd(t, lim, _CMP_LT_OQ), lane);
            const __m128i j = _mm256_cvttpd_epi32(t);
            const __m256d r = _mm256_sub_pd(t, _mm256_cvtepi32_pd(j));
            const __m256d f0 = _mm256_mask_i32gather_pd(zero, fp, j, k, 8);
            const __m256d f1 = _mm256_mask_i32gather_pd(zero, fp + 1, j, k, 8);
            const __m256d v = _mm256_add_pd(f0, _mm256_mul_pd(_mm256_sub_pd(f1, f0), r));
            acc = _mm256_add_pd(acc, _mm256_and_pd(v, k));
        }
        _mm256_maskstore_pd(row + x, lanes, acc);
    }
}

// Pixels x .. x+7 of one projection need the samples floor(t) and
// floor(t) + 1 of at most 9 + 1 neighbouring positions (|cos| <= 1). Instead
// of gathering them, a window of 16 samples is loaded from `base` on and the
// two values are picked with one two-register permute each. Any base with
// base <= min floor(t) and max floor(t) + 1 < base + 16 serves, so it is
// taken from an approximate t of the middle pixel: floor(tc) - 6. Reads reach
// up to 16 samples before and after the row (BackProjectKernel::rowPad).
__attribute__((target("avx512f,avx512dq"))) void rowAvx512(double *row, int lo, int hi, int g,
                                                           int N, int nb, const double *c,
                                                           const double *zs,
                                                           const double *const *f)
{
    const __m512d gv = _mm512_set1_pd(double(g));
    const __m512d lim = _mm512_set1_pd(double(N - 1));
    const __m512d zero = _mm512_setzero_pd();
    const __m512d ramp = _mm512_set_pd(7, 6, 5, 4, 3, 2, 1, 0);
    const __m512i one = _mm512_set1_epi64(1);
    const __m512i six = _mm512_set1_epi64(6);
    alignas(64) long long baseA[maxBlock], baseB[maxBlock];
    int x = lo;
    // two vectors of eight pixels per pass
    for (; x + 16 <= hi; x += 16) {
        const __m512d xa = _mm512_add_pd(_mm512_set1_pd(double(x - g)), ramp);
        const __m512d xb = _mm512_add_pd(xa, _mm512_set1_pd(8.0));
        const __m512d xmA = _mm512_set1_pd(double(x - g) + 3.5);
        const __m512d xmB = _mm512_set1_pd(double(x - g) + 11.5);
        for (int p = 0; p < nb; p += 8) {
            const __mmask8 m = nb - p >= 8 ? __mmask8(0xff) : __mmask8((1u << (nb - p)) - 1);
            const __m512d cv = _mm512_maskz_loadu_pd(m, c + p);
            const __m512d gz = _mm512_sub_pd(gv, _mm512_maskz_loadu_pd(m, zs + p));
            const __m512d tcA = _mm512_add_pd(_mm512_mul_pd(xmA, cv), gz);
            const __m512d tcB = _mm512_add_pd(_mm512_mul_pd(xmB, cv), gz);
            const __m512i bA = _mm512_sub_epi64(
                _mm512_cvt_roundpd_epi64(tcA, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC), six);
            const __m512i bB = _mm512_sub_epi64(
                _mm512_cvt_roundpd_epi64(tcB, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC), six);
            _mm512_store_si512(baseA + p, bA);
            _mm512_store_si512(baseB + p, bB);
        }
        __m512d acca = _mm512_loadu_pd(row + x);
        __m512d accb = _mm512_loadu_pd(row + x + 8);
        for (int p = 0; p < nb; ++p) {
            const __m512d cv = _mm512_set1_pd(c[p]);
            const __m512d zv = _mm512_set1_pd(zs[p]);
            const double *wa = f[p] + baseA[p];
            const double *wb = f[p] + baseB[p];
            const __m512d ta = _mm512_sub_pd(_mm512_add_pd(gv, _mm512_mul_pd(xa, cv)), zv);
            const __m512d tb = _mm512_sub_pd(_mm512_add_pd(gv, _mm512_mul_pd(xb, cv)), zv);
            const __mmask8 ka = _mm512_cmp_pd_mask(ta, lim, _CMP_LT_OQ);
            const __mmask8 kb = _mm512_cmp_pd_mask(tb, lim, _CMP_LT_OQ);
            // t - floor(t), exact, as t - j in the plain loop
            const __m512d ra = _mm512_reduce_pd(ta, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
            const __m512d rb = _mm512_reduce_pd(tb, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
            const __m512i ia = _mm512_sub_epi64(_mm512_cvttpd_epi64(ta), _mm512_set1_epi64(baseA[p]));
            const __m512i ib = _mm512_sub_epi64(_mm512_cvttpd_epi64(tb), _mm512_set1_epi64(baseB[p]));
            const __m512d wa0 = _mm512_loadu_pd(wa), wa1 = _mm512_loadu_pd(wa + 8);
            const __m512d wb0 = _mm512_loadu_pd(wb), wb1 = _mm512_loadu_pd(wb + 8);
            const __m512d fa0 = _mm512_permutex2var_pd(wa0, ia, wa1);
            const __m512d fa1 = _mm512_permutex2var_pd(wa0, _mm512_add_epi64(ia, one), wa1);
            const __m512d fb0 = _mm512_permutex2var_pd(wb0, ib, wb1);
            const __m512d fb1 = _mm512_permutex2var_pd(wb0, _mm512_add_epi64(ib, one), wb1);
            const __m512d va = _mm512_add_pd(fa0, _mm512_mul_pd(_mm512_sub_pd(fa1, fa0), ra));
            const __m512d vb = _mm512_add_pd(fb0, _mm512_mul_pd(_mm512_sub_pd(fb1, fb0), rb));
            acca = _mm512_mask_add_pd(acca, ka, acca, va);
            accb = _mm512_mask_add_pd(accb, kb, accb, vb);
        }
        _mm512_storeu_pd(row + x, acca);
        _mm512_storeu_pd(row + x + 8, accb);
    }
    // the rest, up to eight pixels at a time, the lanes past hi masked off
    for (; x < hi; x += 8) {
        const int left = hi - x;
        const __mmask8 lane = left >= 8 ? __mmask8(0xff) : __mmask8((1u << left) - 1);
        const __m512d xa = _mm512_add_pd(_mm512_set1_pd(double(x - g)), ramp);
        __m512d acc = _mm512_maskz_loadu_pd(lane, row + x);
        for (int p = 0; p < nb; ++p) {
            const __m512d cv = _mm512_set1_pd(c[p]);
            const __m512d zv = _mm512_set1_pd(zs[p]);
            const double *fp = f[p];
            const __m512d t = _mm512_sub_pd(_mm512_add_pd(gv, _mm512_mul_pd(xa, cv)), zv);
            const __mmask8 k = _mm512_mask_cmp_pd_mask(lane, t, lim, _CMP_LT_OQ);
            const __m256i j = _mm512_maskz_cvttpd_epi32(0xff, t);
            const __m512d r = _mm512_sub_pd(t, _mm512_maskz_cvtepi32_pd(0xff, j));
            const __m512d f0 = _mm512_mask_i32gather_pd(zero, k, j, fp, 8);
            const __m512d f1 = _mm512_mask_i32gather_pd(zero, k, j, fp + 1, 8);
            const __m512d v = _mm512_add_pd(f0, _mm512_mul_pd(_mm512_sub_pd(f1, f0), r));
            acc = _mm512_mask_add_pd(acc, k, acc, v);
        }
        _mm512_mask_storeu_pd(row + x, lane, acc);
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
        return __builtin_cpu_supports("avx2");
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

RowFn rowFunction(BackProjectKernel::Variant v)
{
    switch (v) {
#ifdef TOMIX_X86_KERNELS
    case BackProjectKernel::Avx2:
        return rowAvx2;
    case BackProjectKernel::Avx512:
        return rowAvx512;
#endif
    default:
        return rowPortable;
    }
}

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
    const std::int64_t dz = std::int64_t(z) - g;
    const std::int64_t m = std::int64_t(g) * g - dz * dz - 1;
    if (m < 0)
        return false;
    const std::int64_t d = isqrt(m);
    lo = int(std::max<std::int64_t>(xBegin, g - d));
    hi = int(std::min<std::int64_t>(xEnd, g + d + 1));
    return lo < hi;
}

int BackProjectKernel::projectionBlock(int N)
{
    const int perRow = int(sizeof(double)) * std::max(N, 1);
    return std::clamp((512 << 10) / perRow, 8, maxBlock);
}

void BackProjectKernel::run(const Job &job)
{
    run(job, active());
}

void BackProjectKernel::run(const Job &job, Variant v)
{
    if (!job.res || job.N < 2 || job.i0 >= job.i1)
        return;
    const RowFn rowFn = rowFunction(cpuHas(v) ? v : Portable);
    const int N = job.N;
    const int g = N / 2;
    const int block = projectionBlock(N);
    double zs[maxBlock];
    for (int p0 = job.i0; p0 < job.i1; p0 += block) {
        const int nb = std::min(block, job.i1 - p0);
        const double *c = job.cosTab + p0;
        const double *s = job.sinTab + p0;
        const double *const *f = job.filtered + p0;
        for (int z = job.zBegin; z < job.zEnd; ++z) {
            int lo, hi;
            if (!rowSpan(z, N, job.xBegin, job.xEnd, lo, hi))
                continue;
            const double dz = double(z - g);
            for (int p = 0; p < nb; ++p)
                zs[p] = dz * s[p];
            rowFn(job.res + std::size_t(z) * std::size_t(N), lo, hi, g, N, nb, c, zs, f);
        }
    }
}
