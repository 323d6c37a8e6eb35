#pragma once

#include <QSharedMemory>
#include <QString>
#include <QSystemSemaphore>

// Keeps a program to one running instance per user session: the first
// instance holds a shared-memory segment under a fixed key, guarded by a
// system semaphore while it is checked.
//
// The segment holds the holder's process id and start time. A segment left
// behind by a process that crashed or was killed (on Linux a segment outlives
// its processes) names a process that no longer runs, and a new start takes
// it over instead of being refused for ever.
//
// Owned by the program's entry, in the GUI thread; the segment is released
// when the guard is destroyed.
class SingleInstanceGuard
{
public:
    static const QString kSharedMemoryKey; // "Ostrel/Drovane/RunSharedMemory"
    static const QString kSemaphoreKey;    // "Ostrel/Drovane/RunSemaphore"

    SingleInstanceGuard(const QString &memoryKey = kSharedMemoryKey, const QString &semaphoreKey = kSemaphoreKey);
    SingleInstanceGuard(const SingleInstanceGuard &) = delete;
    SingleInstanceGuard &operator=(const SingleInstanceGuard &) = delete;

    // True when this process is the only instance (it now holds the
    // segment); false when another running process holds it.
    bool tryToRun();

private:
    struct Owner
    {
        qint64 pid = 0;
        quint64 startTime = 0; // clock ticks after boot, 0 when unknown
    };
    static Owner currentProcess();
    static bool isRunning(const Owner &owner);
    Owner readOwner() const;
    void writeOwner(const Owner &owner);

    QSharedMemory memory;
    QSystemSemaphore semaphore;
};
