// Spectra and edge-jump maps read back from data files of several energies
// written in the layout the workers save.
#include "DataFileGrid.h"
#include "DataFileText.h"
#include "EnergyCurve.h"
#include "JumpMap.h"
#include "TestFiles.h"

#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <limits>
#include <vector>

class TestEnergyCurve : public QObject
{
    Q_OBJECT
    QTemporaryDir tmp;
    static constexpr int N = 24;

    // A value every energy and pixel tells apart; quarter steps, so that the
    // file's six digits hold it exactly.
    static double truth(int k, int x, int z) { return 0.25 * (k * 7 + x) - 0.5 * z + (k % 2) * 3; }

    // Data file of energy k over the region, with the values of truth().
    QString writeEnergy(int k, double energy, const SliceRegion &r)
    {
        std::vector<double> res(std::size_t(N) * N);
        for (int z = 0; z < N; ++z)
            for (int x = 0; x < N; ++x)
                res[std::size_t(z) * N + x] = truth(k, x, z);
        const double inf = std::numeric_limits<double>::infinity();
        return writeTestFile(tmp, QStringLiteral("s-%1eV-00007.dat").arg(energy),
                             DataFileText::make(res.data(), N, r, -inf, inf, 0));
    }

private slots:
    // Size 1 gives the value written at the pixel, size 3 the mean of its
    // 3 x 3 square, for every energy, ascending; a square reaching past a
    // file's region is the mean of its pixels inside; a damaged file and a
    // pixel outside every region are named, not plotted.
    void spectrumIsTheValuesWrittenPerEnergy()
    {
        const QList<double> energies{7125, 7100, 7112.5, 7090};
        QList<EnergyFile> files;
        for (int k = 0; k < energies.size(); ++k)
            files << EnergyFile{energies.at(k), QString(), writeEnergy(k, energies.at(k), {2, 3, 20, 22})};

        const EnergyCurve one = EnergyCurve::ofSquare(files, 9, 14, 1);
        QVERIFY(one.failures().isEmpty());
        QCOMPARE(one.points().size(), 4);
        const QList<int> order{3, 1, 2, 0};   // ascending energy
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(one.points().at(i).energy, energies.at(order.at(i)));
            QCOMPARE(one.points().at(i).value, truth(order.at(i), 9, 14));
        }
        const EnergyCurve three = EnergyCurve::ofSquare(files, 9, 14, 3);
        for (int i = 0; i < 4; ++i) {
            double sum = 0;
            for (int z = 13; z <= 15; ++z)
                for (int x = 8; x <= 10; ++x)
                    sum += truth(order.at(i), x, z);
            QVERIFY(std::abs(three.points().at(i).value - sum / 9) < 1e-12);
        }
        // the corner pixel (2, 3): only 2 x 2 of its square lie in the region
        const EnergyCurve corner = EnergyCurve::ofSquare(files, 2, 3, 3);
        QVERIFY(std::abs(corner.points().at(0).value
                         - (truth(3, 2, 3) + truth(3, 3, 3) + truth(3, 2, 4) + truth(3, 3, 4)) / 4) < 1e-12);
        QCOMPARE(QString::fromLatin1(one.csv()).split('\n').first(),
                 QStringLiteral("7090,%1").arg(truth(3, 9, 14)));

        const EnergyCurve outside = EnergyCurve::ofSquare(files, 21, 14, 1);
        QCOMPARE(outside.points().size(), 0);
        QCOMPARE(outside.failures().size(), 4);

        // a file cut short in its rows: refused whole, named
        QFile cut(files.at(2).path);
        QVERIFY(cut.open(QIODevice::ReadOnly));
        const QByteArray bytes = cut.readAll();
        cut.close();
        files[2].path = writeTestFile(tmp, "cut.dat", bytes.left(bytes.size() - 200));
        const EnergyCurve damaged = EnergyCurve::ofSquare(files, 9, 21, 1);
        QCOMPARE(damaged.points().size(), 3);
        QCOMPARE(damaged.failures().size(), 1);
        QVERIFY(damaged.failures().first().contains("cut.dat"));
        // a header that claims a region the file cannot hold is refused, not
        // made room for
        files[2].path = writeTestFile(tmp, "huge.dat", "#TOMX-CTImg\n# Range_X0       : 0\n# Range_Y0       : 0\n"
                                                       "# Range_X1       : 999999\n# Range_Y1       : 999999\n"
                                                       "0\t0\t1\n");
        const EnergyCurve huge = EnergyCurve::of(files, 0, 0, 999999, 999999);
        QCOMPARE(huge.failures().size(), 1);
        QVERIFY(huge.failures().first().contains("larger than the file"));
    }

    // The map equals the mean over the energies above E0 minus that below,
    // worked out here from the values written, on the pixels all files hold;
    // an energy at E0 counts on neither side. Its text reads back to it.
    void jumpMapEqualsAnIndependentEvaluation()
    {
        const QList<double> energies{7090, 7100, 7112, 7120, 7135};
        const QList<SliceRegion> regions{{1, 1, 22, 22}, {0, 2, 21, 23}, {3, 0, 24, 24}, {2, 2, 20, 21}, {0, 0, 24, 24}};
        QList<EnergyFile> files;
        for (int k = 0; k < energies.size(); ++k)
            files << EnergyFile{energies.at(k), QString(), writeEnergy(k, energies.at(k), regions.at(k))};

        const JumpMap m = JumpMap::of(files, 7112);
        QVERIFY2(m.ok(), qPrintable(m.why()));
        QCOMPARE(m.energiesBelow(), 2);
        QCOMPARE(m.energiesAbove(), 2);
        // the file at E0 (from x 3) takes no part, nor its region
        QCOMPARE(m.x0(), 2);
        QCOMPARE(m.z0(), 2);
        QCOMPARE(m.width(), 20 - 2);
        QCOMPARE(m.height(), 21 - 2);
        for (int z = 2; z < 21; ++z)
            for (int x = 2; x < 20; ++x) {
                const double jump = (truth(3, x, z) + truth(4, x, z)) / 2 - (truth(0, x, z) + truth(1, x, z)) / 2;
                QCOMPARE(m.at(x, z), jump);
            }

        const QString saved = writeTestFile(tmp, "s-jump-7112eV-00007.dat", m.text());
        DataFileGrid back;
        QVERIFY2(back.read(saved), qPrintable(back.why()));
        QCOMPARE(back.x0(), 2);
        QCOMPARE(back.width(), 18);
        QCOMPARE(back.height(), 19);
        for (int z = 2; z < 21; ++z)
            for (int x = 2; x < 20; ++x)
                QCOMPARE(back.at(x, z), m.at(x, z));

        QVERIFY(!JumpMap::of(files, 7000).ok());   // nothing below the edge
        QVERIFY(!JumpMap::of(files, 7135).ok());   // nothing above it
    }
};

QTEST_GUILESS_MAIN(TestEnergyCurve)
#include "TestEnergyCurve.moc"
