// tomix-bench: the per-slice path of a reconstruction worker on generated
// data held in memory, timed stage by stage.
//
//   tomix-bench [--width N] [--projections n] [--slices S] [--threads T] [--bp-threads K]
//               [--reference] [--scaling] [--kernel portable|avx2|avx512] [--text] [--png]
//               [--padding zero|edge|none] [--filter ramp|shepp-logan|cosine|hamming|hann]
//
// The data: n projections of S image lines of N + 3 pixels (16-bit counts of
// a few absorbing discs over a dark level), with I0 and BG lines. Each slice
// goes through what a worker does: the sinogram from the raw lines with I0
// and BG (HSgm), transform and ramp filter of every row, the back-projection
// over the whole N x N grid (the stages of a SlicePipeline), and on request
// the data-file text and the PNG image. T threads each own one SlicePipeline
// and one HSgm and take
// slices from a shared counter, as the workers do; with K > 1 (and one
// worker) each slice's back-projection is shared out over K threads, as for a
// lone slice, and CPU times are the process's.
//
// One line per stage: seconds per slice (wall time summed over the threads,
// and thread CPU time, which stays meaningful on a busy machine), pixel
// updates per second per core (pixels inside the circle times projections,
// over CPU time), and with --reference the speed-up of the back-projection
// over the straightforward kernel: the median of five pairs timed one right
// after the other on one thread (the fast kernel on a whole slice, the
// straightforward one on every tenth projection). With --scaling, the
// slices per second of T threads (2 when T is 1) over one thread, each
// thread doing 4 slices: the median of eleven pairs timed one right after
// the other. A last line gives the filter's share of the slice beside the
// back-projection's, with its padding and transform length (default: the
// default filter, rows zero-padded to a power of two >= 2N).
#include "DiscPhantom.h"
#include "BackProjectKernel.h"
#include "BackProjector.h"
#include "DataFileText.h"
#include "DataSaver.h"
#include "GreyMap.h"
#include "HSgm.h"
#include "SlicePipeline.h"

#include <QBuffer>
#include <QByteArray>
#include <QCoreApplication>
#include <QImage>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <ctime>
#include <thread>
#include <vector>

