#include "EnergyCurvePanel.h"
#include "ui_EnergyCurvePanel.h"
#include "ui_CtCalc.h"
#include "ui_CtDisp.h"

#include "CalcConds.h"
#include "CtCalc.h"
#include "CtDisp.h"
#include "ImgDisp.h"
#include "ImgDispWPV.h"
#include "StateStyle.h"
#include "WholeFile.h"

#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDebug>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineSeries>
#include <QTimer>
#include <QValueAxis>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

EnergyCurvePanel::EnergyCurvePanel(std::function<EnergyCurveActions::Where()> whereNow, QWidget *parent)
    : QFrame(parent), ui(new Ui::EnergyCurvePanel), where(std::move(whereNow))
{
    ui->setupUi(this);
    ui->SpectrumLayout->setColumnStretch(0, 3);
    ui->SpectrumLayout->setColumnStretch(1, 2);

    plot = new QChart;
    plot->legend()->hide();
    plot->setMargins(QMargins(4, 4, 4, 4));
    line = new QLineSeries;
    line->setPointsVisible(true);
    line->setMarkerSize(7);
    plot->addSeries(line);
    xAxis = new QValueAxis;
    xAxis->setTitleText(tr("Energy [eV]"));
    xAxis->setLabelFormat(QStringLiteral("%.0f"));
    yAxis = new QValueAxis;
    yAxis->setTitleText(tr("Value [1/pixel]"));
    yAxis->setLabelFormat(QStringLiteral("%.3g"));
    plot->addAxis(xAxis, Qt::AlignBottom);
    plot->addAxis(yAxis, Qt::AlignLeft);
    line->attachAxis(xAxis);
    line->attachAxis(yAxis);
    auto *view = new QChartView(plot);
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumSize(240, 180);
    auto *chartLayout = new QVBoxLayout(ui->ChartBase);
    chartLayout->setContentsMargins(0, 0, 0, 0);
    chartLayout->addWidget(view);

    jumpDisp = new ImgDisp;
    jumpDisp->setMinimumSize(160, 160);
    auto *jumpLayout = new QVBoxLayout(ui->JumpBase);
    jumpLayout->setContentsMargins(0, 0, 0, 0);
    jumpLayout->addWidget(jumpDisp);
    connect(jumpDisp, &ImgDisp::selectedAPoint, this, [this](double x, double y, MouseC::MStat s) {
        if (s == 0 && jumpSlice >= 0 && ImgDisp::pixelOf(x) >= 0 && ImgDisp::pixelOf(y) >= 0
            && ImgDisp::pixelOf(x) < jumpDisp->image.width() && ImgDisp::pixelOf(y) < jumpDisp->image.height())
            pickPixel(jumpSlice, jumpX0 + ImgDisp::pixelOf(x), jumpZ0 + ImgDisp::pixelOf(y));
    });

    connect(ui->SquareSize, &QComboBox::currentIndexChanged, this, [this] {
        // a pixel's square follows the size; a dragged region stays
        if (slice >= 0 && rect.width() == rect.height() && rect.width() <= 5)
            pickPixel(slice, rect.center().x(), rect.center().y());
    });
    connect(ui->ExportCsv, &QPushButton::clicked, this, &EnergyCurvePanel::askExportCsv);
    connect(ui->MakeJumpMap, &QPushButton::clicked, this, [this] {
        bool ok = false;
        const double e0 = ui->EdgeE0->text().toDouble(&ok);
        if (!ok || !std::isfinite(e0)) {
            showStatus({tr("E0 is not a number: %1").arg(ui->EdgeE0->text())});
            return;
        }
        makeJumpMap(e0, slice);
    });

    rescan = new QTimer(this);
    rescan->setInterval(1000);
    connect(rescan, &QTimer::timeout, this, [this] {
        if (isVisible())
            refresh();
    });
}

EnergyCurvePanel::~EnergyCurvePanel()
{
    delete ui;
}

