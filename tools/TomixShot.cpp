// Takes a picture of the real main window after it has loaded a series and
// reconstructed one slice: for the README and for looking at the program.
//
//   tomix-shot --data DIR [--pattern "sample-7100eV-*.img"] [--out window.png]
//              [--qm Tomix_ja_JP.qm] [--slice N] [--size 1400x900]
//              [--cor C] [--trials "FROM TO STEP"]   (CoR trials instead of one slice)
#include "Body.h"
#include "ui_Body.h"

#include "CorTrialStrip.h"
#include "CtCalc.h"
#include "ProcCtrl.h"
#include "SelectAImgFile.h"
#include "SelectDataFiles.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QTranslator>

#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QCommandLineParser p;
    p.addHelpOption();
    p.addOption({"data", "directory of the series", "dir"});
    p.addOption({"pattern", "file pattern", "pattern", "sample-7100eV-*.img"});
    p.addOption({"i0", "I0 image", "file"});
    p.addOption({"bg", "BG image", "file"});
    p.addOption({"out", "PNG to write", "file", "window.png"});
    p.addOption({"qm", "translation to install", "file"});
    p.addOption({"slice", "slice to reconstruct (default: the middle)", "n"});
    p.addOption({"tab", "tab to show after the run", "index", "2"});
    p.addOption({"size", "window size WxH", "size", "1400x900"});
    p.addOption({"cor", "centre of rotation", "c"});
    p.addOption({"trials", "CoR trials FROM TO STEP on the workers; shows their tab", "list"});
    p.process(app);

    QTranslator tr;
    if (p.isSet("qm") && tr.load(p.value("qm")))
        QCoreApplication::installTranslator(&tr);

    Body body;
    const QStringList wh = p.value("size").split('x');
    body.resize(wh.value(0).toInt(), wh.value(1).toInt());
    body.show();
    Ui::Body *ui = body.form();
    ui->procCtrl->setRotAxIsV(true);
    if (p.isSet("i0"))
        ui->I0ImgSel->fileSelected0(p.value("i0"));
    if (p.isSet("bg"))
        ui->BGImgSel->fileSelected0(p.value("bg"));

    QObject::connect(&body, &Body::finishedLoadingCTFiles, &body, [&] {
        if (p.isSet("slice"))
            ui->procCtrl->setSliceNo(p.value("slice").toInt());
        if (p.isSet("cor"))
            ui->procCtrl->setCor(p.value("cor").toDouble());
        if (p.isSet("trials")) {
            const QStringList t = p.value("trials").split(' ', Qt::SkipEmptyParts);
            if (!body.startCorTrials(t.value(0).toDouble(), t.value(1).toDouble(), t.value(2).toDouble()))
                app.exit(1);
            return;
        }
        ui->SelectCt1->setChecked(true);
        ui->CalcCT->click();
    });
    QObject::connect(&body, &Body::calcFinished, &body, [&] {
        if (p.isSet("trials"))
            ui->ImgsTab->setCurrentWidget(body.corTrials());
        else
            ui->ImgsTab->setCurrentIndex(p.value("tab").toInt());
        QTimer::singleShot(300, &body, [&] {
            const bool ok = body.grab().save(p.value("out"));
            std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(p.value("out")));
            app.exit(ok ? 0 : 1);
        });
    });
    ui->CTFiles->chooseDir(QDir(p.value("data")).absolutePath(), {p.value("pattern")});
    QTimer::singleShot(120000, &app, [&] { app.exit(2); });
    return app.exec();
}