namespace {

double wallNow()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// With a lone slice's back-projection shared out over several threads, CPU
// time is the whole process's (there is one worker then).
bool processClock = false;

double cpuNow()
{
#if defined(CLOCK_THREAD_CPUTIME_ID)
    timespec ts;
    clock_gettime(processClock ? CLOCK_PROCESS_CPUTIME_ID : CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + 1e-9 * double(ts.tv_nsec);
#else
    return wallNow();
#endif
}

// Wall and CPU time of a stage, summed over slices.
struct Clock {
    double wall = 0, cpu = 0;
    void add(const Clock &o) { wall += o.wall; cpu += o.cpu; }
};

class Stopwatch
{
public:
    Stopwatch() : w(wallNow()), c(cpuNow()) {}
    void stopInto(Clock &into)
    {
        const double w1 = wallNow(), c1 = cpuNow();
        into.wall += w1 - w;
        into.cpu += c1 - c;
        w = w1;
        c = c1;
    }

private:
    double w, c;
};

enum Stage { Sinogram, Filter, Back, Text, Png, StageCount };
const char *const stageNames[StageCount] = {"sinogram (raw lines, I0, BG)", "transform + filter",
                                            "back-projection", "data-file text", "PNG image"};

struct Options {
    int N = 1024;
    int n = 720;
    int slices = 0;         // 0: 2 per thread, at least 4
    int threads = 1;
    int bpThreads = 1;
    bool reference = false;
    bool scaling = false;
    bool text = false;
    bool png = false;
    const char *kernel = nullptr;
    RampFilter filter;
};

// Raw 16-bit lines of every projection and slice, and the I0 and BG lines.
struct Series {
    int dim = 0, n = 0, slices = 0;
    double cor = 0;
    std::vector<std::uint16_t> counts;  // [slice][projection][pixel]
    std::vector<double> i0, bg;

    const std::uint16_t *line(int slice, int i) const
    {
        return counts.data() + (std::size_t(slice) * std::size_t(n) + std::size_t(i)) * std::size_t(dim);
    }
};

Series makeSeries(int N, int n, int slices)
{
    Series s;
    s.dim = N + 3;          // CoR (N + 2) / 2: sinogram width N + 1, transform length N
    s.cor = (N + 2) / 2;
    s.n = n;
    s.slices = slices;
    s.i0.assign(std::size_t(s.dim), 30000.0);
    s.bg.assign(std::size_t(s.dim), 100.0);
    s.counts.resize(std::size_t(slices) * std::size_t(n) * std::size_t(s.dim));
    const double R = 0.45 * N;
    for (int sl = 0; sl < slices; ++sl) {
        const double k = 1.0 + 0.5 * sl / std::max(1, slices);   // slices differ a little
        const DiscPhantom ph{{{0, 0, R, 0.5 / R}, {0.3 * R, 0.2 * R * k, 0.2 * R, 0.8 / R},
                              {-0.4 * R, -0.1 * R, 0.15 * R * k, -0.3 / R}}};
        for (int i = 0; i < n; ++i) {
            const double th = i * M_PI / n;
            std::uint16_t *out = s.counts.data() + (std::size_t(sl) * std::size_t(n) + std::size_t(i)) * std::size_t(s.dim);
            for (int p = 0; p < s.dim; ++p) {
                const double L = ph.lineIntegral(p - s.cor, th);
                out[p] = std::uint16_t(std::lround(100.0 + 29900.0 * std::exp(-L)));
            }
        }
    }
    return s;
}

double insidePixels(int N)
{
    const std::int64_t g = N / 2;
    double inside = 0;
    for (std::int64_t z = 0; z < N; ++z)
        for (std::int64_t x = 0; x < N; ++x)
            inside += (x - g) * (x - g) + (z - g) * (z - g) < g * g;
    return inside;
}

// What one thread measured.
struct ThreadResult {
    Clock stage[StageCount];
    int slices = 0;
    double busy = 0;        // wall seconds from the start to this thread's end
    bool ok = true;
};

// Slices per second while every thread works: each thread's slices over its
// own time, summed (what a long range run gets; the last slices of a short
// run, where one thread already waits, do not count against it).
double workingRate(const std::vector<ThreadResult> &results)
{
    double rate = 0;
    for (const ThreadResult &r : results)
        if (r.busy > 0)
            rate += r.slices / r.busy;
    return rate;
}

// A pool of worker threads over `total` slices of the series (slice k uses
// the data of k modulo the series' slices). Every thread prepares its core
// first; the clock runs from when all are ready to when the last one ends,
// so a run measures the steady work of a range, not the one-time set-up
// (each thread does one untimed slice before it is ready, which touches
// every buffer for the first time).
struct Pool {
    const Series &s;
    const Options &o;
    int total = 0;
    std::atomic<int> next{0};
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};

    Pool(const Series &series, const Options &options, int slices) : s(series), o(options), total(slices) {}

    // One slice through every stage, timed into out; false when it failed.
    bool runSlice(HSgm &h, SlicePipeline &pipe, int slice, ThreadResult &out) const
    {
        const SliceRegion all{0, 0, double(o.N), double(o.N)};
        Stopwatch sw;
        SlicePipeline::build(h, true, s.cor, slice, s.dim, s.slices, s.n,
                [&](double *line) { std::copy(s.i0.begin(), s.i0.end(), line); return true; },
                [&](double *line) { std::copy(s.bg.begin(), s.bg.end(), line); return true; },
                [&](int i, double *line) {
                    const std::uint16_t *src = s.line(slice, i);
                    for (int p = 0; p < s.dim; ++p)
                        line[p] = src[p];
                });
        sw.stopInto(out.stage[Sinogram]);
        if (SlicePipeline::lengthFor(h.width) != o.N || h.height != o.n || !pipe.begin(h))
            return false;
        pipe.filterAll(h);
        sw.stopInto(out.stage[Filter]);
        pipe.projectAll(0.0, all);
        pipe.findExtremes();
        sw.stopInto(out.stage[Back]);
        if (o.text) {
            const QByteArray text = DataFileText::make(pipe.res().data(), o.N, all, -1e300, 1e300, 0.0);
            if (text.isEmpty())
                return false;
            sw.stopInto(out.stage[Text]);
        }
        if (o.png) {
            GreyMap map;
            map.minV = pipe.resMin;
            map.maxV = pipe.resMax;
            const QImage img = map.render(pipe.res().data(), o.N, o.N);
            QByteArray bytes;
            QBuffer buf(&bytes);
            buf.open(QIODevice::WriteOnly);
            if (!img.save(&buf, "PNG", DataSaver::pngQuality))
                return false;
            sw.stopInto(out.stage[Png]);
        }
        return true;
    }

    void worker(ThreadResult &out)
    {
        HSgm h;
        SlicePipeline pipe;
        pipe.setThreads(o.bpThreads);
        // prepared, and one slice done so that every buffer has been touched
        ThreadResult warm;
        const bool ready1 = pipe.prepare(o.N, o.n, o.filter) && runSlice(h, pipe, 0, warm);
        ready.fetch_add(1);
        while (!go.load())
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        if (!ready1) {
            out.ok = false;
            return;
        }
        const double start = wallNow();
        for (;;) {
            const int k = next.fetch_add(1);
            if (k >= total)
                break;
            if (!runSlice(h, pipe, k % s.slices, out)) {
                out.ok = false;
                return;
            }
            ++out.slices;
            out.busy = wallNow() - start;
        }
    }

    // Runs the pool on `threads` threads; gives the wall seconds.
    double run(int threads, std::vector<ThreadResult> &results)
    {
        results.assign(std::size_t(threads), ThreadResult());
        std::vector<std::thread> pool;
        for (int t = 0; t < threads; ++t)
            pool.emplace_back([this, &results, t] { worker(results[std::size_t(t)]); });
        while (ready.load() < threads)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        const double t0 = wallNow();
        go.store(true);
        for (std::thread &th : pool)
            th.join();
        return wallNow() - t0;
    }
};

// Register-only arithmetic, no memory: what the machine's cores give side
// by side when nothing is shared but the clock and the host's other load.
// Runs `threads` threads of the same work; gives the work done per second,
// summed over the threads.
double registerLoop(int threads)
{
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    std::atomic<double> sink{0};
    std::vector<double> busy(std::size_t(threads), 0.0);
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([&, t] {
            double c[8];
            for (int j = 0; j < 8; ++j)
                c[j] = 1.0 + 1e-3 * j;
            ready.fetch_add(1);
            while (!go.load())
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            const double start = wallNow();
            for (long k = 0; k < 60000000; ++k)
                for (double &v : c)
                    v = v * 0.9999999 + 1e-7;
            busy[std::size_t(t)] = wallNow() - start;
            double sum = 0;
            for (double v : c)
                sum += v;
            sink.store(sum);
        });
    while (ready.load() < threads)
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    go.store(true);
    for (std::thread &th : pool)
        th.join();
    double rate = 0;
    for (double b : busy)
        rate += b > 0 ? 1.0 / b : 0.0;
    return rate;
}

// Slices per second of `threads` threads over the same work per thread as
// one thread, against one thread, timed in pairs one right after the other
// (the order alternating), so that a machine whose speed drifts under other
// load changes both alike; beside each pair the same ratio of the register
// loop, the ceiling the machine gave at that moment. Rates are those while
// every thread works (workingRate).
struct Scaling {
    std::vector<double> slices, ceiling;
};

Scaling pairedScaling(const Series &s, const Options &o, int threads, int perThread)
{
    constexpr int pairs = 11;
    Scaling out;
    for (int k = 0; k < pairs; ++k) {
        double one = 0, many = 0;
        for (int leg = 0; leg < 2; ++leg) {
            const bool single = (leg == 0) == (k % 2 == 0);
            std::vector<ThreadResult> r;
            Pool pool(s, o, single ? perThread : threads * perThread);
            pool.run(single ? 1 : threads, r);
            for (const ThreadResult &t : r)
                if (!t.ok)
                    return {};
            (single ? one : many) = workingRate(r);
        }
        const double r1 = registerLoop(1), rn = registerLoop(threads);
        if (one > 0 && r1 > 0) {
            out.slices.push_back(many / one);
            out.ceiling.push_back(rn / r1);
        }
    }
    return out;
}

// The straightforward kernel against the fast one on one thread, timed in
// pairs one right after the other (the whole slice by the fast kernel, every
// tenth projection by the straightforward loop), so that a machine whose
// speed drifts under other load changes both alike. Gives the median ratio
// of the pairs and the straightforward loop's CPU seconds per update.
struct Reference {
    double speedUp = 0;
    double secondsPerUpdate = 0;
};

Reference pairedReference(const Series &s, const Options &o, double inside)
{
    Reference out;
    HSgm h;
    auto method = std::make_unique<BackProjector>();
    BackProjector *bp = method.get();
    SlicePipeline pipe(std::move(method));
    pipe.setFilter(o.filter);
    const SliceRegion all{0, 0, double(o.N), double(o.N)};
    SlicePipeline::build(h, true, s.cor, 0, s.dim, s.slices, s.n, {}, {}, [&](int i, double *line) {
        const std::uint16_t *src = s.line(0, i);
        for (int p = 0; p < s.dim; ++p)
            line[p] = src[p];
    });
    if (!pipe.begin(h))
        return out;
    pipe.filterAll(h);
    constexpr int pairs = 5;
    std::vector<double> ratios, plainSpu;
    for (int k = 0; k < pairs; ++k) {
        Clock fast, plain;
        pipe.clearResult();
        Stopwatch sw;
        pipe.projectAll(0.0, all);
        sw.stopInto(fast);
        int done = 0;
        for (int i = k % 10; i < o.n; i += 10, ++done)
            bp->addOnePlain(i, 0.0, all);
        sw.stopInto(plain);
        const double fastSpu = fast.cpu / (inside * o.n);
        const double spu = plain.cpu / (inside * std::max(done, 1));
        if (fastSpu > 0) {
            ratios.push_back(spu / fastSpu);
            plainSpu.push_back(spu);
        }
    }
    if (ratios.empty())
        return out;
    std::sort(ratios.begin(), ratios.end());
    std::sort(plainSpu.begin(), plainSpu.end());
    out.speedUp = ratios[ratios.size() / 2];
    out.secondsPerUpdate = plainSpu[plainSpu.size() / 2];
    return out;
}

bool intArg(int argc, char **argv, int &k, const char *name, int &value)
{
    if (std::strcmp(argv[k], name) != 0 || k + 1 >= argc)
        return false;
    value = std::atoi(argv[++k]);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    Options o;
    for (int k = 1; k < argc; ++k) {
        if (intArg(argc, argv, k, "--width", o.N) || intArg(argc, argv, k, "--projections", o.n)
            || intArg(argc, argv, k, "--slices", o.slices) || intArg(argc, argv, k, "--threads", o.threads)
            || intArg(argc, argv, k, "--bp-threads", o.bpThreads))
            continue;
        if (std::strcmp(argv[k], "--reference") == 0)
            o.reference = true;
        else if (std::strcmp(argv[k], "--scaling") == 0)
            o.scaling = true;
        else if (std::strcmp(argv[k], "--text") == 0)
            o.text = true;
        else if (std::strcmp(argv[k], "--png") == 0)
            o.png = true;
        else if (std::strcmp(argv[k], "--kernel") == 0 && k + 1 < argc)
            o.kernel = argv[++k];
        else if (std::strcmp(argv[k], "--padding") == 0 && k + 1 < argc
                 && RampFilter::paddingFromName(argv[k + 1], &o.filter.padding))
            ++k;
        else if (std::strcmp(argv[k], "--filter") == 0 && k + 1 < argc
                 && RampFilter::windowFromName(argv[k + 1], &o.filter.window))
            ++k;
        else {
            std::fprintf(stderr,
                         "usage: tomix-bench [--width N] [--projections n] [--slices S] [--threads T]\n"
                         "                   [--bp-threads K]\n"
                         "                   [--reference] [--scaling] [--kernel portable|avx2|avx512]\n"
                         "                   [--text] [--png] [--padding zero|edge|none]\n"
                         "                   [--filter ramp|shepp-logan|cosine|hamming|hann]\n");
            return 2;
        }
    }
    o.N -= o.N % 2;
    if (o.N < 2 || o.n < 1 || o.threads < 1 || o.bpThreads < 1) {
        std::fprintf(stderr, "tomix-bench: need --width >= 2, --projections >= 1, --threads >= 1, --bp-threads >= 1\n");
        return 2;
    }
    if (o.bpThreads > 1 && (o.threads > 1 || o.scaling)) {
        std::fprintf(stderr, "tomix-bench: --bp-threads is for one worker (--threads 1, no --scaling)\n");
        return 2;
    }
    processClock = o.bpThreads > 1;
    if (o.slices < 1)
        o.slices = std::max(4, 2 * o.threads);
    if (o.kernel) {
        const BackProjectKernel::Variant v = BackProjectKernel::fromName(o.kernel);
        if (v == BackProjectKernel::Auto || !BackProjectKernel::force(v)) {
            std::fprintf(stderr, "tomix-bench: kernel \"%s\" is not available here\n", o.kernel);
            return 2;
        }
    }
    QCoreApplication app(argc, argv);

    const Series s = makeSeries(o.N, o.n, o.slices);
    const double inside = insidePixels(o.N);
    const double updates = inside * o.n;    // per slice

    std::printf("tomix-bench: %d x %d projections (grid %d x %d), %d slices, %d threads, kernel %s\n",
                o.N, o.n, o.N, o.N, o.slices, o.threads,
                BackProjectKernel::name(BackProjectKernel::active()));

    std::vector<ThreadResult> results;
    const double wall = Pool(s, o, o.slices).run(o.threads, results);

    Clock total[StageCount];
    int done = 0;
    for (const ThreadResult &r : results) {
        if (!r.ok) {
            std::fprintf(stderr, "tomix-bench: a slice failed\n");
            return 1;
        }
        for (int k = 0; k < StageCount; ++k)
            total[k].add(r.stage[k]);
        done += r.slices;
    }
    const Reference ref = o.reference ? pairedReference(s, o, inside) : Reference();
    const double refSpu = ref.secondsPerUpdate;

    std::printf("  %-30s %12s %12s %16s %10s\n", "stage", "wall s/slice", "cpu s/slice",
                "updates/s/core", "speed-up");
    double sliceCpu = 0;
    for (int k = 0; k < StageCount; ++k) {
        if ((k == Text && !o.text) || (k == Png && !o.png))
            continue;
        const double w = total[k].wall / done, c = total[k].cpu / done;
        sliceCpu += c;
        if (k == Back) {
            const double ups = updates / c;
            char speedUp[32] = "-";
            if (ref.speedUp > 0)
                std::snprintf(speedUp, sizeof speedUp, "%.1fx", ref.speedUp);
            std::printf("  %-30s %12.4f %12.4f %16.3e %10s\n", stageNames[k], w, c, ups, speedUp);
        } else {
            std::printf("  %-30s %12.4f %12.4f %16s %10s\n", stageNames[k], w, c, "", "");
        }
    }
    if (refSpu > 0)
        std::printf("  %-30s %12s %12.4f %16.3e %10s\n", "straightforward back-projection", "",
                    refSpu * updates, 1.0 / refSpu, "1.0x");
    std::printf("  %-30s %12.4f %12.4f   (run %.3f s wall, %.2f slices/s)\n", "slice, all stages",
                wall / done, sliceCpu, wall, done / wall);
    if (sliceCpu > 0)
        std::printf("  filter (%s, padding %s, transform length %d): %.1f %% of the slice's CPU time,"
                    " back-projection %.1f %%\n",
                    RampFilter::windowName(o.filter.window), RampFilter::paddingName(o.filter.padding),
                    o.filter.transformLength(o.N), 100 * total[Filter].cpu / done / sliceCpu,
                    100 * total[Back].cpu / done / sliceCpu);
    if (o.scaling) {
        const int many = o.threads > 1 ? o.threads : 2;
        const Scaling sc = pairedScaling(s, o, many, 4);
        if (sc.slices.empty()) {
            std::fprintf(stderr, "tomix-bench: a slice failed\n");
            return 1;
        }
        const auto line = [](const char *label, const std::vector<double> &ratios) {
            char list[256] = "";
            for (double r : ratios)
                std::snprintf(list + std::strlen(list), sizeof list - std::strlen(list), " %.2fx", r);
            std::vector<double> sorted = ratios;
            std::sort(sorted.begin(), sorted.end());
            std::printf("  %-30s %12s %12s %16s %9.2fx   (pairs:%s)\n", label, "", "", "",
                        sorted[sorted.size() / 2], list);
        };
        char label[48];
        std::snprintf(label, sizeof label, "1 -> %d threads, slices/s", many);
        line(label, sc.slices);
        line("  register-only loop (ceiling)", sc.ceiling);
    }
    return 0;
}
