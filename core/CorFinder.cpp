#include "CorFinder.h"
#include "FftwLock.h"
#include "HSgm.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <memory>
#include <vector>

namespace {

using cplx = std::complex<double>;
constexpr double pi = 3.14159265358979323846;

// One complex transform of length n with its own buffers; the plan is made
// and destroyed under the planner lock.
class Fft
{
public:
    Fft(int n, int sign) : n(n)
    {
        in = static_cast<fftw_complex *>(fftw_malloc(sizeof(fftw_complex) * std::size_t(n)));
        out = static_cast<fftw_complex *>(fftw_malloc(sizeof(fftw_complex) * std::size_t(n)));
        if (in && out) {
            FftwLock lock;
            plan = fftw_plan_dft_1d(n, in, out, sign, FFTW_ESTIMATE);
        }
    }
    ~Fft()
    {
        if (plan) {
            FftwLock lock;
            fftw_destroy_plan(plan);
        }
        fftw_free(in);
        fftw_free(out);
    }
    Fft(const Fft &) = delete;
    Fft &operator=(const Fft &) = delete;

    bool ok() const { return plan != nullptr; }
    void run() { fftw_execute(plan); }
    cplx output(int k) const { return {out[k][0], out[k][1]}; }
    void setInput(int k, cplx v)
    {
        in[k][0] = v.real();
        in[k][1] = v.imag();
    }
    // The spectrum of a real row of `w` samples (reversed and negated when
    // asked: a gradient row mirrored), zero padded to n.
    void spectrumOf(const double *row, int w, bool reversed, std::vector<cplx> &spectrum)
    {
        for (int k = 0; k < n; ++k) {
            in[k][0] = k < w ? (reversed ? -row[w - 1 - k] : row[k]) : 0.0;
            in[k][1] = 0.0;
        }
        run();
        spectrum.resize(std::size_t(n));
        for (int k = 0; k < n; ++k)
            spectrum[std::size_t(k)] = output(k);
    }

