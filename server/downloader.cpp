#include "downloader.h"

#include "downloadindexing.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFutureWatcher>
#include <QtConcurrent>

Downloader::Downloader(QObject *parent)
    : QObject(parent)
{
}

// A running indexing finishes on its own; only its notice is dropped.
Downloader::~Downloader() = default;

bool Downloader::isSafeFileName(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (const QChar c : name) {
        // Control characters (NUL, CR, LF ...) would cut or split commands.
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 0x20)
            return false;
    }
    return true;
}

QString Downloader::unsafeFileNameMessage(const QString &name)
{
    return QStringLiteral("Refused unsafe file name \"%1\"").arg(name);
}

QString Downloader::listingTooLargeMessage()
{
    return QStringLiteral("file list larger than %1 bytes refused").arg(kMaxListingBytes);
}

QStringList Downloader::splitListing(const QString &text)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString &line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    return lines;
}

QString Downloader::prepareLocalPath(const QString &folder, const QString &name)
{
    QDir dir(folder);
    if (!dir.exists())
        QDir().mkdir(dir.absolutePath());
    return QDir(dir.absolutePath()).filePath(name);
}

bool Downloader::completeLocalFile(QFile *file, QString *errorString)
{
    // Buffered bytes go out first: a failed flush means a short copy.
    bool ok = file->flush() && file->resize(file->pos());
    QString reason = ok ? QString() : file->errorString();
    file->close();
    if (ok && file->error() != QFileDevice::NoError) {
        ok = false;
        reason = file->errorString();
    }
    if (errorString)
        *errorString = reason;
    return ok;
}

QString Downloader::writeErrorMessage(const QString &reason)
{
    return QStringLiteral("write error: ") + reason;
}

void Downloader::finishFile(std::function<void()> afterDone)
{
    QString reason;
    const bool ok = completeLocalFile(static_cast<QFile *>(output.get()), &reason);
    const QString path = localFilePath;
    localFilePath.clear();
    output.reset();
    if (!ok) {
        emit errorOccured(writeErrorMessage(reason));
        return;
    }
    m_indexing = std::make_unique<QFutureWatcher<void>>();
    connect(m_indexing.get(), &QFutureWatcher<void>::finished, this, [this, afterDone] {
        m_indexing.reset();
        emit getFileDone();
        if (afterDone)
            afterDone();
    });
    m_indexing->setFuture(QtConcurrent::run([path] { writeDownloadIndexCache(path); }));
}

void Downloader::dropOutput()
{
    if (!output)
        return;
    output->close();
    output.reset();
    localFilePath.clear();
}

QString Downloader::listOutputName()
{
    return QStringLiteral("list");
}

bool Downloader::beginListOutput(QByteArray *buffer)
{
    dropOutput();
    auto device = std::make_unique<QBuffer>(buffer);
    device->setObjectName(listOutputName());
    if (!device->open(QIODevice::ReadWrite)) {
        emit errorOccured(QStringLiteral("Can`t open file"));
        return false;
    }
    output = std::move(device);
    return true;
}

bool Downloader::beginFileOutput(const QString &folder, const QString &name, QIODevice::OpenMode mode)
{
    if (!isSafeFileName(name)) {
        emit errorOccured(unsafeFileNameMessage(name));
        return false;
    }
    dropOutput();
    const QString path = prepareLocalPath(folder, name);
    auto file = std::make_unique<QFile>(path);
    if (!file->open(mode)) {
        emit errorOccured(QStringLiteral("Can`t open file ") + path);
        return false;
    }
    output = std::move(file);
    localFilePath = path;
    return true;
}
