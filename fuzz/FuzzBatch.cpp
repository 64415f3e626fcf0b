// Batch files: loading (comments, continued lines), parsing of command lines,
// and the interpreter's control words, driven through the event loop with a
// stand-in dispatcher, for a bounded number of steps.
#include "Batch.h"
#include "BatchCmd.h"
#include "FuzzDispatcher.h"
#include "FuzzEnv.h"

#include <QCoreApplication>

#include <cstdlib>

namespace {

void check(bool cond)
{
    if (!cond)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = FuzzEnv::write(QStringLiteral("fuzz.bat"), data, size);

    Batch batch;
    FuzzDispatcher disp(&batch, path);
    batch.batchLoad(path);
    for (const QString &line : batch.script()) {
        const BatchCmd cmd = BatchCmd::parse(line);
        check(cmd.text == line);
        check(cmd.args.size() <= line.size());
        for (const QString &a : cmd.args)
            check(!a.isEmpty());
    }

    batch.batchExec();
    constexpr int maxSteps = 2000;
    for (int step = 0; step < maxSteps && batch.isRunning(); ++step) {
        QCoreApplication::sendPostedEvents();
        check(batch.currentLine() >= 0 && batch.currentLine() <= batch.script().size());
    }
    // A script still running (a ":goto" loop, a command never answered) is
    // stopped by the toggle.
    if (batch.isRunning())
        batch.batchExec();
    check(!batch.isRunning());
    QCoreApplication::sendPostedEvents();
    check(!batch.isRunning());
    return 0;
}
