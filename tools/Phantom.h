#pragma once
// Analytic phantom for parallel-beam CT test data: a sum of ellipsoids of
// constant attenuation, with exact line integrals, written as series of ITEX
// projection images together with I0 (beam without sample) and BG (dark) images.
//
// Geometry
// --------
// The sample turns about one axis. Along the axis a slice number s counts image
// rows (vertical axis: slice s is image row s) or image columns (horizontal
// axis: slice s is image column s); `slices` is their number and the axial
// coordinate of slice s is a = s - (slices - 1) / 2.
// The detector line of a slice runs along the other image direction, of
// length `dim` (the image width for a vertical axis, its height for a
// horizontal one); detector pixel p has its centre at coordinate p.
// The rotation centre (CoR) sits on the detector at
//      cor = (dim - 1) / 2 + corOffset                        [pixels],
// or, for a tilted axis, at cor + corTilt * a in slice s.
// In a slice, object points have coordinates (u, v) in pixels relative to the
// rotation axis: u runs along the columns x of a reconstructed slice image,
// v along its rows z (downwards). Projection i (i = 0 .. n - 1) is taken at
//      theta_i = i * pi / n                                 (n over 180 degrees),
// and detector pixel p of it sees the straight line
//      u * cos(theta) - v * sin(theta) = p - cor.
// This is the geometry of a back-projection that puts the CoR at the grid
// centre g and samples t = g + (x - g) cos(theta) - (z - g) sin(theta): with
// u = x - g and v = z - g the value mu(u, v) is what it reproduces.
//
// Comparing a reconstruction with attenuationMap(): the map is the true
// attenuation. With the ramp (2 pi / N) min(k, N - k) the exact angular weight
// for n projections over 180 degrees would be 1 / (2 n); the reconstruction
// core divides by n, so its values, those of the saved data files, are twice
// the attenuation per pixel: reconstructedMap(). Its result is that map less a
// smooth offset from the unpadded ramp with its zero at DC (about pi M / (6 N^2)
// per pixel for a summed value M over the slice), and blurred edges.
//
// Intensities: I = BG + (I0 - BG) * exp(-L) with L the line integral, so that
// ln((I0 - BG) / (I - BG)) = L. Attenuation is given per pixel (the unit of
// length is one pixel), so L is dimensionless.
//
// Energy: every ellipsoid has mu(E) = mu0 * (refEnergy / E)^3 + jump * edge(E),
// edge(E) = 1/2 + atan((E - opt.edge) / edgeWidth) / pi: an absorption edge
// (7112 eV unless set) that only some ellipsoids carry, so energies differ.
// With drifts, each energy's projections are the sample's moved on the
// detector (see Options::drifts).
//
// Files written by writeSeries into a directory DIR, energy text as in
// energyText() ("7112.5"):
//      DIR/sample-<E>eV-<iiiii>.img   projection i (five digits, from 00000)
//      DIR/ref/i0-<E>eV-00000.img     I0 image of that energy
//      DIR/ref/bg.img                 BG image (one for all energies)
//      DIR/phantom.txt                the parameters, for people
// With `tiff` set the images are TIFF files (".tif" instead of ".img":
// greyscale, unsigned 16- or 32-bit samples, little-endian, Deflate in strips
// of 16 rows). I0 and BG lie in a sub-directory so that "*.img" in DIR lists only the
// projections, one set per energy.
#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <utility>
#include <random>
#include <vector>

class Phantom
{
public:
    // One ellipsoid. Centre (u, v, a) and semi-axes (ru, rv, ra) in pixels;
    // phi turns it about the rotation axis: a point belongs to it when
    // u' = (u-cu)cos(phi) + (v-cv)sin(phi), v' = -(u-cu)sin(phi) + (v-cv)cos(phi)
    // satisfy (u'/ru)^2 + (v'/rv)^2 + ((a-ca)/ra)^2 <= 1. Overlapping
    // ellipsoids add up.
    struct Ellipsoid {
        double cu = 0, cv = 0, ca = 0;
        double ru = 1, rv = 1, ra = 1e30;   // ra huge: a cylinder along the axis
        double phi = 0;                      // radians
        double mu0 = 0;                      // attenuation per pixel at refEnergy without edge
        double jump = 0;                     // edge jump per pixel
    };

    struct Options {
        int width = 256;
        int height = 256;
        int projections = 180;
        double corOffset = 0;
        double corTilt = 0;                  // CoR change per slice: a tilted axis
        bool axisVertical = true;
        QList<double> energies {7112.5};
        bool noise = false;
        quint64 seed = 0;
        int bits = 16;                       // 16 or 32
        double i0 = 30000;                   // I0 counts (flat)
        double bg = 100;                     // BG counts
        bool beamProfile = false;            // non-flat I0 that differs per energy
        bool tiff = false;                   // TIFF files instead of ITEX
        // detector faults of the projections (not of I0 and BG), drawn from
        // the seed: a fraction of the detector pixels (along the detector
        // line) with a gain 1 to 5 % off, a fraction of the pixels of every
        // projection hit by a zinger (1 to 3 times I0 - BG added), and a
        // beam that has lost this fraction by the last projection
        double gainErrors = 0;
        double zingers = 0;
        double beamDecay = 0;
        // CT-XAFS drift: the sample (with its axis) moved on the detector by
        // (dx, dy) pixels at energies[k] (drifts[k]; missing ones are 0); the
        // beam, I0 and BG stay. A feature at (x, y) without drift is at
        // (x + dx, y + dy): the plane of slice s then lies in row s + dy.
        QList<std::pair<double, double>> drifts;
        double edge = 7112.0;                // edge energy of the element (eV)
    };

