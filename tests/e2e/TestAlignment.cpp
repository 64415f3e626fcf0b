// Alignment between energies with the real program and no window: a phantom
// sequence of five energies whose sample drifts on the detector by a known
// (dx, dy) per energy, and whose inclusion's attenuation steps at the edge.
// A headless batch runs the sequence with "Align Energies" and once without.
#include "HeadlessProcess.h"
#include "SavedSlice.h"
#include "Phantom.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QPoint>
#include <QTest>
#include <QTextStream>

#include <cmath>

class TestAlignment : public QObject
{
    Q_OBJECT

    static constexpr int W = 96, H = 32, NP = 120, Slice = 16;
    const QList<double> energies{7100, 7105, 7110, 7115, 7120};
    // the reference (the first set) stays; the others drift up to 3.3 pixels
    const QList<std::pair<double, double>> drifts{
        {0, 0}, {1.84, -1.37}, {-2.62, 0.55}, {2.31, 2.18}, {-0.47, -2.26}};
    QTemporaryDir tmp;
    Phantom ph = makePhantom();
    QString data;

    Phantom makePhantom() const
    {
        Phantom::Options o;
        o.width = W;
        o.height = H;
        o.projections = NP;
        o.energies = energies;
        o.drifts = drifts;
        return Phantom::standard(o);
    }

    // The sequence as a batch loop over the sets of `from` (default: the
    // drifting phantom's); returns the program's output.
    QByteArray runSequence(const QString &dir, bool align, int reference, bool autoCor = false,
                           QString from = QString())
    {
        if (from.isEmpty())
            from = data;
        QDir().mkpath(dir);
        QFile cfg(dir + "/config.cfg");
        cfg.open(QIODevice::WriteOnly);
        cfg.close();
        QFile bat(dir + "/run.bat");
        bat.open(QIODevice::WriteOnly);
        QTextStream b(&bat);
        b << "bg_load \"" << from << "/ref/bg.img\"\n"
          << "seq_exec_select_i0 \"" << from << "/ref\" i0-*.img\n"
          << "add_inf_ASR_standard 1\nseq_exec_file_pattern *.img\n"
          << "seq_exec_dir \"" << from << "\"\n"
          << (autoCor ? QString("seq_exec_auto_cor 1\nct_proc_slice %1\n").arg(Slice) : QString())
          << "seq_exec_align " << (align ? 1 : 0) << "\nseq_exec_align_reference " << reference << "\n"
          << "ct_rot_ax_is_v 1\nct_cor " << ph.cor() << "\n"
          << "ct_slice_from " << Slice << "\nct_slice_to " << Slice << "\nct_slice_step 1\n"
          << "ct_threads 2\ncalc_ct2 1\nct_auto_exec 1\n"
          << "auto_save_data 1\nauto_save_data_path \"" << dir << "/out\"\nauto_save_data_name ph\n"
          << "auto_save_data_offset 0\nauto_save_data_upper_limit 100\nauto_save_data_lower_limit -100\n"
          << "auto_save_in_sub_folders 1\nauto_save_in_sub_folders_of_energy 1\n"
          << ":loop\nseq_exec_set\ncalc_exec\nseq_exec_next\n:ifok :goto :loop\n:end\n";
        b.flush();
        bat.close();
        return runHeadless(TOMIX_BIN, dir, {"-nw", "-e", "-c", cfg.fileName(), "-b", bat.fileName(), "-x", "-q"},
                           240000);
    }

    SavedSlice slice(const QString &dir, double e) const
    {
        const QString tag = Phantom::energyText(e) + "eV";
        return readSavedSlice(dir + "/out/" + tag + "/ph-" + tag + QString::asprintf("-%05d.dat", Slice));
    }

private slots:
    void initTestCase()
    {
        data = tmp.filePath("data");
        QVERIFY(ph.writeSeries(data));
    }

