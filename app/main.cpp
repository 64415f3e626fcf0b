// Entry point: command line, configuration file, translation, main window.
#include "Body.h"
#include "ConfigTable.h"

#include <QApplication>
#include <QTranslator>

int main(int argc, char *argv[])
{
    configTable.parseArgs(argc, argv);

    auto *app = new QApplication(argc, argv);
    auto *translator = new QTranslator;

    QString configName = QStringLiteral("config.cfg");
    if (configTable.contains("-c"))
        configName = configTable.value("-c", configName);
    if (configTable.contains("-config"))
        configName = configTable.value("-config", configName);
    configTable.readFile(configName);

    dataRoot = configTable.value("DataRoot", dataRoot);
    if (configTable.contains("-d"))
        dataRoot = configTable.value("-d", dataRoot);

    const bool english = configTable.contains("-e");
    const bool hasBatch = configTable.contains("-b");
    const bool execBatch = configTable.contains("-x");
    const bool noWindow = configTable.contains("-nw");
    const QString batchFile = hasBatch ? configTable.value("-b", QString()) : QString();

    if (!english) {
        (void)translator->load(QStringLiteral(":Tomix_ja_JP"), QCoreApplication::applicationDirPath());
        QCoreApplication::installTranslator(translator);
    }

    auto *body = new Body;
    QObject::connect(body, &Body::finishing, app, &QCoreApplication::quit);
    if (!noWindow)
        body->show();
    if (hasBatch)
        body->batchLoad(batchFile);
    if (execBatch)
        body->batchExec();

    const int rc = app->exec();
    delete body;
    delete translator;
    delete app;
    return rc;
}
