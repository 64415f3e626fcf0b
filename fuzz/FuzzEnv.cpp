#include "FuzzEnv.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {

void quiet(QtMsgType type, const QMessageLogContext &, const QString &msg)
{
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "fatal: %s\n", qPrintable(msg));
        std::abort();
    }
}

} // namespace

const QString &FuzzEnv::setUp()
{
    static int argc = 1;
    static char name[] = "tomix-fuzz";
    static char *argv[] = {name, nullptr};
    // A target may have made its own application (one with widgets) first.
    static QCoreApplication *app = [] {
        qInstallMessageHandler(quiet);
        return QCoreApplication::instance() ? QCoreApplication::instance()
                                            : new QCoreApplication(argc, argv);
    }();
    // Removed again when the fuzzer ends normally.
    static QTemporaryDir dir(QDir::tempPath() + "/tomix-fuzz-XXXXXX");
    static const QString path = [] {
        if (!dir.isValid())
            std::abort();
        return dir.path();
    }();
    (void)app;
    return path;
}

void FuzzEnv::enterDir()
{
    static const bool entered = QDir::setCurrent(setUp());
    if (!entered)
        std::abort();
}

QString FuzzEnv::write(const QString &name, const uint8_t *data, size_t size)
{
    const QString path = setUp() + QLatin1Char('/') + name;
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    if (size > 0 && f.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
        std::abort();
    return path;
}