    const int n;

private:
    fftw_complex *in = nullptr, *out = nullptr;
    fftw_plan plan = nullptr;
};

int nextPow2(int v)
{
    int p = 1;
    while (p < v)
        p *= 2;
    return p;
}

// Maximum (or minimum, with a negated f) of f on [a, b] by golden sections.
template <class F>
double goldenMax(F f, double a, double b, double tol)
{
    const double g = (std::sqrt(5.0) - 1) / 2;
    double x1 = b - g * (b - a), x2 = a + g * (b - a);
    double f1 = f(x1), f2 = f(x2);
    while (b - a > tol) {
        if (f1 < f2) {
            a = x1;
            x1 = x2;
            f1 = f2;
            x2 = a + g * (b - a);
            f2 = f(x2);
        } else {
            b = x2;
            x2 = x1;
            f2 = f1;
            x1 = b - g * (b - a);
            f1 = f(x1);
        }
    }
    return (a + b) / 2;
}

CorFinder::Result failure(const QString &why)
{
    CorFinder::Result r;
    r.error = why;
    return r;
}

// ------------------------------------------------------------ correlation

// Shift s (in samples) that best maps row a onto row b, b(y) ~ a(y - s),
// with its normalised correlation; the search covers |s| <= maxLag.
struct Shift {
    double s = 0;
    double score = 0;
    bool atEdge = false;
};

Shift registerRows(const std::vector<cplx> &A, const std::vector<cplx> &B, double energy,
                   int maxLag, Fft &inverse)
{
    const int P = inverse.n;
    std::vector<cplx> X(static_cast<std::size_t>(P));
    for (int k = 0; k < P; ++k) {
        X[std::size_t(k)] = B[std::size_t(k)] * std::conj(A[std::size_t(k)]);
        inverse.setInput(k, X[std::size_t(k)]);
    }
    inverse.run();
    int best = 0;
    double bestV = -1e300;
    for (int s = -maxLag; s <= maxLag; ++s) {
        const double v = inverse.output(s >= 0 ? s : P + s).real();
        if (v > bestV) {
            bestV = v;
            best = s;
        }
    }
    // the correlation between samples, band-limited as the rows are; the
    // spectrum of two real rows is Hermitian, so the positive half will do
    auto corr = [&X, P](double s) {
        const cplx step = std::polar(1.0, 2 * pi * s / P);
        cplx z = step;
        double sum = X[0].real();
        for (int k = 1; k < P / 2; ++k) {
            sum += 2 * (X[std::size_t(k)] * z).real();
            z *= step;
        }
        return sum + (X[std::size_t(P / 2)] * z).real();
    };
    Shift r;
    r.s = goldenMax(corr, best - 1.0, best + 1.0, 2e-3);
    r.score = energy > 0 ? bestV / P / energy : 0;
    r.atEdge = std::abs(best) >= maxLag;
    return r;
}

CorFinder::Result findByCorrelation(const HSgm &h, double c0)
{
    const int w = h.width, n = h.height;
    const int K = std::min(4, n / 2);
    if (K < 1)
        return failure(QStringLiteral("too few projections"));
    const int P = nextPow2(2 * w);
    Fft forward(P, FFTW_FORWARD), inverse(P, FFTW_BACKWARD);
    if (!forward.ok() || !inverse.ok())
        return failure(QStringLiteral("no FFT plan"));

    // rows 0..K-1 as they are, rows n-1..n-K mirrored about the sampling centre
    std::vector<std::vector<cplx>> first(static_cast<std::size_t>(K)), last(static_cast<std::size_t>(K + 1));
    std::vector<double> eFirst(static_cast<std::size_t>(K)), eLast(static_cast<std::size_t>(K + 1));
    auto energyOf = [w](const double *row) {
        double e = 0;
        for (int j = 0; j < w; ++j)
            e += row[j] * row[j];
        return e;
    };
    for (int i = 0; i < K; ++i) {
        forward.spectrumOf(h.sgmRow(i), w, false, first[std::size_t(i)]);
        eFirst[std::size_t(i)] = energyOf(h.sgmRow(i));
    }
    for (int j = 1; j <= K; ++j) {
        forward.spectrumOf(h.sgmRow(n - j), w, true, last[std::size_t(j)]);
        eLast[std::size_t(j)] = energyOf(h.sgmRow(n - j));
    }

    // Row i (angle i pi/n) against mirrored row n - j (angle -j pi/n about
    // the CoR): their shift is -2 (CoR - c0) plus a part growing with
    // k = i + j. A line through the mean shift of each k, taken at k = 0.
    const int maxLag = int(0.8 * w);
    std::vector<double> ks, ds;
    double worst = 1;
    for (int k = 1; k <= K; ++k) {
        double sum = 0;
        int count = 0;
        for (int i = 0; i < k; ++i) {
            const int j = k - i;
            const Shift s = registerRows(first[std::size_t(i)], last[std::size_t(j)],
                                         std::sqrt(eFirst[std::size_t(i)] * eLast[std::size_t(j)]),
                                         maxLag, inverse);
            if (s.atEdge)
                return failure(QStringLiteral("no match within the line"));
            worst = std::min(worst, s.score);
            sum += -s.s / 2;
            ++count;
        }
        ks.push_back(k);
        ds.push_back(sum / count);
    }
    if (worst < 0.3)
        return failure(QStringLiteral("the first and the mirrored last projections do not match"));
    double delta = ds.front();
    if (ks.size() >= 2) {
        double mk = 0, md = 0;
        for (std::size_t i = 0; i < ks.size(); ++i) {
            mk += ks[i];
            md += ds[i];
        }
        mk /= double(ks.size());
        md /= double(ks.size());
        double sxy = 0, sxx = 0;
        for (std::size_t i = 0; i < ks.size(); ++i) {
            sxy += (ks[i] - mk) * (ds[i] - md);
            sxx += (ks[i] - mk) * (ks[i] - mk);
        }
        delta = md - (sxx > 0 ? sxy / sxx : 0) * mk;
    }
    CorFinder::Result r;
    r.ok = true;
    r.cor = c0 + delta;
    return r;
}

// ---------------------------------------------------------------- fourier

// The row spectra of a sinogram binned to nb angles, for the metric.
class Wedge
{
public:
    Wedge(const HSgm &h, int nb) : nb(nb), w(h.width), P(nextPow2(2 * h.width))
    {
        const int n = h.height;
        // area-weighted bins over all n rows: bin b covers rows [b n/nb, (b+1) n/nb)
        std::vector<double> binned(std::size_t(nb) * std::size_t(w), 0.0);
        for (int b = 0; b < nb; ++b) {
            const double lo = double(b) * n / nb, hi = double(b + 1) * n / nb;
            double *dst = binned.data() + std::size_t(b) * std::size_t(w);
            for (int i = int(std::floor(lo)); i < n && i < hi; ++i) {
                const double wt = std::min(hi, i + 1.0) - std::max(lo, double(i));
                if (wt <= 0)
                    continue;
                const double *src = h.sgmRow(i);
                for (int j = 0; j < w; ++j)
                    dst[j] += wt * src[j];
            }
        }
        // frequencies with room outside the wedge: pi w k / P < nb
        K = std::min(P / 2 - 1, int(double(nb) * P / (pi * w)));
        Fft forward(P, FFTW_FORWARD);
        column = std::make_unique<Fft>(2 * nb, FFTW_FORWARD);
        valid = forward.ok() && column->ok() && K >= 1;
        if (!valid)
            return;
        A.assign(std::size_t(nb) * std::size_t(K), cplx());
        B = A;
        std::vector<cplx> spectrum;
        for (int b = 0; b < nb; ++b) {
            const double *row = binned.data() + std::size_t(b) * std::size_t(w);
            forward.spectrumOf(row, w, false, spectrum);
            for (int k = 1; k <= K; ++k)
                A[std::size_t(k - 1) * nb + b] = spectrum[std::size_t(k)];
            forward.spectrumOf(row, w, true, spectrum);
            for (int k = 1; k <= K; ++k)
                B[std::size_t(k - 1) * nb + b] = spectrum[std::size_t(k)];
        }
    }

