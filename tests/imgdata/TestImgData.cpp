// Image-file readers: file types, the ITEX comment, pixel values, and files
// whose header text cannot be trusted.
#include "TestFiles.h"
#include "ImgData.h"
#include "ImgDataCombined.h"
#include "ImgDataITEX.h"
#include "ImgDataTiff.h"
#include "Phantom.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <algorithm>
#include <cmath>

#include <memory>
#include <random>
#include <thread>
#include <vector>

class TestImgData : public QObject
{
    Q_OBJECT

    QTemporaryDir tmp;
    int serial = 0;

    QString write(const QByteArray &bytes)
    {
        return writeTestFile(tmp, QString("f%1.img").arg(++serial), bytes);
    }

    // A file with the given comment and pixel bytes.
    QString itex(const QByteArray &comment, const QByteArray &pixels = QByteArray())
    {
        return write(Phantom::itexFile(comment, pixels));
    }

    static std::unique_ptr<ImgData> reader(const QString &path, bool inMemory = true)
    {
        std::unique_ptr<ImgData> img(ImgData::newImgData(ImgData::fileType(path)));
        if (img) {
            img->keepInMemory = inMemory;
            img->fileName = path;
            img->open();
        }
        return img;
    }

    static std::vector<quint32> randomPixels(int w, int h, quint32 top, unsigned seed)
    {
        std::mt19937 rng(seed);
        std::uniform_int_distribution<quint32> d(0, top);
        std::vector<quint32> px(size_t(w) * h);
        for (auto &p : px)
            p = d(rng);
        return px;
    }

private slots:
    void fileTypes()
    {
        const QString itexPath = write("IMxx nonsense follows");
        const QString ii = write("II*\0rest");
        const QString mm = write("MM");
        const QString other = write("PNG?");
        const QString oneByte = write("I");
        const QString missing = tmp.filePath("no-such.img");

        QVERIFY(ImgData::isItexFile(itexPath));
        QVERIFY(!ImgData::isTiffFile(itexPath));
        QCOMPARE(ImgData::fileType(itexPath), 0);
        QCOMPARE(ImgData::fileType(ii), 1);
        QCOMPARE(ImgData::fileType(mm), 1);
        QTest::ignoreMessage(QtWarningMsg, qPrintable("Unknown file type : " + other));
        QCOMPARE(ImgData::fileType(other), 2);
        QTest::ignoreMessage(QtWarningMsg, qPrintable("Unknown file type : " + oneByte));
        QCOMPARE(ImgData::fileType(oneByte), 2);

        QTest::ignoreMessage(QtWarningMsg, qPrintable("Check File Type (ITEX):: Can not open " + missing));
        QTest::ignoreMessage(QtWarningMsg, qPrintable("Check File Type (TIFF):: Can not open " + missing));
        QTest::ignoreMessage(QtWarningMsg, qPrintable("Unknown file type : " + missing));
        QCOMPARE(ImgData::fileType(missing), 2);

        std::unique_ptr<ImgData> a(ImgData::newImgData(0));
        std::unique_ptr<ImgData> b(ImgData::newImgData(1));
        QVERIFY(dynamic_cast<ImgDataITEX *>(a.get()));
        QVERIFY(dynamic_cast<ImgDataTiff *>(b.get()));
        QVERIFY(!ImgData::newImgData(2));
        QVERIFY(!ImgData::newImgData(-1));
        QVERIFY(!a->ready);
        QVERIFY(a->keepInMemory);
        QCOMPARE(a->expTime, 1.0);
        QCOMPARE(a->width, 0);
        QVERIFY(!a->rowBuf);
    }

