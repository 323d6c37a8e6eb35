#include "downloaderwiring.h"

#include "server/core/downloaders/downloader.h"
#include "server/core/downloaders/downloaderhandler.h"
#include "server/core/health/devicehealth.h"

void wireDownloaderHandler(DownloaderHandler *handler, Downloader *downloader)
{
    const Qt::ConnectionType queued = Qt::QueuedConnection;
    QObject::connect(handler, &DownloaderHandler::downloadStarted, downloader, &Downloader::start, queued);
    QObject::connect(handler, &DownloaderHandler::downloadGotFileList, downloader, &Downloader::getFileList, queued);
    QObject::connect(handler, QOverload<QString, ulong, qint64>::of(&DownloaderHandler::downloadGotFile), downloader,
                     QOverload<QString, ulong, qint64>::of(&Downloader::getFile), queued);
    QObject::connect(handler, &DownloaderHandler::downloadStopped, downloader, &Downloader::stop, queued);

    QObject::connect(downloader, &Downloader::started, handler, &DownloaderHandler::downloadStart, queued);
    QObject::connect(downloader, &Downloader::getFileListStarted, handler, &DownloaderHandler::downloadGetFileListStart, queued);
    QObject::connect(downloader, &Downloader::getFileListDone, handler, &DownloaderHandler::downloadGetFileListDo, queued);
    QObject::connect(downloader, &Downloader::getFileDone, handler, &DownloaderHandler::downloadGetFileDo, queued);
    QObject::connect(downloader, &Downloader::getFileStarted, handler, &DownloaderHandler::downloadGetFileStart, queued);
    QObject::connect(downloader, &Downloader::stopped, handler, &DownloaderHandler::downloadStop, queued);
    // A refusal comes before its errorOccured, which then goes on with the next file.
    QObject::connect(downloader, &Downloader::fileRefused, handler, &DownloaderHandler::downloadGetFileRefuse, queued);
    QObject::connect(downloader, &Downloader::errorOccured, handler, &DownloaderHandler::downloadErrorOccur, queued);
}

void wireDeviceHealth(DeviceHealth *health, Downloader *downloader, DownloaderHandler *scheduler)
{
    const Qt::ConnectionType queued = Qt::QueuedConnection;
    QObject::connect(scheduler, &DownloaderHandler::downloadStarted, health, &DeviceHealth::cycleStart, queued);
    QObject::connect(scheduler, QOverload<QString, ulong, qint64>::of(&DownloaderHandler::downloadGotFile), health,
                     &DeviceHealth::fileRequest, queued);
    QObject::connect(scheduler, &DownloaderHandler::filesBehindCounted, health, &DeviceHealth::filesBehindCount, queued);
    QObject::connect(scheduler, &DownloaderHandler::destinationLowFound, health, &DeviceHealth::destinationLowFind, queued);
    QObject::connect(scheduler, &DownloaderHandler::cycleFinished, health, &DeviceHealth::cycleFinish, queued);
    QObject::connect(downloader, &Downloader::errorOccured, health, &DeviceHealth::downloadErrorOccur, queued);
    QObject::connect(downloader, &Downloader::fileRefused, health, &DeviceHealth::downloadGetFileRefuse, queued);
    QObject::connect(downloader, &Downloader::getFileDone, health, &DeviceHealth::downloadGetFileDo, queued);
}