void EnergyCurvePanel::watch(CtDisp *ctImages, CtCalc *ct1, const CalcConds *conds)
{
    ImgDisp *images = ctImages->ui->dispA_;
    connect(images, &ImgDisp::selectedAPoint, this, [this, ctImages](double x, double y, MouseC::MStat s) {
        int sl = 0, rx = 0, rz = 0;
        if (s == 0 && ctImages->resultPixelAt(x, y, &sl, &rx, &rz))
            pickPixel(sl, rx, rz);
    });
    connect(images, &ImgDisp::selectionMade, this, [this, ctImages, images](QRectF r) {
        if (images->image.width() < 1 || images->image.height() < 1)
            return;
        int sl = 0, x0 = 0, z0 = 0, x1 = 0, z1 = 0;
        // the corners' pixels, a rectangle reaching past the picture taken
        // to its edge; pixel k covers k - 0.5 .. k + 0.5
        const double right = images->image.width() - 0.5 - 1e-9;
        const double bottom = images->image.height() - 0.5 - 1e-9;
        if (ctImages->resultPixelAt(std::clamp(r.left(), -0.5, right), std::clamp(r.top(), -0.5, bottom),
                                    &sl, &x0, &z0)
            && ctImages->resultPixelAt(std::clamp(r.right(), -0.5, right), std::clamp(r.bottom(), -0.5, bottom),
                                       &sl, &x1, &z1))
            pickRegion(sl, x0, z0, x1, z1);
    });
    ImgDisp *one = ct1->ui->DispCt;
    const auto inOne = [one](double x, double y) {
        return x >= 0 && y >= 0 && x < one->image.width() && y < one->image.height();
    };
    connect(one, &ImgDisp::selectedAPoint, this, [this, inOne, conds](double x, double y, MouseC::MStat s) {
        const int px = ImgDisp::pixelOf(x), pz = ImgDisp::pixelOf(y);
        if (s == 0 && inOne(px, pz))
            pickPixel(conds->slice, px, pz);
    });
    connect(one, &ImgDisp::selectionMade, this, [this, one, conds](QRectF r) {
        const int w = one->image.width(), h = one->image.height();
        if (w < 1 || h < 1)
            return;
        const int x0 = std::clamp(ImgDisp::pixelOf(r.left()), 0, w - 1);
        const int z0 = std::clamp(ImgDisp::pixelOf(r.top()), 0, h - 1);
        const int x1 = std::clamp(ImgDisp::pixelOf(r.right()), 0, w - 1);
        const int z1 = std::clamp(ImgDisp::pixelOf(r.bottom()), 0, h - 1);
        pickRegion(conds->slice, x0, z0, x1, z1);
    });
}

void EnergyCurvePanel::pickPixel(int s, int x, int z)
{
    const int r = (ui->SquareSize->currentText().toInt() - 1) / 2;
    slice = s;
    rect = QRect(QPoint(x - r, z - r), QPoint(x + r, z + r));
    ui->Picked->setText(r == 0 ? tr("slice %1, x %2, z %3").arg(s).arg(x).arg(z)
                               : tr("slice %1, x %2, z %3 (%4 x %4)").arg(s).arg(x).arg(z).arg(2 * r + 1));
    ui->Picked->setCursorPosition(0);
    refresh(true);
    rescan->start();
}

void EnergyCurvePanel::pickRegion(int s, int x0, int z0, int x1, int z1)
{
    slice = s;
    rect = QRect(QPoint(std::min(x0, x1), std::min(z0, z1)), QPoint(std::max(x0, x1), std::max(z0, z1)));
    ui->Picked->setText(tr("slice %1, x %2 .. %3, z %4 .. %5")
                            .arg(s).arg(rect.left()).arg(rect.right()).arg(rect.top()).arg(rect.bottom()));
    ui->Picked->setCursorPosition(0);
    refresh(true);
    rescan->start();
}