    // TIFF files of every accepted layout read the same pixels as the ITEX
    // file of those pixels, by rows and by columns, from two threads at once.
    void tiffMatchesItex_data()
    {
        QTest::addColumn<int>("bits");
        QTest::addColumn<bool>("isFloat");
        QTest::addColumn<int>("compression");
        QTest::addColumn<int>("predictor");
        QTest::addColumn<bool>("bigEndian");
        QTest::addColumn<int>("tile");
        QTest::addColumn<int>("rowsPerStrip");
        QTest::newRow("u8 strips") << 8 << false << 1 << 1 << false << 0 << 5;
        QTest::newRow("u16 LZW predictor") << 16 << false << 5 << 2 << false << 0 << 4;
        QTest::newRow("u16 MM tiles Deflate") << 16 << false << 8 << 1 << true << 16 << 0;
        QTest::newRow("u32 MM PackBits") << 32 << false << 32773 << 1 << true << 0 << 7;
        QTest::newRow("u32 tiles") << 32 << false << 1 << 1 << false << 16 << 0;
        QTest::newRow("f32 Deflate one strip") << 32 << true << 8 << 1 << false << 0 << 0;
        QTest::newRow("f32 MM tiles LZW") << 32 << true << 5 << 1 << true << 32 << 0;
    }
    void tiffMatchesItex()
    {
        QFETCH(int, bits);
        QFETCH(bool, isFloat);
        Phantom::TiffLayout layout;
        layout.bits = bits;
        layout.isFloat = isFloat;
        QFETCH(int, compression);
        layout.compression = compression;
        QFETCH(int, predictor);
        layout.predictor = predictor;
        QFETCH(bool, bigEndian);
        layout.bigEndian = bigEndian;
        QFETCH(int, tile);
        layout.tile = tile;
        QFETCH(int, rowsPerStrip);
        layout.rowsPerStrip = rowsPerStrip;

        const int w = 37, h = 21;      // partial tiles and a short last strip
        const quint32 top = bits == 8 ? 255u : bits == 16 ? 65535u : isFloat ? (1u << 24) : 0xffffffffu;
        const auto pixels = randomPixels(w, h, top, unsigned(bits + compression + tile));
        const QString itexPath = write(Phantom::itexImage(w, h, bits == 32 ? 4 : 2, pixels));
        const QString tiffPath = tmp.filePath(QString("t%1.tif").arg(++serial));
        QString error;
        QVERIFY2(Phantom::writeTiff(tiffPath, w, h, std::vector<double>(pixels.begin(), pixels.end()),
                                    layout, &error), qPrintable(error));
        QCOMPARE(ImgData::fileType(tiffPath), int(ImgData::TIFF));

        auto itexImg = reader(itexPath);
        auto tiffImg = reader(tiffPath);
        QVERIFY(tiffImg->ready);
        QCOMPARE(tiffImg->width, w);
        QCOMPARE(tiffImg->height, h);
        bool columnsAgree = true;
        std::thread other([&] {
            std::vector<double> a(h), b(h);
            for (int x = 0; x < w; ++x)
                if (itexImg->readColumn(x, a.data()), tiffImg->readColumn(x, b.data()), a != b)
                    columnsAgree = false;
        });
        std::vector<double> a(w), b(w);
        for (int y = 0; y < h; ++y)
            QCOMPARE((tiffImg->readRow(y, b.data()), b), (itexImg->readRow(y, a.data()), a));
        other.join();
        QVERIFY(columnsAgree);
        std::fill(b.begin(), b.end(), 5.0);
        QCOMPARE((tiffImg->readRow(h, b.data()), b), std::vector<double>(w, 0.0));
    }

    // What is not decoded is refused with the file and the reason; a file
    // of more pages reads its first.
    void tiffRefusalsAndPages()
    {
        const std::vector<double> px(6 * 4, 7.0);
        auto tiff = [&](const Phantom::TiffLayout &l, int w = 6, int h = 4) {
            const QString path = tmp.filePath(QString("r%1.tif").arg(++serial));
            if (!Phantom::writeTiff(path, w, h, px, l))
                qFatal("cannot write %s", qPrintable(path));
            return path;
        };
        auto refused = [&](const QString &path, const QString &reason, bool decoding = false) {
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(
                "^Can not read TIFF file " + QRegularExpression::escape(path) + " : " + reason));
            if (decoding)
                QTest::ignoreMessage(QtWarningMsg, qPrintable("Can not open ImgData " + path));
            auto img = reader(path);
            QVERIFY(img);
            QVERIFY(!img->ready);
        };
        auto bytesOf = [](const QString &path) {
            QFile f(path);
            f.open(QIODevice::ReadOnly);
            return f.readAll();
        };

        Phantom::TiffLayout rgb;
        rgb.bits = 8;
        rgb.samplesPerPixel = 3;
        refused(tiff(rgb), "colour");
        Phantom::TiffLayout f64;
        f64.bits = 64;
        f64.isFloat = true;
        refused(tiff(f64), "64-bit samples");
        refused(write("II*\0 anything"), "not a readable TIFF file");

