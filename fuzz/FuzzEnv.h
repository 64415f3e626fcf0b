#pragma once
// What every fuzz target needs around the code under test: a core
// application (for event dispatch and timers), silence on the debug channel
// (parsers log every oddity, which would drown the fuzzer's output and slow
// it down), and a private working directory for the files made from inputs.
#include <QString>

#include <cstddef>
#include <cstdint>

class FuzzEnv
{
public:
    // Creates the application and the directory once and returns the
    // directory. Relative file names in inputs resolve against the working
    // directory; enterDir() makes it the private one (corpus and artifact
    // paths given to the fuzzer must then be absolute, as fuzz/run gives them).
    static const QString &setUp();
    static void enterDir();
    // Writes the bytes to `name` inside the directory; returns the full path.
    static QString write(const QString &name, const uint8_t *data, size_t size);
};
