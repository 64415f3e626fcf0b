// Rendering a 2048 x 2048 16-bit image through a colour bar, and loading a
// series of 180 such images one file per turn of the event loop.
#include "ColorBar.h"
#include "ImgData.h"
#include "ImgDatas.h"
#include "Phantom.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int n = 2048;
    const int files = argc > 1 ? atoi(argv[1]) : 180;

    QTemporaryDir tmp;
    std::vector<quint32> px(size_t(n) * n);
    for (size_t i = 0; i < px.size(); ++i)
        px[i] = quint32((i * 2654435761u) >> 16) & 0xffff;
    const QString path = tmp.filePath("big.img");
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        f.write(Phantom::itexImage(n, n, 2, px));
    }

    ImgDatas d;
    ColorBar bar;
    QImage pic;
    QElapsedTimer t;
    t.start();
    d.add(path);
    std::printf("open 2048x2048 16-bit           %8.2f ms\n", t.nsecsElapsed() / 1e6);
    t.restart();
    d.toImage(0, &pic, &bar);
    std::printf("toImage, first (extremes+render)%8.2f ms\n", t.nsecsElapsed() / 1e6);
    const int reps = 10;
    t.restart();
    for (int i = 0; i < reps; ++i)
        d.toImage(0, &pic, &bar);
    std::printf("toImage, extremes cached        %8.2f ms per image\n", t.nsecsElapsed() / 1e6 / reps);

    // One file per turn of the event loop, as the main window loads a series;
    // a timer counts the turns the loop makes meanwhile.
    d.clearImgs();
    int left = files;
    long ticks = 0;
    QTimer ticker;
    ticker.setInterval(0);
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start();
    t.restart();
    std::function<void()> loadOne = [&] {
        d.add(path);
        if (--left > 0)
            QMetaObject::invokeMethod(&app, loadOne, Qt::QueuedConnection);
        else
            app.quit();
    };
    QMetaObject::invokeMethod(&app, loadOne, Qt::QueuedConnection);
    app.exec();
    const double ms = t.nsecsElapsed() / 1e6;
    std::printf("load %d files, one per loop turn %8.2f ms per image (%.2f GB/s), %ld timer turns between files\n",
                files, ms / files, double(files) * n * n * 2 / (ms * 1e6), ticks);
    return d.count() == files ? 0 : 1;
}
