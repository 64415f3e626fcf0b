#include "CorTrialStrip.h"

#include "ui_CorTrialStrip.h"

#include <QPixmap>
#include <QToolButton>

namespace {
constexpr int thumb = 200;  // the longer side of a trial's picture, in pixels
}

CorTrialStrip::CorTrialStrip(QWidget *parent) : QFrame(parent), ui(new Ui::CorTrialStrip)
{
    ui->setupUi(this);
    connect(ui->TryAround, &QPushButton::clicked, this, [this] {
        const double k = ui->TryHalfWidth->value();
        emit askTrials(current - k, current + k, ui->TryStep->value());
    });
}

CorTrialStrip::~CorTrialStrip()
{
    delete ui;
}

QStringList CorTrialStrip::labels() const
{
    QStringList l;
    for (const Trial &t : trials)
        l << t.button->text();
    return l;
}

double CorTrialStrip::corOf(int i) const
{
    return i >= 0 && i < trials.size() ? trials.at(i).cor : 0.0;
}

void CorTrialStrip::setHalfWidth(double k)
{
    ui->TryHalfWidth->setValue(k);
}

void CorTrialStrip::setStep(double step)
{
    ui->TryStep->setValue(step);
}

void CorTrialStrip::clear()
{
    for (const Trial &t : std::as_const(trials))
        delete t.button;
    trials.clear();
}

void CorTrialStrip::addTrial(double cor, int slice, QImage image)
{
    auto *b = new QToolButton(ui->TrialsBox);
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setText(tr("CoR %1").arg(QString::number(cor, 'g', 6)));
    b->setToolTip(tr("Slice %1 at CoR %2: click to make it the CoR")
                      .arg(slice).arg(QString::number(cor, 'g', 6)));
    const QPixmap pm = QPixmap::fromImage(image.scaled(thumb, thumb, Qt::KeepAspectRatio,
                                                       Qt::SmoothTransformation));
    b->setIcon(QIcon(pm));
    b->setIconSize(pm.size());
    connect(b, &QToolButton::clicked, this, [this, cor] { emit corChosen(cor); });
    int at = 0;
    while (at < trials.size() && trials.at(at).cor < cor)
        ++at;
    if (at < trials.size() && trials.at(at).cor == cor) {
        delete trials.at(at).button;
        trials.removeAt(at);
    }
    trials.insert(at, Trial{cor, b});
    ui->TrialsLayout->insertWidget(at, b);
}

void CorTrialStrip::setCurrentCor(double cor)
{
    current = cor;
}
