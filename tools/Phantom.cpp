#include "Phantom.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QtEndian>

#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
constexpr double pi = 3.14159265358979323846;
}

Phantom::Phantom(const Options &options) : opt(options)
{
}

Phantom Phantom::standard(const Options &options)
{
    Phantom p(options);
    // Radius of the largest circle about the CoR that stays on the detector,
    // less a margin so that every part lies well inside the reconstruction.
    const double c = p.cor();
    const double room = std::max(1.0, std::min(c, p.dim() - 1 - c) - 1.0);
    const double r = 0.9 * room;
    const double h = std::max(1.0, 0.5 * (p.slices() - 1));
    auto part = [&](double cu, double cv, double ca, double ru, double rv, double ra,
                    double phiDeg, double mu0, double jump) {
        Ellipsoid e;
        e.cu = cu * r; e.cv = cv * r; e.ca = ca * h;
        e.ru = ru * r; e.rv = rv * r; e.ra = ra * h;
        e.phi = phiDeg * pi / 180.0;
        // Values per phantom radius, so that line integrals do not depend on size.
        e.mu0 = mu0 / r;
        e.jump = jump / r;
        p.parts.push_back(e);
    };
    part(0.00, 0.00, 0.0, 0.90, 0.80, 0.95, 0, 0.50, 0.00);    // body
    part(-0.35, -0.20, 0.0, 0.30, 0.20, 0.60, 30, 0.40, 0.60); // inclusion with the edge element
    part(0.35, 0.25, 0.0, 0.15, 0.15, 0.90, 0, 0.80, 0.00);    // dense rod
    part(0.10, -0.45, 0.2, 0.08, 0.08, 0.50, 0, 0.30, 1.00);   // small grain, rich in the element
    part(0.00, 0.45, 0.0, 0.12, 0.25, 0.80, -20, -0.20, 0.00); // void (lighter than the body)
    return p;
}

std::pair<double, double> Phantom::driftAt(double energy) const
{
    const int k = int(opt.energies.indexOf(energy));
    if (k < 0 || k >= opt.drifts.size())
        return {0.0, 0.0};
    return opt.drifts.at(k);
}

double Phantom::angle(int index) const
{
    return opt.projections > 0 ? index * pi / opt.projections : 0.0;
}

double Phantom::muOf(const Ellipsoid &e, double energy, double edgeAt)
{
    const double scale = energy > 0 ? std::pow(refEnergy / energy, 3) : 1.0;
    const double edge = 0.5 + std::atan((energy - edgeAt) / edgeWidth) / pi;
    return e.mu0 * scale + e.jump * edge;
}

double Phantom::mu(double u, double v, double a, double energy) const
{
    double sum = 0;
    for (const Ellipsoid &e : parts) {
        const double du = u - e.cu, dv = v - e.cv, da = (a - e.ca) / e.ra;
        const double c = std::cos(e.phi), s = std::sin(e.phi);
        const double up = (du * c + dv * s) / e.ru;
        const double vp = (-du * s + dv * c) / e.rv;
        if (up * up + vp * vp + da * da <= 1.0)
            sum += muOf(e, energy, opt.edge);
    }
    return sum;
}

double Phantom::lineIntegral(double theta, double s, double a, double energy) const
{
    // The line has unit normal n = (cos theta, -sin theta) and distance s.
    double sum = 0;
    for (const Ellipsoid &e : parts) {
        const double da = (a - e.ca) / e.ra;
        const double k2 = 1.0 - da * da;      // cross-section scale squared
        if (k2 <= 0)
            continue;
        const double k = std::sqrt(k2);
        const double ru = e.ru * k, rv = e.rv * k;
        // Distance of the line from the ellipse centre, and the normal's angle
        // in the ellipse's own frame.
        const double sc = s - (e.cu * std::cos(theta) - e.cv * std::sin(theta));
        const double alpha = -theta - e.phi;
        const double r2 = ru * ru * std::cos(alpha) * std::cos(alpha)
                        + rv * rv * std::sin(alpha) * std::sin(alpha);
        if (sc * sc >= r2)
            continue;
        sum += muOf(e, energy, opt.edge) * 2.0 * ru * rv * std::sqrt(r2 - sc * sc) / r2;
    }
    return sum;
}

