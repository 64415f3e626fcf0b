#pragma once
// One image file (the I0 or BG image): chosen, loaded, owned and shown in a
// window of its own with position and value read-out.
//
// Several files chosen at once (the dialog, filesSelected0) make one image,
// pixel by pixel their mean, or their median with "Median" checked
// (ImgDataCombined); they must all have one size. One file is read as it is.
#include "SelectAFile.h"

#include <QStringList>

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

    // The files chosen: none, one (path()), or several.
    QStringList paths() const;
    // "Median": several files are combined by their median, not their mean;
    // a change combines the files chosen again.
    bool median() const;
    void setMedian(bool on);
    // The path field's text for a list of files: each in double quotes when
    // it holds blanks, blank separated (one file: the path itself).
    static QString pathsText(const QStringList &files);

    Ui::SelectAImgFile *imgUi;
    ImgData *img = nullptr;     // owned; the image collection points at this slot
    ImgDispWPV *view;           // a window of its own
    double defaultExpTime;

public slots:
    void setExpTime(double time);
    // Takes the files as if chosen in the dialog: one file as fileSelected0;
    // several are shown, named by the first, and combined.
    void filesSelected0(const QStringList &fnames);

private slots:
    void noticedNewPos(double x, double y);
    void clear();

private:
    void loadImage(const QString &fname);
    void loadImages(const QStringList &fnames);
    // Takes a read image in place of the one held, and shows it.
    void adopt(ImgData *d);
    bool loadFailed = false;
    void checkSize();
    void clearImage();

    int seriesWidth = 0;
    int seriesHeight = 0;
    enum class Pending { None, Load, Clear };
    bool held = false;
    Pending pending = Pending::None;
    QString pendingFile;
    QStringList pendingFiles;   // a pending load of several files
    QStringList several;        // the files chosen when more than one
};
