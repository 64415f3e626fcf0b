// Repaint time of an image display showing a 2048 x 2048 picture: the whole
// picture, a zoomed-in part, and the full display with colour bar.
#include "ColorBar.h"
#include "DispA.h"
#include "ImgDisp.h"
#include "ImgDispWPV.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <cstdio>

namespace {
QImage picture(int n)
{
    QImage img(n, n, QImage::Format_Grayscale8);
    for (int y = 0; y < n; ++y) {
        uchar *line = img.scanLine(y);
        for (int x = 0; x < n; ++x)
            line[x] = uchar((x ^ y) + x / 8);
    }
    return img;
}

// Mean milliseconds of one synchronous repaint of the drawing area.
double timeRepaints(DispA *area, int rounds)
{
    area->repaint(); // warm-up
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < rounds; ++i)
        area->repaint();
    return double(t.nsecsElapsed()) / 1e6 / rounds;
}
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int n = 2048;
    const int rounds = argc > 1 ? QString(argv[1]).toInt() : 50;
    const QImage img = picture(n);

    ImgDisp d;
    d.resize(800, 800);
    d.show();
    d.image = img;
    d.newImage();
    app.processEvents();
    const double whole = timeRepaints(d.dispA(), rounds);
    d.region = QRectF(900, 900, 200, 200);
    const double zoomed = timeRepaints(d.dispA(), rounds);
    d.region = QRectF(-1024, -1024, 4096, 4096);
    const double zoomedOut = timeRepaints(d.dispA(), rounds);

    ImgDispWPV w;
    w.resize(800, 800);
    w.show();
    w.image = img;
    w.newImage();
    app.processEvents();
    const double withBar = timeRepaints(w.dispA(), rounds) + timeRepaints(w.CBar, rounds);

    std::printf("bench-repaint: %dx%d 8-bit picture in an %dx%d drawing area, %d rounds\n", n,
                n, d.dispA()->width(), d.dispA()->height(), rounds);
    std::printf("  whole picture           %8.3f ms per repaint\n", whole);
    std::printf("  zoomed in (200x200)     %8.3f ms per repaint\n", zoomed);
    std::printf("  zoomed out (4096x4096)  %8.3f ms per repaint\n", zoomedOut);
    std::printf("  with colour bar (WPV)   %8.3f ms per repaint of picture and bar\n", withBar);
    return 0;
}
