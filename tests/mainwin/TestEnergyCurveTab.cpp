// The real Spectrum tab of the real window: a click on a CT image plots the
// values that the data files of every energy hold at the pixel clicked.
#include "Body.h"
#include "ui_Body.h"
#include "ui_CtDisp.h"

#include "CtDisp.h"
#include "DataFileText.h"
#include "DispA.h"
#include "Batch.h"
#include "BatchCmd.h"
#include "DataFileGrid.h"
#include "ImgDisp.h"
#include "Phantom.h"
#include "SelectAFile.h"
#include "EnergyCurvePanel.h"
#include "ui_EnergyCurvePanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineSeries>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <limits>
#include <vector>

class TestEnergyCurveTab : public QObject
{
    Q_OBJECT
    QTemporaryDir tmp;
    // larger than the pictures "CT Images" keeps: a picture pixel is not a
    // result pixel
    static constexpr int N = 500;

    static double truth(int k, int x, int z) { return 0.125 * x - 0.25 * z + 10 * k * k; }

    void writeSlice(const QString &dir, const QString &tag, int k, int slice, int N = TestEnergyCurveTab::N)
    {
        std::vector<double> res(std::size_t(N) * N);
        for (int z = 0; z < N; ++z)
            for (int x = 0; x < N; ++x)
                res[std::size_t(z) * N + x] = truth(k, x, z);
        const double inf = std::numeric_limits<double>::infinity();
        QVERIFY(QDir().mkpath(dir));
        QFile f(QDir(dir).filePath(QStringLiteral("s-%1-%2.dat").arg(tag).arg(slice, 5, 10, QLatin1Char('0'))));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(DataFileText::make(res.data(), N, {0, 0, double(N), double(N)}, -inf, inf, 0));
    }

private slots:
    // Three energies saved in sub-folders of energy, plus a jump map and a
    // CoR trial that are no energies; a click on "CT Images" at slice 7 and
    // the series holds one point per energy, ascending, at the result pixel
    // under the pointer; size 3 gives the mean of its square. A file saved
    // later (as during a sequence) joins the plot. A Shift-drag gives the
    // rectangle's mean.
    void clickOnACtImagePlotsTheSavedValues()
    {
        const QString out = tmp.filePath("out");
        const QStringList tags{"7112.5eV", "7100eV", "7125eV"};
        for (int k = 0; k < 3; ++k)
            writeSlice(out + '/' + tags.at(k), tags.at(k), k, 7);
        writeSlice(out, "jump-7110eV", 5, 7);
        writeSlice(out, "7100eV-cor250.5", 6, 7);
        writeSlice(out + "/7100eV", "7100eV", 7, 8);       // another slice

        Body b;
        b.form()->SelectDataSaveDir->setPath(out);
        b.form()->SelectDataSaveDir->setName("s");
        b.form()->SaveInSubFolders->setChecked(true);
        b.form()->SubOfEnergy->setChecked(true);
        b.resize(1280, 800);
        b.show();
        QVERIFY(QTest::qWaitForWindowExposed(&b));
        CtDisp *ct = b.ctDisp();
        QImage picture(N, N, QImage::Format_Grayscale8);
        picture.fill(128);
        ct->addImg(7, picture);
        b.form()->ImgsTab->setCurrentWidget(b.form()->CTImagesTab);
        ImgDisp *disp = ct->ui->dispA_;
        QWidget *area = disp->dispA();
        QTRY_VERIFY(area->isVisible() && area->height() > 100);

        const QPoint at(area->width() / 3, area->height() / 2);
        const QPointF u = disp->imagePoint(at.x(), at.y());
        const int x = int(std::floor((u.x() + 0.5) * N / disp->image.width()));
        const int z = int(std::floor((u.y() + 0.5) * N / disp->image.height()));
        QVERIFY(disp->image.width() < N);
        QVERIFY(x > 2 && z > 2 && x < N - 2 && z < N - 2);
        QTest::mouseClick(area, Qt::LeftButton, {}, at);

        EnergyCurvePanel *panel = b.spectrumPanel();
        QCOMPARE(panel->pickedSlice(), 7);
        QList<QPointF> pts = panel->series()->points();
        QCOMPARE(pts.size(), 3);
        const QList<int> order{1, 0, 2};
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(pts.at(i).x(), QStringView(tags.at(order.at(i))).chopped(2).toDouble());
            QCOMPARE(pts.at(i).y(), truth(order.at(i), x, z));
        }

        panel->form()->SquareSize->setCurrentIndex(1);   // 3 x 3
        pts = panel->series()->points();
        QCOMPARE(pts.size(), 3);
        QCOMPARE(pts.at(0).y(), truth(1, x, z));   // a plane: its mean is the centre
        QCOMPARE(panel->pickedRect(), QRect(x - 1, z - 1, 3, 3));