        // Compression tag (259, SHORT, 1) patched from none to 7 (JPEG).
        const QString plain = tiff(Phantom::TiffLayout());
        QByteArray b = bytesOf(plain);
        const QByteArray none("\x03\x01\x03\x00\x01\x00\x00\x00\x01\x00", 10);
        QVERIFY(b.contains(none));
        b.replace(none, QByteArray("\x03\x01\x03\x00\x01\x00\x00\x00\x07\x00", 10));
        refused(write(b), "unsupported compression 7");

        // Width and height (256, 257) patched to 40000 x 40000 in a file of a
        // few hundred bytes: refused before anything is allocated.
        b = bytesOf(plain);
        const QByteArray wTag("\x00\x01\x03\x00\x01\x00\x00\x00\x06\x00", 10);
        const QByteArray hTag("\x01\x01\x03\x00\x01\x00\x00\x00\x04\x00", 10);
        QVERIFY(b.contains(wTag) && b.contains(hTag));
        b.replace(wTag, QByteArray("\x00\x01\x03\x00\x01\x00\x00\x00\x40\x9c", 10));
        b.replace(hTag, QByteArray("\x01\x01\x03\x00\x01\x00\x00\x00\x40\x9c", 10));
        refused(write(b), "absurd image size 40000 x 40000");

        // Deflate data overwritten (it follows the 8-byte header).
        Phantom::TiffLayout deflate;
        deflate.compression = 8;
        b = bytesOf(tiff(deflate));
        b.replace(8, 6, QByteArray(6, '\xff'));
        refused(write(b), "damaged strip 0", true);

