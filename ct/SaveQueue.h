#pragma once
// Room in the saver's queue. A worker takes a place before it hands a save
// record to the DataSaver and waits, without spinning, while all places are
// taken; the saver gives the place back once the record is written and
// deleted. So a saver that falls behind (a slow disk, PNG encoding slower
// than the reconstruction) holds at most `capacity` records in memory,
// whatever the number of slices of a run.
//
// The queue can be opened: then nobody waits and waiting workers wake at
// once. The window opens it when a run ends or is stopped and when the
// program ends, so that a worker waiting for room never holds up the end of
// a run or the threads' shutdown; it closes it again when the next run
// starts. Only worker threads ever wait; the window's thread never does.
#include <condition_variable>
#include <mutex>

class SaveQueue
{
public:
    // Records (two per slice: image and data) each worker of a run may have
    // waiting for the saver before it waits for room: the capacity a run of
    // k workers gets is k times this.
    static constexpr int perWorker = 4;

    // Records the saver may hold before workers wait (at least 1).
    void setCapacity(int records);
    int capacity() const;

    // Worker thread: waits while the queue is closed and full, then takes a
    // place.
    void take();
    // Saver thread: a record that held a place is done.
    void give();

    // Nobody waits until close(); waiting workers go on at once.
    void open();
    void close();
    bool isOpen() const;

    // Places taken now, and the most taken at once since the last close().
    int held() const;
    int peak() const;

private:
    mutable std::mutex m;
    std::condition_variable room;
    int cap = 8;
    int taken = 0;
    int most = 0;
    bool opened = false;
};
