#pragma once

#include "server/core/downloaders/downloader.h"

#include <QSignalSpy>

// Every signal of one downloader, recorded.
struct DownloaderSignals
{
    explicit DownloaderSignals(Downloader *d)
        : started(d, &Downloader::started)
        , error(d, &Downloader::errorOccured)
        , listStarted(d, &Downloader::getFileListStarted)
        , listDone(d, &Downloader::getFileListDone)
        , fileStarted(d, &Downloader::getFileStarted)
        , fileDone(d, &Downloader::getFileDone)
        , aborted(d, &Downloader::aborted)
        , stopped(d, &Downloader::stopped)
        , versionKept(d, &Downloader::versionKept)
        , refused(d, &Downloader::fileRefused)
    {
    }
    QString firstError() const { return error.isEmpty() ? QString() : error.first().first().toString(); }
    QStringList lines() const { return listDone.isEmpty() ? QStringList() : listDone.first().first().toStringList(); }

    QSignalSpy started, error, listStarted, listDone, fileStarted, fileDone, aborted, stopped, versionKept, refused;
};
