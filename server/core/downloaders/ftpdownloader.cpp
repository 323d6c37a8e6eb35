#include "ftpdownloader.h"

#include "server/core/settings/deviceparams.h"
#include "server/core/downloaders/downloaderoptions.h"
#include "server/core/downloaders/verifiedcopy.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QPointer>
#include <QRegExp>
#include <QSignalBlocker>
#include <QTcpSocket>
#include <QTextCodec>
#include <QTimerEvent>

namespace {

const QByteArray kConnection = QByteArrayLiteral("connection\r\n");
const QByteArray kAbort = QByteArrayLiteral("abor\r\n");
const QByteArray kRestartFromStart = QByteArrayLiteral("rest 0\r\n");
// "retr " before the path, "\r\n" after it.
constexpr int kRetrPrefixBytes = 5;
constexpr int kLineEndBytes = 2;
// A reply longer than this without a line end is handled as one line (bytes).
constexpr qint64 kMaxReplyLineBytes = 4096;
// "nnn-" opens a multi-line reply.
constexpr int kReplyCodeBytes = 3;
// Bytes moved from the data socket to the output per read.
constexpr int kReceiveChunkBytes = 1024 * 1024;
// A passive reply holds six numbers "h1,h2,h3,h4,p1,p2": the host's four
// octets, then the port's high and low byte.
constexpr int kPassiveNumbers = 6;
constexpr int kPassivePortHigh = 4;
constexpr int kPassivePortLow = 5;
constexpr int kPortHighFactor = 256;
// The data of a transfer confirmed complete must have drained within this
// many stall limits.
constexpr int kDrainStallLimits = 4;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isTransferCommand(const QByteArray &command)
{
    return command.startsWith("list") || command.startsWith("retr");
}

// A negative reply to RETR that concerns the file (5xx, or 450-452: busy,
// local error, no room on the device), not the connection (421, 425, 426).
bool refusesFile(const QByteArray &reply)
{
    const QByteArray code = reply.left(kReplyCodeBytes);
    return code.startsWith('5') || code == "450" || code == "451" || code == "452";
}

} // namespace

FtpDownloader::FtpDownloader(QObject *parent)
    : Downloader(parent)
    // Children as well, so that they move with the downloader to its thread.
    , controlSocket(std::make_unique<QTcpSocket>(this))
    , dataSocket(std::make_unique<QTcpSocket>(this))
    , codec(QTextCodec::codecForName("UTF-8"))
{
    connect(controlSocket.get(), &QTcpSocket::readyRead, this, &FtpDownloader::commandReadyRead);
    connect(dataSocket.get(), &QTcpSocket::readyRead, this, &FtpDownloader::dataReadyRead);
    connect(controlSocket.get(), &QTcpSocket::disconnected, this, &FtpDownloader::connectionDisconect, Qt::QueuedConnection);
    connect(dataSocket.get(), &QTcpSocket::disconnected, this, &FtpDownloader::connectionDisconect, Qt::QueuedConnection);
    connect(controlSocket.get(), &QTcpSocket::errorOccurred, this, &FtpDownloader::connectionErrorOccur);
}

FtpDownloader::~FtpDownloader()
{
    // The sockets go after this body: nothing they emit may reach this object.
    controlSocket->disconnect(this);
    dataSocket->disconnect(this);
    dropOutput();
}

int FtpDownloader::setParam(QStringList newParam)
{
    param = newParam;
    // Names travel as UTF-8 unless the options name another codec.
    codec = QTextCodec::codecForName("UTF-8");
    url = QUrl(paramValue(param, DownloaderParam::Url), QUrl::TolerantMode);
    if (!url.isValid() || url.scheme() != QLatin1String("ftp"))
        return -1;
    int result = 0;
    for (const DownloaderOption &option : parseDownloaderOptions(paramValue(param, DownloaderParam::Options))) {
        if (option.first != QLatin1String("codec"))
            continue;
        if (QTextCodec *named = QTextCodec::codecForName(option.second.toLatin1()))
            codec = named;
        else
            result = 1;
    }
    remotePath = url.path(QUrl::FullyDecoded);
    return result;
}

void FtpDownloader::start()
{
    // Every cycle is a fresh conversation: whatever an earlier one left
    // (an open connection, an unanswered command) would block this one.
    resetConversation();
    awaitedCommands.append(kConnection);
    pendingCommands << QByteArrayLiteral("user ftp\r\n") << QByteArrayLiteral("pass kqv\r\n")
                    << QByteArrayLiteral("type i\r\n");
    startCommandTimer(replyTimeoutMs);
    controlSocket->connectToHost(url.host(), quint16(url.port(kDefaultPort)), QIODevice::ReadWrite,
                                 QAbstractSocket::AnyIPProtocol);
}

