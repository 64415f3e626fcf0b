#pragma once
// The ion-chamber ratio of a projection series: the beam of the projections
// over the beam of the I0 image, I0raw / I0i0, from the two I0 panels ("I0 of
// Raw Image", "I0 of I0 Image"). Every sinogram is then normalised as
// ln((I0 - BG) * I0raw / I0i0 / (I - BG)).
//
// A panel with "Calc from XAFS file" checked takes its value from an XAFS
// file, which is not read (no format is defined): the ratio is off, and
// nothing is scaled, unless both panels have the box unchecked. Then both
// typed values must be positive finite numbers whose ratio is one too; a
// value of 0, an empty field or text that is no number is refused: named,
// shown red, and nothing is scaled.
#include <QString>

class I0ofImage;

class I0Ratio
{
public:
    enum State {
        Off,        // a box checked: not scaled
        Applied,    // factor = I0raw / I0i0
        Refused     // both boxes unchecked, a value unusable (why): not scaled
    };
    State state = Off;
    double factor = 1.0;    // what (I0 - BG) is multiplied by: 1 unless applied
    QString why;            // Refused: what is wrong; Applied: the ratio in words
    bool rawRefused = false, i0Refused = false;     // the panels whose value is refused

    static I0Ratio of(bool rawFromXafs, const QString &rawText, bool i0FromXafs,
                      const QString &i0Text);
    static I0Ratio of(const I0ofImage *raw, const I0ofImage *i0);
    // of(raw, i0), also shown: a refused value's field turns red, and a line
    // names the ratio (refused: on the warning channel).
    static I0Ratio update(I0ofImage *raw, I0ofImage *i0);
};
