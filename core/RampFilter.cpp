#include "RampFilter.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>

namespace {
const RampFilter::Window allWindows[] = {RampFilter::Window::Ramp, RampFilter::Window::SheppLogan,
                                         RampFilter::Window::Cosine, RampFilter::Window::Hamming,
                                         RampFilter::Window::Hann};
const RampFilter::Padding allPaddings[] = {RampFilter::Padding::Zero, RampFilter::Padding::Edge,
                                           RampFilter::Padding::None};

std::string lower(std::string s)
{
    for (char &c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}
}

const char *RampFilter::windowName(Window w)
{
    switch (w) {
    case Window::Ramp: return "ramp";
    case Window::SheppLogan: return "shepp-logan";
    case Window::Cosine: return "cosine";
    case Window::Hamming: return "hamming";
    case Window::Hann: return "hann";
    }
    return "ramp";
}

const char *RampFilter::paddingName(Padding p)
{
    switch (p) {
    case Padding::Zero: return "zero";
    case Padding::Edge: return "edge";
    case Padding::None: return "none";
    }
    return "zero";
}

std::vector<std::string> RampFilter::windowNames()
{
    std::vector<std::string> v;
    for (Window w : allWindows)
        v.emplace_back(windowName(w));
    return v;
}

std::vector<std::string> RampFilter::paddingNames()
{
    std::vector<std::string> v;
    for (Padding p : allPaddings)
        v.emplace_back(paddingName(p));
    return v;
}

bool RampFilter::windowFromName(const std::string &name, Window *w)
{
    const std::string l = lower(name);
    for (Window c : allWindows) {
        if (l == windowName(c)) {
            *w = c;
            return true;
        }
    }
    return false;
}

bool RampFilter::paddingFromName(const std::string &name, Padding *p)
{
    const std::string l = lower(name);
    for (Padding c : allPaddings) {
        if (l == paddingName(c)) {
            *p = c;
            return true;
        }
    }
    return false;
}

bool RampFilter::cutoffValid(double c)
{
    return c > 0 && c <= 0.5;
}

double RampFilter::windowValue(Window w, double x)
{
    if (!(x <= 1))
        return 0.0;
    switch (w) {
    case Window::Ramp:
        return 1.0;
    case Window::SheppLogan: {
        const double a = M_PI * x / 2;
        return a == 0 ? 1.0 : std::sin(a) / a;
    }
    case Window::Cosine:
        return std::cos(M_PI * x / 2);
    case Window::Hamming:
        return 0.54 + 0.46 * std::cos(M_PI * x);
    case Window::Hann:
        return 0.5 + 0.5 * std::cos(M_PI * x);
    }
    return 1.0;
}

int RampFilter::transformLength(int N, Padding p)
{
    if (N < 2)
        return 0;
    if (p == Padding::None)
        return N;
    if (N > INT_MAX / 4)
        return 0;
    int P = 2;
    while (P < 2 * N)
        P *= 2;
    return P;
}

void RampFilter::spatialRamp(int P, double *h)
{
    std::fill(h, h + P, 0.0);
    h[0] = 0.25;
    for (int m = 1; m < P / 2; m += 2) {
        const double v = -1.0 / ((M_PI * m) * (M_PI * m));
        h[m] = v;
        h[P - m] = v;
    }
}

void RampFilter::pad(double *row, int N, int L, Padding p)
{
    if (L <= N)
        return;
    if (p == Padding::Edge) {
        // the row continued on both sides of the circular transform
        const int right = (L - N) / 2;
        std::fill(row + N, row + N + right, row[N - 1]);
        std::fill(row + N + right, row + L, row[0]);
    } else {
        std::fill(row + N, row + L, 0.0);
    }
}

double RampFilter::windowAt(int k, int L) const
{
    if (window == Window::Ramp && cutoff >= 0.5)
        return 1.0;
    const double f = double(std::min(k, L - k)) / double(L);
    return windowValue(window, f / cutoff);
}
