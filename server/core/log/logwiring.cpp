#include "logwiring.h"

#include "server/core/downloaders/downloader.h"
#include "server/core/downloaders/downloaderhandler.h"
#include "server/core/health/devicehealth.h"
#include "server/core/log/loghandler.h"

void wireDownloaderLog(Downloader *downloader, LogHandler *log)
{
    log->nameSender(downloader, downloader->objectName());
    const Qt::ConnectionType queued = Qt::QueuedConnection;
    QObject::connect(downloader, &Downloader::started, log, &LogHandler::downloaderStart, queued);
    QObject::connect(downloader, &Downloader::errorOccured, log, &LogHandler::downloaderErrorOccur, queued);
    QObject::connect(downloader, &Downloader::getFileListStarted, log, &LogHandler::downloaderGetFileListStart, queued);
    QObject::connect(downloader, &Downloader::getFileListDone, log, &LogHandler::downloaderGetFileListDo, queued);
    QObject::connect(downloader, &Downloader::getFileStarted, log, &LogHandler::downloaderGetFileStart, queued);
    QObject::connect(downloader, &Downloader::getFileDone, log, &LogHandler::downloaderGetFileDo, queued);
    QObject::connect(downloader, &Downloader::aborted, log, &LogHandler::downloaderAbort, queued);
    QObject::connect(downloader, &Downloader::stopped, log, &LogHandler::downloaderStop, queued);
    QObject::connect(downloader, &Downloader::versionKept, log, &LogHandler::downloaderVersionKeep, queued);
    QObject::connect(downloader, &Downloader::versionDropped, log, &LogHandler::downloaderVersionDrop, queued);
}

void wireSchedulerLog(DownloaderHandler *scheduler, LogHandler *log)
{
    log->nameSender(scheduler, scheduler->objectName());
    const Qt::ConnectionType queued = Qt::QueuedConnection;
    QObject::connect(scheduler, &DownloaderHandler::infoSended, log, &LogHandler::commonInfoSend, queued);
    QObject::connect(scheduler, &DownloaderHandler::warningSended, log, &LogHandler::commonWarningSend, queued);
}

void wireHealthLog(DeviceHealth *health, LogHandler *log)
{
    log->nameSender(health, health->objectName());
    const Qt::ConnectionType queued = Qt::QueuedConnection;
    QObject::connect(health, &DeviceHealth::infoSended, log, &LogHandler::commonInfoSend, queued);
    QObject::connect(health, &DeviceHealth::warningSended, log, &LogHandler::commonWarningSend, queued);
}
