#pragma once
// The projection series of one data set, all of one size, plus where the I0
// and BG images live (the image slots of their selectors).
#include <QList>
#include <QObject>

class ColorBar;
class ImgData;
class QImage;

class ImgDatas : public QObject
{
    Q_OBJECT
public:
    explicit ImgDatas(QObject *parent = nullptr);
    ~ImgDatas() override;

    // Renders image `index` through the colour bar; false (and no signal) when
    // the index is out of range.
    bool toImage(int index, QImage *image, ColorBar *bar);
    // Renders one image (8-bit grey, row 0 at the top) through the colour
    // bar's grey mapping; hands the image's extremes (found once, then cached)
    // to the bar unless its scale is fixed. GUI thread only.
    static void render(ImgData *img, QImage *image, ColorBar *bar);

    int count() const { return int(imgs.size()); }
    ImgData *img(int i) const { return imgs.at(i); }
    // The I0 and BG images when their slots hold a ready image, else null
    // (the sinogram then takes I0 = 1 and BG = 0).
    ImgData *i0() const;
    ImgData *bg() const;

    int width = 0;      // 0: no size set yet
    int height = 0;
    QList<ImgData *> imgs;
    ImgData **i0Img = nullptr;
    ImgData **bgImg = nullptr;

signals:
    void imageUpdated();

public slots:
    void clear();
    void clearImgs();
    bool add(const QString &filePath);
};