    // Magnitude outside the wedge with the mirrored half about c0 + delta.
    double metric(double delta)
    {
        double sum = 0;
        const int M = 2 * nb;
        for (int k = 1; k <= K; ++k) {
            const double ph = -2 * pi * k * 2 * delta / P;
            const cplx rot(std::cos(ph), std::sin(ph));
            const cplx *a = A.data() + std::size_t(k - 1) * nb;
            const cplx *b = B.data() + std::size_t(k - 1) * nb;
            for (int i = 0; i < nb; ++i) {
                column->setInput(i, a[i]);
                column->setInput(nb + i, b[i] * rot);
            }
            column->run();
            const double t = pi * w * k / P;    // wedge edge in harmonics
            for (int m = 0; m < M; ++m) {
                const int f = m <= M / 2 ? m : M - m;
                if (f > t)
                    sum += std::norm(column->output(m));
            }
        }
        return sum;
    }

    // Period in delta of the highest frequency used.
    double period() const { return double(P) / (2.0 * K); }

    bool valid = false;

private:
    int nb, w, P, K = 0;
    std::vector<cplx> A, B;     // [k-1][bin]
    std::unique_ptr<Fft> column;
};

CorFinder::Result findByFourier(const HSgm &h, double c0)
{
    const int w = h.width, n = h.height;
    const double reach = 0.35 * w;

    // 1. every candidate, on few binned angles
    Wedge coarse(h, std::min(n, 48));
    if (!coarse.valid)
        return failure(QStringLiteral("no FFT plan"));
    double step = std::clamp(coarse.period() / 4, 0.25, std::max(0.25, w / 32.0));
    const int steps = int(reach / step);
    std::vector<double> values;
    int best = -steps;
    for (int i = -steps; i <= steps; ++i) {
        values.push_back(coarse.metric(i * step));
        if (values.back() < values[std::size_t(best + steps)])
            best = i;
    }
    std::vector<double> sorted = values;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const double median = sorted[sorted.size() / 2];
    const double minimum = values[std::size_t(best + steps)];
    if (!(median > 0) || minimum > 0.8 * median)
        return failure(QStringLiteral("no clear minimum"));
    if (std::abs(best) >= steps)
        return failure(QStringLiteral("the CoR lies outside the search range"));
    double delta = best * step;

    // 2. two pixels either side of it, on more angles
    Wedge middle(h, std::min(n, 96));
    if (!middle.valid)
        return failure(QStringLiteral("no FFT plan"));
    {
        const double s2 = std::clamp(middle.period() / 4, 0.1, step);
        const int k2 = int(std::ceil(2 * step / s2));
        double bestV = 1e300, at = delta;
        for (int i = -k2; i <= k2; ++i) {
            const double v = middle.metric(delta + i * s2);
            if (v < bestV) {
                bestV = v;
                at = delta + i * s2;
            }
        }
        delta = at;
        step = s2;
    }

    // 3. on up to 256 angles, where the forbidden energy is a parabola in
    // the candidate near its minimum: five points, their least-squares
    // parabola, its vertex (once more about the best point if it lies
    // outside them)
    Wedge fine(h, std::min(n, 256));
    if (!fine.valid)
        return failure(QStringLiteral("no FFT plan"));
    const double hStep = std::min(step, fine.period() / 8);
    for (int round = 0; round < 3; ++round) {
        double y[5];
        int bestI = 0;
        for (int i = 0; i < 5; ++i) {
            y[i] = fine.metric(delta + (i - 2) * hStep);
            if (y[i] < y[bestI])
                bestI = i;
        }
        // fit y = a + b x + c x^2 at x = -2..2: b = sum(x y) / 10, c from the
        // centred second moment
        double sy = 0, sxy = 0, sxxy = 0;
        for (int i = 0; i < 5; ++i) {
            const double x = i - 2;
            sy += y[i];
            sxy += x * y[i];
            sxxy += x * x * y[i];
        }
        const double b = sxy / 10.0;
        const double c = (sxxy - 2.0 * sy) / 14.0;
        const double vertex = c > 0 ? -b / (2 * c) : 1e9;
        if (std::abs(vertex) <= 2.0) {
            delta += vertex * hStep;
            break;
        }
        delta += (bestI - 2) * hStep;
    }
    CorFinder::Result r;
    r.ok = true;
    r.cor = c0 + delta;
    return r;
}

// ------------------------------------------------------- levels and check

// The sinogram with every row replaced by its gradient along the row, so
// that a level in a row that is no part of the sample (no I0, an I0 a few
// percent off, a beam decaying over the scan) drops out, and rows end
// without a step into the zero padding. Mirrored, a gradient row is the
// mirrored row's gradient negated.
// The width of that Gaussian for rows of w samples: 2 pixels, more on wide
// lines, where a sample of the same size is wider and its gradients are
// smaller against the same noise.
double smoothingOf(int w)
{
    return std::max(2.0, w / 256.0);
}

HSgm gradientOf(const HSgm &h)
{
    const int w = h.width;
    HSgm g;
    g.width = w;
    g.height = h.height;
    g.slice = h.slice;
    g.sgm.assign(std::size_t(w) * std::size_t(h.height), 0.0);
    // central differences, then a Gaussian against the noise they raise
    const double sigma = smoothingOf(w);
    const int reach = int(std::ceil(3 * sigma));
    std::vector<double> kernel(std::size_t(2 * reach + 1));
    double norm = 0;
    for (int t = -reach; t <= reach; ++t)
        norm += kernel[std::size_t(t + reach)] = std::exp(-0.5 * t * t / (sigma * sigma));
    for (double &k : kernel)
        k /= norm;
    std::vector<double> d(static_cast<std::size_t>(w));
    for (int i = 0; i < h.height; ++i) {
        const double *r = h.sgmRow(i);
        d[0] = d[std::size_t(w - 1)] = 0;
        for (int j = 1; j + 1 < w; ++j)
            d[std::size_t(j)] = 0.5 * (r[j + 1] - r[j - 1]);
        double *out = g.sgm.data() + std::size_t(i) * std::size_t(w);
        for (int j = 0; j < w; ++j) {
            double sum = 0;
            for (int t = std::max(-reach, -j); t <= reach && j + t < w; ++t)
                sum += kernel[std::size_t(t + reach)] * d[std::size_t(j + t)];
            out[j] = sum;
        }
    }
    return g;
}

// How badly gradient row a (0 degrees) and gradient row b (the last
// projection, 180 degrees less one step) mirrored about sample position
// m / 2 agree where both have samples: sum (a + b')^2 / sum (a^2 + b'^2),
// b' = b at m - j. 0 for a perfect match, about 1 for unrelated rows; 2 when
// they share too few samples to tell.
double mirroredMismatch(const double *a, const double *b, int w, double m)
{
    double diff = 0, sum = 0;
    int shared = 0;
    for (int j = 0; j < w; ++j) {
        const double x = m - j;
        if (x < 0 || x > w - 1)
            continue;
        const int k = std::min(int(x), w - 2);
        const double t = x - k;
        const double v = b[k] + t * (b[k + 1] - b[k]);
        diff += (a[j] + v) * (a[j] + v);
        sum += a[j] * a[j] + v * v;
        ++shared;
    }
    return shared >= std::max(8, w / 8) && sum > 0 ? diff / sum : 2.0;
}

// The same unmirrored: the last projection taken as the first one again.
double plainMismatch(const double *a, const double *b, int w)
{
    double diff = 0, sum = 0;
    for (int j = 0; j < w; ++j) {
        diff += (a[j] - b[j]) * (a[j] - b[j]);
        sum += a[j] * a[j] + b[j] * b[j];
    }
    return sum > 0 ? diff / sum : 2.0;
}

} // namespace

