// tomix-phantom: writes parallel-beam projection series of an analytic
// phantom as ITEX (or, with --tiff, TIFF) files, with I0 and BG images (see Phantom.h for the layout).
#include "Phantom.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <cmath>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tomix-phantom"));

    QCommandLineParser cl;
    cl.setApplicationDescription(QStringLiteral(
        "Writes projection series of an analytic phantom as ITEX files:\n"
        "  DIR/sample-<E>eV-<iiiii>.img  projection i at i*180/n degrees\n"
        "  DIR/ref/i0-<E>eV-00000.img    I0 image of energy E\n"
        "  DIR/ref/bg.img                BG image\n"
        "The rotation centre lies at (dim - 1) / 2 + cor-offset on the detector line.\n"
        "With --tiff the same files are TIFF images (.tif instead of .img)."));
    cl.addHelpOption();
    const QCommandLineOption out({"o", "out"}, "Output directory (made if missing).", "DIR", "phantom");
    const QCommandLineOption width("width", "Image width in pixels.", "N", "256");
    const QCommandLineOption height("height", "Image height in pixels.", "N", "256");
    const QCommandLineOption proj("projections", "Projections over 180 degrees.", "N", "180");
    const QCommandLineOption cor("cor-offset", "Centre of rotation offset in pixels.", "PX", "0");
    const QCommandLineOption axis("axis", "Rotation axis: vertical (slices are rows) or "
                                  "horizontal (slices are columns).", "AXIS", "vertical");
    const QCommandLineOption energies("energies", "Comma-separated energies in eV.", "E1,E2,...",
                                      "7112.5");
    const QCommandLineOption noise("noise", "Poisson noise drawn with this seed.", "SEED");
    const QCommandLineOption bits("bits", "Bits per pixel: 16 or 32.", "BITS", "16");
    const QCommandLineOption i0("i0", "I0 counts.", "COUNTS", "30000");
    const QCommandLineOption bg("bg", "BG counts.", "COUNTS", "100");
    const QCommandLineOption profile("beam-profile", "Non-flat I0 that differs per energy.");
    const QCommandLineOption tiff("tiff", "Write TIFF files (greyscale, Deflate) instead of ITEX.");
    const QCommandLineOption gains("gain-errors", "Fraction of the detector pixels with a gain 1 to 5 % "
                                   "off in the projections (rings).", "FRACTION", "0");
    const QCommandLineOption zingers("zingers", "Fraction of the pixels of every projection hit by a "
                                     "zinger.", "FRACTION", "0");
    const QCommandLineOption decay("beam-decay", "Fraction of the beam lost by the last projection.",
                                   "FRACTION", "0");
    const QCommandLineOption drift("drift", "CT-XAFS drift: the sample moved on the detector by "
                                   "DX,DY pixels at each energy, in the order of --energies "
                                   "(missing ones: none).", "DX:DY,DX:DY,...");
    const QCommandLineOption edge("edge-energy", "Energy in eV at which the inclusion's and the "
                                  "grain's attenuation steps up.", "E", "7112");
    cl.addOptions({gains, zingers, decay});
    cl.addOptions({out, width, height, proj, cor, axis, energies, noise, bits, i0, bg, profile, tiff,
                   drift, edge});
    cl.process(app);

    QTextStream err(stderr);
    auto bad = [&](const QString &msg) {
        err << "tomix-phantom: " << msg << "\n";
        return 2;
    };
    auto toInt = [&](const QCommandLineOption &o, int lo, int hi, int *v) {
        bool ok = false;
        *v = cl.value(o).toInt(&ok);
        return ok && *v >= lo && *v <= hi;
    };
    auto toDouble = [&](const QCommandLineOption &o, double *v) {
        bool ok = false;
        *v = cl.value(o).toDouble(&ok);
        return ok;
    };

    Phantom::Options opt;
    if (!toInt(width, 3, 65535, &opt.width))
        return bad("bad --width");
    if (!toInt(height, 3, 65535, &opt.height))
        return bad("bad --height");
    if (!toInt(proj, 1, 1000000, &opt.projections))
        return bad("bad --projections");
    if (!toDouble(cor, &opt.corOffset))
        return bad("bad --cor-offset");
    const QString ax = cl.value(axis).toLower();
    if (ax != "vertical" && ax != "horizontal")
        return bad("--axis must be vertical or horizontal");
    opt.axisVertical = ax == "vertical";
    opt.energies.clear();
    for (const QString &e : cl.value(energies).split(',', Qt::SkipEmptyParts)) {
        bool ok = false;
        const double v = e.trimmed().toDouble(&ok);
        if (!ok || v <= 0)
            return bad("bad energy " + e);
        opt.energies << v;
    }
    if (opt.energies.isEmpty())
        return bad("no energies");
    for (const QString &d : cl.value(drift).split(',', Qt::SkipEmptyParts)) {
        const QStringList xy = d.trimmed().split(':');
        bool okx = false, oky = false;
        const double dx = xy.value(0).toDouble(&okx), dy = xy.value(1).toDouble(&oky);
        if (xy.size() != 2 || !okx || !oky || !std::isfinite(dx) || !std::isfinite(dy))
            return bad("bad drift " + d + " (DX:DY)");
        opt.drifts << std::make_pair(dx, dy);
    }
    if (opt.drifts.size() > opt.energies.size())
        return bad("more drifts than energies");
    if (!toDouble(edge, &opt.edge) || !std::isfinite(opt.edge))
        return bad("bad --edge-energy");
    if (cl.isSet(noise)) {
        bool ok = false;
        opt.seed = cl.value(noise).toULongLong(&ok);
        if (!ok)
            return bad("bad --noise seed");
        opt.noise = true;
    }
    if (!toInt(bits, 16, 32, &opt.bits) || (opt.bits != 16 && opt.bits != 32))
        return bad("--bits must be 16 or 32");
    if (!toDouble(i0, &opt.i0) || !toDouble(bg, &opt.bg) || opt.bg < 0 || opt.i0 <= opt.bg)
        return bad("need 0 <= --bg < --i0");
    opt.beamProfile = cl.isSet(profile);
    opt.tiff = cl.isSet(tiff);
    for (auto [o, v] : {std::pair(&gains, &opt.gainErrors), std::pair(&zingers, &opt.zingers),
                        std::pair(&decay, &opt.beamDecay)})
        if (!toDouble(*o, v) || !(*v >= 0 && *v < 1))
            return bad("--" + o->names().constFirst() + " must be a fraction in [0, 1)");
    const double half = (opt.axisVertical ? opt.width : opt.height) / 2.0;
    if (std::abs(opt.corOffset) > half - 3)
        return bad("--cor-offset leaves no room on the detector");

    QString error;
    const Phantom p = Phantom::standard(opt);
    if (!p.writeSeries(cl.value(out), &error))
        return bad(error);
    return 0;
}
