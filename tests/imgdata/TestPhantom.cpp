// The analytic phantom: its projections are the exact line integrals of its
// attenuation map, in the geometry the reconstruction uses.
#include "ImgDataITEX.h"
#include "ImgDataTiff.h"
#include "Phantom.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <memory>

class TestPhantom : public QObject
{
    Q_OBJECT

    QTemporaryDir tmp;

    static Phantom disc(const Phantom::Options &o, double cu, double cv, double r, double mu)
    {
        Phantom p(o);
        Phantom::Ellipsoid e;
        e.cu = cu;
        e.cv = cv;
        e.ru = e.rv = r;
        e.mu0 = mu;
        p.parts.push_back(e);
        return p;
    }

    // Line integrals -ln((I - BG)/(I0 - BG)) read back from an ITEX file of
    // projection `index`, along the detector line of `slice`.
    std::vector<double> measured(const Phantom &p, int index, int slice)
    {
        std::mt19937_64 rng(1);
        const int bpp = p.opt.bits == 32 ? 4 : 2;
        const QString path = tmp.filePath(QString("p%1.img").arg(index));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            qFatal("cannot write");
        f.write(Phantom::itexImage(p.opt.width, p.opt.height, bpp,
                                   p.toCounts(p.projection(index, 7000), rng)));
        f.close();
        ImgDataITEX img;
        img.fileName = path;
        if (!img.open())
            return {};
        std::vector<double> line(p.dim());
        if (p.opt.axisVertical)
            img.readRow(slice, line.data());
        else
            img.readColumn(slice, line.data());
        for (double &v : line)
            v = std::log((p.opt.i0 - p.opt.bg) / (v - p.opt.bg));
        return line;
    }

    static double chord(double r, double s)
    {
        return s * s < r * r ? 2.0 * std::sqrt(r * r - s * s) : 0.0;
    }

private slots:
    void centredDisc()
    {
        Phantom::Options o;
        o.width = 65;
        o.height = 9;
        o.projections = 6;
        const double r = 20.5, mu = 0.025;    // up to 1.0 through the middle
        const Phantom p = disc(o, 0, 0, r, mu);
        QCOMPARE(p.cor(), 32.0);
        for (int i = 0; i < o.projections; ++i) {
            const auto l = measured(p, i, 4);
            QCOMPARE(int(l.size()), 65);
            for (int x = 0; x < 65; ++x)
                QVERIFY2(std::abs(l[x] - mu * chord(r, x - 32.0)) < 2e-4,
                         qPrintable(QString("angle %1 pixel %2: %3").arg(i).arg(x).arg(l[x])));
        }
    }

    void geometryOfAnOffCentreDisc_data()
    {
        QTest::addColumn<bool>("vertical");
        QTest::addColumn<int>("bits");
        QTest::newRow("vertical axis") << true << 16;
        QTest::newRow("horizontal axis, 32 bit") << false << 32;
    }
    void geometryOfAnOffCentreDisc()
    {
        // Disc at u = 6, v = -10 about a CoR shifted by 2.5 pixels. Projection
        // 0 (0 degrees) sees it at p = cor + u; projection 2 of 4 (90 degrees)
        // at p = cor - v, as t = g + (x - g) cos - (z - g) sin requires.
        QFETCH(bool, vertical);
        QFETCH(int, bits);
        Phantom::Options o;
        o.width = vertical ? 61 : 5;
        o.height = vertical ? 5 : 61;
        o.projections = 4;
        o.corOffset = 2.5;
        o.axisVertical = vertical;
        o.bits = bits;
        const double r = 8, mu = 0.05;
        const Phantom p = disc(o, 6, -10, r, mu);
        QCOMPARE(p.cor(), 32.5);
        QCOMPARE(p.dim(), 61);
        const double tol = 2e-4;     // 16-bit rounding of counts near 30000
        const auto at0 = measured(p, 0, 2);
        const auto at90 = measured(p, 2, 2);
        for (int k = 0; k < 61; ++k) {
            QVERIFY(std::abs(at0[k] - mu * chord(r, k - (32.5 + 6))) < tol);
            QVERIFY(std::abs(at90[k] - mu * chord(r, k - (32.5 + 10))) < tol);
        }
    }