void EnergyCurvePanel::refresh(bool force)
{
    if (slice < 0)
        return;
    const QList<EnergyFile> files = EnergyCurveActions(where()).files(slice);
    QStringList state;
    for (const EnergyFile &f : files) {
        const QFileInfo fi(f.path);
        state << QStringLiteral("%1 %2 %3").arg(f.path).arg(fi.size()).arg(fi.lastModified().toMSecsSinceEpoch());
    }
    state.sort();
    const QString now = state.join(QLatin1Char('\n'));
    if (!force && now == fileState)
        return;
    fileState = now;
    shown = EnergyCurve::of(files, rect.left(), rect.top(), rect.right(), rect.bottom());
    for (const QString &f : shown.failures())
        qWarning().noquote() << QStringLiteral("Spectrum: energy left out : ") + f;
    QStringList status = shown.failures();
    if (files.isEmpty())
        status << tr("No data file of slice %1 in the data save folder").arg(slice);
    plotPoints(shown);
    showStatus(status);
}

void EnergyCurvePanel::plotPoints(const EnergyCurve &s)
{
    QList<QPointF> pts;
    for (const EnergyCurve::Point &p : s.points())
        pts << QPointF(p.energy, p.value);
    line->replace(pts);
    if (pts.isEmpty())
        return;
    double e0 = pts.first().x(), e1 = pts.last().x();
    double v0 = pts.first().y(), v1 = v0;
    for (const QPointF &p : pts) {
        v0 = std::min(v0, p.y());
        v1 = std::max(v1, p.y());
    }
    // a margin, so that the marks at the ends show whole
    const double de = e1 > e0 ? (e1 - e0) * 0.05 : 1;
    const double dv = v1 > v0 ? (v1 - v0) * 0.08 : std::max(std::abs(v0) * 0.1, 1e-6);
    xAxis->setRange(e0 - de, e1 + de);
    xAxis->applyNiceNumbers();
    yAxis->setRange(v0 - dv, v1 + dv);
    plot->setTitle(tr("Slice %1, %2 energies").arg(slice).arg(pts.size()));
}

void EnergyCurvePanel::showStatus(const QStringList &failures)
{
    if (failures.isEmpty()) {
        ui->Status->clear();
        ui->Status->setStyleSheet(QString());
        return;
    }
    ui->Status->setText(failures.size() == 1 ? failures.first()
                                             : tr("%1 problems; first: %2").arg(failures.size()).arg(failures.first()));
    ui->Status->setStyleSheet(StateStyle::failed);
}

void EnergyCurvePanel::askExportCsv()
{
    const QString file = QFileDialog::getSaveFileName(this, tr("Export CSV"), where().dataPath,
                                                      tr("CSV files (*.csv)"));
    if (!file.isEmpty())
        exportCsv(file);
}

bool EnergyCurvePanel::exportCsv(const QString &file)
{
    if (shown.points().isEmpty()) {
        qWarning("Export CSV: no spectrum shown");
        showStatus({tr("No spectrum to export")});
        return false;
    }
    if (!WholeFile::write(file, shown.csv())) {
        qWarning().noquote() << QStringLiteral("Export CSV: can't write ") + file;
        showStatus({tr("Can't write %1").arg(file)});
        return false;
    }
    return true;
}

bool EnergyCurvePanel::makeJumpMap(double e0, int s)
{
    JumpMap map;
    QImage picture;
    const bool ok = EnergyCurveActions(where()).saveJumpMap(e0, s, &map, &picture);
    ui->EdgeE0->setText(QString::number(e0, 'g', 10));
    if (!map.ok()) {
        showStatus({tr("Jump map of slice %1 not made: %2").arg(s).arg(map.why())});
        return false;
    }
    jumpSlice = s;
    jumpX0 = map.x0();
    jumpZ0 = map.z0();
    const auto [lo, hi] = std::minmax_element(map.values().cbegin(), map.values().cend());
    ui->JumpRange->setText(tr("slice %1: %2 .. %3").arg(s).arg(*lo, 0, 'g', 4).arg(*hi, 0, 'g', 4));
    jumpDisp->image = picture;
    jumpDisp->scaled = false;
    jumpDisp->newImage();
    jumpDisp->update();
    showStatus(ok ? QStringList() : QStringList{tr("Jump map of slice %1 not saved whole").arg(s)});
    return ok;
}
