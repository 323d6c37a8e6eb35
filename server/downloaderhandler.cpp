#include "downloaderhandler.h"

#include "deviceparams.h"
#include "downloader.h"
#include "listlineparser.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTimerEvent>

#include <limits>

namespace {

// The longest period a timer can hold, in whole minutes.
constexpr uint kMaxPeriodMinutes = uint(std::numeric_limits<int>::max() / DownloaderHandler::kMsPerMinute);

} // namespace

DownloaderHandler::DownloaderHandler(QObject *parent)
    : QObject(parent)
{
}

void DownloaderHandler::setPeriod(int ms)
{
    periodMs = qMax(ms, 1);
}

void DownloaderHandler::startCycle()
{
    // No new cycle while this one runs: a period shorter than the
    // downloader's own time limits would restart the conversation before
    // it could end, and the cycle would never end.
    stopPollTimer();
    inCycle = true;
    emit downloadStarted();
}

void DownloaderHandler::setParam(QStringList newParam)
{
    param = newParam;
    bool ok = false;
    const uint minutes = paramValue(param, DeviceParam::Period).toUInt(&ok);
    // 0 would poll without pause and keep restarting the connection.
    if (!ok || minutes == 0)
        periodMs = kDefaultPeriodMs;
    else
        periodMs = int(qMin(minutes, kMaxPeriodMinutes)) * kMsPerMinute;
}

void DownloaderHandler::downloadStart()
{
    stopPollTimer();
    emit downloadGotFileList();
}

void DownloaderHandler::downloadErrorOccur(QString)
{
    restartPollTimer();
}

void DownloaderHandler::downloadGetFileListStart()
{
}

void DownloaderHandler::downloadGetFileListDo(QStringList fileList)
{
    const QDir folder(paramValue(param, DeviceParam::Folder));
    const QDateTime now = QDateTime::currentDateTime();
    for (const QString &line : fileList) {
        QString name;
        qint64 remoteSize = 0;
        QDateTime date;
        if (parseListLine(line, &name, &remoteSize, &date, now) != ListLineFile)
            continue;
        if (!Downloader::isSafeFileName(name) || date.daysTo(now) > kMaxAgeDays)
            continue;
        const qint64 localSize = QFileInfo(folder.filePath(name)).size();
        if (remoteSize > localSize) {
            fetchingFile = true;
            emit downloadGotFile(name, ulong(localSize));
            return;
        }
    }
    restartPollTimer();
}

void DownloaderHandler::downloadGetFileStart(QString)
{
}

void DownloaderHandler::downloadGetFileDo()
{
    emit downloadStopped();
    restartPollTimer();
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
}

void DownloaderHandler::restartPollTimer()
{
    stopPollTimer();
    pollTimer = startTimer(periodMs, Qt::CoarseTimer);
    fetchingFile = false;
    if (inCycle) {
        inCycle = false;
        emit cycleFinished();
    }
}
