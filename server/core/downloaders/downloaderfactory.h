#pragma once

#include <QStringList>

class Downloader;
class QObject;

// The downloader class a device URL calls for: an FtpDownloader for the
// scheme "ftp", a TftpDownloader for "tftp", null for anything else. A
// created downloader is named "FtpDownloader_N" or "TftpDownloader_N" (one
// serial number N shared by both kinds), has received setParam(param) and is
// owned by parent.
Downloader *createDownloader(const QStringList &param, QObject *parent = nullptr);

// True when createDownloader would create a downloader for this URL.
bool isSupportedDownloaderUrl(const QString &url);
