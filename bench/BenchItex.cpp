// bench-itex: opening a 2048 x 2048 16-bit ITEX image from the page cache, and
// 2048 readColumn calls on it (held in memory, and read from the file).
#include "ImgDataITEX.h"
#include "Phantom.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int N = 2048;
constexpr int Rounds = 7;

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void report(const char *what, const std::vector<double> &ms, double bytes)
{
    const double m = median(ms);
    std::printf("%-36s median %9.3f ms  min %9.3f ms  %7.2f GB/s\n", what, m,
                *std::min_element(ms.begin(), ms.end()), bytes / (m * 1e-3) / 1e9);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench-2048.img"));
    {
        std::vector<quint32> px(size_t(N) * N);
        for (size_t i = 0; i < px.size(); ++i)
            px[i] = quint32((i * 2654435761u) >> 16) & 0xffff;
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(Phantom::itexImage(N, N, 2, px)) < 0) {
            std::fprintf(stderr, "bench-itex: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    const double pixelBytes = double(N) * N * 2;

    // Warm the page cache.
    {
        ImgDataITEX warm;
        warm.fileName = path;
        if (!warm.open()) {
            std::fprintf(stderr, "bench-itex: cannot open %s\n", qPrintable(path));
            return 1;
        }
    }

    std::vector<double> openMs, colMs, rowMs, fileColMs;
    std::vector<double> out(N);
    double checksum = 0;
    for (int r = 0; r < Rounds; ++r) {
        QElapsedTimer t;
        t.start();
        ImgDataITEX img;
        img.keepInMemory = true;
        img.fileName = path;
        img.open();
        openMs.push_back(t.nsecsElapsed() * 1e-6);

        t.restart();
        for (int x = 0; x < N; ++x)
            checksum += img.readColumn(x, out.data())[x];
        colMs.push_back(t.nsecsElapsed() * 1e-6);

        t.restart();
        for (int y = 0; y < N; ++y)
            checksum += img.readRow(y, out.data())[y];
        rowMs.push_back(t.nsecsElapsed() * 1e-6);
    }
    {
        ImgDataITEX img;
        img.keepInMemory = false;
        img.fileName = path;
        img.open();
        for (int r = 0; r < 3; ++r) {
            QElapsedTimer t;
            t.start();
            for (int x = 0; x < N; x += 64)
                checksum += img.readColumn(x, out.data())[x];
            fileColMs.push_back(t.nsecsElapsed() * 1e-6 * 64);   // per 2048 calls
        }
    }

    std::printf("ITEX %d x %d, 16 bit, %.1f MiB of pixels, %d rounds\n", N, N,
                pixelBytes / (1 << 20), Rounds);
    report("open (keepInMemory)", openMs, pixelBytes);
    report("2048 x readColumn (in memory)", colMs, pixelBytes);
    report("2048 x readRow (in memory)", rowMs, pixelBytes);
    report("2048 x readColumn (from file, est.)", fileColMs, pixelBytes * N);
    std::printf("(checksum %g)\n", checksum);
    return 0;
}
