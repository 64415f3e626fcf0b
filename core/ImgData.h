#pragma once
// Abstract reader of one image file. A reader knows the image size, its file
// name and an exposure time, and hands out pixels one row or one column at a
// time as doubles, whatever the file stores.
//
// Usual sequence: fileType() -> newImgData() -> keepInMemory = true ->
// fileName = path -> open() -> on failure delete the reader.
//
// Readers are plain objects owned by whoever created them.
#include <QString>

class ImgData
{
public:
    // File types returned by fileType().
    enum FileType { ITEX = 0, TIFF = 1, Unknown = 2 };

    ImgData();
    virtual ~ImgData();
    ImgData(const ImgData &) = delete;
    ImgData &operator=(const ImgData &) = delete;

    // Resets the fields to their initial values (frees rowBuf / colBuf).
    virtual void init();
    // Reads header and properties of the file; writes the image size into *w, *h.
    virtual bool readProps(const QString &fname, int *w, int *h) = 0;
    // Opens the pixel data (and reads it all when keepInMemory).
    virtual bool load() = 0;
    // Fills out[0 .. width-1] with row y and returns out. On an image held in
    // memory this touches nothing but `out`, so several threads may read one
    // image at once, each with its own output array.
    virtual double *readRow(int y, double *out) const = 0;
    // Fills out[0 .. height-1] with column x and returns out (same rules).
    virtual double *readColumn(int x, double *out) const = 0;

    // Reads the properties and opens the pixels of `fileName`; sets `ready`.
    bool open();

    // minV / maxV of the pixels, found once and then cached (minMaxValid).
    // GUI thread only: it uses rowBuf and the cached extremes. Rendering
    // (ImgDatas::render) sits above the readers.
    void findExtremes();
    // Pixel (x, y), 0 outside the image; for read-outs on the GUI thread
    // (uses rowBuf).
    double valueAt(int x, int y);

    // 0 (ITEX) when isItexFile, else 1 (TIFF) when isTiffFile, else 2; also 2,
    // with a warning, for anything but a regular file (a pipe, a device, a
    // directory, or a link to one), which is never opened. open() refuses
    // those the same way.
    static int fileType(const QString &path);
    // The first two bytes are "IM".
    static bool isItexFile(const QString &path);
    // The first two bytes are "II" or "MM".
    static bool isTiffFile(const QString &path);
    // New reader for a file type (0: ITEX, 1: TIFF, else null), init() called.
    // The caller owns it.
    static ImgData *newImgData(int type);

    bool ready;
    bool keepInMemory;
    double expTime;
    int width;
    int height;
    QString fileName;
    bool minMaxValid;
    double minV;
    double maxV;
    double *rowBuf;     // width doubles, scratch row for the image's own use
    double *colBuf;     // height doubles, scratch column
};
