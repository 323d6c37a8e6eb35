#include "singleinstance.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace {

// Fields of /proc/PID/stat: the state (3) and the start time in clock
// ticks after boot (22); they are counted from the first one after the
// command name, which ends with the last ')'.
constexpr int kStateField = 3;
constexpr int kStartTimeField = 22;
constexpr int kFirstFieldAfterName = 3;

QList<QByteArray> statFields(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return {};
    const QByteArray line = stat.readAll();
    const int nameEnd = line.lastIndexOf(')');
    return nameEnd < 0 ? QList<QByteArray>() : line.mid(nameEnd + 2).split(' ');
}

quint64 processStartTime(qint64 pid)
{
    return statFields(pid).value(kStartTimeField - kFirstFieldAfterName).toULongLong();
}

// A process that has ended but was not yet waited for by its parent.
bool isZombie(qint64 pid)
{
    const QByteArray state = statFields(pid).value(kStateField - kFirstFieldAfterName);
    return state == "Z" || state == "X";
}

} // namespace

const QString SingleInstanceGuard::kSharedMemoryKey = QStringLiteral("Ostrel/Drovane/RunSharedMemory");
const QString SingleInstanceGuard::kSemaphoreKey = QStringLiteral("Ostrel/Drovane/RunSemaphore");

SingleInstanceGuard::SingleInstanceGuard(const QString &memoryKey, const QString &semaphoreKey)
    : memory(memoryKey)
    , semaphore(semaphoreKey, 1, QSystemSemaphore::Open)
{
}

SingleInstanceGuard::Owner SingleInstanceGuard::currentProcess()
{
    Owner owner;
    owner.pid = QCoreApplication::applicationPid();
    owner.startTime = processStartTime(owner.pid);
    return owner;
}

bool SingleInstanceGuard::isRunning(const Owner &owner)
{
    if (owner.pid <= 0)
        return false;
    if ((::kill(pid_t(owner.pid), 0) != 0 && errno == ESRCH) || isZombie(owner.pid))
        return false;
    // The id may have been given to another process since.
    const quint64 startTime = processStartTime(owner.pid);
    return owner.startTime == 0 || startTime == 0 || startTime == owner.startTime;
}

SingleInstanceGuard::Owner SingleInstanceGuard::readOwner() const
{
    Owner owner;
    if (memory.size() >= int(sizeof(Owner)))
        std::memcpy(&owner, memory.constData(), sizeof(Owner));
    return owner;
}

void SingleInstanceGuard::writeOwner(const Owner &owner)
{
    std::memcpy(memory.data(), &owner, sizeof(Owner));
}

bool SingleInstanceGuard::tryToRun()
{
    semaphore.acquire();
    if (memory.attach(QSharedMemory::ReadWrite)) {
        memory.lock();
        const bool held = memory.size() >= int(sizeof(Owner)) && isRunning(readOwner());
        memory.unlock();
        // Detached by its last process, a segment left behind by one that
        // ended without releasing it (a crash, a kill) goes away.
        memory.detach();
        if (held) {
            semaphore.release();
            return false;
        }
    }
    bool alone = memory.create(int(sizeof(Owner)), QSharedMemory::ReadWrite);
    if (!alone && memory.error() == QSharedMemory::AlreadyExists && memory.attach(QSharedMemory::ReadWrite)) {
        // Still there (the system kept it): take it over when it can hold an owner.
        alone = memory.size() >= int(sizeof(Owner));
        if (!alone)
            memory.detach();
    }
    if (alone) {
        memory.lock();
        writeOwner(currentProcess());
        memory.unlock();
    }
    semaphore.release();
    return alone;
}
