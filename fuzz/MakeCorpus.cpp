// Writes the seed corpus of the fuzz targets: valid inputs of each parser,
// made with the project's own image generator and from the forms the
// configuration, batch and viewer-link texts take.
//
//   tomix-fuzz-corpus <dir>    writes <dir>/itex, tiff, config, batch, link, setup
#include "Body.h"
#include "Phantom.h"
#include "SetupFile.h"

#include <QApplication>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <random>

namespace {

bool put(const QString &dir, const QString &name, const QByteArray &bytes)
{
    QDir().mkpath(dir);
    QFile f(dir + QLatin1Char('/') + name);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(f.fileName()));
        return false;
    }
    return true;
}

std::vector<quint32> pixels(int w, int h, quint32 max, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<quint32> p(size_t(w) * size_t(h));
    for (quint32 &v : p)
        v = rng() % (max + 1ull);
    return p;
}

bool itexSeeds(const QString &dir)
{
    bool ok = true;
    ok &= put(dir, "small16.img", Phantom::itexImage(8, 6, 2, pixels(8, 6, 65535, 1)));
    ok &= put(dir, "small32.img", Phantom::itexImage(5, 7, 4, pixels(5, 7, 0xffffffffu, 2)));
    ok &= put(dir, "row.img", Phantom::itexImage(33, 1, 2, pixels(33, 1, 65535, 3)));
    ok &= put(dir, "column.img", Phantom::itexImage(1, 29, 4, pixels(1, 29, 1000, 4)));
    ok &= put(dir, "areSource.img",
              Phantom::itexFile("areSource=\"0,0,4,3\",BytesPerPixel=2,Prop_ExposureTime1=0.5,",
                                QByteArray(24, '\x11')));
    ok &= put(dir, "quoted.img",
              Phantom::itexFile("Name=\"a,BytesPerPixel=4,\",Prop_ImageWidth=3,Prop_ImageHeight=2,"
                                "BytesPerPixel=2,Prop_ExposureTime2=2.5,Prop_ExposureTime1=1e-3,",
                                QByteArray(12, '\x7f')));
    QByteArray truncated = Phantom::itexImage(16, 16, 2, pixels(16, 16, 65535, 5));
    truncated.chop(100);
    ok &= put(dir, "truncated.img", truncated);
    // A real projection of the generator's phantom, small.
    Phantom::Options o;
    o.width = 24;
    o.height = 8;
    o.projections = 4;
    const Phantom ph = Phantom::standard(o);
    std::mt19937_64 rng(6);
    ok &= put(dir, "projection.img",
              Phantom::itexImage(o.width, o.height, 2, ph.toCounts(ph.projection(1, 7112.5), rng)));
    ok &= put(dir, "tiff.img", QByteArray("II*\0\x08\0\0\0", 8));
    return ok;
}