std::vector<double> Phantom::attenuationMap(int slice, int n, double centre, double energy) const
{
    std::vector<double> map(size_t(std::max(n, 0)) * size_t(std::max(n, 0)));
    const double a = axial(slice);
    for (int z = 0; z < n; ++z)
        for (int x = 0; x < n; ++x)
            map[size_t(z) * n + x] = mu(x - centre, z - centre, a, energy);
    return map;
}

std::vector<double> Phantom::reconstructedMap(int slice, int n, double centre, double energy) const
{
    std::vector<double> map = attenuationMap(slice, n, centre, energy);
    for (double &v : map)
        v *= 2.0;
    return map;
}

std::vector<double> Phantom::i0Image(double energy) const
{
    const int w = opt.width, h = opt.height;
    std::vector<double> img(size_t(w) * size_t(h), opt.i0);
    if (!opt.beamProfile)
        return img;
    // A beam brightest in its middle rows, tilted across, with a level, a
    // tilt and a flaw that change with energy (so that an I0 image of another
    // energy leaves a visible error in a reconstruction).
    const double level = 1.0 + 0.08 * std::sin(energy / 37.0);
    const double slope = 0.12 * std::sin(0.37 * energy);
    // a narrow dark stripe (a flaw of the scintillator, say) whose place
    // moves with energy: the wrong I0 leaves rings in a reconstruction
    const double phase = energy * 0.013 - std::floor(energy * 0.013);
    const double stripe = (0.3 + 0.4 * phase) * (w - 1);
    for (int y = 0; y < h; ++y) {
        const double dy = (y - (h - 1) / 2.0) / (0.6 * h);
        const double vert = 0.8 + 0.2 * std::exp(-dy * dy);
        for (int x = 0; x < w; ++x) {
            const double tilt = 1.0 + slope * (x - (w - 1) / 2.0) / w;
            const double ds = (x - stripe) / 1.5;
            const double flaw = 1.0 - 0.4 * std::exp(-ds * ds);
            img[size_t(y) * w + x] = opt.bg + (opt.i0 - opt.bg) * level * vert * tilt * flaw;
        }
    }
    return img;
}

std::vector<double> Phantom::bgImage() const
{
    return std::vector<double>(size_t(opt.width) * size_t(opt.height), opt.bg);
}

std::vector<double> Phantom::projection(int index, double energy) const
{
    std::vector<double> img = i0Image(energy);
    const double theta = angle(index);
    const int w = opt.width, h = opt.height;
    const auto [ddx, ddy] = driftAt(energy);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            // the sample's own coordinates of the pixel, the drift taken back
            const double xs = x - ddx, ys = y - ddy;
            const double a = (opt.axisVertical ? ys : xs) - (slices() - 1) / 2.0;
            const double p = opt.axisVertical ? xs : ys;
            const double l = lineIntegral(theta, p - (cor() + opt.corTilt * a), a, energy);
            double &v = img[size_t(y) * w + x];
            v = opt.bg + (v - opt.bg) * std::exp(-l);
        }
    }
    if (opt.gainErrors > 0 || opt.beamDecay != 0) {
        const std::vector<double> gain = detectorGains();
        const double beam = 1.0 - opt.beamDecay * (opt.projections > 1 ? index / double(opt.projections - 1) : 0.0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                double &v = img[size_t(y) * w + x];
                v = opt.bg + (v - opt.bg) * beam * gain[size_t(opt.axisVertical ? x : y)];
            }
    }
    if (opt.zingers > 0) {
        std::mt19937_64 rng(opt.seed * 0xD1B54A32D192ED03ull + quint64(index) + 1);
        std::uniform_real_distribution<double> u(0.0, 1.0);
        for (double &v : img)
            if (u(rng) < opt.zingers)
                v += (1.0 + 2.0 * u(rng)) * (opt.i0 - opt.bg);
    }
    return img;
}

