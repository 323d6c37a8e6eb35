#include "downloadeventlog.h"

#include "cli/clioutput.h"
#include "server/core/downloaders/downloader.h"
#include "server/core/downloaders/downloaderhandler.h"
#include "server/core/log/visibletext.h"

#include <QDateTime>

DownloadEventLog::DownloadEventLog(Downloader *downloader, DownloaderHandler *handler, QObject *parent)
    : QObject(parent)
    , m_source(downloader->objectName())
{
    connect(downloader, &Downloader::started, this, [this] { print(QStringLiteral("started")); });
    connect(downloader, &Downloader::errorOccured, this, [this](const QString &message) {
        print(QStringLiteral("errorOccured"), message);
    });
    connect(downloader, &Downloader::getFileListStarted, this, [this] { print(QStringLiteral("getFileListStarted")); });
    connect(downloader, &Downloader::getFileListDone, this, [this](const QStringList &lines) {
        print(QStringLiteral("getFileListDone"), QStringLiteral("%1 lines").arg(lines.size()));
    });
    connect(downloader, &Downloader::getFileStarted, this, [this](const QString &name) {
        print(QStringLiteral("getFileStarted"), name);
    });
    connect(downloader, &Downloader::getFileDone, this, [this] { print(QStringLiteral("getFileDone")); });
    connect(downloader, &Downloader::aborted, this, [this] { print(QStringLiteral("aborted")); });
    connect(downloader, &Downloader::stopped, this, [this] { print(QStringLiteral("stopped")); });
    connect(downloader, &Downloader::versionKept, this,
            [this](const QString &name, const QString &version, const QString &reason) {
                print(QStringLiteral("versionKept"), QStringLiteral("%1 is not the device's file (%2): kept as %3")
                                                         .arg(name, reason, version));
            });
    connect(downloader, &Downloader::versionDropped, this, [this](const QString &name, const QString &version) {
        print(QStringLiteral("versionDropped"), QStringLiteral("%1 holds only the start of the new %2: removed").arg(version, name));
    });
    connect(handler, QOverload<QString, ulong, qint64>::of(&DownloaderHandler::downloadGotFile), this,
            [this](const QString &name, ulong pos, qint64 listedSize) {
                print(QStringLiteral("request"),
                      QStringLiteral("%1 from byte %2 of %3").arg(name).arg(pos).arg(listedSize));
            });
    connect(handler, &DownloaderHandler::infoSended, this, [this](const QString &message) {
        print(QStringLiteral("info"), message);
    });
    connect(handler, &DownloaderHandler::warningSended, this, [this](const QString &message) {
        print(QStringLiteral("warning"), message);
    });
}

QString DownloadEventLog::eventLine(const QString &source, const QString &event, const QString &details)
{
    QString line = source + QLatin1Char(' ') + event;
    if (!details.isEmpty())
        line += QLatin1Char(' ') + visibleText(QString(details).replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' ')).trimmed());
    return line;
}

void DownloadEventLog::print(const QString &event, const QString &details)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss.zzz"));
    CliOutput::printOut(stamp + QLatin1Char(' ') + eventLine(m_source, event, details) + QLatin1Char('\n'));
}
