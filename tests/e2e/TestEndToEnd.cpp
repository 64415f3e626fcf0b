// The whole chain with the real program and no window: phantom files of two
// energies on disk, a batch that steps through the data sets with the I0 file
// of the nearest energy, reconstructs a slice range on the workers and saves
// images and data, and a viewer peer listening where the configuration says.
#include "HeadlessProcess.h"
#include "SavedSlice.h"
#include "Phantom.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <cmath>

class TestEndToEnd : public QObject
{
    Q_OBJECT

    static constexpr int W = 64, H = 8, NP = 90, From = 2, To = 5;
    const QList<double> energies{7100, 7125};
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
        o.beamProfile = true;            // each energy has its own, non-flat I0
        return Phantom::standard(o);
    }

    // Runs the real program without a window on a batch that steps through
    // the data sets, with the I0 files matching i0Pattern to choose from.
    // Returns the program's output; `heard` collects what the peer received.
    QByteArray runBatch(const QString &dir, const QString &i0Pattern, QByteArray *heard)
    {
        QTcpServer peer;
        if (!peer.listen(QHostAddress::LocalHost, 0))
            return "no peer";
        QList<QTcpSocket *> socks;
        connect(&peer, &QTcpServer::newConnection, this, [&] {
            while (peer.hasPendingConnections()) {
                QTcpSocket *s = peer.nextPendingConnection();
                socks << s;
                connect(s, &QTcpSocket::readyRead, this, [heard, s] { *heard += s->readAll(); });
            }
        });
        QDir().mkpath(dir);
        QFile cfg(dir + "/config.cfg");
        cfg.open(QIODevice::WriteOnly);
        cfg.write(QString("2dOrvex 127.0.0.1 %1\n").arg(peer.serverPort()).toUtf8());
        cfg.close();
        const QString out = dir + "/out";
        QFile bat(dir + "/run.bat");
        bat.open(QIODevice::WriteOnly);
        QTextStream b(&bat);
        b << "bg_load \"" << data << "/ref/bg.img\"\n"
          << "seq_exec_select_i0 \"" << data << "/ref\" " << i0Pattern << "\n"
          << "add_inf_ASR_standard 1\n"
          << "seq_exec_file_pattern *.img\n"
          << "seq_exec_dir \"" << data << "\"\n"
          << "ct_rot_ax_is_v 1\n"
          << "ct_slice_from " << From << "\nct_slice_to " << To << "\nct_slice_step 1\n"
          << "ct_threads 2\ncalc_ct2 1\nct_auto_exec 1\n"
          << "auto_save_data 1\nauto_save_data_path \"" << out << "/data\"\nauto_save_data_name ph\n"
          << "auto_save_data_offset 0\nauto_save_data_upper_limit 100\nauto_save_data_lower_limit -100\n"
          << "auto_save_image 1\nauto_save_image_path \"" << out << "/img\"\nauto_save_image_name ph\n"
          << "auto_save_in_sub_folders 1\nauto_save_in_sub_folders_of_energy 1\n"
          << ":loop\n"
          << "seq_exec_set\n"
          << "calc_exec\n"
          << "seq_exec_next\n"
          << ":ifok :goto :loop\n"
          << ":end\n";
        b.flush();
        bat.close();

        QProcess tomix;
        startHeadless(tomix, TOMIX_BIN, dir, {"-nw", "-e", "-c", cfg.fileName(), "-b", bat.fileName(), "-x", "-q"});
        if (!tomix.waitForStarted())
            return "not started";
        // keep this event loop turning for the peer while the program runs
        QElapsedTimer t;
        t.start();
        while (tomix.state() != QProcess::NotRunning && t.elapsed() < 180000)
            QTest::qWait(20);
        QTest::qWait(50);
        QByteArray log = tomix.readAll();
        if (tomix.state() != QProcess::NotRunning) {
            tomix.kill();
            tomix.waitForFinished();
            log += "\n(killed after 180 s)";
        } else if (tomix.exitStatus() != QProcess::NormalExit || tomix.exitCode() != 0) {
            log += QString("\n(exit code %1)").arg(tomix.exitCode()).toUtf8();
        } else {
            log += "\n(ok)";
        }
        qDeleteAll(socks);
        return log;
    }

    // Deviation of a saved slice from the phantom's attenuation map inside the
    // reconstruction circle: the RMSE after removing the mean difference (the
    // ramp is zero at DC, which leaves a smooth offset), the offset itself and
    // the densest attenuation. False when the file is missing or malformed.
    bool compare(const QString &dat, int slice, double energy, double *rmse, double *offset, double *peak)
    {
        const SavedSlice d = readSavedSlice(dat);
        if (!d.ok || d.x0 != 0 || d.z0 != 0)
            return false;
        const int N = d.x1 + 1;
        if (int(d.values.size()) != N * N)
            return false;
        const std::vector<double> map = ph.reconstructedMap(slice, N, N / 2.0, energy);
        const double r = N / 2.0 - 2;
        auto inside = [&](int x, int z) {
            const double dx = x - N / 2.0, dz = z - N / 2.0;
            return dx * dx + dz * dz <= r * r;
        };
        double sum = 0;
        int cnt = 0;
        *peak = 0;
        for (int z = 0; z < N; ++z)
            for (int x = 0; x < N; ++x)
                if (inside(x, z)) {
                    sum += d.values[size_t(z) * N + x] - map[size_t(z) * N + x];
                    *peak = qMax(*peak, map[size_t(z) * N + x]);
                    ++cnt;
                }
        *offset = sum / cnt;
        double sq = 0;
        for (int z = 0; z < N; ++z)
            for (int x = 0; x < N; ++x)
                if (inside(x, z)) {
                    const double dev = d.values[size_t(z) * N + x] - map[size_t(z) * N + x] - *offset;
                    sq += dev * dev;
                }
        *rmse = std::sqrt(sq / cnt);
        return true;
    }

