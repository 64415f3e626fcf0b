// The real Spectrum tab of the real window: a click on a CT image plots the
// values that the data files of every energy hold at the pixel clicked.
#include "Body.h"
#include "ui_Body.h"
#include "ui_CtDisp.h"

#include "CtDisp.h"
#include "DataFileText.h"
#include "DispA.h"
#include "ImgDisp.h"
#include "SelectAFile.h"
#include "SpectrumPanel.h"
#include "ui_SpectrumPanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineSeries>
#include <QTemporaryDir>
#include <QTest>

#include <limits>
#include <vector>

class TestSpectrumTab : public QObject
{
    Q_OBJECT
    QTemporaryDir tmp;
    // larger than the pictures "CT Images" keeps: a picture pixel is not a
    // result pixel
    static constexpr int N = 500;

    static double truth(int k, int x, int z) { return 0.125 * x - 0.25 * z + 10 * k * k; }

    void writeSlice(const QString &dir, const QString &tag, int k, int slice)
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
    // later (as during a sequence) joins the plot.
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

        SpectrumPanel *panel = b.spectrumPanel();
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
    }
};

QTEST_MAIN(TestSpectrumTab)
#include "TestSpectrumTab.moc"