// Every layout the TIFF reader accepts, and some it refuses.
bool tiffSeeds(const QString &dir)
{
    QDir().mkpath(dir);
    struct Seed { const char *name; int w, h; Phantom::TiffLayout layout; };
    auto L = [](int bits, bool isFloat, int compression, int predictor, bool big, int tile,
                int rps, int spp, int pages) {
        Phantom::TiffLayout l;
        l.bits = bits; l.isFloat = isFloat; l.compression = compression;
        l.predictor = predictor; l.bigEndian = big; l.tile = tile;
        l.rowsPerStrip = rps; l.samplesPerPixel = spp; l.pages = pages;
        return l;
    };
    const Seed seeds[] = {
        {"u8.tif", 9, 5, L(8, false, 1, 1, false, 0, 0, 1, 1)},
        {"u16-strips-lzw.tif", 13, 7, L(16, false, 5, 2, false, 0, 3, 1, 1)},
        {"u16-be-tiles.tif", 20, 18, L(16, false, 1, 1, true, 16, 0, 1, 1)},
        {"u32-deflate.tif", 6, 11, L(32, false, 8, 1, false, 0, 4, 1, 1)},
        {"f32-packbits-be.tif", 7, 4, L(32, true, 32773, 1, true, 0, 2, 1, 1)},
        {"f32-tiles-deflate.tif", 17, 17, L(32, true, 8, 1, false, 16, 0, 1, 1)},
        {"pages.tif", 4, 3, L(16, false, 1, 1, false, 0, 0, 1, 3)},
        {"rgb.tif", 3, 3, L(8, false, 1, 1, false, 0, 0, 3, 1)},
        {"f64.tif", 3, 2, L(64, true, 1, 1, false, 0, 0, 1, 1)},
    };
    bool ok = true;
    for (const Seed &s : seeds) {
        std::vector<double> px(size_t(s.w) * size_t(s.h));
        for (size_t i = 0; i < px.size(); ++i)
            px[i] = double((i * 37) % 251);
        QString error;
        if (!Phantom::writeTiff(dir + QLatin1Char('/') + s.name, s.w, s.h, px, s.layout, &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            ok = false;
        }
    }
    return ok;
}

bool configSeeds(const QString &dir)
{
    // Two files separated by a NUL byte: a.cfg, then b.cfg.
    bool ok = true;
    ok &= put(dir, "plain.cfg",
              "DataRoot \"/data/my beam\"   # where the data are\n"
              "2dOrvex localhost 6078\n"
              "show_all_ct2_images 1\n"
              "ct_threads 2\n"
              "key 'it''s # not a comment\n"
              "\n   \n# only a comment\n");
    ok &= put(dir, "include.cfg",
              QByteArray("a 1\nInclude b.cfg\nc \"3 4\" x\r\n") + '\0'
                  + "b 2\nINCLUDE a.cfg\ninclude b.cfg\nINCLUDE missing.cfg\n");
    ok &= put(dir, "quotes.cfg", "\"unclosed item\nended\" by quote\n\"\" empty\n\ttab\tkey\t\n");
    return ok;
}

bool batchSeeds(const QString &dir)
{
    bool ok = true;
    ok &= put(dir, "run.bat",
              "images_load \"/data/set 1\" \"*.img\"   # comment\n"
              "ct_threads 2\n"
              "calc_exec\n"
              ":echo done # trailing\n");
    ok &= put(dir, "loop.bat",
              "start\n"
              "seq_exec_next\n"
              ":ifng :goto finish\n"
              ":ifok calc_exec\n"
              ":IFOK :GoTo start\n"
              "finish\n"
              ":end\n"
              "never\n");
    ok &= put(dir, "continued.bat",
              "images_load /data \\\n  *.img\n"
              "a \\\n\\\n"
              ":goto\n   \n\"\" empty label\n:stop\n");
    ok &= put(dir, "selfloop.bat", ":goto :goto\n");
    ok &= put(dir, "reload.bat", "x\nreload\n:goto x\nhold\n");
    return ok;
}

bool linkSeeds(const QString &dir)
{
    // The first byte chooses the chunk sizes the rest arrives in.
    bool ok = true;
    ok &= put(dir, "busy.txt", "\x05ISBUSY 1\nISBUSY 0 LOAD_I1_FILES\n");
    ok &= put(dir, "crlf.txt", "\x01isbusy 1 x\r\nIsBusy 2 analyzer_exec_2da\r\n\n\nISBUSY\n");
    ok &= put(dir, "other.txt", "\x3fHELLO there\nISBUSY yes X\n \t ISBUSY   0 \r\npartial");
    return ok;
}

// Setup files as the main window saves them, from its start-up state and
// after a few commands, plus hand-made variants of the syntax.
bool setupSeeds(const QString &dir)
{
    QDir().mkpath(dir);
    Body body;
    bool ok = SetupFile(&body).save(dir + "/default.cfg");
    SetupFile changer(&body);
    ok &= put(dir, "changes.txt",
              "ct_threads 3\nct_cor 101.5\nct_rot_ax_is_h 1\nct_slice_from 4\nct_slice_to 60\n"
              "ct_slice_step -2\nfix_color_scale 1\nfix_color_min -0.25\nfix_color_max 2e3\n"
              "auto_save_image_name \"my name\"\nauto_save_data_tag t # tag\n"
              "ct_set_disp_region 1 2 30 40\nct_set_calc_region 0 0 16 16\nshow_tab 2\n");
    ok &= changer.load(dir + "/changes.txt");
    ok &= SetupFile(&body).save(dir + "/changed.cfg");
    QFile::remove(dir + "/changes.txt");
    ok &= put(dir, "odd.cfg",
              "CT_THREADS 0\nct_slice_step 0\nct_cor nan\nfix_color_min inf\n"
              "auto_save_image_path \"\"\nauto_save_image_name \"a \"b\" c\nimages_seek 99999\n"
              "ct_set_disp_region -5 -5 -1 -1\nct_angle_offset 1e308\nunknown_command 1 2\n");
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus dir>\n", argv[0]);
        return 2;
    }
    const QString root = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const bool ok = itexSeeds(root + "/itex") && tiffSeeds(root + "/tiff")
                    && configSeeds(root + "/config")
                    && batchSeeds(root + "/batch") && linkSeeds(root + "/link")
                    && setupSeeds(root + "/setup");
    return ok ? 0 : 1;
}
