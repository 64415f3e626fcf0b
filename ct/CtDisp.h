#pragma once
// "CT display": the slice images of a multi-slice run, kept in ascending
// slice order, one shown at a time and chosen with a seek control. Images
// arrive by queued signal from the workers; each is kept at display size
// (at most keptSide pixels on its longer side), so that a run of thousands
// of 1024-pixel slices keeps a few hundred kB per slice, not a megabyte.
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

    // Longer side of the pictures kept; smaller ones are kept as they come.
    static constexpr int keptSide = 400;

    // (slice number, image), ascending by slice; equal numbers keep their
    // order of arrival.
    QList<QPair<int, QImage>> images;

    int count() const { return int(images.size()); }
    // Index of the entry shown, -1 before any.
    int shownIndex() const { return shown; }

    Ui::CtDisp *ui;

public slots:
    void clear();
    // Stores a copy, scaled down to keptSide if larger, and shows the last
    // entry (the highest slice so far).
    void addImg(int no, const QImage &img);
    // Shows entry idx; nothing when there is no such entry.
    void showImg(int idx);

private:
    int shown = -1;
};
