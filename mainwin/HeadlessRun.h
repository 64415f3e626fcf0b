#pragma once
// A run without a user ("-q"): when the batch run ends, waits for the results
// still being written, writes one summary line on stderr and ends the program
// with a status a shell script can test:
//   0  the batch ran to its end and nothing failed
//   1  it ran, and at least one thing failed (each named by a warning)
//   2  it could not run at all (no batch file to read)
#include <QObject>
#include <QString>

class Body;

class HeadlessRun : public QObject
{
    Q_OBJECT
public:
    enum Status { Succeeded = 0, SomethingFailed = 1, CouldNotRun = 2 };

    explicit HeadlessRun(Body *body, QObject *parent = nullptr);

    // The counts of a run, and what they make of it.
    struct Counts {
        bool batchUnreadable = false;
        int commandsRun = 0;
        int commandsFailed = 0;
        int filesWritten = 0;
        int filesNotWritten = 0;
        int otherFailures = 0;      // configuration and setup lines, rejected images, folders
    };
    static Status statusOf(const Counts &c);
    static QString summary(const Counts &c);

    // The counts now (after the saver has written what it was given).
    Counts counts() const;

private slots:
    void batchFinished();

private:
    Body *body;
    bool ended = false;
};
