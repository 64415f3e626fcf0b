// The TIFF reader on arbitrary file contents: tags, sample layouts, strips
// and tiles, the decoders, and reading rows and columns of what it accepts.
#include "FuzzEnv.h"
#include "ImgData.h"
#include "ImgDataTiff.h"

#include <climits>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

void check(bool cond)
{
    if (!cond)
        std::abort();
}

void readSome(ImgData &img, size_t fileSize)
{
    check(img.width >= 1 && img.height >= 1);
    check(qint64(img.width) * img.height <= INT_MAX);
    // The pixels of an accepted file stay in proportion to its size (at
    // least one byte each).
    check(qint64(img.width) * img.height
          <= ImgDataTiff::sizeSlack + ImgDataTiff::maxExpansion * qint64(fileSize));
    std::vector<double> row(size_t(img.width)), col(size_t(img.height));
    for (int y : {0, img.height / 2, img.height - 1, -1, img.height, INT_MIN, INT_MAX})
        img.readRow(y, row.data());
    for (int x : {0, img.width / 2, img.width - 1, -1, img.width, INT_MIN, INT_MAX})
        img.readColumn(x, col.data());
    // Rows and columns agree at the corners.
    img.readRow(img.height - 1, row.data());
    img.readColumn(img.width - 1, col.data());
    check(row[size_t(img.width) - 1] == col[size_t(img.height) - 1]
          || (row[size_t(img.width) - 1] != row[size_t(img.width) - 1]));   // NaN
    img.readRow(0, row.data());
    img.readColumn(0, col.data());
    check(row[0] == col[0] || row[0] != row[0]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = FuzzEnv::write(QStringLiteral("fuzz.tif"), data, size);
    std::unique_ptr<ImgData> img(ImgData::newImgData(ImgData::TIFF));
    img->fileName = path;
    if (img->open())
        readSome(*img, size);
    else
        check(!img->ready);
    // Opened a second time on the same reader, as a selector does.
    if (img->open())
        readSome(*img, size);
    return 0;
}