std::vector<double> Phantom::detectorGains() const
{
    std::vector<double> gain(size_t(std::max(0, dim())), 1.0);
    if (opt.gainErrors <= 0)
        return gain;
    std::mt19937_64 rng(opt.seed * 0x9E3779B97F4A7C15ull + 0x6A09E667F3BCC909ull);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (double &g : gain) {
        const bool off = u(rng) < opt.gainErrors;
        const double size = 0.01 + 0.04 * u(rng);
        const bool up = u(rng) < 0.5;
        if (off)
            g = up ? 1.0 + size : 1.0 - size;
    }
    return gain;
}

std::vector<quint32> Phantom::toCounts(const std::vector<double> &expected, std::mt19937_64 &rng) const
{
    const double top = opt.bits == 32 ? 4294967295.0 : 65535.0;
    std::vector<quint32> out(expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        double v = std::max(0.0, expected[i]);
        if (opt.noise && v > 0) {
            std::poisson_distribution<long long> draw(v);
            v = double(draw(rng));
        } else {
            v = std::round(v);
        }
        out[i] = quint32(std::min(v, top));
    }
    return out;
}

QString Phantom::energyText(double energy)
{
    return QString::number(energy, 'g', 12);
}

QByteArray Phantom::itexComment(int width, int height, int bytesPerPixel, double expTime)
{
    return QStringLiteral("Prop_ImageWidth=%1,Prop_ImageHeight=%2,BytesPerPixel=%3,"
                          "Prop_ExposureTime1=%4,areSource=\"0,0,%1,%2\",Maker=tomix-phantom,")
        .arg(width).arg(height).arg(bytesPerPixel).arg(expTime, 0, 'g', 12)
        .toUtf8();
}

QByteArray Phantom::itexFile(const QByteArray &comment, const QByteArray &pixelBytes)
{
    const int n = int(std::min<qsizetype>(comment.size(), 65535));
    QByteArray out(64, '\0');
    out[0] = 'I';
    out[1] = 'M';
    qToLittleEndian<quint16>(quint16(n), out.data() + 2);
    out += comment.left(n);
    out += pixelBytes;
    return out;
}

QByteArray Phantom::itexImage(int width, int height, int bytesPerPixel,
                              const std::vector<quint32> &pixels)
{
    const size_t count = size_t(std::max(width, 0)) * size_t(std::max(height, 0));
    QByteArray px(qsizetype(count * size_t(bytesPerPixel)), '\0');
    uchar *dst = reinterpret_cast<uchar *>(px.data());
    for (size_t i = 0; i < count && i < pixels.size(); ++i) {
        if (bytesPerPixel == 2)
            qToLittleEndian<quint16>(quint16(std::min<quint32>(pixels[i], 65535)), dst + 2 * i);
        else
            qToLittleEndian<quint32>(pixels[i], dst + 4 * i);
    }
    return itexFile(itexComment(width, height, bytesPerPixel), px);
}

