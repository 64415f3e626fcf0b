#pragma once
// One sinogram: row i holds projection i, resampled about the centre of
// rotation and normalised as ln((I0 - BG) / (I - BG)).
#include <QString>

#include <functional>
#include <vector>

class SgmRange;

class HSgm
{
public:
    std::vector<double> sgm;    // width x height, row-major, normalised
    std::vector<double> raw;    // the resampled raw intensities
    int width = 0;              // samples per row (odd when filled)
    int height = 0;             // rows = projections
    int slice = 0;              // slice the sinogram was built for

    // Why the last begin() or build() left no rows to reconstruct from, in
    // words for a log line ("CoR 2000 outside the image (0 .. 255)"); empty
    // after a build that made rows.
    QString why;

    // Non-finite pixels (NaN, infinite) met by the last build() in the part
    // of a line the samples are taken from. Each was replaced by linear
    // interpolation between the nearest finite pixels of its line on either
    // side (the one there is, at a line's end): the detector's dead-pixel
    // correction. `line` is the projection index as given to the image
    // reader, or i0Line / bgLine; `pos` the pixel along the line.
    static constexpr int i0Line = -1;
    static constexpr int bgLine = -2;
    static constexpr int noLine = -3;
    struct BadPixel {
        int line = noLine;
        int pos = 0;
    };
    static constexpr int namedPixels = 3;  // positions kept for the log line
    int badCount = 0;                       // pixels replaced
    std::vector<BadPixel> badPixels;        // the first namedPixels of them
    // A line with no finite pixel at all cannot be mended: the build stops,
    // the record is emptied and this names the line (noLine: none such).
    int deadLine = noLine;

    // The beam of the projections over the beam of the I0 image, as the ion
    // chambers measured them (I0raw / I0i0): build() and setRow() normalise
    // as ln((I0 - BG) * i0Scale / (I - BG)). Set by the record's owner before
    // a build; 1 scales nothing. build() leaves it out when there is no I0
    // image (I0 = 1 is no beam measurement to scale).
    double i0Scale = 1.0;

    // Stores the sizes and makes both arrays width x height zeroed doubles,
    // in the memory they already have when it is large enough; frees both
    // when width * height is 0.
    void resize(int width, int height);
    // No data any more (hasData() false), the arrays' memory kept for the
    // next build.
    void clear();
    // Has data a calculator can use.
    bool hasData() const { return width > 0 && height > 0 && !sgm.empty(); }
    const double *sgmRow(int i) const { return sgm.data() + size_t(i) * size_t(width); }
    const double *rawRow(int i) const { return raw.data() + size_t(i) * size_t(width); }

    // What begin() left for the caller to do.
    enum Begin {
        Untouched,  // CoR out of the line: nothing built, the record keeps its data
        Emptied,    // slice outside the image lines, or no sample left: record empty
        Ready       // sized width x nImages; fill the rows with setRow()
    };

    // First steps of a sinogram build for line `slice` of images whose lines
    // have `dim` pixels and which have `nLines` such lines. A slice outside
    // 0..nLines-1 never reaches a reader: it empties the record and logs a line.
    Begin begin(bool rotAxIsV, double cor, int slice, int dim, int nLines, int nImages,
                SgmRange &range);

    // Row i from the image line `line` (dim pixels) and the I0 and BG samples
    // (width each, already resampled): raw = resampled line; sgm = ln(a / b)
    // with a = I0 - BG, b = raw - BG, each replaced by 1.0 when not above 0,
    // then a multiplied by i0Scale.
    void setRow(int i, const SgmRange &range, const double *line,
                const double *i0, const double *bg);

    // Reads line `slice` (dim pixels) of the I0 or BG image into `line`;
    // returns false when there is no such image ready.
    using LineReader = std::function<bool(double *line)>;
    // Reads line `slice` of projection `image` into `line`.
    using ImageLineReader = std::function<void(int image, double *line)>;

    // The whole build: begin(), the I0 and BG samples (1.0 and 0.0 when the
    // reader is empty or returns false), then every projection in order.
    // Non-finite pixels are mended (see badCount); a line without a finite
    // pixel builds nothing (deadLine).
    // Scratch lines belong to the record, so concurrent builds into different
    // records share nothing and repeated builds allocate nothing once the
    // lines have grown. Returns true when rows were built.
    bool build(bool rotAxIsV, double cor, int slice, int dim, int nLines, int nImages,
               const LineReader &readI0, const LineReader &readBg,
               const ImageLineReader &readImage);

    // Mends the non-finite pixels of line[lo..hi] (a line of dim pixels, see
    // badCount) and records them under `which`. Returns the number mended, or
    // -1 when the line has no finite pixel at all. One test per pixel when
    // every pixel is finite.
    int mendLine(double *line, int dim, int lo, int hi, int which);

private:
    // resize() and begin(); with zero false, the arrays' old contents may
    // stay (for a build that sets every row anyway).
    void resize(int width, int height, bool zero);
    Begin begin(bool rotAxIsV, double cor, int slice, int dim, int nLines, int nImages,
                SgmRange &range, bool zero);

    std::vector<double> lineBuf, i0Buf, bgBuf;
    void setRowScaled(int i, const SgmRange &range, const double *line, const double *i0,
                      const double *bg, double scale);
};