QString CorFinder::methodName(Method m)
{
    return m == Method::Correlation ? QStringLiteral("correlation") : QStringLiteral("fourier");
}

bool CorFinder::methodFromName(const QString &name, Method *m)
{
    Method found;
    if (name.isEmpty())
        found = defaultMethod;
    else if (name.compare(QLatin1String("correlation"), Qt::CaseInsensitive) == 0)
        found = Method::Correlation;
    else if (name.compare(QLatin1String("fourier"), Qt::CaseInsensitive) == 0)
        found = Method::Fourier;
    else
        return false;
    if (m)
        *m = found;
    return true;
}

std::vector<int> CorFinder::imagesUsed(Method m, int n)
{
    std::vector<int> used;
    if (m == Method::Fourier) {
        // every s-th, evenly over the half turn (s divides n), at least 256
        int s = std::max(1, n / 256);
        while (n % s != 0)
            --s;
        for (int i = 0; i < n; i += s)
            used.push_back(i);
        return used;
    }
    const int K = std::min(4, n / 2);
    for (int i = 0; i < n; ++i)
        if (i < K || i >= n - K)
            used.push_back(i);
    return used;
}

double CorFinder::samplingCor(int dim)
{
    return std::floor((dim - 1) / 2.0);
}

double CorFinder::rounded(double cor)
{
    return std::round(cor * 100.0) / 100.0;
}

