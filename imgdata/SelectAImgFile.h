#pragma once
// One image file (the I0 or BG image): chosen, loaded, owned and shown in a
// window of its own with position and value read-out.
#include "SelectAFile.h"

class ImgData;
class ImgDispWPV;
namespace Ui { class SelectAImgFile; }

class SelectAImgFile : public SelectAFile
{
    Q_OBJECT
public:
    explicit SelectAImgFile(QWidget *parent = nullptr);
    ~SelectAImgFile() override;

    double expTime() const;
    // The last chosen file could not be read (the previous image is kept).
    bool lastLoadFailed() const { return loadFailed; }
    // Size of the projection series (0 x 0: none). An image of another size
    // turns the path red with "Mismatch image size" and both sizes; the
    // sinogram then leaves it out. Checked now and on every later load.
    void setSeriesSize(int w, int h);
    // The image is held and fits the series (or there is no series).
    bool sizeFits() const;

    // While held (a reconstruction reads the image), a new image or a clear
    // is only remembered, the latest request winning; releasing carries it out.
    void setHeld(bool held);
    bool isHeld() const { return held; }

    Ui::SelectAImgFile *imgUi;
    ImgData *img = nullptr;     // owned; the image collection points at this slot
    ImgDispWPV *view;           // a window of its own
    double defaultExpTime;

public slots:
    void setExpTime(double time);

private slots:
    void noticedNewPos(double x, double y);
    void clear();

private:
    void loadImage(const QString &fname);
    bool loadFailed = false;
    void checkSize();
    void clearImage();

    int seriesWidth = 0;
    int seriesHeight = 0;
    enum class Pending { None, Load, Clear };
    bool held = false;
    Pending pending = Pending::None;
    QString pendingFile;
};
