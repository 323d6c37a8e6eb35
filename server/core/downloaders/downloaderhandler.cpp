#include "downloaderhandler.h"

#include "server/core/settings/deviceparams.h"
#include "server/core/downloaders/downloader.h"
#include "server/core/downloaders/listingstamp.h"
#include "server/core/downloaders/listlineparser.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#include <QTimerEvent>

#include <algorithm>

DownloaderHandler::DownloaderHandler(QObject *parent)
    : QObject(parent)
{
}

void DownloaderHandler::setPeriod(int ms)
{
    periodMs = qMax(ms, 1);
    // A device waiting for its next cycle waits the new period from now.
    if (pollTimer) {
        stopPollTimer();
        pollTimer = startTimer(periodMs, Qt::CoarseTimer);
        waiting = true;
    }
}

void DownloaderHandler::startCycle()
{
    // No new cycle while this one runs: a period shorter than the
    // downloader's own time limits would restart the conversation before
    // it could end, and the cycle would never end.
    stopPollTimer();
    inCycle = true;
    cycleFailed = false;
    fileRequested = false;
    endAfterFile = false;
    queue.clear();
    emit downloadStarted();
}

void DownloaderHandler::endCycleAfterFile()
{
    endAfterFile = true;
    queue.clear();
}

void DownloaderHandler::setParam(QStringList newParam)
{
    param = newParam;
    periodMs = devicePeriodMinutes(paramValue(param, DeviceParam::Period)) * kMsPerMinute;
}

void DownloaderHandler::downloadStart()
{
    stopPollTimer();
    emit downloadGotFileList();
}

void DownloaderHandler::downloadErrorOccur(QString)
{
    if (fetchingFile && currentRefused) {
        // Only this file failed: the others are still wanted.
        currentRefused = false;
        fetchNext();
        return;
    }
    cycleFailed = true;
    restartPollTimer();
}

void DownloaderHandler::downloadGetFileListStart()
{
}

bool DownloaderHandler::needsFetching(const Candidate &file) const
{
    if (file.listedSize != file.localSize)
        return true;
    if (file.listedSize == 0)
        return false;
    // As large as the copy: checked again when the listing changed since
    // the copy was completed (another file of the same size).
    ListingStamp::Entry stamp;
    const QString copy = QDir(paramValue(param, DeviceParam::Folder)).filePath(file.name);
    return !ListingStamp::read(copy, &stamp) || stamp.size != file.listedSize || stamp.date != file.date;
}

void DownloaderHandler::downloadGetFileListDo(QStringList fileList)
{
    ++cycleNumber;
    queue.clear();
    int behind = 0;
    const QDir folder(paramValue(param, DeviceParam::Folder));
    const QDateTime now = QDateTime::currentDateTime();
    for (const QString &line : fileList) {
        Candidate file;
        if (parseListLine(line, &file.name, &file.listedSize, &file.date, now) != ListLineFile)
            continue;
        if (!Downloader::isSafeFileName(file.name))
            continue;
        const bool old = file.date.daysTo(now) > kMaxAgeDays;
        // An old file is looked at once per run, to say so when it was
        // never collected whole.
        if (old && reportedOld.contains(file.name))
            continue;
        const QFileInfo local(folder.filePath(file.name));
        file.localSize = local.exists() ? local.size() : 0;
        if (old) {
            reportedOld.insert(file.name);
            if (file.listedSize != file.localSize) {
                emit warningSended(QStringLiteral("%1 (%2 bytes, dated %3) is more than %4 days old: not collected")
                                       .arg(file.name)
                                       .arg(file.listedSize)
                                       .arg(file.date.toString(Qt::ISODate))
                                       .arg(kMaxAgeDays));
            }
            continue;
        }
        if (!needsFetching(file))
            continue;
        ++behind;
        const auto waiting = backoff.constFind(file.name);
        if (waiting != backoff.cend() && waiting->untilCycle >= cycleNumber)
            continue;
        queue.append(file);
    }
    // Oldest first, so that a device with a backlog catches up in order and
    // the recording still growing comes last.
    std::stable_sort(queue.begin(), queue.end(),
                     [](const Candidate &a, const Candidate &b) { return a.date < b.date; });
    if (endAfterFile)
        queue.clear();
    filesBehind = behind;
    emit filesBehindCounted(filesBehind);
    fetchNext();
}

void DownloaderHandler::fetchNext()
{
    currentRefused = false;
    if (queue.isEmpty() || endAfterFile) {
        endCycle();
        return;
    }
    if (minFreeBytes > 0) {
        // The folder is made with the first file: until then its parent's
        // file system is the one that takes the files.
        QString existing = paramValue(param, DeviceParam::Folder);
        while (!QFileInfo(existing).isDir() && QFileInfo(existing).path() != existing)
            existing = QFileInfo(existing).path();
        const QStorageInfo destination(existing);
        if (destination.isValid() && destination.bytesAvailable() < minFreeBytes) {
            emit destinationLowFound(destination.bytesAvailable());
            queue.clear();
            endCycle();
            return;
        }
    }
    current = queue.takeFirst();
    fetchingFile = true;
    fileRequested = true;
    emit downloadGotFile(current.name, ulong(current.localSize), current.listedSize);
}

void DownloaderHandler::endCycle()
{
    // A cycle that fetched files ends the conversation; one that found
    // nothing leaves it as it is.
    if (fileRequested)
        emit downloadStopped();
    restartPollTimer();
}

void DownloaderHandler::downloadGetFileStart(QString)
{
}

void DownloaderHandler::downloadGetFileDo()
{
    if (fetchingFile) {
        const QString copy = QDir(paramValue(param, DeviceParam::Folder)).filePath(current.name);
        if (!ListingStamp::write(copy, {current.listedSize, current.date}))
            emit warningSended(QStringLiteral("cannot write %1").arg(ListingStamp::pathFor(copy)));
        backoff.remove(current.name);
        if (filesBehind > 0)
            emit filesBehindCounted(--filesBehind);
    }
    fetchNext();
}

void DownloaderHandler::downloadGetFileRefuse(QString name, QString)
{
    if (!fetchingFile || name != current.name)
        return;
    currentRefused = true;
    cycleFailed = true;
    Backoff &wait = backoff[name];
    wait.cycles = qBound(1, wait.cycles * 2, kMaxBackoffCycles);
    wait.untilCycle = cycleNumber + wait.cycles;
    emit warningSended(QStringLiteral("%1 not collected; tried again after %2 polling periods").arg(name).arg(wait.cycles));
}

void DownloaderHandler::downloadStop()
{
}

void DownloaderHandler::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == pollTimer)
        startCycle();
    else
        QObject::timerEvent(event);
}

void DownloaderHandler::stopPollTimer()
{
    if (pollTimer) {
        killTimer(pollTimer);
        pollTimer = 0;
    }
    waiting = false;
}

void DownloaderHandler::restartPollTimer()
{
    stopPollTimer();
    pollTimer = startTimer(periodMs, Qt::CoarseTimer);
    waiting = true;
    fetchingFile = false;
    currentRefused = false;
    queue.clear();
    if (inCycle) {
        inCycle = false;
        emit cycleFinished(!cycleFailed);
    }
    if (stopPending) {
        stopPending = false;
        stopPollTimer();
        emit stopReached();
    }
}

void DownloaderHandler::stopAfterFile()
{
    if (fetchingFile) {
        endCycleAfterFile();
        stopPending = true;
        return;
    }
    stopPollTimer();
    emit stopReached();
}
