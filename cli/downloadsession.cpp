#include "downloadsession.h"

#include "server/core/downloaders/downloader.h"
#include "server/core/downloaders/downloaderfactory.h"

#include <QEventLoop>

DownloadSession::DownloadSession(const QStringList &param, QObject *parent)
    : QObject(parent)
    , m_downloader(createDownloader(param, this))
{
}

bool DownloadSession::list(QStringList *lines, QString *error)
{
    m_lines.clear();
    const bool ok = run([this] { m_downloader->getFileList(); }, error);
    *lines = m_lines;
    return ok;
}

bool DownloadSession::fetch(const QString &name, qulonglong pos, qint64 listedSize, QString *error)
{
    return run([this, name, pos, listedSize] { m_downloader->getFile(name, ulong(pos), listedSize); }, error);
}

// Starts the downloader, makes the request once it has started, and waits
// for the request's end or the first error.
bool DownloadSession::run(const std::function<void()> &request, QString *error)
{
    QEventLoop loop;
    bool ok = false;
    QObject context;
    m_notes.clear();
    m_keptVersion = false;
    connect(m_downloader, &Downloader::versionKept, &context,
            [this](const QString &name, const QString &version, const QString &reason) {
                m_keptVersion = true;
                m_notes << QStringLiteral("%1 is not the device's file (%2): the local copy is kept as %3")
                               .arg(name, reason, version);
            });
    connect(m_downloader, &Downloader::versionDropped, &context, [this](const QString &name, const QString &version) {
        m_notes << QStringLiteral("%1 holds only the start of the new %2: removed").arg(version, name);
    });
    connect(m_downloader, &Downloader::started, &context, request, Qt::QueuedConnection);
    connect(m_downloader, &Downloader::getFileListDone, &context, [&](const QStringList &lines) {
        m_lines = lines;
        ok = true;
        loop.quit();
    });
    connect(m_downloader, &Downloader::getFileDone, &context, [&] {
        ok = true;
        loop.quit();
    });
    connect(m_downloader, &Downloader::errorOccured, &context, [&](const QString &message) {
        *error = message.trimmed();
        loop.quit();
    });
    m_downloader->start();
    loop.exec();
    // The disconnect that follows is no news here.
    m_downloader->disconnect(&context);
    m_downloader->stop();
    return ok;
}