bool Phantom::writeSeries(const QString &dirName, QString *error) const
{
    auto fail = [error](const QString &msg) {
        if (error)
            *error = msg;
        return false;
    };
    const QDir dir(dirName);
    if (!dir.mkpath(QStringLiteral("ref")))
        return fail(QStringLiteral("Can not make directory ") + dir.filePath(QStringLiteral("ref")));
    const int bpp = opt.bits == 32 ? 4 : 2;
    const QString ext = opt.tiff ? QStringLiteral("tif") : QStringLiteral("img");
    quint64 imageNo = 0;
    auto save = [&](QString path, const std::vector<double> &expected) {
        // Each image has its own generator, so any image can be made alone.
        std::mt19937_64 rng(opt.seed * 0x9E3779B97F4A7C15ull + imageNo++);
        if (opt.tiff) {
            const std::vector<quint32> counts = toCounts(expected, rng);
            TiffLayout layout;
            layout.bits = opt.bits;
            layout.compression = 8;
            layout.rowsPerStrip = 16;
            path.chop(3);
            return writeTiff(path + ext, opt.width, opt.height,
                             std::vector<double>(counts.begin(), counts.end()), layout);
        }
        QSaveFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return false;
        f.write(itexImage(opt.width, opt.height, bpp, toCounts(expected, rng)));
        return f.commit();
    };

    if (!save(dir.filePath(QStringLiteral("ref/bg.img")), bgImage()))
        return fail(QStringLiteral("Can not write ") + dir.filePath(QStringLiteral("ref/bg.img")));
    for (double e : opt.energies) {
        const QString eText = energyText(e);
        const QString i0Name = QStringLiteral("ref/i0-%1eV-00000.img").arg(eText);
        if (!save(dir.filePath(i0Name), i0Image(e)))
            return fail(QStringLiteral("Can not write ") + dir.filePath(i0Name.chopped(3) + ext));
        for (int i = 0; i < opt.projections; ++i) {
            const QString name = QStringLiteral("sample-%1eV-%2.img")
                                     .arg(eText).arg(i, 5, 10, QLatin1Char('0'));
            if (!save(dir.filePath(name), projection(i, e)))
                return fail(QStringLiteral("Can not write ") + dir.filePath(name.chopped(3) + ext));
        }
    }

    QFile info(dir.filePath(QStringLiteral("phantom.txt")));
    if (info.open(QIODevice::WriteOnly | QIODevice::Text)) {
        QStringList energies;
        for (double e : opt.energies)
            energies << energyText(e);
        const QString text = QStringLiteral(
            "tomix-phantom\n"
            "width %1\nheight %2\nprojections %3 (angle_i = i * 180 / %3 degrees)\n"
            "axis %4\ncor %5 (%6)\n"
            "energies %7 eV\nbits %8\ni0 %9\nbg %10\nnoise %11\nbeam-profile %12\nformat %13\n")
            .arg(opt.width).arg(opt.height).arg(opt.projections)
            .arg(opt.axisVertical ? "vertical" : "horizontal")
            .arg(cor(), 0, 'g', 12)
            .arg(opt.axisVertical ? "column coordinate x" : "row coordinate y")
            .arg(energies.join(QLatin1Char(' '))).arg(opt.bits)
            .arg(opt.i0).arg(opt.bg)
            .arg(opt.noise ? QStringLiteral("seed %1").arg(opt.seed) : QStringLiteral("off"))
            .arg(opt.beamProfile ? "on" : "off")
            .arg(opt.tiff ? "tiff" : "itex");
        QStringList drifts;
        for (double e : opt.energies) {
            const auto [dx, dy] = driftAt(e);
            drifts << QStringLiteral("%1:%2").arg(dx, 0, 'g', 12).arg(dy, 0, 'g', 12);
        }
        const QString more = QStringLiteral("edge %1 eV\ndrift %2 (dx:dy per energy, pixels)\n")
                                 .arg(opt.edge, 0, 'g', 12).arg(drifts.join(QLatin1Char(' ')));
        info.write((text + more).toUtf8());
        if (opt.gainErrors > 0 || opt.zingers > 0 || opt.beamDecay != 0)
            info.write(QStringLiteral("gain-errors %1\nzingers %2\nbeam-decay %3\n")
                           .arg(opt.gainErrors).arg(opt.zingers).arg(opt.beamDecay).toUtf8());
    }
    return true;
}

