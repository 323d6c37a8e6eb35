#include "downloader.h"

#include "server/core/downloaders/downloadindexing.h"
#include "server/core/downloaders/verifiedcopy.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
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

QString Downloader::writeErrorMessage(const QString &reason)
{
    return QStringLiteral("write error: ") + reason;
}

void Downloader::getFile(QString name, ulong pos)
{
    getFile(name, pos, kUnknownSize);
}

void Downloader::getFile(QString name)
{
    getFile(name, 0, kUnknownSize);
}

QString Downloader::copyErrorMessage() const
{
    return writeErrorMessage(copy ? copy->errorString() : QString());
}

bool Downloader::finishFile(std::function<void()> afterDone)
{
    if (!copy->finish()) {
        if (copy->state() == VerifiedCopy::State::Different) {
            restartWhole();
            return false;
        }
        const QString message = copyErrorMessage();
        dropOutput();
        emit errorOccured(message);
        return false;
    }
    const QString path = copy->path();
    const QString name = m_fileName;
    const QString version = m_keptVersion;
    copy.reset();
    m_keptVersion.clear();
    if (!version.isEmpty() && VerifiedCopy::dropVersionIfPrefix(version, path))
        emit versionDropped(name, version);
    m_indexing = std::make_unique<QFutureWatcher<void>>();
    connect(m_indexing.get(), &QFutureWatcher<void>::finished, this, [this, afterDone] {
        m_indexing.reset();
        emit getFileDone();
        if (afterDone)
            afterDone();
    });
    m_indexing->setFuture(QtConcurrent::run([path] { writeDownloadIndexCache(path); }));
    return true;
}

Downloader::Received Downloader::receiveFileData(const char *data, qint64 count)
{
    switch (copy->receive(data, count)) {
    case VerifiedCopy::State::Verifying:
    case VerifiedCopy::State::Appending:
        return Received::More;
    case VerifiedCopy::State::Full:
        return Received::Enough;
    case VerifiedCopy::State::Different:
        cancelTransfer();
        restartWhole();
        return copy ? Received::Restarted : Received::Failed;
    case VerifiedCopy::State::Failed:
        break;
    }
    const QString message = copyErrorMessage();
    dropOutput();
    emit errorOccured(message);
    return Received::Failed;
}

// The copy is not the device's file: it is kept under a numbered name and
// the file is fetched whole into a new copy.
void Downloader::restartWhole()
{
    const QString path = copy->path();
    const QString reason = copy->reason();
    copy->discard();
    copy.reset();
    QString error;
    const QString version = VerifiedCopy::keepVersion(path, &error);
    if (version.isEmpty()) {
        const QString message = QStringLiteral("%1 is not the device's file (%2) and cannot be kept: %3")
                                    .arg(path, reason, error);
        emit fileRefused(m_fileName, message);
        emit errorOccured(message);
        return;
    }
    // Only the first version of this fetch may turn out to be the start of
    // the new copy; a later one (the device changed again) is kept for good.
    if (m_keptVersion.isEmpty())
        m_keptVersion = version;
    emit versionKept(m_fileName, version, reason);
    if (openCopy(path, 0))
        requestFile(m_fileName, copy->requestOffset());
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

void Downloader::beginFile(const QString &folder, const QString &name, ulong pos, qint64 listedSize)
{
    if (!isSafeFileName(name)) {
        const QString message = unsafeFileNameMessage(name);
        emit fileRefused(name, message);
        emit errorOccured(message);
        return;
    }
    dropOutput();
    m_fileName = name;
    m_listedSize = listedSize;
    m_keptVersion.clear();
    if (!openCopy(prepareLocalPath(folder, name), pos))
        return;
    if (copy->state() == VerifiedCopy::State::Different) {
        restartWhole();
        return;
    }
    requestFile(name, copy->requestOffset());
}

// Opens the copy for the current file; false after the failure was reported.
bool Downloader::openCopy(const QString &path, ulong pos)
{
    copy = std::make_unique<VerifiedCopy>();
    if (copy->open(path, qint64(pos), m_listedSize))
        return true;
    const QString message = QStringLiteral("Can`t open file %1: %2").arg(path, copy->errorString());
    copy.reset();
    // A name the folder cannot hold is the file's fault; a folder that
    // takes no file at all is not.
    const QFileInfo folder(QFileInfo(path).absolutePath());
    if (folder.isDir() && folder.isWritable())
        emit fileRefused(m_fileName, message);
    emit errorOccured(message);
    return false;
}

void Downloader::dropOutput()
{
    if (output) {
        output->close();
        output.reset();
    }
    if (copy) {
        copy->discard();
        copy.reset();
    }
}