    void lineIntegralsMatchTheMap()
    {
        // The standard phantom, turned ellipses included: a numerical integral
        // of mu along the line equals the analytic line integral.
        Phantom::Options o;
        o.width = 101;
        o.height = 11;
        const Phantom p = Phantom::standard(o);
        QCOMPARE(int(p.parts.size()), 5);
        const double step = 0.002;
        for (double theta : {0.0, 0.4, 1.3, 2.2, 3.0}) {
            for (double s : {-30.0, -12.5, 0.0, 7.25, 21.0}) {
                for (int slice : {5, 8}) {
                    const double a = p.axial(slice);
                    // Points u cos - v sin = s: (s cos, -s sin) + t (sin, cos).
                    double sum = 0;
                    for (double t = -60 + step / 2; t < 60; t += step)
                        sum += p.mu(s * std::cos(theta) + t * std::sin(theta),
                                    -s * std::sin(theta) + t * std::cos(theta), a, 7112.5) * step;
                    const double exact = p.lineIntegral(theta, s, a, 7112.5);
                    QVERIFY2(std::abs(sum - exact) < 2e-3 * std::max(1.0, exact),
                             qPrintable(QString("theta %1 s %2: %3 vs %4").arg(theta).arg(s).arg(sum).arg(exact)));
                }
            }
        }
        // The map samples mu at pixel centres about the given centre.
        const auto map = p.attenuationMap(5, 64, 32, 7100);
        QCOMPARE(int(map.size()), 64 * 64);
        QCOMPARE(map[size_t(40) * 64 + 20], p.mu(20 - 32, 40 - 32, p.axial(5), 7100));
        QCOMPARE(map[0], 0.0);
        QVERIFY(map[size_t(32) * 64 + 32] > 0);
        // The edge makes energies differ, below and above it.
        QVERIFY(p.lineIntegral(0.3, -15, 0, 7130) > p.lineIntegral(0.3, -15, 0, 7090) + 0.1);
    }

    void countsAndNoise()
    {
        Phantom::Options o;
        o.width = 16;
        o.height = 4;
        o.projections = 2;
        const Phantom flat = Phantom::standard(o);
        std::mt19937_64 rng(0);
        const auto i0 = flat.toCounts(flat.i0Image(7112.5), rng);
        QCOMPARE(i0.front(), 30000u);
        QCOMPARE(flat.toCounts(flat.bgImage(), rng).back(), 100u);

        o.noise = true;
        o.seed = 11;
        const Phantom noisy = Phantom::standard(o);
        std::mt19937_64 a(5), b(5), c(6);
        const auto img = noisy.i0Image(7112.5);
        const auto na = noisy.toCounts(img, a);
        QCOMPARE(noisy.toCounts(img, b), na);
        QVERIFY(noisy.toCounts(img, c) != na);
        double mean = 0;
        for (quint32 v : na)
            mean += v;
        mean /= na.size();
        QVERIFY(std::abs(mean - 30000) < 4 * std::sqrt(30000.0 / na.size()) + 1);

        // 16-bit counts never wrap.
        o.noise = false;
        o.i0 = 70000;
        const Phantom bright(o);
        QCOMPARE(bright.toCounts(bright.i0Image(7000), rng).front(), 65535u);
    }

    void writesASeries()
    {
        Phantom::Options o;
        o.width = 12;
        o.height = 8;
        o.projections = 3;
        o.energies = {7100, 7112.5};
        o.bits = 32;
        o.beamProfile = true;
        const QString dir = tmp.filePath("series");
        QString error;
        QVERIFY(Phantom::standard(o).writeSeries(dir, &error));
        const QStringList names = QDir(dir).entryList({"*.img"}, QDir::Files, QDir::Name);
        QCOMPARE(names, QStringList({"sample-7100eV-00000.img", "sample-7100eV-00001.img",
                                     "sample-7100eV-00002.img", "sample-7112.5eV-00000.img",
                                     "sample-7112.5eV-00001.img", "sample-7112.5eV-00002.img"}));
        QCOMPARE(QDir(dir + "/ref").entryList({"*.img"}, QDir::Files, QDir::Name),
                 QStringList({"bg.img", "i0-7100eV-00000.img", "i0-7112.5eV-00000.img"}));

        ImgDataITEX img;
        img.fileName = dir + "/ref/i0-7112.5eV-00000.img";
        QVERIFY(img.open());
        QCOMPARE(img.width, 12);
        QCOMPARE(img.height, 8);
        QCOMPARE(img.bytesPerPixel, 4);
        ImgDataITEX other;
        other.fileName = dir + "/ref/i0-7100eV-00000.img";
        QVERIFY(other.open());
        // Non-flat I0 that differs per energy.
        QVERIFY(img.readRow(0, img.rowBuf)[0] != img.readRow(4, img.rowBuf)[0]);
        QVERIFY(img.readRow(4, img.rowBuf)[5] != other.readRow(4, other.rowBuf)[5]);

        // The same series as TIFF files: same names with ".tif", same pixels.
        o.tiff = true;
        const QString tdir = tmp.filePath("series-tiff");
        QVERIFY(Phantom::standard(o).writeSeries(tdir, &error));
        QCOMPARE(QDir(tdir).entryList({"*.tif"}, QDir::Files, QDir::Name).size(), 6);
        for (const QString &name : {QString("ref/bg"), QString("ref/i0-7112.5eV-00000"),
                                    QString("sample-7100eV-00002")}) {
            ImgDataITEX a;
            a.fileName = dir + "/" + name + ".img";
            ImgDataTiff b;
            b.fileName = tdir + "/" + name + ".tif";
            QVERIFY(a.open());
            QVERIFY(b.open());
            QCOMPARE(b.width, 12);
            for (int y = 0; y < 8; ++y)
                QCOMPARE(std::vector<double>(b.readRow(y, b.rowBuf), b.rowBuf + 12),
                         std::vector<double>(a.readRow(y, a.rowBuf), a.rowBuf + 12));
        }
    }
};

QTEST_GUILESS_MAIN(TestPhantom)
#include "TestPhantom.moc"
