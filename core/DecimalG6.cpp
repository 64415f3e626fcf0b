#include "DecimalG6.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

// 10^0 .. 10^22: every one exact in a double
constexpr double exactPow10[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

char *library(char *out, double v)
{
    return std::to_chars(out, out + DecimalG6::maxLength, v, std::chars_format::general, 6).ptr;
}

// a * 10^k in one rounding; false when 10^|k| is not exact.
bool scaled(double a, int k, double &p)
{
    if (k > 22 || k < -22)
        return false;
    p = k >= 0 ? a * exactPow10[k] : a / exactPow10[-k];
    return true;
}

} // namespace

char *DecimalG6::write(char *out, double v)
{
    const double a = std::fabs(v);
    // zero, not a number, infinite, subnormal or huge: the library
    if (!(a >= 1e-300 && a <= 1e300))
        return library(out, v);
    // the binary exponent b (a is normal here), and e = floor(b log10 2),
    // which is floor(log10 a) or one less: a >= 2^b >= 10^e, so p >= 1e5
    std::uint64_t bits;
    std::memcpy(&bits, &a, sizeof bits);
    const int b = int((bits >> 52) & 0x7ff) - 1023;
    int e = (b * 78913) >> 18;      // b log10 2, rounded down (|b| < 1024)
    double p;
    if (!scaled(a, 5 - e, p))
        return library(out, v);
    if (p >= 1e6) {
        ++e;
        if (!scaled(a, 5 - e, p))
            return library(out, v);
    }
    // p is within a few 1e-10 of a * 10^(5 - e), in [1e5, 1e6]: its rounding
    // is certain unless it lies that close to a half
    const double whole = double(std::int64_t(p));     // p > 0: truncation is floor
    const double frac = p - whole;
    if (std::fabs(frac - 0.5) < 1e-7)
        return library(out, v);
    std::int32_t q = std::int32_t(whole) + (frac > 0.5 ? 1 : 0);
    if (q >= 1000000) {
        q /= 10;
        ++e;
    }
    char digits[6];
    for (int i = 5; i >= 0; --i) {
        digits[i] = char('0' + q % 10);
        q /= 10;
    }
    int last = 5;           // last digit kept: trailing zeros are dropped
    while (last > 0 && digits[last] == '0')
        --last;

    char *o = out;
    if (v < 0)
        *o++ = '-';
    if (e < -4 || e >= 6) {
        *o++ = digits[0];
        if (last > 0) {
            *o++ = '.';
            for (int i = 1; i <= last; ++i)
                *o++ = digits[i];
        }
        *o++ = 'e';
        *o++ = e < 0 ? '-' : '+';
        int x = e < 0 ? -e : e;
        if (x >= 100) {
            *o++ = char('0' + x / 100);
            x %= 100;
        }
        *o++ = char('0' + x / 10);
        *o++ = char('0' + x % 10);
        return o;
    }
    if (e >= 0) {
        // e + 1 digits before the point
        for (int i = 0; i <= e; ++i)
            *o++ = digits[i];
        if (last > e) {
            *o++ = '.';
            for (int i = e + 1; i <= last; ++i)
                *o++ = digits[i];
        }
        return o;
    }
    *o++ = '0';
    *o++ = '.';
    for (int i = 0; i < -e - 1; ++i)
        *o++ = '0';
    for (int i = 0; i <= last; ++i)
        *o++ = digits[i];
    return o;
}
