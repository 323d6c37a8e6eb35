#pragma once

#include <QObject>
#include <QString>

class Downloader;
class DownloaderHandler;

// Prints every event of a device's downloader (and the scheduler's file
// requests) as one line on stdout: local time with milliseconds, the
// downloader's object name, the event and its details. Lives in the thread
// of the objects it watches.
class DownloadEventLog : public QObject
{
    Q_OBJECT

public:
    DownloadEventLog(Downloader *downloader, DownloaderHandler *handler, QObject *parent = nullptr);

    // The line printed for an event (without its time stamp).
    static QString eventLine(const QString &source, const QString &event, const QString &details = QString());

private:
    void print(const QString &event, const QString &details = QString());

    QString m_source;
};