        Phantom::TiffLayout pages;
        pages.pages = 3;
        const QString paged = tiff(pages);
        QTest::ignoreMessage(QtDebugMsg, qPrintable(
            "TIFF file has more than one page, pages after the first are ignored : " + paged));
        auto img = reader(paged);
        QVERIFY(img->ready);
        QCOMPARE(img->valueAt(5, 3), 7.0);
    }

    // A strip or tile table shorter than the image needs (libtiff only
    // warns, and pads it) is refused, not read as the header's bytes; the
    // warning itself reaches the warning channel with the file's name.
    void tiffShortTablesAreRefused_data()
    {
        QTest::addColumn<int>("tile");
        QTest::addColumn<int>("tag");
        QTest::addColumn<QString>("tagName");
        QTest::addColumn<QString>("reason");
        QTest::newRow("StripOffsets") << 0 << 273 << "StripOffsets" << "no data for strip 3 of 4";
        QTest::newRow("StripByteCounts") << 0 << 279 << "StripByteCounts" << "no data for strip ";
        QTest::newRow("TileOffsets") << 16 << 324 << "TileOffsets" << "no data for tile 3 of 4";
        QTest::newRow("TileByteCounts") << 16 << 325 << "TileByteCounts" << "no data for tile ";
    }
    void tiffShortTablesAreRefused()
    {
        QFETCH(int, tile);
        QFETCH(int, tag);
        QFETCH(QString, tagName);
        QFETCH(QString, reason);
        // 4 strips of one row, or 4 tiles of 16 x 16
        const int w = tile ? 32 : 6, h = tile ? 32 : 4;
        Phantom::TiffLayout l;
        l.tile = tile;
        l.rowsPerStrip = 1;
        const QString made = tmp.filePath(QString("short%1.tif").arg(++serial));
        QVERIFY(Phantom::writeTiff(made, w, h, std::vector<double>(size_t(w) * h, 7.0), l));
        QFile f(made);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QByteArray b = f.readAll();
        // the table's entry in the first directory: 4 entries become 3, still
        // too many to sit in the entry itself
        const quint32 ifd = qFromLittleEndian<quint32>(b.constData() + 4);
        const int n = qFromLittleEndian<quint16>(b.constData() + ifd);
        bool patched = false;
        for (int i = 0; i < n; ++i) {
            char *e = b.data() + ifd + 2 + 12 * i;
            if (qFromLittleEndian<quint16>(e) == tag) {
                QCOMPARE(qFromLittleEndian<quint32>(e + 4), 4u);
                qToLittleEndian<quint32>(3, e + 4);
                patched = true;
            }
        }
        QVERIFY(patched);
        const QString path = write(b);
        const QString file = QRegularExpression::escape(path);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(
            "^TIFF file " + file + " : .*Incorrect count for \"" + tagName + "\""));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(
            "^Can not read TIFF file " + file + " : " + reason));
        QTest::ignoreMessage(QtWarningMsg, qPrintable("Can not open ImgData " + path));
        auto img = reader(path);
        QVERIFY(img);
        QVERIFY(!img->ready);
    }

    void itexSignatureWithoutSize()
    {
        // "IM" makes it ITEX; with an empty comment no size is found, silently.
        auto img = reader(write(QByteArray("IM") + QByteArray(200, '\0')));
        QVERIFY(img);
        QVERIFY(!img->ready);
        // Too short to hold the first ten bytes.
        const QString shortFile = write("IM\x05\0abc");
        QTest::ignoreMessage(QtWarningMsg, qPrintable("Error on reading ITEX file props. " + shortFile));
        QVERIFY(!reader(shortFile)->ready);
    }

    void missingFileMessages()
    {
        const QString missing = tmp.filePath("gone.img");
        ImgDataITEX img;
        img.fileName = missing;
        QTest::ignoreMessage(QtWarningMsg, qPrintable("Can not open ITEX file to read props. " + missing));
        QVERIFY(!img.open());
        QVERIFY(!img.ready);

        // Props readable, pixels not: load() fails and open() says so.
        const QString path = itex(Phantom::itexComment(2, 2, 2), QByteArray(8, '\0'));
        ImgDataITEX late;
        int w = 0, h = 0;
        QVERIFY(late.readProps(path, &w, &h));
        late.width = w;
        late.height = h;
        late.fileName = tmp.filePath("vanished.img");
        QTest::ignoreMessage(QtWarningMsg, qPrintable("Can not open ITEX file " + late.fileName));
        QVERIFY(!late.load());
    }

    void comment_data()
    {
        QTest::addColumn<QByteArray>("comment");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<double>("expTime");

        QTest::newRow("plain") << QByteArray("Prop_ImageWidth=5,Prop_ImageHeight=3,BytesPerPixel=2,")
                               << 5 << 3 << 1.0;
        QTest::newRow("areSource fallback")
            << QByteArray("areSource=\"0,0,1344,1024\",BytesPerPixel=2,") << 1344 << 1024 << 1.0;
        QTest::newRow("explicit width wins")
            << QByteArray("Prop_ImageWidth=100,areSource=\"0,0,1344,1024\",BytesPerPixel=2,")
            << 100 << 1024 << 1.0;
        QTest::newRow("areSource with offset")
            << QByteArray("areSource=\"10,20,110,70\",BytesPerPixel=4,Prop_ImageHeight=0,")
            << 100 << 50 << 1.0;
        QTest::newRow("quoted comma hides a key")
            << QByteArray("Prop_ImageWidth=4,Note=\"a,Prop_ImageWidth=9,b\",Prop_ImageHeight=3,"
                          "BytesPerPixel=2,")
            << 4 << 3 << 1.0;
        QTest::newRow("later exposure wins")
            << QByteArray("Prop_ExposureTime2=0.5,Prop_ImageWidth=2,Prop_ImageHeight=2,"
                          "Prop_ExposureTime1=2.5,BytesPerPixel=2,")
            << 2 << 2 << 2.5;
        QTest::newRow("exposure not a number")
            << QByteArray("Prop_ExposureTime1=abc,Prop_ImageWidth=2,Prop_ImageHeight=2,BytesPerPixel=2,")
            << 2 << 2 << 0.0;
        QTest::newRow("key then comma gives 0")
            << QByteArray("Prop_ImageWidth=8,Prop_ImageWidth=,Prop_ImageHeight=3,"
                          "areSource=\"0,0,7,9\",BytesPerPixel=2,")
            << 7 << 3 << 1.0;
        QTest::newRow("blank value gives 0")
            << QByteArray("Prop_ImageWidth= ,Prop_ImageHeight=3,areSource=\"0,0,7,9\",BytesPerPixel=2,")
            << 7 << 3 << 1.0;
        QTest::newRow("value then more tokens")
            << QByteArray("Prop_ImageWidth= 6 px,Prop_ImageHeight=\"4\",BytesPerPixel=2,")
            << 6 << 4 << 1.0;
        QTest::newRow("line ends inside")
            << QByteArray("Prop_ImageWidth=6,\nProp_ImageHeight=4,\nBytesPerPixel=2,")
            << 6 << 0 << 1.0;  // the item starts with a line end, so it does not match
    }
    void comment()
    {
        QFETCH(QByteArray, comment);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(double, expTime);
        ImgDataITEX img;
        int w = -1, h = -1;
        const bool ok = img.readProps(itex(comment), &w, &h);
        QCOMPARE(ok, width > 0 && height > 0);
        QCOMPARE(w, width);
        QCOMPARE(h, height);
        QCOMPARE(img.expTime, expTime);
        QCOMPARE(img.dataOffset, qint64(64 + comment.size()));
    }

    void ignoredLastItem()
    {
        // No comma after the last item: it is never matched.
        const QString noBpp = itex("Prop_ImageWidth=4,Prop_ImageHeight=3,BytesPerPixel=2");
        QTest::ignoreMessage(QtWarningMsg, qPrintable("Invalid BytesPerPixel in ITEX file " + noBpp));
        QVERIFY(!reader(noBpp)->ready);

        ImgDataITEX img;
        int w, h;
        QVERIFY(!img.readProps(itex("BytesPerPixel=2,Prop_ImageHeight=3,Prop_ImageWidth=4"), &w, &h));
        QCOMPARE(w, 0);
        QCOMPARE(h, 3);
    }

    void commentLongerThanFile()
    {
        QByteArray bytes = Phantom::itexFile(
            "areSource=\"0,0,4,4\",Prop_ImageWidth=4,Prop_ImageHeight=4,BytesPerPixel=2,", {});
        qToLittleEndian<quint16>(500, bytes.data() + 2);
        ImgDataITEX img;
        img.fileName = write(bytes);
        QVERIFY(!img.open());       // silently
        QCOMPARE(img.width, 0);
        QCOMPARE(img.height, 0);
    }

    void badBytesPerPixel()
    {
        for (const char *bpp : {"1", "3", "8", "0", "-2", "x", ""}) {
            const QString path = itex(QByteArray("Prop_ImageWidth=2,Prop_ImageHeight=2,BytesPerPixel=")
                                          + bpp + ",", QByteArray(32, '\0'));
            QTest::ignoreMessage(QtWarningMsg, qPrintable("Invalid BytesPerPixel in ITEX file " + path));
            auto img = reader(path);
            QVERIFY2(!img->ready, bpp);
        }
        // A BytesPerPixel inside quotes does not count.
        const QString quoted = itex("Prop_ImageWidth=2,Prop_ImageHeight=2,N=\"x,BytesPerPixel=2,\",",
                                    QByteArray(8, '\0'));
        QTest::ignoreMessage(QtWarningMsg, qPrintable("Invalid BytesPerPixel in ITEX file " + quoted));
        QVERIFY(!reader(quoted)->ready);
    }

    void absurdSizes()
    {
        const QByteArray px(1024, '\1');
        const QList<QByteArray> sizes {
            "Prop_ImageWidth=2147483647,Prop_ImageHeight=2147483647,BytesPerPixel=4,",
            "Prop_ImageWidth=65536,Prop_ImageHeight=32768,BytesPerPixel=2,",  // 2^31 pixels
            "Prop_ImageWidth=4000,Prop_ImageHeight=4000,BytesPerPixel=2,",    // 32 MB from 1 kB
            "areSource=\"0,0,2147483647,2147483647\",BytesPerPixel=2,",
            "Prop_ImageWidth=99999999999,Prop_ImageHeight=1,areSource=\"0,0,2147483647,1\","
            "BytesPerPixel=4,",
        };
        for (const QByteArray &comment : sizes) {
            const QString path = itex(comment, px);
            QTest::ignoreMessage(QtWarningMsg, qPrintable("Absurd image size in ITEX file " + path));
            auto img = reader(path);
            QVERIFY2(!img->ready, comment.constData());
            QCOMPARE(img->width, 0);
        }
        // An areSource difference that overflows an int counts as no size.
        QVERIFY(!reader(itex("areSource=\"-2147483648,0,2147483647,5\",BytesPerPixel=2,", px))->ready);
    }

    void truncationLimit()
    {
        // 4096 x 4096 x 2 bytes = 32 MiB announced. Half present: readable.
        const QByteArray comment = Phantom::itexComment(4096, 4096, 2);
        const qint64 half = qint64(16) << 20;
        QByteArray px(half, '\0');
        qToLittleEndian<quint16>(4242, px.data());
        const QString ok = itex(comment, px);
        for (bool inMemory : {true, false}) {
            auto img = reader(ok, inMemory);
            QVERIFY(img->ready);
            std::vector<double> row(4096), col(4096);
            img->readRow(0, row.data());
            QCOMPARE(row[0], 4242.0);
            img->readRow(4095, row.data());
            QCOMPARE(row[4095], 0.0);
            img->readColumn(0, col.data());
            QCOMPARE(col[0], 4242.0);
            QCOMPARE(col[4095], 0.0);
        }
        // Two bytes fewer: more than half and more than the 16 MiB slack missing.
        px.chop(2);
        const QString bad = itex(comment, px);
        QTest::ignoreMessage(QtWarningMsg, qPrintable("Absurd image size in ITEX file " + bad));
        QVERIFY(!reader(bad)->ready);
    }

    void truncatedPixelsReadAsZero()
    {
        const int w = 7, h = 5;
        const auto pixels = randomPixels(w, h, 65535, 1);
        QByteArray bytes = Phantom::itexImage(w, h, 2, pixels);
        bytes.chop(2 * (w + 3));     // the last row and three pixels of the row before
        const QString path = write(bytes);
        for (bool inMemory : {true, false}) {
            // Said, and still read.
            QTest::ignoreMessage(QtWarningMsg, qPrintable("ITEX file shorter than its image size : " + path));
            auto img = reader(path, inMemory);
            QVERIFY(img->ready);
            std::vector<double> row(w), col(h);
            for (int y = 0; y < h; ++y) {
                img->readRow(y, row.data());
                for (int x = 0; x < w; ++x) {
                    const bool gone = y * w + x >= w * h - (w + 3);
                    QCOMPARE(row[x], gone ? 0.0 : double(pixels[y * w + x]));
                }
            }
            for (int x = 0; x < w; ++x) {
                img->readColumn(x, col.data());
                for (int y = 0; y < h; ++y) {
                    const bool gone = y * w + x >= w * h - (w + 3);
                    QCOMPARE(col[y], gone ? 0.0 : double(pixels[y * w + x]));
                }
            }
        }
        // Header only, no pixel at all: a small image reads as zeros.
        const QString headerOnly = itex(Phantom::itexComment(3, 3, 4));
        QTest::ignoreMessage(QtWarningMsg, qPrintable("ITEX file shorter than its image size : " + headerOnly));
        auto empty = reader(headerOnly, true);
        QVERIFY(empty->ready);
        std::vector<double> row(3, 9.0);
        empty->readRow(2, row.data());
        QCOMPARE(row, std::vector<double>(3, 0.0));
    }

    void pixelCutByTheEnd()
    {
        // The file ends inside the last pixel: that pixel is missing and reads
        // as 0 through rows and columns, from memory and from the file alike.
        const int w = 3, h = 2;
        for (int bpp : {2, 4}) {
            const auto pixels = randomPixels(w, h, bpp == 2 ? 65535u : 0xffffffffu, 7);
            for (int cut = 1; cut < bpp; ++cut) {
                QByteArray bytes = Phantom::itexImage(w, h, bpp, pixels);
                bytes.chop(cut);
                const QString path = write(bytes);
                for (bool inMemory : {true, false}) {
                    auto img = reader(path, inMemory);
                    QVERIFY(img->ready);
                    std::vector<double> row(w), col(h);
                    img->readRow(h - 1, row.data());
                    img->readColumn(w - 1, col.data());
                    QCOMPARE(row[w - 1], 0.0);
                    QCOMPARE(col[h - 1], 0.0);
                    QCOMPARE(row[0], double(pixels[(h - 1) * w]));
                    QCOMPARE(col[0], double(pixels[w - 1]));
                }
            }
        }
    }

    void hostileSizes()
    {
        const QByteArray px(64, '\x01');
        // No usable size: rejected without a message, nothing allocated.
        for (const char *comment : {
                 "Prop_ImageWidth=-5,Prop_ImageHeight=4,BytesPerPixel=2,",
                 "Prop_ImageWidth=4,Prop_ImageHeight=-2147483648,BytesPerPixel=2,",
                 "Prop_ImageWidth=-5,Prop_ImageHeight=-4,areSource=\"10,10,2,2\",BytesPerPixel=2,",
                 "Prop_ImageWidth=0,Prop_ImageHeight=0,BytesPerPixel=4,"}) {
            auto img = reader(itex(comment, px));
            QVERIFY2(!img->ready, comment);
            QVERIFY(img->width <= 0 || img->height <= 0);
        }
        // A negative explicit size falls back to areSource.
        auto fallback = reader(itex("Prop_ImageWidth=-5,Prop_ImageHeight=-1,"
                                    "areSource=\"2,1,6,4\",BytesPerPixel=2,", px));
        QVERIFY(fallback->ready);
        QCOMPARE(fallback->width, 4);
        QCOMPARE(fallback->height, 3);

        // Gigabytes announced on a file of a few bytes: refused at once.
        for (const char *comment : {
                 "Prop_ImageWidth=40000,Prop_ImageHeight=40000,BytesPerPixel=4,",     // 6.4 GB
                 "Prop_ImageWidth=1,Prop_ImageHeight=1000000000,BytesPerPixel=2,",   // 2 GB
                 "Prop_ImageWidth=2147483647,Prop_ImageHeight=1,BytesPerPixel=4,"}) {
            const QString path = itex(comment, px);
            for (bool inMemory : {true, false}) {
                QTest::ignoreMessage(QtWarningMsg, qPrintable("Absurd image size in ITEX file " + path));
                auto img = reader(path, inMemory);
                QVERIFY2(!img->ready, comment);
                QCOMPARE(img->width, 0);
                QCOMPARE(img->height, 0);
            }
        }

        // No BytesPerPixel item at all.
        const QString noBpp = itex("Prop_ImageWidth=2,Prop_ImageHeight=2,", px);
        QTest::ignoreMessage(QtWarningMsg, qPrintable("Invalid BytesPerPixel in ITEX file " + noBpp));
        QVERIFY(!reader(noBpp)->ready);
    }

    void pixelMaxima()
    {
        const std::vector<quint32> px {0, 1, 65535, 65534};
        auto img16 = reader(write(Phantom::itexImage(2, 2, 2, px)));
        std::vector<double> row(2);
        img16->readRow(1, row.data());
        QCOMPARE(row[0], 65535.0);
        QCOMPARE(row[1], 65534.0);

        const std::vector<quint32> big {4294967295u, 2147483648u, 0, 65536};
        for (bool inMemory : {true, false}) {
            auto img32 = reader(write(Phantom::itexImage(2, 2, 4, big)), inMemory);
            img32->readRow(0, row.data());
            QCOMPARE(row[0], 4294967295.0);
            QCOMPARE(row[1], 2147483648.0);
            img32->readColumn(0, row.data());
            QCOMPARE(row[0], 4294967295.0);
            QCOMPARE(row[1], 0.0);
        }
    }

    void rowsAndColumnsAgree_data()
    {
        QTest::addColumn<int>("bytesPerPixel");
        QTest::addColumn<bool>("inMemory");
        QTest::newRow("16 bit, memory") << 2 << true;
        QTest::newRow("16 bit, file") << 2 << false;
        QTest::newRow("32 bit, memory") << 4 << true;
        QTest::newRow("32 bit, file") << 4 << false;
    }
    void rowsAndColumnsAgree()
    {
        QFETCH(int, bytesPerPixel);
        QFETCH(bool, inMemory);
        const int w = 37, h = 23;
        const auto px = randomPixels(w, h, bytesPerPixel == 2 ? 65535u : 4294967295u, 7);
        auto img = reader(write(Phantom::itexImage(w, h, bytesPerPixel, px)), inMemory);
        QVERIFY(img->ready);
        QCOMPARE(img->width, w);
        QCOMPARE(img->height, h);
        QVERIFY(img->rowBuf && img->colBuf);
        for (int x = 0; x < w; ++x) {
            QCOMPARE(img->readColumn(x, img->colBuf), img->colBuf);
            for (int y = 0; y < h; ++y)
                QCOMPARE(img->colBuf[y], double(px[size_t(y) * w + x]));
        }
        // Rows in a scattered order, so reads from the file must seek.
        for (int y : {5, 0, 22, 11, 3}) {
            img->readRow(y, img->rowBuf);
            for (int x = 0; x < w; ++x)
                QCOMPARE(img->rowBuf[x], double(px[size_t(y) * w + x]));
        }
        // Outside the image: zeros, nothing read or written past a buffer.
        std::vector<double> row(w, 5.0), col(h, 5.0);
        img->readRow(-1, row.data());
        img->readRow(h, row.data());
        img->readColumn(w, col.data());
        img->readColumn(-3, col.data());
        QCOMPARE(row, std::vector<double>(w, 0.0));
        QCOMPARE(col, std::vector<double>(h, 0.0));
    }

    void concurrentReads()
    {
        // Several threads read one in-memory image, each into its own arrays.
        const int w = 64, h = 48;
        const auto px = randomPixels(w, h, 65535, 3);
        auto img = reader(write(Phantom::itexImage(w, h, 2, px)), true);
        QVERIFY(img->ready);
        const ImgData *shared = img.get();
        std::vector<int> errors(4, 0);
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&, t] {
                std::vector<double> row(w), col(h);
                for (int round = 0; round < 20; ++round) {
                    for (int y = 0; y < h; ++y) {
                        shared->readRow(y, row.data());
                        for (int x = 0; x < w; ++x)
                            errors[t] += row[x] != px[size_t(y) * w + x];
                    }
                    for (int x = 0; x < w; ++x) {
                        shared->readColumn(x, col.data());
                        for (int y = 0; y < h; ++y)
                            errors[t] += col[y] != px[size_t(y) * w + x];
                    }
                }
            });
        }
        for (auto &th : threads)
            th.join();
        QCOMPARE(errors, std::vector<int>(4, 0));
    }

    // Several exposures of one I0 or BG image make one, pixel by pixel: the
    // mean, or the median (an even count: the mean of the middle two), of
    // the finite values, each compared with its own evaluation from the
    // files. Three ITEX files (odd), then a fourth, float TIFF, with a NaN
    // (even; three finite values at that pixel). Sizes that differ are
    // refused.
    void severalImagesCombineByMeanOrMedian()
    {
        const int w = 9, h = 5;
        std::vector<std::vector<double>> values;
        std::vector<std::unique_ptr<ImgData>> files;
        for (unsigned k = 0; k < 3; ++k) {
            const auto px = randomPixels(w, h, 60000, 11 + k);
            values.emplace_back(px.cbegin(), px.cend());
            files.push_back(reader(write(Phantom::itexImage(w, h, 2, px))));
            QVERIFY(files.back()->ready);
        }
        std::vector<double> fourth(std::size_t(w) * h);
        for (std::size_t i = 0; i < fourth.size(); ++i)
            fourth[i] = 0.25 + double(i % 7) * 9000.5;
        fourth[std::size_t(1) * w + 2] = std::nan("");
        Phantom::TiffLayout f;
        f.bits = 32;
        f.isFloat = true;
        const QString tif = tmp.filePath("fourth.tif");
        QVERIFY(Phantom::writeTiff(tif, w, h, fourth, f));
        files.push_back(reader(tif));
        QVERIFY(files.back()->ready);
        values.push_back(fourth);

        for (const std::size_t count : {std::size_t(3), std::size_t(4)}) {
            std::vector<const ImgData *> parts;
            for (std::size_t k = 0; k < count; ++k)
                parts.push_back(files[k].get());
            for (const bool median : {false, true}) {
                std::unique_ptr<ImgData> c(ImgDataCombined::combine(parts, median));
                QVERIFY(c && c->ready);
                QCOMPARE(c->width, w);
                QCOMPARE(c->height, h);
                std::vector<double> row(w), col(h);
                for (int y = 0; y < h; ++y) {
                    c->readRow(y, row.data());
                    for (int x = 0; x < w; ++x) {
                        std::vector<double> v;
                        for (std::size_t k = 0; k < count; ++k)
                            if (!std::isnan(values[k][std::size_t(y) * w + x]))
                                v.push_back(values[k][std::size_t(y) * w + x]);
                        std::sort(v.begin(), v.end());
                        double want = 0;
                        if (median)
                            want = v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
                        else {
                            for (double e : v)
                                want += e;
                            want /= double(v.size());
                        }
                        QCOMPARE(row[x], want);
                        c->readColumn(x, col.data());
                        QCOMPARE(col[y], want);
                    }
                }
            }
        }
        auto other = reader(write(Phantom::itexImage(w, h + 1, 2, randomPixels(w, h + 1, 100, 5))));
        QString why;
        QVERIFY(!ImgDataCombined::combine({files[0].get(), other.get()}, false, &why));
        QVERIFY2(why.startsWith("Mismatch image size: (9, 5) != (9, 6) : "), qPrintable(why));
    }

    void reopen()
    {
        // open() twice, then init(): no leak (checked under the address sanitizer).
        auto img = reader(write(Phantom::itexImage(3, 2, 2, {1, 2, 3, 4, 5, 6})));
        QVERIFY(img->ready);
        QVERIFY(img->open());
        QCOMPARE(img->readRow(1, img->rowBuf)[2], 6.0);
        img->init();
        QVERIFY(!img->ready);
        QCOMPARE(img->width, 0);
        QVERIFY(!img->rowBuf);
    }
};

QTEST_GUILESS_MAIN(TestImgData)
#include "TestImgData.moc"