void FtpDownloader::getFileList()
{
    listingData.clear();
    fileList.clear();
    if (!beginListOutput(&listingData))
        return;
    pendingCommands << QByteArrayLiteral("pasv\r\n") << "list " + encodedPath(remotePath) + "\r\n";
    sendNextCommand(true);
}

void FtpDownloader::getFile(QString name, ulong pos, qint64 listedSize)
{
    beginFile(paramValue(param, DownloaderParam::Folder), name, pos, listedSize);
}

void FtpDownloader::requestFile(const QString &name, qint64 offset)
{
    // A retrieval from byte 0 needs no REST; one the device refuses is then
    // no failure (see classify).
    pendingCommands << QByteArrayLiteral("pasv\r\n") << "rest " + QByteArray::number(offset) + "\r\n"
                    << "retr " + encodedPath(QDir(remotePath).filePath(name)) + "\r\n";
    sendNextCommand(true);
}

// Drops the data connection; a retrieval still unanswered is aborted, and
// whatever the device answers to it is no news (see handleReplyLine).
void FtpDownloader::cancelTransfer()
{
    const bool transferAwaited = !awaitedCommands.isEmpty() && isTransferCommand(awaitedCommands.first());
    {
        const QSignalBlocker blocker(dataSocket.get());
        dataSocket->abort();
    }
    transferRunning = false;
    completionPending = false;
    stopDrainTimer();
    if (transferAwaited && controlSocket->state() == QAbstractSocket::ConnectedState && !awaitedCommands.contains(kAbort)) {
        abortRequested = false;
        sendAbort();
    }
}

void FtpDownloader::abort()
{
    pendingCommands.clear();
    // Nothing more is written: the local copy keeps what had arrived.
    dropOutput();
    transferRunning = false;
    completionPending = false;
    stopDrainTimer();
    if (controlSocket->state() != QAbstractSocket::ConnectedState) {
        emit aborted();
        return;
    }
    abortRequested = true;
    sendAbort();
}

void FtpDownloader::sendAbort()
{
    controlSocket->write(kAbort);
    awaitedCommands.append(kAbort);
    startCommandTimer(replyTimeoutMs);
}

// Returns at once: the control connection is closed in the background
// (after what is still queued for the device has been sent), and its
// disconnection is expected, not an error.
void FtpDownloader::stop()
{
    stopCommandTimer();
    stopDrainTimer();
    pendingCommands.clear();
    awaitedCommands.clear();
    dropOutput();
    transferRunning = false;
    completionPending = false;
    {
        const QSignalBlocker blocker(dataSocket.get());
        dataSocket->abort();
    }
    stopping = true;
    controlSocket->disconnectFromHost();
    emit stopped();
}

void FtpDownloader::commandReadyRead()
{
    const QPointer<FtpDownloader> self(this);
    while (self && (controlSocket->canReadLine() || controlSocket->bytesAvailable() > kMaxReplyLineBytes)) {
        const QByteArray line = controlSocket->readLine(kMaxReplyLineBytes + 1);
        if (line.isEmpty())
            break;
        handleReplyLine(line);
    }
}

void FtpDownloader::dataReadyRead()
{
    // Straight from the socket's buffer into the copy, through one reused
    // chunk: no allocation per notification.
    if (receiveChunk.isEmpty())
        receiveChunk.resize(kReceiveChunkBytes);
    qint64 count = 0;
    while ((count = dataSocket->read(receiveChunk.data(), receiveChunk.size())) > 0) {
        if (takeData(receiveChunk.constData(), count) != Received::More)
            return;
    }
    lastDataTime.start();
}

// Hands bytes of the data connection to the listing or the copy. Anything
// but More ends the transfer: the rest of the data connection is dropped.
FtpDownloader::Received FtpDownloader::takeData(const char *data, qint64 count)
{
    if (output) {
        output->write(data, count);
        if (listingData.size() <= kMaxListingBytes)
            return Received::More;
        dropOutput();
        cancelTransfer();
        emit errorOccured(listingTooLargeMessage());
        return Received::Failed;
    }
    if (!copy)
        return Received::More; // no transfer wants it
    const Received result = receiveFileData(data, count);
    if (result == Received::Enough) {
        // The listed size has come: the device may go on sending (a
        // growing file, or one that never ends); the rest comes next cycle.
        cancelTransfer();
        completeFile();
    } else if (result == Received::Failed) {
        pendingCommands.clear();
        cancelTransfer();
    }
    return result;
}