bool Phantom::writeTiff(const QString &path, int width, int height,
                        const std::vector<double> &pixels, const TiffLayout &layout,
                        QString *error)
{
    auto fail = [&](const QString &msg) {
        if (error)
            *error = msg + QStringLiteral(" ") + path;
        return false;
    };
    if (width < 1 || height < 1 || pixels.size() < size_t(width) * size_t(height))
        return fail(QStringLiteral("No pixels for"));
    TIFF *t = TIFFOpen(QFile::encodeName(path).constData(), layout.bigEndian ? "wb" : "wl");
    if (!t)
        return fail(QStringLiteral("Can not write"));
    const int spp = std::max(1, layout.samplesPerPixel);
    const int sampleBytes = layout.bits / 8;
    bool ok = true;
    for (int page = 0; ok && page < std::max(1, layout.pages); ++page) {
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(width));
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(height));
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, uint16_t(spp));
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, uint16_t(layout.bits));
        TIFFSetField(t, TIFFTAG_SAMPLEFORMAT,
                     uint16_t(layout.isFloat ? SAMPLEFORMAT_IEEEFP : SAMPLEFORMAT_UINT));
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC,
                     uint16_t(spp > 1 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK));
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, uint16_t(PLANARCONFIG_CONTIG));
        TIFFSetField(t, TIFFTAG_COMPRESSION, uint16_t(layout.compression));
        if (layout.predictor > 1)
            TIFFSetField(t, TIFFTAG_PREDICTOR, uint16_t(layout.predictor));
        if (layout.pages > 1) {
            TIFFSetField(t, TIFFTAG_SUBFILETYPE, uint32_t(FILETYPE_PAGE));
            TIFFSetField(t, TIFFTAG_PAGENUMBER, uint16_t(page), uint16_t(layout.pages));
        }
        // One pixel in the sample type, every sample the same value.
        auto put = [&](uchar *dst, double v) {
            for (int s = 0; s < spp; ++s, dst += sampleBytes) {
                if (layout.isFloat && layout.bits == 64) {
                    const double d = v;
                    std::memcpy(dst, &d, 8);
                } else if (layout.isFloat) {
                    const float f = float(v);
                    std::memcpy(dst, &f, 4);
                } else if (layout.bits == 8) {
                    *dst = uchar(std::clamp(std::round(v), 0.0, 255.0));
                } else if (layout.bits == 16) {
                    const uint16_t u = uint16_t(std::clamp(std::round(v), 0.0, 65535.0));
                    std::memcpy(dst, &u, 2);
                } else {
                    const uint32_t u = uint32_t(std::clamp(std::round(v), 0.0, 4294967295.0));
                    std::memcpy(dst, &u, 4);
                }
            }
        };
        const size_t pixelBytes = size_t(spp) * size_t(sampleBytes);
        if (layout.tile > 0) {
            TIFFSetField(t, TIFFTAG_TILEWIDTH, uint32_t(layout.tile));
            TIFFSetField(t, TIFFTAG_TILELENGTH, uint32_t(layout.tile));
            std::vector<uchar> tile(size_t(layout.tile) * layout.tile * pixelBytes);
            for (int y0 = 0; ok && y0 < height; y0 += layout.tile) {
                for (int x0 = 0; ok && x0 < width; x0 += layout.tile) {
                    std::fill(tile.begin(), tile.end(), uchar(0));
                    for (int y = y0; y < std::min(height, y0 + layout.tile); ++y)
                        for (int x = x0; x < std::min(width, x0 + layout.tile); ++x)
                            put(tile.data() + (size_t(y - y0) * layout.tile + (x - x0)) * pixelBytes,
                                pixels[size_t(y) * width + x]);
                    ok = TIFFWriteTile(t, tile.data(), uint32_t(x0), uint32_t(y0), 0, 0) >= 0;
                }
            }
        } else {
            const int rps = layout.rowsPerStrip > 0 ? layout.rowsPerStrip : height;
            TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, uint32_t(rps));
            std::vector<uchar> line(size_t(width) * pixelBytes);
            for (int y = 0; ok && y < height; ++y) {
                for (int x = 0; x < width; ++x)
                    put(line.data() + size_t(x) * pixelBytes, pixels[size_t(y) * width + x]);
                ok = TIFFWriteScanline(t, line.data(), uint32_t(y), 0) >= 0;
            }
        }
        ok = ok && TIFFWriteDirectory(t);
    }
    TIFFClose(t);
    return ok || fail(QStringLiteral("Can not write"));
}
