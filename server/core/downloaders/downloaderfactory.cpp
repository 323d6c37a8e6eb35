#include "downloaderfactory.h"

#include "server/core/settings/deviceparams.h"

#include "server/core/downloaders/ftpdownloader.h"
#include "server/core/downloaders/tftpdownloader.h"

#include <QUrl>

namespace {

// Serial number of the next downloader, shared by both kinds (GUI thread).
int nextSerial = 0;

QString schemeOf(const QString &url)
{
    const QUrl parsed(url, QUrl::TolerantMode);
    return parsed.isValid() ? parsed.scheme() : QString();
}

} // namespace

bool isSupportedDownloaderUrl(const QString &url)
{
    const QString scheme = schemeOf(url);
    return scheme == QLatin1String("ftp") || scheme == QLatin1String("tftp");
}

Downloader *createDownloader(const QStringList &param, QObject *parent)
{
    const QString scheme = schemeOf(paramValue(param, DownloaderParam::Url));
    Downloader *downloader = nullptr;
    if (scheme == QLatin1String("ftp")) {
        downloader = new FtpDownloader(parent);
        downloader->setObjectName(QStringLiteral("FtpDownloader_%1").arg(nextSerial++));
    } else if (scheme == QLatin1String("tftp")) {
        downloader = new TftpDownloader(parent);
        downloader->setObjectName(QStringLiteral("TftpDownloader_%1").arg(nextSerial++));
    } else {
        return nullptr;
    }
    downloader->setParam(param);
    return downloader;
}