void FtpDownloader::completeFile()
{
    // A control connection lost meanwhile is reported after the file.
    if (finishFile([this] {
            if (controlLost)
                reportControlLost();
        }))
        return;
    if (controlLost)
        reportControlLost();
}

void FtpDownloader::connectionErrorOccur(QAbstractSocket::SocketError error)
{
    // Only a connection that never came up is reported here; the loss of
    // an open one is connectionDisconect's.
    if (awaitedCommands.value(0) != kConnection || controlSocket->state() == QAbstractSocket::ConnectedState)
        return;
    QString message;
    if (error == QAbstractSocket::ConnectionRefusedError)
        message = QStringLiteral("connection refused (%1:%2)").arg(url.host()).arg(url.port(kDefaultPort));
    else if (error == QAbstractSocket::HostNotFoundError)
        message = QStringLiteral("host not found (%1)").arg(url.host());
    else
        message = QStringLiteral("cannot connect to %1:%2: %3").arg(url.host()).arg(url.port(kDefaultPort)).arg(controlSocket->errorString());
    stopCommandTimer();
    awaitedCommands.clear();
    pendingCommands.clear();
    dropOutput();
    emit errorOccured(message);
}

void FtpDownloader::connectionDisconect()
{
    QObject *origin = sender();
    if (origin == dataSocket.get()) {
        finishTransferIfReady();
        return;
    }
    // A notice queued before start() opened a newer connection is stale,
    // and one that follows stop() is expected.
    if (origin != controlSocket.get() || controlSocket->state() != QAbstractSocket::UnconnectedState || stopping)
        return;
    if (completionPending) {
        // The transfer was already confirmed complete: the data connection
        // decides, then the loss is reported.
        controlLost = true;
        finishTransferIfReady();
        return;
    }
    reportControlLost();
}

void FtpDownloader::reportControlLost()
{
    controlLost = false;
    stopCommandTimer();
    transferRunning = false;
    completionPending = false;
    stopDrainTimer();
    dropOutput();
    emit errorOccured(QStringLiteral("control connection disconnect"));
}

void FtpDownloader::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == commandTimer && transferRunning && lastDataTime.isValid()
        && lastDataTime.elapsed() < stallTimeoutMs) {
        // Data came during the period: the stall limit counts from the last of it.
        startCommandTimer(int(stallTimeoutMs - lastDataTime.elapsed()));
        return;
    }
    if (event->timerId() == commandTimer) {
        stopCommandTimer();
        transferRunning = false;
    } else if (event->timerId() == drainTimer) {
        stopDrainTimer();
        // However slowly the last data drains, it does so within a few stall
        // limits; a device that goes on sending after that never stops.
        const qint64 drainLimitMs = qint64(kDrainStallLimits) * stallTimeoutMs;
        const bool endless = completionTime.elapsed() >= drainLimitMs;
        if (!endless && lastDataTime.isValid() && lastDataTime.elapsed() < replyTimeoutMs) {
            // Still draining on a slow link: the limit counts from the last
            // data, up to the stall limit after the completion reply.
            drainTimer = startTimer(int(qMin(replyTimeoutMs - lastDataTime.elapsed(),
                                             drainLimitMs - completionTime.elapsed())) + 1,
                                    Qt::CoarseTimer);
            return;
        }
        completionPending = false;
        if (endless) {
            cancelTransfer();
            dropOutput();
            emit errorOccured(QStringLiteral("the device kept sending for %1 ms after the transfer was complete")
                                  .arg(drainLimitMs));
            if (controlLost)
                reportControlLost();
            return;
        }
    } else {
        Downloader::timerEvent(event);
        return;
    }
    dropOutput();
    emit errorOccured(QStringLiteral("timeout"));
    if (controlLost)
        reportControlLost();
}

