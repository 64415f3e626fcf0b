// The corrections through the real program without a window: a phantom
// series with column gain errors, zingers and a decaying beam, reconstructed
// on the workers by a batch with and without ct_ring_removal,
// ct_zinger_removal and ct_air_columns; the corrected slices lie much closer
// to the phantom's attenuation.
#include "HeadlessProcess.h"
#include "Phantom.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <cmath>

class TestCorrectionsRun : public QObject
{
    Q_OBJECT

    static constexpr int W = 160, H = 3, NP = 240;
    QTemporaryDir tmp;
    Phantom ph = makePhantom(true);
    Phantom sound = makePhantom(false);

    static Phantom makePhantom(bool faulty)
    {
        Phantom::Options o;
        o.width = W;
        o.height = H;
        o.projections = NP;
        o.noise = true;
        o.seed = 4;
        if (faulty) {
            o.gainErrors = 0.1;
            o.zingers = 0.001;
            o.beamDecay = 0.1;
        }
        return Phantom::standard(o);
    }

    // Runs the batch lines `extra` before the reconstruction of slice 1 on
    // the workers; the program's output, ending "(exit code 0)" when it exited 0.
    QByteArray run(const QString &dir, const QString &extra, const QString &set = QStringLiteral("data"))
    {
        QDir().mkpath(dir);
        QFile bat(dir + "/run.bat");
        bat.open(QIODevice::WriteOnly);
        QTextStream b(&bat);
        const QString data = tmp.filePath(set);
        b << "ct_rot_ax_is_v 1\n"
          << "images_load \"" << data << "\" sample-*.img\n"
          << "i0_load \"" << data << "/ref/i0-" << Phantom::energyText(7112.5) << "eV-00000.img\"\n"
          << "bg_load \"" << data << "/ref/bg.img\"\n"
          << "ct_cor " << ph.cor() << "\nct_slice_from 1\nct_slice_to 1\nct_slice_step 1\n"
          << "ct_threads 1\ncalc_ct2 1\nct_auto_exec 1\ncalc_show_res 0\n"
          << extra
          << "auto_save_data 1\nauto_save_data_path \"" << dir << "\"\nauto_save_data_name s\nauto_save_data_tag t\n"
          << "auto_save_data_offset 0\nauto_save_data_upper_limit 100\nauto_save_data_lower_limit -100\n"
          << "calc_exec\n";
        b.flush();
        bat.close();
        return runHeadless(TOMIX_BIN, dir, {"-nw", "-e", "-b", bat.fileName(), "-x", "-q"}, 120000);
    }

    // RMS deviation of the saved slice from the phantom inside the
    // reconstruction circle; negative when the file is missing or malformed.
    double rmsError(const QString &dat) const
    {
        QFile f(dat);
        if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
            return -1;
        QTextStream in(&f);
        if (in.readLine() != QLatin1String("#TOMX-CTImg"))
            return -1;
        for (int i = 0; i < 5; ++i)
            in.readLine();
        std::vector<double> v;
        int N = 0;
        while (!in.atEnd()) {
            const QStringList p = in.readLine().split(QLatin1Char('\t'));
            if (p.size() != 3)
                return -1;
            N = qMax(N, p[0].toInt() + 1);
            v.push_back(p[2].toDouble());
        }
        if (N < 2 || int(v.size()) != N * N)
            return -1;
        const std::vector<double> map = ph.reconstructedMap(1, N, N / 2.0, 7112.5);
        double sq = 0;
        int cnt = 0;
        for (int z = 0; z < N; ++z)
            for (int x = 0; x < N; ++x)
                if (std::hypot(x - N / 2.0, z - N / 2.0) < 0.9 * N / 2.0) {
                    const double d = v[size_t(z) * N + x] - map[size_t(z) * N + x];
                    sq += d * d;
                    ++cnt;
                }
        return std::sqrt(sq / cnt);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(ph.writeSeries(tmp.filePath("data")));
        QVERIFY(sound.writeSeries(tmp.filePath("sound")));
    }

    // The faults at least double the error to the phantom; corrected, it is
    // within 1.3 times that of the same phantom without faults.
    void correctedRunComesCloseToThePhantom()
    {
        const QString clean = tmp.filePath("clean"), raw = tmp.filePath("raw"), fixed = tmp.filePath("fixed");
        QByteArray log = run(clean, QString(), QStringLiteral("sound"));
        QVERIFY2(log.endsWith("(exit code 0)"), log.right(2000).constData());
        log = run(raw, QString());
        QVERIFY2(log.endsWith("(exit code 0)"), log.right(2000).constData());
        log = run(fixed, "ct_ring_removal 1 3 51 21\nct_zinger_removal 1 0.1\nct_air_columns 6\n");
        QVERIFY2(log.endsWith("(exit code 0)"), log.right(2000).constData());
        const double level = rmsError(clean + "/s-t-00001.dat");
        const double before = rmsError(raw + "/s-t-00001.dat");
        const double after = rmsError(fixed + "/s-t-00001.dat");
        qInfo() << "RMS error to the phantom" << level << "without faults," << before << "->" << after;
        QVERIFY2(level > 0 && before > 0 && after > 0, log.right(2000).constData());
        QVERIFY(before > 2 * level);
        QVERIFY2(after < 1.3 * level, qPrintable(QString("%1 -> %2 (%3)").arg(before).arg(after).arg(level)));
    }
};

QTEST_GUILESS_MAIN(TestCorrectionsRun)
#include "TestCorrectionsRun.moc"
