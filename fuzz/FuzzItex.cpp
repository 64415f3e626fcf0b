// The image readers on arbitrary file contents: type detection, the ITEX
// header and comment, and reading rows and columns, with the pixels held in
// memory and read from the file.
#include "FuzzEnv.h"
#include "ImgData.h"
#include "ImgDataITEX.h"

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

void readSome(ImgData &img)
{
    check(img.width >= 1 && img.height >= 1);
    check(qint64(img.width) * img.height <= INT_MAX);
    std::vector<double> row(size_t(img.width)), col(size_t(img.height));
    // Inside, at the edges and outside the image (outside reads as 0).
    for (int y : {0, img.height / 2, img.height - 1, -1, img.height, INT_MIN, INT_MAX})
        img.readRow(y, row.data());
    for (int x : {0, img.width / 2, img.width - 1, -1, img.width, INT_MIN, INT_MAX})
        img.readColumn(x, col.data());
    img.readRow(0, row.data());
    img.readColumn(img.width - 1, col.data());
    check(row[size_t(img.width) - 1] == col[0]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = FuzzEnv::write(QStringLiteral("fuzz.img"), data, size);
    const int type = ImgData::fileType(path);
    check(type >= ImgData::ITEX && type <= ImgData::Unknown);
    check((type == ImgData::ITEX) == (size >= 2 && data[0] == 'I' && data[1] == 'M'));

    for (bool inMemory : {true, false}) {
        // Every file goes through the ITEX reader, whatever its first bytes.
        std::unique_ptr<ImgData> img(ImgData::newImgData(ImgData::ITEX));
        img->keepInMemory = inMemory;
        img->fileName = path;
        if (img->open())
            readSome(*img);
        else
            check(!img->ready);
        // Opened a second time on the same reader, as a selector does.
        if (img->open())
            readSome(*img);
    }
    if (type == ImgData::TIFF) {
        std::unique_ptr<ImgData> tiff(ImgData::newImgData(type));
        tiff->fileName = path;
        if (tiff->open() && tiff->width > 0 && tiff->height > 0)
            readSome(*tiff);
    }
    return 0;
}
