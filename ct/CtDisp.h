#pragma once
// "CT display": the slice images of a multi-slice run, kept in ascending
// slice order, one shown at a time and chosen with a seek control. Images
// arrive by queued signal from the workers and are copied on arrival.
// GUI thread only.
#include <QFrame>
#include <QImage>
#include <QList>
#include <QPair>

namespace Ui { class CtDisp; }

class CtDisp : public QFrame
{
    Q_OBJECT
public:
    explicit CtDisp(QWidget *parent = nullptr);
    ~CtDisp() override;

    // (slice number, image), ascending by slice; equal numbers keep their
    // order of arrival.
    QList<QPair<int, QImage>> images;

    int count() const { return int(images.size()); }
    // Index of the entry shown, -1 before any.
    int shownIndex() const { return shown; }

    Ui::CtDisp *ui;

public slots:
    void clear();
    // Stores a copy and shows the last entry (the highest slice so far).
    void addImg(int no, const QImage &img);
    // Shows entry idx; nothing when there is no such entry.
    void showImg(int idx);

private:
    int shown = -1;
};
