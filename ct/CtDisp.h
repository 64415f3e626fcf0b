#pragma once
// "CT display": the slice images of a multi-slice run, kept in ascending
// slice order, one shown at a time and chosen with a seek control. Images
// arrive by queued signal from the workers; each is kept at display size
// (at most keptSide pixels on its longer side). The pictures together stay
// within a budget of bytes: when a new one would pass it, every picture is
// kept smaller (its side divided by the square root of 2, so half the bytes),
// down to minSide. A run of thousands of slices thus holds a fixed amount of
// memory however long it is; the saved images and data keep every pixel.
// GUI thread only.
#include <QFrame>
#include <QImage>
#include <QList>
#include <QPair>
#include <QSize>

namespace Ui { class CtDisp; }

class CtDisp : public QFrame
{
    Q_OBJECT
public:
    explicit CtDisp(QWidget *parent = nullptr);
    ~CtDisp() override;

    // Longer side of the pictures kept; smaller ones are kept as they come.
    static constexpr int keptSide = 400;
    // Fewest pixels on a picture's longer side that the budget may bring it
    // down to (a run of 16 000 slices at the default budget).
    static constexpr int minSide = 64;
    // Bytes all pictures may take together (their pixels).
    static constexpr qint64 defaultBudget = qint64(64) << 20;
    void setBudget(qint64 bytes);
    qint64 budget() const { return budgetBytes; }
    // Bytes the pictures take now, and the longer side they are kept at.
    qint64 keptBytes() const { return bytes; }
    int side() const { return sideNow; }

    // (slice number, image), ascending by slice; equal numbers keep their
    // order of arrival.
    QList<QPair<int, QImage>> images;

    int count() const { return int(images.size()); }
    // The result pixel (rx, rz) of the slice shown that lies under the image
    // point (x, y) of the display (a kept picture may be smaller than the
    // result); false when nothing is shown or the point is off the picture.
    bool resultPixelAt(double x, double y, int *slice, int *rx, int *rz) const;
    // Index of the entry shown, -1 before any.
    int shownIndex() const { return shown; }

    Ui::CtDisp *ui;

public slots:
    void clear();
    // Stores a copy, scaled down to side() if larger, and shows the last
    // entry (the highest slice so far).
    void addImg(int no, const QImage &img);
    // Shows entry idx; nothing when there is no such entry.
    void showImg(int idx);

private:
    // img with its longer side at most `side`, grey levels kept in 8 bits
    static QImage shrunk(const QImage &img, int side);
    // Keeps every picture smaller while they pass the budget.
    void keepWithinBudget();

    int shown = -1;
    QList<QSize> resultSizes;       // of images, entry by entry, as they came
    qint64 budgetBytes = defaultBudget;
    qint64 bytes = 0;
    int sideNow = keptSide;
};
