#pragma once
// "CoR Trials": reconstructions of one slice at several CoRs side by side,
// each labelled with the CoR it was made at; a click on one makes it the
// CoR. "Try" asks for the trials K pixels either side of the current CoR.
#include <QFrame>
#include <QImage>
#include <QList>
#include <QStringList>

class QToolButton;

namespace Ui {
class CorTrialStrip;
}

class CorTrialStrip : public QFrame
{
    Q_OBJECT

public:
    explicit CorTrialStrip(QWidget *parent = nullptr);
    ~CorTrialStrip() override;

    // "CoR %1" ('g', 6 digits) of every trial shown, in CoR order.
    QStringList labels() const;
    // The CoR of trial i (in CoR order).
    double corOf(int i) const;
    int count() const { return int(trials.size()); }
    // K and the step of "Try".
    void setHalfWidth(double k);
    void setStep(double step);

    Ui::CorTrialStrip *ui;

signals:
    // A trial was clicked: its CoR.
    void corChosen(double cor);
    // "Try" was pressed: the trials from `from` to `to` by `step`.
    void askTrials(double from, double to, double step);

public slots:
    void clear();
    // Adds a trial in CoR order (one of an equal CoR is replaced).
    void addTrial(double cor, int slice, QImage image);
    // The current CoR, about which "Try" asks.
    void setCurrentCor(double cor);

private:
    struct Trial {
        double cor;
        QToolButton *button;
    };
    QList<Trial> trials;
    double current = 0;
};