void FtpDownloader::handleReplyLine(const QByteArray &line)
{
    if (continuesMultiLineReply(line))
        return;
    if (abortAnsweredForTransfer(line)) {
        // The transfer was never answered and never will be.
        while (awaitedCommands.first() != kAbort)
            awaitedCommands.removeFirst();
        transferRunning = false;
        preliminaryReplied = false;
    }
    const QByteArray command = awaitedCommands.value(0);
    Outcome outcome = classify(command, line.at(0));
    if (outcome == Success && command.startsWith("pasv") && !openDataConnection(line))
        outcome = Unrecognised;
    // Whatever a transfer we asked to abort is answered with (its refusal,
    // or its completion after we stopped reading) is no news.
    if ((outcome == Failure || outcome == Success) && isTransferCommand(command) && awaitedCommands.contains(kAbort))
        outcome = Next;
    // A device that takes no REST sends from byte 0: the copy is then
    // verified from its start instead.
    if (outcome == Failure && command.startsWith("rest") && command != kRestartFromStart && copy) {
        copy->setStreamStart(0);
        outcome = Next;
    }
    settle(command, outcome);
    if (outcome == Error || outcome == Failure || outcome == Unrecognised) {
        const bool refused = outcome == Failure && copy && isTransferCommand(command) && refusesFile(line);
        const QString name = currentFileName();
        dropOutput();
        const QString message = codec->toUnicode(line);
        if (refused)
            emit fileRefused(name, message.trimmed());
        emit errorOccured(message);
    } else if (outcome == Success) {
        succeeded(command);
    }
    if (awaitedCommands.isEmpty())
        sendNextCommand(true);
}

// The reply timer and the command lists after a reply to command.
void FtpDownloader::settle(const QByteArray &command, Outcome outcome)
{
    if (outcome == Wait && !preliminaryReplied) {
        // The first preliminary reply arms the stall limit. Later 1xx replies
        // to the same command ("120" every second, "150" again and again)
        // are no progress and leave it alone: a device that sends only those
        // must not hold the conversation forever.
        preliminaryReplied = true;
        if (isTransferCommand(command)) {
            // Data flows now: only a stall ends the transfer.
            transferRunning = true;
            lastDataTime.invalidate();
        }
        // Otherwise ("120 ready in 5 minutes") the real answer is still due.
        startCommandTimer(stallTimeoutMs);
    } else if (outcome != Wait && outcome != Unrecognised) {
        stopCommandTimer();
    }
    if (outcome != Wait && outcome != Unrecognised) {
        awaitedCommands.removeFirst();
        preliminaryReplied = false;
        if (isTransferCommand(command))
            transferRunning = false;
    }
    // Later commands of a failed exchange (the RETR after a refused REST,
    // the LIST after a refused PASV) cannot succeed.
    if (outcome == Error || outcome == Failure)
        pendingCommands.clear();
}

void FtpDownloader::succeeded(const QByteArray &command)
{
    if (command.startsWith("connection"))
        emit started();
    else if (isTransferCommand(command))
        transferReplied();
    else if (command.startsWith("abor") && abortRequested)
        emit aborted();
    if (command.startsWith("abor"))
        abortRequested = false;
}

bool FtpDownloader::continuesMultiLineReply(const QByteArray &line)
{
    if (!multiLineCode.isEmpty()) {
        const bool last = line.startsWith(multiLineCode)
            && (line.size() == kReplyCodeBytes || line.at(kReplyCodeBytes) != '-');
        if (last)
            multiLineCode.clear();
        return !last;
    }
    const bool opens = line.size() > kReplyCodeBytes && isDigit(line.at(0)) && isDigit(line.at(1))
        && isDigit(line.at(2)) && line.at(kReplyCodeBytes) == '-';
    if (opens)
        multiLineCode = line.left(kReplyCodeBytes);
    return opens;
}

// A 225 reply ("no transfer in progress") while a listing or retrieval is
// still unanswered and an abort is awaited answers the abort: the server
// dropped the transfer before it began.
bool FtpDownloader::abortAnsweredForTransfer(const QByteArray &line) const
{
    return line.startsWith("225") && awaitedCommands.size() > 1 && isTransferCommand(awaitedCommands.first())
        && awaitedCommands.contains(kAbort);
}

// The reply table: what a reply beginning with c means for the awaited command.
FtpDownloader::Outcome FtpDownloader::classify(const QByteArray &command, char c)
{
    const bool negative = c == '4' || c == '5';
    if (!negative && (c < '1' || c > '3'))
        return Unrecognised;
    if (command.startsWith("connection"))
        return c == '1' ? Wait : c == '2' ? Success : c == '3' ? Error : Failure;
    if (command.startsWith("user") || command.startsWith("pass"))
        return c == '1' ? Error : c == '2' ? Success : c == '3' ? Next : Failure;
    if (command.startsWith("type"))
        return c == '2' ? Success : negative ? Next : Error;
    if (command.startsWith("pasv"))
        return c == '2' ? Success : negative ? Failure : Error;
    if (isTransferCommand(command))
        return c == '1' ? Wait : c == '2' ? Success : c == '3' ? Error : Failure;
    if (command.startsWith("rest")) {
        // A retrieval from byte 0 needs no restart: a refusal is no failure.
        if (negative && command == kRestartFromStart)
            return Next;
        return c == '3' ? Next : negative ? Failure : Error;
    }
    if (command.startsWith("abor"))
        return c == '2' ? Success : negative ? Failure : Error;
    return Unrecognised;
}

