#pragma once
// The panel of one multi-slice worker: its latest slice with colour bar,
// display and calculation regions, times and slice number. Shares the form
// of the single-slice calculator; "Calc" and "At Once" have no function
// here. GUI thread only; talks to its worker by queued calls.
#include "CtCalc2.h"

#include <QDateTime>
#include <QFrame>
#include <QImage>
#include <QRectF>

class QLineEdit;

namespace Ui { class CtCalc; }

class CtCalc2Ui : public QFrame
{
    Q_OBJECT
public:
    explicit CtCalc2Ui(QWidget *parent = nullptr);
    ~CtCalc2Ui() override;

    Ui::CtCalc *ui;
    CtCalc2 *calc = nullptr;
    QDateTime startTime, endTime;
    bool regionSet = false;
    // "CoR" beside the slice number: the CoR of the slice shown.
    QLineEdit *corField = nullptr;

    // The calculation region, the colour-bar state and regionSet, for a
    // dispatch (the data limits are filled in by the worker's reserve()).
    CtCalc2::Job snapshot() const;
    SliceRegion calcRegion() const;

signals:
    void dRUpdated(double rx0, double rz0, double rx1, double rz1);
    void cRUpdated(double rx0, double rz0, double rx1, double rz1);

public slots:
    void setDR(double rx0, double rz0, double rx1, double rz1);
    void setCR(double rx0, double rz0, double rx1, double rz1);
    void setCRegion();
    void noticedNewS(QRectF s);
    void noticedNewPos(double x, double z);
    void showStartTime();
    void showEndTime();
    void showSpentT();
    void showSliceNo(int no);
    // The CoR the slice shown was reconstructed at.
    void showCor(double cor);
    void newImage();
    void saveImage(QString fname);
    void setFixColorScale(bool f);
    void setCBarMinMaxForced(double min, double max);

    // From the worker.
    void noticedStart(int slice, QDateTime when);
    void noticedEnd(QDateTime when);
    void showResImage(QImage image);
    void setCBarRange(double min, double max);
    void showValue(double v);

private slots:
    // The colour bar changed: the worker renders again with its new state.
    void barChanged();
};
