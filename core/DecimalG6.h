#pragma once
// A double written exactly as printf("%g") writes it (six significant
// digits, trailing zeros dropped, an exponent of at least two digits when
// the exponent is below -4 or above 5), in about half the time.
//
// The six digits come from one scaling by an exact power of ten (one
// rounding), so the scaled value is known to within a few units in its last
// place; when it lies that close to a rounding boundary, or the value is
// zero, not finite, or far outside the usual range, the standard library's
// formatter writes it instead. Either way the text is the same.
class DecimalG6
{
public:
    // Longest text: "-1.23457e-308".
    static constexpr int maxLength = 16;

    // Writes v at out (maxLength chars of room); returns one past the last.
    static char *write(char *out, double v);
};