void FtpDownloader::transferReplied()
{
    if (!output && !copy)
        return;
    completionPending = true;
    completionTime.start();
    finishTransferIfReady();
}

// The completion reply may overtake the last data: the transfer ends only
// when the data connection has closed and everything on it has been read.
void FtpDownloader::finishTransferIfReady()
{
    if (!completionPending)
        return;
    if (dataSocket->state() != QAbstractSocket::UnconnectedState) {
        if (!drainTimer)
            drainTimer = startTimer(replyTimeoutMs, Qt::CoarseTimer);
        return;
    }
    stopDrainTimer();
    completionPending = false;
    const QByteArray rest = dataSocket->readAll();
    const Received taken = rest.isEmpty() ? Received::More : takeData(rest.constData(), rest.size());
    if (taken == Received::Enough)
        return;
    if (taken == Received::More && output) {
        finishListing();
    } else if (taken == Received::More && copy) {
        completeFile();
        return;
    }
    if (controlLost)
        reportControlLost();
}

void FtpDownloader::finishListing()
{
    output->close();
    output.reset();
    fileList.append(splitListing(codec->toUnicode(listingData)));
    emit getFileListDone(fileList);
}

void FtpDownloader::sendNextCommand(bool announceTransfer)
{
    if (!awaitedCommands.isEmpty() || pendingCommands.isEmpty())
        return;
    const QByteArray command = pendingCommands.takeFirst();
    startCommandTimer(replyTimeoutMs);
    controlSocket->write(command);
    awaitedCommands.append(command);
    if (announceTransfer)
        announce(command);
}

void FtpDownloader::announce(const QByteArray &command)
{
    if (command.startsWith("list"))
        emit getFileListStarted();
    else if (command.startsWith("retr"))
        emit getFileStarted(codec->toUnicode(command.mid(kRetrPrefixBytes, command.size() - kRetrPrefixBytes - kLineEndBytes)));
}

bool FtpDownloader::openDataConnection(const QByteArray &line)
{
    QRegExp expression(QStringLiteral("(\\d+),(\\d+),(\\d+),(\\d+),(\\d+),(\\d+)"));
    if (expression.indexIn(QString::fromLatin1(line)) == -1)
        return false;
    int numbers[kPassiveNumbers];
    for (int i = 0; i < kPassiveNumbers; ++i) {
        bool ok = false;
        numbers[i] = expression.cap(i + 1).toInt(&ok);
        if (!ok || numbers[i] > 255)
            return false;
    }
    // Only the port is taken: the data connection goes to the peer of the
    // control connection, whatever host the reply names, so a device cannot
    // make the client fetch from another machine's service.
    const quint16 port = quint16(numbers[kPassivePortHigh] * kPortHighFactor + numbers[kPassivePortLow]);
    {
        const QSignalBlocker blocker(dataSocket.get());
        dataSocket->abort();
    }
    dataSocket->connectToHost(controlSocket->peerAddress(), port, QIODevice::ReadWrite);
    return true;
}

void FtpDownloader::resetConversation()
{
    stopCommandTimer();
    stopDrainTimer();
    {
        const QSignalBlocker controlBlocker(controlSocket.get());
        const QSignalBlocker dataBlocker(dataSocket.get());
        controlSocket->abort();
        dataSocket->abort();
    }
    awaitedCommands.clear();
    pendingCommands.clear();
    dropOutput();
    transferRunning = false;
    preliminaryReplied = false;
    completionPending = false;
    abortRequested = false;
    controlLost = false;
    stopping = false;
    multiLineCode.clear();
}

void FtpDownloader::startCommandTimer(int ms)
{
    stopCommandTimer();
    commandTimer = startTimer(ms, Qt::CoarseTimer);
}

void FtpDownloader::stopCommandTimer()
{
    if (commandTimer) {
        killTimer(commandTimer);
        commandTimer = 0;
    }
}

void FtpDownloader::stopDrainTimer()
{
    if (drainTimer) {
        killTimer(drainTimer);
        drainTimer = 0;
    }
}

QByteArray FtpDownloader::encodedPath(const QString &path) const
{
    return codec->fromUnicode(path);
}
