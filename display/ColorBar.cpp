#include "ColorBar.h"
#include "NumberField.h"

#include "ui_CBarUI.h"

#include <QPainter>

namespace {
QString num(double v)
{
    return QString::number(v, 'g', 6);
}
}

ColorBar::ColorBar(QWidget *parent) : DispA(parent), ui(new Ui::CBarUI), uiHolder(new QFrame(this))
{
    // the form lives on a frame that is never shown; owners take CBarUIBase
    ui->setupUi(uiHolder);
    uiHolder->hide();
    NumberField::fit(ui->CMinLE);
    NumberField::fit(ui->CMaxLE);

    connect(ui->CMinLE, &QLineEdit::editingFinished, this, &ColorBar::minVEdited);
    connect(ui->CMaxLE, &QLineEdit::editingFinished, this, &ColorBar::maxVEdited);
    // a bound typed by hand holds: the next picture must not replace it
    for (QLineEdit *e : {ui->CMinLE, ui->CMaxLE})
        connect(e, &QLineEdit::textEdited, ui->CFix, [this] { ui->CFix->setChecked(true); });
    connect(this, &DispA::drawImage1, this, &ColorBar::draw1);
    connect(this, &DispA::mouseMoved0, this, &ColorBar::onMouseMoved);
    connect(this, &DispA::mousePressed0, this, &ColorBar::onMousePressed);
    connect(this, &DispA::mouseReleased0, this, &ColorBar::onMouseReleased);
}

ColorBar::~ColorBar()
{
    delete ui;
}

QFrame *ColorBar::controlFrame() const
{
    return ui->CBarUIBase;
}

void ColorBar::setMin(double x)
{
    minV = x;
    ui->CMinLE->setText(num(x));
}

void ColorBar::setMax(double x)
{
    maxV = x;
    ui->CMaxLE->setText(num(x));
}

bool ColorBar::isFixed() const
{
    return ui->CFix->isChecked();
}

bool ColorBar::setRangeUnlessFixed(double mn, double mx)
{
    if (isFixed())
        return false;
    setMin(mn);
    setMax(mx);
    return true;
}

void ColorBar::draw1(QPainter *p)
{
    const int W = width();
    const int H = height();
    if (W <= 0 || H <= 0)
        return;

    for (int i = 0; i < H; ++i) {
        const int g = GreyMap::greyOfFrac(double(i) / H, lowFrac, highFrac);
        p->setPen(QColor(g, g, g));
        p->drawLine(0, H - 1 - i, W, H - 1 - i);
    }

    p->setPen(QColor(0, 192, 255));
    const auto markerY = [H](double frac) {
        const double y = (1 - frac) * H;
        // markers dragged far off the bar stay just off it
        if (!(y > -1))
            return -1;
        if (y > H + 1)
            return H + 1;
        return int(y);
    };
    const int yHigh = markerY(highFrac);
    const int yLow = markerY(lowFrac);
    p->drawLine(0, yHigh, W, yHigh);
    p->drawLine(0, yLow, W, yLow);

    p->setPen(QColor(0, 255, 192));
    const QFont font;
    textPainter.draw(p, 90, W / 2, 50, 95, W, font, Qt::AlignLeft | Qt::AlignVCenter, true,
                     num(maxV), 10);
    textPainter.draw(p, 90, W / 2, H - 50, 95, W, font, Qt::AlignRight | Qt::AlignVCenter, true,
                     num(minV), 10);
    if (dragging)
        textPainter.draw(p, 90, W / 2, H / 2, 95, W, font, Qt::AlignRight | Qt::AlignVCenter,
                         true, num(minV + (maxV - minV) * *dragTarget), 10);
}

void ColorBar::onMousePressed()
{
    const int H = height();
    if (H <= 0)
        return;
    const double t = double(H - mouse.curY) / H;
    const double dLow = std::abs(t - lowFrac);
    const double dHigh = std::abs(t - highFrac);
    if (dLow > dHigh) {
        dragTarget = &highFrac;
        dragging = true;
    } else if (dHigh > dLow) {
        dragTarget = &lowFrac;
        dragging = true;
    }
}

void ColorBar::onMouseMoved()
{
    if (!mouse.pressed)
        return;
    const int H = height();
    if (dragging && H > 0)
        *dragTarget = double(H - mouse.curY) / H;
    update();
    emit newBar();
}

void ColorBar::onMouseReleased()
{
    dragging = false;
    update();
}

void ColorBar::minVEdited()
{
    minV = ui->CMinLE->text().toDouble(); // not a number: 0
    update();   // the end labels show the typed bound
    emit newBar();
}

void ColorBar::maxVEdited()
{
    maxV = ui->CMaxLE->text().toDouble();
    update();   // the end labels show the typed bound
    emit newBar();
}

void ColorBar::setFixColorScale(bool f)
{
    ui->CFix->setChecked(f);
}
