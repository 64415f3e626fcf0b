// Entry point: command line, configuration file, translation, main window.
#include "Batch.h"
#include "Body.h"
#include "ConfigTable.h"
#include "StartOptions.h"

#include <QApplication>
#include <QTranslator>

int main(int argc, char *argv[])
{
    configTable.parseArgs(argc, argv);

    auto *app = new QApplication(argc, argv);
    auto *translator = new QTranslator;

    configTable.readFile(StartOptions::configFileName(configTable));
    const StartOptions opt = StartOptions::fromTable(configTable, dataRoot);
    dataRoot = opt.dataRoot;

    if (!opt.english) {
        // A missing translation leaves the English texts; the translator is installed anyway.
        (void)translator->load(QStringLiteral(":Tomix_ja_JP"), QCoreApplication::applicationDirPath());
        QCoreApplication::installTranslator(translator);
    }

    auto *body = new Body;
    QObject::connect(body, &Body::finishing, app, &QCoreApplication::quit);
    if (opt.quitAtEnd) {
        // Headless runs: the end of the batch ends the program. The interpreter
        // lives on its own thread; the quit is queued to this one.
        QObject::connect(body->batch(), &Batch::batchFinished, app, [] { QCoreApplication::exit(0); },
                         Qt::QueuedConnection);
    }
    if (!opt.noWindow)
        body->show();
    if (opt.hasBatch)
        body->batchLoad(opt.batchFile);
    if (opt.execBatch)
        body->batchExec();

    const int rc = app->exec();
    delete body;
    delete translator;
    delete app;
    return rc;
}