CorFinder::Result CorFinder::find(const HSgm &h, int dim, Method m)
{
    if (!h.hasData() || h.width < 8)
        return failure(QStringLiteral("no sinogram"));
    if (h.height < 3)
        return failure(QStringLiteral("too few projections"));
    double lo = h.sgm.front(), hi = lo;
    for (double v : h.sgm) {
        if (!std::isfinite(v))
            return failure(QStringLiteral("data not finite"));
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    if (!(hi - lo > 1e-9))
        return failure(QStringLiteral("flat data"));
    const double c0 = samplingCor(dim);
    const HSgm g = gradientOf(h);
    if (std::all_of(g.sgm.begin(), g.sgm.end(), [](double v) { return std::abs(v) < 1e-12; }))
        return failure(QStringLiteral("flat data"));
    Result r = m == Method::Correlation ? findByCorrelation(g, c0) : findByFourier(g, c0);
    if (!r.ok)
        return r;
    r.cor = rounded(r.cor);
    // a CoR whose sinogram keeps at least one sample on each side
    if (!(r.cor >= 1 && r.cor <= dim - 2))
        return failure(QStringLiteral("CoR %1 outside the image").arg(r.cor));
    // The check: row 0 against the last row mirrored about the CoR found
    // must match well for the signal they carry, clearly better than about
    // a CoR 3 units either side, best within a unit of it, and better than
    // the last row taken unmirrored (which a 360-degree scan, or a sample
    // that does not turn, matches best). Sample j of a row lies at pixel
    // p0 + j.
    const double p0 = c0 - (g.width - 1) / 2;
    const double *first = g.sgmRow(0), *last = g.sgmRow(g.height - 1);
    auto mismatch = [&](double cor) { return mirroredMismatch(first, last, g.width, 2 * (cor - p0)); };
    const double here = mismatch(r.cor), plain = plainMismatch(first, last, g.width);
    if (plain <= here && plain <= 0.3)
        return failure(QStringLiteral("the last projection matches the first one unmirrored "
                                      "(a 360-degree scan, or the sample does not turn)"));
    // Mirrored, a half turn's last projection matches the first far better
    // than as it stands; when it hardly does, something that does not turn
    // with the sample fills the rows (a pattern standing still on the
    // detector, such as an I0 whose shape is not the beam's) and the value
    // found may be pulled off the axis by it.
    if (here > 0.5 * plain)
        return failure(QStringLiteral("the mirrored last projection matches the first hardly better "
                                      "than the unmirrored one (a pattern that stands still on the "
                                      "detector, such as an I0 of another shape?)"));
    if (here > 0.3)
        return failure(QStringLiteral("the first and the mirrored last projections do not match at %1")
                           .arg(r.cor));
    // distances in units of half the smoothing width: a pixel on most lines
    const double unit = smoothingOf(g.width) / 2;
    const double side = std::min(mismatch(r.cor - 3 * unit), mismatch(r.cor + 3 * unit));
    if (side < std::max(2 * here, here + 0.15))
        return failure(QStringLiteral("no clear match at %1").arg(r.cor));
    double best = r.cor, least = here;
    for (int k = -12; k <= 12; ++k) {
        const double v = mismatch(r.cor + 0.25 * k * unit);
        if (v < least) {
            least = v;
            best = r.cor + 0.25 * k * unit;
        }
    }
    if (std::abs(best - r.cor) > unit)
        return failure(QStringLiteral("the projections match best at %1, not at %2").arg(best).arg(r.cor));
    return r;
}
