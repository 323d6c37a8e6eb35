#include "downloadwindowwiring.h"

#include "server/core/downloaders/downloader.h"
#include "server/ui/downloadwindows/downloaderwidget2.h"

namespace ServerUi {

void wireDownloaderWindow(DownloaderWidget2 *window, Downloader *downloader)
{
    const Qt::ConnectionType queued = Qt::QueuedConnection;
    QObject::connect(window, &DownloaderWidget2::downloadStarted, downloader, &Downloader::start, queued);
    QObject::connect(window, &DownloaderWidget2::downloadGotFileList, downloader, &Downloader::getFileList, queued);
    QObject::connect(window, &DownloaderWidget2::downloadGotFile, downloader,
                     QOverload<QString, ulong>::of(&Downloader::getFile), queued);
    QObject::connect(window, &DownloaderWidget2::downloadAborted, downloader, &Downloader::abort, queued);
    QObject::connect(window, &DownloaderWidget2::downloadStopped, downloader, &Downloader::stop, queued);
    QObject::connect(window, &QObject::destroyed, downloader, &QObject::deleteLater);
    QObject::connect(downloader, &Downloader::started, window, &DownloaderWidget2::downloadStart, queued);
    QObject::connect(downloader, &Downloader::getFileListStarted, window, &DownloaderWidget2::downloadGetFileListStart, queued);
    QObject::connect(downloader, &Downloader::getFileListDone, window, &DownloaderWidget2::downloadGetFileListDo, queued);
    QObject::connect(downloader, &Downloader::getFileDone, window, &DownloaderWidget2::downloadGetFileDo, queued);
    QObject::connect(downloader, &Downloader::getFileStarted, window, &DownloaderWidget2::downloadGetFileStart, queued);
    QObject::connect(downloader, &Downloader::stopped, window, &DownloaderWidget2::downloadStop, queued);
    QObject::connect(downloader, &Downloader::aborted, window, &DownloaderWidget2::downloadAbort, queued);
    QObject::connect(downloader, &Downloader::errorOccured, window, &DownloaderWidget2::downloadErrorOccur, queued);
}

} // namespace ServerUi