    // Shifts found within 0.05 pixel of the drifts; every energy on one grid;
    // at a pixel of the inclusion and one of the matrix (each 3 pixels from
    // the inclusion's edge, on its long axis; 3 x 3 means) the saved values
    // equal the phantom's attenuation within 1 % at every energy - across the
    // edge - and without alignment they visibly do not.
    void sequenceLinesUp()
    {
        const QString dir = tmp.filePath("aligned");
        const QByteArray log = runSequence(dir, true, 1);
        QVERIFY2(log.endsWith("(exit code 0)"), log.right(3000).constData());
        const QRegularExpression line(
            "Set (\\S+)eV shifted by \\((-?[0-9.]+), (-?[0-9.]+)\\) px against 7100eV");
        int found = 0;
        for (auto it = line.globalMatch(QString::fromUtf8(log)); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            const int k = int(energies.indexOf(m.captured(1).toDouble()));
            QVERIFY2(k > 0, qPrintable(m.captured(0)));
            const QString what = m.captured(0)
                + QString(", drift (%1, %2)").arg(drifts[k].first).arg(drifts[k].second);
            QVERIFY2(std::abs(m.captured(2).toDouble() - drifts[k].first) <= 0.05, qPrintable(what));
            QVERIFY2(std::abs(m.captured(3).toDouble() - drifts[k].second) <= 0.05, qPrintable(what));
            ++found;
        }
        QVERIFY2(found == energies.size() - 1, log.right(3000).constData());

        const QString un = tmp.filePath("unaligned");
        const QByteArray log2 = runSequence(un, false, 1);
        QVERIFY2(log2.endsWith("(exit code 0)"), log2.right(3000).constData());

        // the reference grid: CoR 47.5 leaves 47 samples a side, N = 92
        const int N = 92;
        const double g = N / 2.0;
        const Phantom::Ellipsoid &inc = ph.parts[1];
        const auto pixel = [&](double off) {
            const double r = inc.ru + off;
            return QPoint(int(std::lround(g + inc.cu + r * std::cos(inc.phi))),
                          int(std::lround(g + inc.cv + r * std::sin(inc.phi))));
        };
        const QPoint inside = pixel(-3), outside = pixel(3);
        QVERIFY(ph.mu(inside.x() - g, inside.y() - g, ph.axial(Slice), 7120)
                > ph.mu(outside.x() - g, outside.y() - g, ph.axial(Slice), 7120));
        double worstUnaligned = 0;
        for (double e : energies) {
            const SavedSlice a = slice(dir, e), b = slice(un, e);
            QCOMPARE(a.n(), N);
            QCOMPARE(b.n(), N);
            const std::vector<double> truth = ph.reconstructedMap(Slice, N, g, e);
            for (const QPoint &p : {inside, outside}) {
                double t = 0;
                for (int j = -1; j <= 1; ++j)
                    for (int i = -1; i <= 1; ++i)
                        t += truth[std::size_t(p.y() + j) * N + std::size_t(p.x() + i)] / 9;
                const double va = a.near(p.x(), p.y()), vb = b.near(p.x(), p.y());
                const QString what = QString("%1 eV at (%2, %3): aligned %4, unaligned %5, truth %6")
                                         .arg(e).arg(p.x()).arg(p.y()).arg(va).arg(vb).arg(t);
                QVERIFY2(t > 0 && std::abs(va / t - 1) < 0.01, qPrintable(what));
                worstUnaligned = std::max(worstUnaligned, std::abs(vb / t - 1));
            }
        }
        QVERIFY2(worstUnaligned > 0.1, qPrintable(QString::number(worstUnaligned)));
    }

    // "Auto CoR" without alignment, the sample drifting across the axis only:
    // each set is reconstructed at the CoR it finds, on the grid of the
    // reference set's CoR (here the second set's: 45 samples a side, N = 88,
    // where the first set's own CoR would leave 92), so at every energy the
    // slice is of one size and pixel (x, z) shows the same point of the sample.
    void autoCorKeepsTheReferenceGrid()
    {
        Phantom::Options o = ph.opt;
        o.drifts = {{0, 0}, {1.84, 0}, {-2.62, 0}, {2.31, 0}, {-0.47, 0}};
        const Phantom across = Phantom::standard(o);
        const QString from = tmp.filePath("across");
        QVERIFY(across.writeSeries(from));
        const QString dir = tmp.filePath("autocor");
        const QByteArray log = runSequence(dir, false, 2, true, from);
        QVERIFY2(log.endsWith("(exit code 0)"), log.right(3000).constData());
        // each set at its own CoR, the sets in order
        int k = 0;
        for (auto it = QRegularExpression(QString("Slice %1 at CoR (\\S+)").arg(Slice))
                           .globalMatch(QString::fromUtf8(log));
             it.hasNext(); ++k) {
            const QRegularExpressionMatch m = it.next();
            QVERIFY2(k < energies.size(), qPrintable(m.captured(0)));
            QVERIFY2(std::abs(m.captured(1).toDouble() - across.cor() - o.drifts[k].first) <= 0.1,
                     qPrintable(m.captured(0)));
        }
        QCOMPARE(k, energies.size());

        const int N = 88;
        const double g = N / 2.0;
        const Phantom::Ellipsoid &inc = across.parts[1];
        const auto pixel = [&](double off) {
            const double r = inc.ru + off;
            return QPoint(int(std::lround(g + inc.cu + r * std::cos(inc.phi))),
                          int(std::lround(g + inc.cv + r * std::sin(inc.phi))));
        };
        for (double e : energies) {
            const SavedSlice d = slice(dir, e);
            QCOMPARE(d.n(), N);
            const std::vector<double> truth = across.reconstructedMap(Slice, N, g, e);
            for (const QPoint &p : {pixel(-3), pixel(3)}) {
                double t = 0;
                for (int j = -1; j <= 1; ++j)
                    for (int i = -1; i <= 1; ++i)
                        t += truth[std::size_t(p.y() + j) * N + std::size_t(p.x() + i)] / 9;
                const double v = d.near(p.x(), p.y());
                QVERIFY2(t > 0 && std::abs(v / t - 1) < 0.01,
                         qPrintable(QString("%1 eV at (%2, %3): %4, truth %5").arg(e).arg(p.x()).arg(p.y()).arg(v).arg(t)));
            }
        }
    }

    // A reference that is not there: every other set is named, counted in the
    // exit status and reconstructed unshifted, on the reference's grid.
    void missingReferenceIsCounted()
    {
        const QString dir = tmp.filePath("noref");
        const QByteArray log = runSequence(dir, true, 9);
        QVERIFY2(log.contains("not aligned, reconstructed unshifted : there is no reference set 9"),
                 log.right(3000).constData());
        QVERIFY2(!log.endsWith("(exit code 0)"), log.right(3000).constData());
        for (double e : energies)
            QCOMPARE(slice(dir, e).n(), 92);
    }
};

QTEST_GUILESS_MAIN(TestAlignment)
#include "TestAlignment.moc"
