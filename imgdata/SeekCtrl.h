#pragma once
// Index of the projection shown: slider, spin box and steps of ten.
#include <QFrame>

namespace Ui { class SeekCtrl; }

class SeekCtrl : public QFrame
{
    Q_OBJECT
public:
    explicit SeekCtrl(QWidget *parent = nullptr);
    ~SeekCtrl() override;

    // Maximum of slider and spin box: number of images minus one.
    void setMaximum(int max);
    int maximum() const;
    int value() const;

signals:
    void newIndex(int idx);

private slots:
    void sliderMoved(int val);
    void indexChanged(int val);
    void inc();
    void dec();

private:
    void stepTo(int v);
    Ui::SeekCtrl *ui;
};
