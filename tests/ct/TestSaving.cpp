// Result saving: file names, the sub-folder table with its double write,
// failed writes, and the "#TOMX-CTImg" data-file text.
#include "CtCore.h"
#include "DataFileText.h"
#include "DataSaver.h"
#include "DecimalG6.h"
#include "SavingData.h"
#include "SavingImg.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>

#include <cfloat>
#include <csignal>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

// A disk that fills up: while it lives, no file of this process may grow
// beyond `bytes` (a write past it fails as on a full disk instead of raising
// SIGXFSZ).
struct FileSizeLimit {
    rlimit was{};
    void (*handler)(int) = SIG_DFL;
    explicit FileSizeLimit(rlim_t bytes)
    {
        handler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &was);
        rlimit lim = was;
        lim.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lim);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &was);
        std::signal(SIGXFSZ, handler);
    }
};

class TestSaving : public QObject
{
    Q_OBJECT

    static QByteArray readAll(const QString &file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static QImage smallImage()
    {
        QImage img(3, 2, QImage::Format_Grayscale8);
        img.fill(77);
        return img;
    }

private slots:
    void fileNames()
    {
        QCOMPARE(DataSaver::indexText(37), QString("00037"));
        QCOMPARE(DataSaver::indexText(123456), QString("123456"));
        QCOMPARE(SavingData("/p", "sample", "E8990", 37).fileName(), QString("sample-E8990-00037.dat"));
        QCOMPARE(SavingImg("/p", "", "E8990", 5, QImage()).fileName(), QString("E8990-00005.png"));
        QCOMPARE(SavingData("/p", "s", "", 12).fileName(), QString("s--00012.dat"));
        QCOMPARE(SavingImg("/p", "", "", 0, QImage()).fileName(), QString("-00000.png"));
        QCOMPARE(DataSaver::subFolder("/a/b", "E1"), QString("/a/b") + QDir::separator() + "E1");
    }

    // Which folders get the file, for every row of the table.
    void folderTable()
    {
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        struct Row { bool sub, energy, slice; QStringList expect, absent; };
        const QList<Row> rows = {
            {false, true, true, {"f0"}, {"f0/E1", "f0/00007"}},
            {true, true, false, {"f1/E1"}, {"f1/00007"}},
            {true, true, true, {"f2/E1", "f2/00007"}, {}},
            {true, false, false, {"f3/00007"}, {"f3/E1"}},
            {true, false, true, {"f4/00007"}, {"f4/E1"}},
        };
        int k = 0;
        for (const Row &r : rows) {
            const QString base = tmp.filePath(QString("f%1").arg(k++));
            QVERIFY(QDir().mkpath(base));
            DataSaver saver;
            saver.subFolders = r.sub;
            saver.ofEnergy = r.energy;
            saver.ofSlice = r.slice;
            auto *d = new SavingData(base, "s", "E1", 7);
            d->data = "#TOMX-CTImg\nabc\n";
            saver.saveDataWDiscard(d);
            saver.saveImgWDiscard(new SavingImg(base, "s", "E1", 7, smallImage()));
            for (const QString &e : r.expect) {
                const QString dir = tmp.filePath(e);
                QCOMPARE(readAll(dir + "/s-E1-00007.dat"), QByteArray("#TOMX-CTImg\nabc\n"));
                const QImage back(dir + "/s-E1-00007.png");
                QCOMPARE(back.size(), QSize(3, 2));
                QCOMPARE(qGray(back.pixel(1, 1)), 77);
            }
            for (const QString &a : r.absent)
                QVERIFY2(!QFileInfo::exists(tmp.filePath(a)), qPrintable(a));
            QCOMPARE(saver.failures(), 0);
        }
    }

    // No save path: the sub-folders and the files both go to the working
    // directory, never to folders at the root.
    void emptyPathWithSubFolders()
    {
        QTemporaryDir tmp;
        const QString was = QDir::currentPath();
        QVERIFY(QDir::setCurrent(tmp.path()));
        DataSaver saver;
        saver.subFolders = saver.ofEnergy = saver.ofSlice = true;
        auto *d = new SavingData("", "s", "E1", 7);
        d->data = "#TOMX-CTImg\n";
        saver.saveDataWDiscard(d);
        saver.saveImgWDiscard(new SavingImg("", "s", "E1", 7, smallImage()));
        QDir::setCurrent(was);
        for (const char *sub : {"E1", "00007"}) {
            QCOMPARE(readAll(tmp.filePath(QString(sub) + "/s-E1-00007.dat")), QByteArray("#TOMX-CTImg\n"));
            QVERIFY(QFile::exists(tmp.filePath(QString(sub) + "/s-E1-00007.png")));
        }
        QCOMPARE(saver.failures(), 0);
    }

    // An existing file is replaced, not appended to.
    void replacesFile()
    {
        QTemporaryDir tmp;
        DataSaver saver;
        SavingData d(tmp.path(), "n", "t", 1);
        d.data = "long old content\n";
        saver.saveData(&d);
        d.data = "new\n";
        saver.saveData(&d);
        QCOMPARE(readAll(tmp.filePath("n-t-00001.dat")), QByteArray("new\n"));
    }

    // A folder or file that cannot be written is named in a debug line and
    // the next record is still written.
    void failedWriteReported()
    {
        QTemporaryDir tmp;
        const QString blocker = tmp.filePath("file");
        {
            QFile f(blocker);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        DataSaver saver;
        saver.subFolders = true;
        saver.ofEnergy = true;
        const QString sub = DataSaver::subFolder(blocker, "E1");
        QTest::ignoreMessage(QtWarningMsg, qPrintable("Can't make folder : " + sub));
        QTest::ignoreMessage(QtWarningMsg,
                             qPrintable("Can't write data file : " + QDir(sub).absoluteFilePath("a-E1-00003.dat")));
        auto *bad = new SavingData(blocker, "a", "E1", 3);
        bad->data = "x";
        saver.saveDataWDiscard(bad);
        QTest::ignoreMessage(QtWarningMsg, qPrintable("Can't make folder : " + sub));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Can't write image file : .*b-E1-00003.png$"));
        saver.saveImgWDiscard(new SavingImg(blocker, "b", "E1", 3, smallImage()));
        QCOMPARE(saver.failures(), 2);

        auto *good = new SavingData(tmp.path(), "a", "E1", 4);
        good->data = "y";
        saver.saveDataWDiscard(good);
        QCOMPARE(readAll(tmp.filePath("E1/a-E1-00004.dat")), QByteArray("y"));
        QCOMPARE(saver.failures(), 2);
    }

    // A disk that fills up while a file is written: a data file written in
    // one piece, one that fits the write buffer and a PNG image. None of
    // them appears under its name, no temporary file is left, an older file
    // of that name stays as it was, and each failure is named and counted.
    void fullDiskLeavesNoFile()
    {
        QTemporaryDir tmp;
        DataSaver saver;
        SavingData big(tmp.path(), "big", "E1", 1), small(tmp.path(), "small", "E1", 1);
        big.data = QByteArray(200000, 'b');
        small.data = QByteArray(6000, 's');
        QImage noise(300, 300, QImage::Format_Grayscale8);
        std::mt19937 rng(5);
        for (int y = 0; y < noise.height(); ++y)
            for (int x = 0; x < noise.width(); ++x)
                noise.scanLine(y)[x] = uchar(rng());
        SavingImg img(tmp.path(), "img", "E1", 1, noise);
        {
            QFile old(tmp.filePath("small-E1-00001.dat"));
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("old\n");
        }
        for (const char *f : {"big-E1-00001.dat", "small-E1-00001.dat"})
            QTest::ignoreMessage(QtWarningMsg, qPrintable("Can't write data file : " + tmp.filePath(f)));
        QTest::ignoreMessage(QtWarningMsg, qPrintable("Can't write image file : " + tmp.filePath("img-E1-00001.png")));
        {
            FileSizeLimit full(4096);
            saver.saveData(&big);
            saver.saveData(&small);
            saver.saveImg(&img);
        }
        QCOMPARE(saver.failures(), 3);
        QCOMPARE(saver.filesWritten(), 0);
        QCOMPARE(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList({"small-E1-00001.dat"}));
        QCOMPARE(readAll(tmp.filePath("small-E1-00001.dat")), QByteArray("old\n"));

        // with room again, all three are written whole
        saver.saveData(&big);
        saver.saveData(&small);
        saver.saveImg(&img);
        QCOMPARE(saver.failures(), 3);
        QCOMPARE(readAll(tmp.filePath("big-E1-00001.dat")), big.data);
        QCOMPARE(readAll(tmp.filePath("small-E1-00001.dat")), small.data);
        QCOMPARE(QImage(tmp.filePath("img-E1-00001.png")), noise);
    }

    // Header, line count and pixel order for the region (0, 0, 198, 198).
    // Values are written as printf("%g") writes them, to the character:
    // random values over many decades, values next to every kind of rounding
    // boundary (halves, the carry into the next decade, the switch to and
    // from the exponent form) and the special ones.
    void valuesWrittenAsPrintf()
    {
        std::vector<double> values = {0.0, -0.0, 1.0, -1.0, 0.5, 1e-5, 1e-4, 1e5, 1e6, 999999.5,
                                      9.999995, 0.00099999949, DBL_MIN, DBL_MAX, DBL_MIN / 8,
                                      std::numeric_limits<double>::infinity(),
                                      -std::numeric_limits<double>::infinity(),
                                      std::numeric_limits<double>::quiet_NaN(), 1e-300, 1e300};
        std::mt19937_64 gen(2026);
        std::uniform_real_distribution<double> mant(1.0, 10.0), expo(-40.0, 40.0);
        for (int i = 0; i < 200000; ++i) {
            const double v = mant(gen) * std::pow(10.0, std::floor(expo(gen)));
            values.push_back(i % 2 ? v : -v);
        }
        std::uniform_int_distribution<int> six(100000, 999999);
        for (int e = -25; e <= 30; ++e) {
            const double scale = std::pow(10.0, e - 5);
            for (int q : {100000, 123456, 499999, 500000, 999999, six(gen), six(gen), six(gen)}) {
                for (double c : {double(q) + 0.5, double(q), 999999.5, 9999995.0 / 10}) {
                    double v = c * scale;
                    for (int k = 0; k < 3; ++k)
                        v = std::nextafter(v, 0.0);
                    for (int k = 0; k < 7; ++k, v = std::nextafter(v, DBL_MAX))
                        values.push_back(v);
                }
            }
        }
        int wrong = 0;
        for (double v : values) {
            char mine[DecimalG6::maxLength + 1];
            char *end = DecimalG6::write(mine, v);
            QVERIFY(end - mine <= DecimalG6::maxLength);
            *end = 0;
            char ref[64];
            std::snprintf(ref, sizeof ref, "%g", v);
            if (std::strcmp(mine, ref) != 0 && ++wrong <= 5)
                qWarning("%.17g: \"%s\", printf \"%s\"", v, mine, ref);
        }
        QCOMPARE(wrong, 0);
    }

    void dataTextWholeGrid()
    {
        const int N = 198;
        std::vector<double> res(size_t(N) * N);
        for (int z = 0; z < N; ++z)
            for (int x = 0; x < N; ++x)
                res[size_t(z) * N + x] = z * 1000 + x + 0.25;
        const QByteArray t = DataFileText::make(res.data(), N, {0, 0, 198, 198}, -1e300, 1e300, 0);
        const QList<QByteArray> lines = t.split('\n');
        QCOMPARE(lines.size(), 6 + N * N + 1);
        QCOMPARE(lines.last(), QByteArray());   // ends with a line feed
        QCOMPARE(lines[0], QByteArray("#TOMX-CTImg"));
        QCOMPARE(lines[1], QByteArray("# Range_X0       : 0"));
        QCOMPARE(lines[2], QByteArray("# Range_Y0       : 0"));
        QCOMPARE(lines[3], QByteArray("# Range_X1       : 197"));
        QCOMPARE(lines[4], QByteArray("# Range_Y1       : 197"));
        QCOMPARE(lines[5], QByteArray("# sx,sy, ex,ey   : 0\t0\t197\t197"));
        QCOMPARE(lines[6], QByteArray("0\t0\t0.25"));
        QCOMPARE(lines[7], QByteArray("1\t0\t1.25"));
        QCOMPARE(lines[6 + N], QByteArray("0\t1\t1000.25"));
        QCOMPARE(lines[6 + N * N - 1], QByteArray("197\t197\t197197"));   // 6 digits
        QVERIFY(!t.contains('\r'));
    }

    // Numbers like "%g"; the limits keep a value equal to them; offset added.
    void dataTextValues()
    {
        const int N = 4;
        const std::vector<double> res = {1.5, 2.0, 2.5, -1.0,
                                         1e-5, 123456789.0, 0.1 + 0.2, -0.000123456,
                                         1.0, 3.0, 2.0000001, 0,
                                         0, 0, 0, 0};
        const QByteArray t = DataFileText::make(res.data(), N, {0, 0, 4, 3}, 1.0, 3.0, 0.5);
        const QList<QByteArray> l = t.split('\n');
        QCOMPARE(l[3], QByteArray("# Range_X1       : 3"));
        QCOMPARE(l[4], QByteArray("# Range_Y1       : 2"));
        QCOMPARE(l.size(), 6 + 12 + 1);
        const QList<QByteArray> want = {
            "0\t0\t2", "1\t0\t2.5", "2\t0\t3", "3\t0\t0.5",             // -1 below: offset
            "0\t1\t0.5", "1\t1\t0.5", "2\t1\t0.5", "3\t1\t0.5",         // all outside 1..3
            "0\t2\t1.5", "1\t2\t3.5", "2\t2\t2.5", "3\t2\t0.5"};        // equal to a limit: kept
        for (int i = 0; i < want.size(); ++i)
            QCOMPARE(l[6 + i], want[i]);

        QByteArray n;
        for (double v : {1e-5, 123456789.0, 0.30000000000000004, -0.000123456, 100000.0, 1234567.0, 0.0}) {
            n.clear();
            DataFileText::appendNumber(n, v);
            QCOMPARE(n, QString::asprintf("%g", v).toLatin1());
        }
    }

    // Fractional bounds: trunc of the lower bound, "while < upper".
    void dataTextFractionalRegion()
    {
        const int N = 8;
        std::vector<double> res(size_t(N) * N, 1.0);
        const QByteArray t = DataFileText::make(res.data(), N, {1.5, 2.25, 3.5, 4.0}, 0, 10, 0);
        const QList<QByteArray> l = t.split('\n');
        QCOMPARE(l[1], QByteArray("# Range_X0       : 1.5"));
        QCOMPARE(l[3], QByteArray("# Range_X1       : 2.5"));
        QCOMPARE(l[5], QByteArray("# sx,sy, ex,ey   : 1.5\t2.25\t2.5\t3"));
        // x 1, 2, 3 and z 2, 3
        QCOMPARE(l.size(), 6 + 6 + 1);
        QCOMPARE(l[6], QByteArray("1\t2\t1"));
        QCOMPARE(l[11], QByteArray("3\t3\t1"));
    }

    // A region beyond the grid is clipped, header included: nothing outside
    // the result is read (the sanitizer builds check the reads).
    void dataTextRegionBeyondGrid()
    {
        const int N = 6;
        std::vector<double> res(size_t(N) * N, 2.0);
        QByteArray t = DataFileText::make(res.data(), N, {-3, -1, 2047, 2047}, 0, 10, 0);
        QList<QByteArray> l = t.split('\n');
        QCOMPARE(l[5], QByteArray("# sx,sy, ex,ey   : 0\t0\t5\t5"));
        QCOMPARE(l.size(), 6 + N * N + 1);
        QCOMPARE(l[6 + N * N - 1], QByteArray("5\t5\t2"));

        t = DataFileText::make(res.data(), N, {10, 10, 20, 20}, 0, 10, 0);
        QCOMPARE(t.count('\n'), 6);
        t = DataFileText::make(res.data(), N, {std::nan(""), 0, 2, 1}, 0, 10, 0);
        QCOMPARE(t.split('\n')[6], QByteArray("0\t0\t2"));
        t = DataFileText::make(nullptr, 0, {0, 0, 198, 198}, 0, 10, 0);
        QCOMPARE(t.count('\n'), 6);

        CtCore core;    // not prepared: header only
        QCOMPARE(DataFileText::make(core.result().data(), core.size(), {0, 0, 10, 10}, 0, 1, 0).count('\n'), 6);
    }
};

QTEST_GUILESS_MAIN(TestSaving)
#include "TestSaving.moc"
