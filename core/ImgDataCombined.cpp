#include "ImgDataCombined.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <limits>

double ImgDataCombined::combinePixel(std::vector<double> &values, bool median)
{
    // the finite values first, in their order
    const auto end = std::stable_partition(values.begin(), values.end(),
                                           [](double v) { return std::isfinite(v); });
    const std::size_t n = std::size_t(end - values.begin());
    if (n == 0)
        return std::numeric_limits<double>::quiet_NaN();
    if (!median) {
        double sum = 0;
        for (auto it = values.begin(); it != end; ++it)
            sum += *it;
        return sum / double(n);
    }
    const auto mid = values.begin() + std::ptrdiff_t(n / 2);
    std::nth_element(values.begin(), mid, end);
    if (n % 2 == 1)
        return *mid;
    // the lower middle value is the largest of those before the upper one
    const double lower = *std::max_element(values.begin(), mid);
    return (lower + *mid) / 2;
}

ImgDataCombined *ImgDataCombined::combine(const std::vector<const ImgData *> &parts, bool median,
                                          QString *why)
{
    const auto refuse = [why](const QString &text) -> ImgDataCombined * {
        if (why)
            *why = text;
        return nullptr;
    };
    if (parts.empty())
        return refuse(QStringLiteral("no image to combine"));
    QStringList names;
    for (const ImgData *p : parts) {
        if (!p || !p->ready)
            return refuse(QStringLiteral("an image to combine is not read"));
        if (p->width != parts.front()->width || p->height != parts.front()->height)
            return refuse(QStringLiteral("Mismatch image size: (%1, %2) != (%3, %4) : %5")
                              .arg(parts.front()->width).arg(parts.front()->height)
                              .arg(p->width).arg(p->height).arg(p->fileName));
        names << p->fileName;
    }
    const int w = parts.front()->width;
    const int h = parts.front()->height;
    auto *c = new ImgDataCombined;
    c->init();
    c->width = w;
    c->height = h;
    c->fileName = names.join(QStringLiteral(", "));
    c->expTime = parts.front()->expTime;
    c->keepInMemory = true;
    c->px.assign(std::size_t(w) * std::size_t(h), 0.0);
    // row by row: every part's row y, then each pixel from its values
    const std::size_t k = parts.size();
    std::vector<double> rows(k * std::size_t(w));
    std::vector<double> values(k);
    for (int y = 0; y < h; ++y) {
        for (std::size_t i = 0; i < k; ++i)
            parts[i]->readRow(y, rows.data() + i * std::size_t(w));
        double *out = c->px.data() + std::size_t(y) * std::size_t(w);
        for (int x = 0; x < w; ++x) {
            for (std::size_t i = 0; i < k; ++i)
                values[i] = rows[i * std::size_t(w) + std::size_t(x)];
            out[x] = combinePixel(values, median);
        }
    }
    c->rowBuf = new double[std::size_t(w)]();
    c->colBuf = new double[std::size_t(h)]();
    c->ready = true;
    return c;
}

bool ImgDataCombined::readProps(const QString &, int *, int *)
{
    return false;
}

bool ImgDataCombined::load()
{
    return ready;
}

double *ImgDataCombined::readRow(int y, double *out) const
{
    if (y < 0 || y >= height) {
        std::fill(out, out + width, 0.0);
        return out;
    }
    std::copy_n(px.data() + std::size_t(y) * std::size_t(width), std::size_t(width), out);
    return out;
}

double *ImgDataCombined::readColumn(int x, double *out) const
{
    if (x < 0 || x >= width) {
        std::fill(out, out + height, 0.0);
        return out;
    }
    for (int y = 0; y < height; ++y)
        out[y] = px[std::size_t(y) * std::size_t(width) + std::size_t(x)];
    return out;
}