    // How writeTiff lays a greyscale image out.
    struct TiffLayout {
        int bits = 16;                       // 8, 16 or 32 (64 only as a float, for refusals)
        bool isFloat = false;                // IEEE floating-point samples (32 bits)
        int compression = 1;                 // TIFF code: 1 none, 5 LZW, 8 Deflate, 32773 PackBits
        int predictor = 1;                   // 1 none, 2 horizontal differencing
        bool bigEndian = false;              // "MM" instead of "II"
        int tile = 0;                        // > 0: square tiles of this size (a multiple of 16)
        int rowsPerStrip = 0;                // strips of this many rows (0: one strip)
        int samplesPerPixel = 1;             // > 1 writes RGB (the same value in every sample)
        int pages = 1;                       // further pages repeat the image
    };

    static constexpr double refEnergy = 7000.0;
    static constexpr double edgeEnergy = 7112.0;
    static constexpr double edgeWidth = 1.5;

    // An empty phantom with the options' geometry; fill `parts` yourself.
    explicit Phantom(const Options &options);
    // The standard phantom of five ellipsoids, sized to fit the reconstruction
    // circle of the options' geometry.
    static Phantom standard(const Options &options);

    Options opt;
    std::vector<Ellipsoid> parts;

    int dim() const { return opt.axisVertical ? opt.width : opt.height; }
    int slices() const { return opt.axisVertical ? opt.height : opt.width; }
    double cor() const { return (dim() - 1) / 2.0 + opt.corOffset; }
    // The CoR of a slice: cor() + corTilt * axial(slice); the sample is
    // sheared with its axis, so that every slice is a sound slice about it.
    double corAt(int slice) const { return cor() + opt.corTilt * axial(slice); }
    double axial(int slice) const { return slice - (slices() - 1) / 2.0; }
    double angle(int index) const;           // theta_i in radians

    static double muOf(const Ellipsoid &e, double energy, double edge = edgeEnergy);
    // The drift (dx, dy) of an energy of the options; (0, 0) when none.
    std::pair<double, double> driftAt(double energy) const;
    // Attenuation per pixel at a point.
    double mu(double u, double v, double a, double energy) const;
    // Line integral along u cos(theta) - v sin(theta) = s in the slice plane at a.
    double lineIntegral(double theta, double s, double a, double energy) const;
    // n x n map, row z and column x, of mu(x - centre, z - centre) in slice
    // `slice`. For a reconstruction of an odd sinogram width w on an N x N grid
    // (N = w - 1, centre g = N / 2): attenuationMap(slice, N, N / 2.0, E).
    std::vector<double> attenuationMap(int slice, int n, double centre, double energy) const;
    // What a reconstruction of that slice holds: twice attenuationMap().
    std::vector<double> reconstructedMap(int slice, int n, double centre, double energy) const;

    // Expected counts, width x height row-major (row 0 first), before noise.
    std::vector<double> i0Image(double energy) const;
    std::vector<double> bgImage() const;
    std::vector<double> projection(int index, double energy) const;
    // The gain of each detector pixel along the detector line (1 without
    // gainErrors).
    std::vector<double> detectorGains() const;
    // Rounded (and, with noise on, Poisson-drawn) counts, clamped to the pixel range.
    std::vector<quint32> toCounts(const std::vector<double> &expected, std::mt19937_64 &rng) const;

    // Writes the whole set (see above). On failure returns false with a message.
    bool writeSeries(const QString &dir, QString *error = nullptr) const;

    static QString energyText(double energy);

    // In-memory ITEX files.
    // The comment written by this generator (ends with the separating comma).
    static QByteArray itexComment(int width, int height, int bytesPerPixel, double expTime = 1.0);
    // "IM", the comment length, zeros up to byte 64, the comment, the pixel bytes.
    static QByteArray itexFile(const QByteArray &comment, const QByteArray &pixelBytes);
    // A complete file of unsigned 16- or 32-bit little-endian pixels (row-major).
    static QByteArray itexImage(int width, int height, int bytesPerPixel,
                                const std::vector<quint32> &pixels);
    // A TIFF file of width x height pixels (row-major, row 0 first), each
    // value converted to the layout's sample type. False with a message when
    // the file cannot be written.
    static bool writeTiff(const QString &path, int width, int height,
                          const std::vector<double> &pixels, const TiffLayout &layout,
                          QString *error = nullptr);
};
