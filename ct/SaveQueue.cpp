#include "SaveQueue.h"

#include <algorithm>

void SaveQueue::setCapacity(int records)
{
    {
        std::lock_guard<std::mutex> lock(m);
        cap = std::max(1, records);
    }
    room.notify_all();
}

int SaveQueue::capacity() const
{
    std::lock_guard<std::mutex> lock(m);
    return cap;
}

void SaveQueue::take()
{
    std::unique_lock<std::mutex> lock(m);
    room.wait(lock, [this] { return opened || taken < cap; });
    ++taken;
    most = std::max(most, taken);
}

void SaveQueue::give()
{
    {
        std::lock_guard<std::mutex> lock(m);
        if (taken > 0)
            --taken;
    }
    room.notify_one();
}

void SaveQueue::open()
{
    {
        std::lock_guard<std::mutex> lock(m);
        opened = true;
    }
    room.notify_all();
}

void SaveQueue::close()
{
    std::lock_guard<std::mutex> lock(m);
    opened = false;
    most = taken;
}

bool SaveQueue::isOpen() const
{
    std::lock_guard<std::mutex> lock(m);
    return opened;
}

int SaveQueue::held() const
{
    std::lock_guard<std::mutex> lock(m);
    return taken;
}

int SaveQueue::peak() const
{
    std::lock_guard<std::mutex> lock(m);
    return most;
}
