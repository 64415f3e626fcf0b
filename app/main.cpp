// Entry point: command line, configuration file, translation, main window.
#include "Body.h"
#include "ConfigTable.h"
#include "HeadlessRun.h"
#include "MessageLog.h"
#include "StartOptions.h"

#include <QApplication>
#include <QTranslator>

int main(int argc, char *argv[])
{
    configTable.parseArgs(argc, argv);

    auto *app = new QApplication(argc, argv);
    // every line still goes to the terminal; the window's Log shows it too
    MessageLog::instance();
    auto *translator = new QTranslator;

    configTable.readFile(StartOptions::configFileName(configTable));
    const StartOptions opt = StartOptions::fromTable(configTable, dataRoot);
    dataRoot = opt.dataRoot;

    if (!opt.english) {
        // A missing translation leaves the English texts; the translator is installed anyway.
        (void)translator->load(QStringLiteral(":Tomix_ja_JP"), QCoreApplication::applicationDirPath());
        QCoreApplication::installTranslator(translator);
    }

    if (opt.quitAtEnd && (!opt.execBatch || !opt.hasBatch)) {
        // nothing would ever end the program, or there is nothing to run
        qWarning("-q needs a batch file to run: -b FILE -x");
        delete translator;
        delete app;
        return HeadlessRun::CouldNotRun;
    }

    auto *body = new Body;
    QObject::connect(body, &Body::finishing, app, &QCoreApplication::quit);
    // Headless runs: the end of the batch ends the program, with its status.
    HeadlessRun *headless = opt.quitAtEnd ? new HeadlessRun(body) : nullptr;
    if (!opt.noWindow)
        body->show();
    if (opt.hasBatch)
        body->batchLoad(opt.batchFile);
    if (opt.execBatch)
        body->batchExec();

    const int rc = app->exec();
    delete headless;
    delete body;
    delete translator;
    delete app;
    return rc;
}
