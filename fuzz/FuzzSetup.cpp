// Setup files loaded into the real main window through its command set, then
// saved, loaded and saved again: the two saved files must be equal. One
// window serves every input, as one window loads setup after setup in use.
//
// Every path stays inside the fuzzer's private directory: "/" and ".." in
// inputs are replaced, so no command can read or write elsewhere.
#include "Body.h"
#include "FuzzEnv.h"
#include "SetupFile.h"

#include <QApplication>
#include <QFile>

#include <cstdlib>

namespace {

QByteArray contents(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        std::abort();
    return f.readAll();
}

Body *window()
{
    static Body *body = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "tomix-fuzz";
        static char *argv[] = {name, nullptr};
        new QApplication(argc, argv);
        FuzzEnv::enterDir();
        return new Body;
    }();
    return body;
}

// The input with every "/" and "\\" made "_" and every ".." made "._".
QByteArray confined(const uint8_t *data, size_t size)
{
    QByteArray b(reinterpret_cast<const char *>(data), qsizetype(size));
    for (qsizetype i = 0; i < b.size(); ++i) {
        if (b[i] == '/' || b[i] == '\\')
            b[i] = '_';
        else if (b[i] == '.' && i + 1 < b.size() && b[i + 1] == '.')
            b[i + 1] = '_';
    }
    return b;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Body *body = window();
    const QByteArray bytes = confined(data, size);
    const QString in = FuzzEnv::write(QStringLiteral("in.cfg"),
                                      reinterpret_cast<const uint8_t *>(bytes.constData()),
                                      size_t(bytes.size()));
    const SetupFile setup(body);
    if (!setup.load(in))
        std::abort();
    // Whatever the commands queued (loads, redraws) gets a few turns.
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();

    if (!setup.save(QStringLiteral("first.cfg")) || !setup.load(QStringLiteral("first.cfg")))
        std::abort();
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    if (!setup.save(QStringLiteral("second.cfg")))
        std::abort();
    if (contents(QStringLiteral("first.cfg")) != contents(QStringLiteral("second.cfg")))
        std::abort();
    return 0;
}