        writeSlice(out + "/7140eV", "7140eV", 3, 7);
        panel->refresh();
        QCOMPARE(panel->series()->points().size(), 4);
        QCOMPARE(panel->series()->points().last(), QPointF(7140, truth(3, x, z)));

        // a Shift-drag: the rectangle's mean, of a plane the value at its middle
        const QPoint to = at + QPoint(30, 20);
        const QPointF v = disp->imagePoint(to.x(), to.y());
        QTest::mousePress(area, Qt::LeftButton, Qt::ShiftModifier, at);
        QTest::mouseMove(area, to);
        QTest::mouseRelease(area, Qt::LeftButton, Qt::ShiftModifier, to);
        const QRect r = panel->pickedRect();
        QCOMPARE(r.topLeft(), QPoint(x, z));
        QCOMPARE(r.bottomRight(), QPoint(int(std::floor((v.x() + 0.5) * N / disp->image.width())),
                                         int(std::floor((v.y() + 0.5) * N / disp->image.height()))));
        QVERIFY(r.width() > 1 && r.height() > 1);
        QCOMPARE(panel->series()->points().at(2).y(),
                 truth(2, 0, 0) + 0.125 * (r.left() + r.right()) / 2 - 0.25 * (r.top() + r.bottom()) / 2);
    }

    // seq_spectrum writes the CSV of the square's mean per energy;
    // seq_jump_map saves the map beside the slices (here: no sub-folders,
    // no image folder) and shows it. Impossible requests fail.
    void commandsWriteTheSpectrumAndTheJumpMap()
    {
        const QString out = tmp.filePath("flat");
        const QStringList tags{"7100eV", "7112.5eV", "7125eV"};
        for (int k = 0; k < 3; ++k)
            writeSlice(out, tags.at(k), k, 3, 16);
        Body b;
        b.form()->SelectDataSaveDir->setPath(out);
        b.form()->SelectDataSaveDir->setName("s");
        const auto run = [&b](const QString &line) {
            b.batch()->ok = true;
            b.batchExCmd(BatchCmd::parse(line));
            return b.batch()->ok.load();
        };
        const QString csv = tmp.filePath("px.csv");
        QVERIFY(run(QStringLiteral("seq_spectrum 4 5 3 3 \"%1\"").arg(csv)));
        QFile f(csv);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromLatin1(f.readAll()),
                 QStringLiteral("7100,%1\n7112.5,%2\n7125,%3\n")
                     .arg(truth(0, 4, 5)).arg(truth(1, 4, 5)).arg(truth(2, 4, 5)));
        QVERIFY(!run(QStringLiteral("seq_spectrum 4 5 3 2 \"%1\"").arg(csv)));    // no square of 2
        QVERIFY(!run(QStringLiteral("seq_spectrum 4 5 9 1 \"%1\"").arg(csv)));    // no slice 9

        QVERIFY(run("seq_jump_map 7110 3"));
        DataFileGrid map;
        QVERIFY2(map.read(out + "/s-jump-7110eV-00003.dat"), qPrintable(map.why()));
        QCOMPARE(map.width(), 16);
        QCOMPARE(map.height(), 16);
        for (int z = 0; z < 16; ++z)
            for (int x = 0; x < 16; ++x)
                QCOMPARE(map.at(x, z), (truth(1, x, z) + truth(2, x, z)) / 2 - truth(0, x, z));
        QVERIFY(QFileInfo(out + "/s-jump-7110eV-00003.png").isFile());
        QCOMPARE(b.spectrumPanel()->jumpDisplay()->image.size(), QSize(16, 16));
        // the map is no energy of the slice
        QCOMPARE(b.spectrumPanel()->pickedSlice(), -1);
        QVERIFY(run(QStringLiteral("seq_spectrum 0 0 3 1 \"%1\"").arg(csv)));
        QVERIFY(f.seek(0));
        QCOMPARE(f.readAll().count('\n'), 3);
        QVERIFY(!run("seq_jump_map 7200 3"));     // nothing above the edge
        QVERIFY(!QFileInfo::exists(out + "/s-jump-7200eV-00003.dat"));
    }

    // The program itself runs a sequence over three energies of a phantom
    // whose inclusions have an absorption edge at 7112 eV, then writes the
    // spectrum and the jump map of a slice right after the last run: every
    // energy is in them (the saver may still have been writing), and at the
    // pixel of the largest true jump the map shows it and the spectrum rises
    // across the edge.
    void sequenceThenSpectrumAndJumpMapFromTheProgram()
    {
        Phantom::Options o;
        o.width = 64;
        o.height = 10;
        o.projections = 90;
        o.energies = {7100, 7112.5, 7125};
        const Phantom ph = Phantom::standard(o);
        QString err;
        QVERIFY2(ph.writeSeries(tmp.filePath("seq"), &err), qPrintable(err));
        const QString bat = tmp.filePath("seq.bat");
        QFile b(bat);
        QVERIFY(b.open(QIODevice::WriteOnly));
        b.write("seq_exec_select_i0 seq/ref i0-*.img\n"
                "bg_load seq/ref/bg.img\n"
                "ct_rot_ax_is_v 1\n"
                "add_inf_ASR_standard 1\n"
                "seq_exec_file_pattern *.img\n"
                "seq_exec_dir seq\n"
                "ct_slice_from 3\n"
                "ct_slice_to 6\n"
                "ct_threads 2\n"
                "auto_save_data 1\n"
                "auto_save_data_path res\n"
                "auto_save_data_name p\n"
                "auto_save_image 1\n"
                "auto_save_image_path res\n"
                "auto_save_image_name p\n"
                "auto_save_in_sub_folders 1\n"
                "auto_save_in_sub_folders_of_energy 1\n"
                "calc_ct2 1\n"
                "ct_auto_exec 1\n"
                "loop\n"
                "seq_exec_set\n"
                "calc_exec\n"
                "seq_exec_next\n"
                ":ifok :goto loop\n"
                "seq_jump_map 7106 6\n"
                "seq_spectrum 0 0 6 1 curve.csv\n");
        b.close();

        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(tmp.path());
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(TOMIX_BIN, {"-nw", "-e", "-b", bat, "-x", "-q"});
        QVERIFY(p.waitForFinished(120000));
        const QByteArray out = p.readAll();
        QVERIFY2(p.exitCode() == 0, out.constData());
        QVERIFY2(out.contains("(1 energies below, 2 above)"), out.constData());

        DataFileGrid map;
        QVERIFY2(map.read(tmp.filePath("res/p-jump-7106eV-00006.dat")), qPrintable(map.why()));
        QVERIFY(QFileInfo(tmp.filePath("res/p-jump-7106eV-00006.png")).isFile());
        const int n = map.width();
        QCOMPARE(map.height(), n);
        const std::vector<double> lo = ph.reconstructedMap(6, n, n / 2.0, 7100);
        const std::vector<double> hi = ph.reconstructedMap(6, n, n / 2.0, 7125);
        const std::vector<double> mid = ph.reconstructedMap(6, n, n / 2.0, 7112.5);
        // the pixel deepest inside the element: the largest least true jump
        // over its 5 x 5 square (a reconstruction blurs small parts)
        const auto trueJump = [&](int x, int z) {
            const std::size_t i = std::size_t(z) * n + x;
            return (hi[i] + mid[i]) / 2 - lo[i];
        };
        std::size_t best = 0;
        double bestLeast = -1;
        for (int z = 2; z < n - 2; ++z)
            for (int x = 2; x < n - 2; ++x) {
                double least = trueJump(x, z);
                for (int dz = -2; dz <= 2; ++dz)
                    for (int dx = -2; dx <= 2; ++dx)
                        least = std::min(least, trueJump(x + dx, z + dz));
                if (least > bestLeast) {
                    bestLeast = least;
                    best = std::size_t(z) * n + x;
                }
            }
        const int x = int(best % n), z = int(best / n);
        const double jump = (hi[best] + mid[best]) / 2 - lo[best];
        QVERIFY(jump > 0);
        QVERIFY2(std::abs(map.at(x, z) - jump) < 0.3 * jump,
                 qPrintable(QString("%1 against %2 at (%3, %4)").arg(map.at(x, z)).arg(jump).arg(x).arg(z)));

        QProcess q;
        q.setProcessEnvironment(env);
        q.setWorkingDirectory(tmp.path());
        QFile b2(tmp.filePath("curve.bat"));
        QVERIFY(b2.open(QIODevice::WriteOnly));
        b2.write(QStringLiteral("auto_save_data_path res\nauto_save_data_name p\n"
                                "seq_spectrum %1 %2 6 1 curve.csv\n").arg(x).arg(z).toLatin1());
        b2.close();
        q.start(TOMIX_BIN, {"-nw", "-e", "-b", b2.fileName(), "-x", "-q"});
        QVERIFY(q.waitForFinished(60000));
        QCOMPARE(q.exitCode(), 0);
        QFile csv(tmp.filePath("curve.csv"));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromLatin1(csv.readAll()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines.at(0).startsWith("7100,") && lines.at(1).startsWith("7112.5,") && lines.at(2).startsWith("7125,"));
        const double v0 = lines.at(0).section(',', 1).toDouble(), v2 = lines.at(2).section(',', 1).toDouble();
        QVERIFY2(v2 - v0 > 0.5 * (hi[best] - lo[best]), qPrintable(lines.join(' ')));
    }
};

QTEST_MAIN(TestEnergyCurveTab)
#include "TestEnergyCurveTab.moc"