private slots:
    void initTestCase()
    {
        data = tmp.filePath("data");
        QVERIFY(ph.writeSeries(data));
    }

    // Every slice of every energy, data and image, in the energy folder named
    // by the set; the values reconstruct the phantom at that energy; the
    // peer heard the introduction.
    void twoEnergiesHeadless()
    {
        QByteArray heard;
        const QString dir = tmp.filePath("run");
        const QByteArray log = runBatch(dir, "i0-*.img", &heard);
        QVERIFY2(log.endsWith("(ok)"), log.right(2000).constData());
        QVERIFY2(heard.contains("myName Tomix\n"), heard.constData());
        for (double e : energies) {
            const QString tag = Phantom::energyText(e) + "eV";      // the set's name
            for (int s = From; s <= To; ++s) {
                const QString idx = QString::asprintf("%05d", s);
                const QString png = dir + "/out/img/" + tag + "/ph-" + tag + "-" + idx + ".png";
                QVERIFY2(QFile::exists(png), qPrintable(png + "\n" + log.right(1500)));
                const QString dat = dir + "/out/data/" + tag + "/ph-" + tag + "-" + idx + ".dat";
                double rmse = 0, offset = 0, peak = 0;
                QVERIFY2(compare(dat, s, e, &rmse, &offset, &peak), qPrintable(dat));
                // Blurred ellipse edges (linear interpolation, 90 angles, a
                // 64-pixel grid) stay well below a tenth of the densest
                // attenuation; the DC offset below a fifth of it.
                const QString what = QString("%1: rmse %2 offset %3 peak %4").arg(dat).arg(rmse).arg(offset).arg(peak);
                QVERIFY2(peak > 0 && rmse < 0.1 * peak, qPrintable(what));
                QVERIFY2(std::abs(offset) < 0.2 * peak, qPrintable(what));
            }
        }
    }

    // The same run offered only the I0 image of the other energy: the first
    // set's slices then miss the bound, so the bound above does see which I0
    // was used.
    void wrongI0IsVisible()
    {
        QByteArray heard;
        const QString dir = tmp.filePath("wrong");
        const QByteArray log = runBatch(dir, "i0-7125eV-*.img", &heard);
        QVERIFY2(log.endsWith("(ok)"), log.right(2000).constData());
        const QString tag = "7100eV";
        int misses = 0;
        for (int s = From; s <= To; ++s) {
            const QString dat = dir + "/out/data/" + tag + "/ph-" + tag + QString::asprintf("-%05d.dat", s);
            double rmse = 0, offset = 0, peak = 0;
            QVERIFY2(compare(dat, s, 7100, &rmse, &offset, &peak), qPrintable(dat));
            if (rmse >= 0.1 * peak)
                ++misses;
        }
        QCOMPARE(misses, To - From + 1);
    }
};

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "TestEndToEnd.moc"
