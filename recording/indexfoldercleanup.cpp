#include "indexfoldercleanup.h"

#include <QMutex>
#include <QMutexLocker>

#include <atomic>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

namespace {

struct FolderSlot
{
    std::atomic<bool> used{false};
    char path[PATH_MAX] = {};
};

FolderSlot slots[IndexFolderCleanup::kMaxFolders];
QMutex registrationMutex;
bool handlersInstalled = false;

// SIGPIPE too: a command whose reader has gone (`velmora-cli intervals ... | head -1`)
// ends as it would without the handler, its index folder removed.
constexpr int kCleanedSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
constexpr size_t kDirentBufferBytes = 4096;

bool isDotEntry(const char *name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Async-signal-safe: open, getdents64, unlinkat, close and rmdir only.
void removeFolder(const char *path)
{
    const int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        alignas(dirent64) char buffer[kDirentBufferBytes];
        ssize_t count;
        while ((count = ::getdents64(fd, buffer, sizeof buffer)) > 0) {
            for (ssize_t at = 0; at < count;) {
                const auto *entry = reinterpret_cast<const dirent64 *>(buffer + at);
                if (!isDotEntry(entry->d_name))
                    ::unlinkat(fd, entry->d_name, 0);
                at += entry->d_reclen;
            }
        }
        ::close(fd);
    }
    ::rmdir(path);
}

void handleStopSignal(int signalNumber)
{
    for (FolderSlot &slot : slots) {
        if (slot.used.load(std::memory_order_acquire))
            removeFolder(slot.path);
    }
    // The signal is blocked while its handler runs: raised again with the
    // default action, it ends the process as soon as the handler returns.
    ::signal(signalNumber, SIG_DFL);
    ::raise(signalNumber);
}

void installHandlers()
{
    for (int signalNumber : kCleanedSignals) {
        struct sigaction current = {};
        if (sigaction(signalNumber, nullptr, &current) != 0 || current.sa_handler != SIG_DFL
            || (current.sa_flags & SA_SIGINFO))
            continue;
        struct sigaction action = {};
        action.sa_handler = handleStopSignal;
        sigemptyset(&action.sa_mask);
        for (int other : kCleanedSignals)
            sigaddset(&action.sa_mask, other);
        sigaction(signalNumber, &action, nullptr);
    }
}

} // namespace

void IndexFolderCleanup::registerFolder(const QByteArray &path)
{
    if (path.isEmpty() || path.size() >= PATH_MAX)
        return;
    QMutexLocker locker(&registrationMutex);
    for (FolderSlot &slot : slots) {
        if (slot.used.load(std::memory_order_relaxed))
            continue;
        memcpy(slot.path, path.constData(), size_t(path.size()) + 1);
        slot.used.store(true, std::memory_order_release);
        break;
    }
    if (!handlersInstalled) {
        installHandlers();
        handlersInstalled = true;
    }
}

void IndexFolderCleanup::unregisterFolder(const QByteArray &path)
{
    QMutexLocker locker(&registrationMutex);
    for (FolderSlot &slot : slots) {
        if (slot.used.load(std::memory_order_relaxed) && path == slot.path) {
            slot.used.store(false, std::memory_order_release);
            return;
        }
    }
}
