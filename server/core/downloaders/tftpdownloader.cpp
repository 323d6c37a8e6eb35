#include "tftpdownloader.h"

#include "server/core/settings/deviceparams.h"
#include "server/core/downloaders/downloaderoptions.h"
#include "server/core/downloaders/verifiedcopy.h"
#include "server/core/downloaders/tftppacket.h"

#include <QFile>
#include <QPointer>
#include <QTimerEvent>
#include <QUdpSocket>

namespace {

const QByteArray kBlockSizeOption = QByteArrayLiteral("blksize");
const QByteArray kOffsetOption = QByteArrayLiteral("offset");
// Characters of a device's error message that are shown.
constexpr int kMaxErrorTextChars = 200;

QHostAddress hostAddress(const QString &host)
{
    QHostAddress address(host);
    if (address.isNull() && host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        address = QHostAddress(QHostAddress::LocalHost);
    return address;
}

bool sameHost(const QHostAddress &a, const QHostAddress &b)
{
    return a.isEqual(b, QHostAddress::ConvertV4MappedToIPv4);
}

} // namespace

TftpDownloader::TftpDownloader(QObject *parent)
    : Downloader(parent)
    // A child as well, so that it moves with the downloader to its thread.
    , socket(std::make_unique<QUdpSocket>(this))
{
    connect(socket.get(), &QUdpSocket::readyRead, this, &TftpDownloader::readyRead);
}

TftpDownloader::~TftpDownloader()
{
    // The socket goes after this body: nothing it emits may reach this object.
    socket->disconnect(this);
    dropOutput();
}

int TftpDownloader::setParam(QStringList newParam)
{
    param = newParam;
    expectedBlock = 0;
    blockSize = kDefaultBlockSize;
    requestOptions.clear();
    lastPacket.clear();
    receivedData.clear();
    retransmitInterval = kDefaultRetransmitIntervalMs;
    retransmitCount = kDefaultRetransmitCount;
    url = QUrl(paramValue(param, DownloaderParam::Url), QUrl::TolerantMode);
    if (!url.isValid() || url.scheme() != QLatin1String("tftp"))
        return -1;
    remotePath = url.path();
    int result = 0;
    for (const DownloaderOption &option : parseDownloaderOptions(paramValue(param, DownloaderParam::Options))) {
        bool ok = false;
        const int value = option.second.toInt(&ok);
        if (option.first == QLatin1String("blksize") && ok)
            requestOptions.append(TftpPacket::option(kBlockSizeOption, QByteArray::number(value)));
        else if (option.first == QLatin1String("retransmit_count") && ok && value >= 0)
            retransmitCount = value;
        else if (option.first == QLatin1String("retransmit_interval") && ok && value > 0)
            retransmitInterval = value;
        else if (option.first == QLatin1String("blksize") || option.first == QLatin1String("retransmit_count")
                 || option.first == QLatin1String("retransmit_interval"))
            result = 1;
    }
    return result;
}

void TftpDownloader::start()
{
    emit started();
}

void TftpDownloader::getFileList()
{
    blockSize = kDefaultBlockSize;
    receivedData.clear();
    fileList.clear();
    if (!beginListOutput(&receivedData))
        return;
    requestedOffset = 0;
    lastPacket = TftpPacket::readRequest(remotePath + listOutputName(), requestOptions, 0);
    if (sendRequest())
        emit getFileListStarted();
}

void TftpDownloader::getFile(QString name, ulong pos, qint64 listedSize)
{
    beginFile(paramValue(param, DownloaderParam::Folder), name, pos, listedSize);
}

// The copy learns where the data begins from the option acknowledgement
// (an offset the device took) or from the first data block (byte 0).
void TftpDownloader::requestFile(const QString &name, qint64 offset)
{
    blockSize = kDefaultBlockSize;
    requestedOffset = quint64(offset);
    lastPacket = TftpPacket::readRequest(remotePath + name, requestOptions, requestedOffset);
    if (sendRequest())
        emit getFileStarted(name);
}

void TftpDownloader::cancelTransfer()
{
    stopRetransmitTimer();
    if (transferActive)
        send(TftpPacket::error(TftpPacket::kErrorUndefined, QByteArrayLiteral("Abort transmission")));
    transferActive = false;
}

void TftpDownloader::abort()
{
    stopRetransmitTimer();
    lastPacket = TftpPacket::error(TftpPacket::kErrorUndefined, QByteArrayLiteral("Abort transmission"));
    send(lastPacket);
    // Nothing more is written: the local copy keeps what had arrived.
    endTransfer();
    emit aborted();
}

void TftpDownloader::stop()
{
    stopRetransmitTimer();
    endTransfer();
    emit stopped();
}

void TftpDownloader::readyRead()
{
    const QPointer<TftpDownloader> self(this);
    while (self && socket->hasPendingDatagrams()) {
        QByteArray datagram(int(qMax<qint64>(socket->pendingDatagramSize(), 0)), '\0');
        QHostAddress address;
        quint16 port = 0;
        if (socket->readDatagram(datagram.data(), datagram.size(), &address, &port) < 0)
            break;
        if (acceptsSender(address, port)) {
            handleDatagram(datagram);
        } else if (peerLocked) {
            // RFC 1350: a packet from a foreign transfer id is refused
            // without disturbing the transfer.
            socket->writeDatagram(TftpPacket::error(TftpPacket::kErrorUnknownTransferId, QByteArrayLiteral("Unknown transfer ID")),
                                  address, port);
        }
    }
}

void TftpDownloader::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != retransmitTimer) {
        Downloader::timerEvent(event);
        return;
    }
    stopRetransmitTimer();
    if (retriesLeft > 0) {
        --retriesLeft;
        startRetransmitTimer();
        send(lastPacket);
        return;
    }
    endTransfer();
    emit errorOccured(QStringLiteral("timeout"));
}

// Sends lastPacket as a new request from a fresh local port to the URL's
// host and port; false (with an error reported) when the host is no address.
bool TftpDownloader::sendRequest()
{
    peerAddress = hostAddress(url.host());
    peerPort = quint16(url.port(kDefaultPort));
    if (peerAddress.isNull()) {
        dropOutput();
        emit errorOccured(QStringLiteral("Unknown host address ") + url.host());
        return false;
    }
    socket->close();
    const bool ipv6 = peerAddress.protocol() == QAbstractSocket::IPv6Protocol;
    socket->bind(QHostAddress(ipv6 ? QHostAddress::AnyIPv6 : QHostAddress::AnyIPv4), 0);
    expectedBlock = 1;
    peerLocked = false;
    optionsAcknowledged = false;
    transferActive = true;
    retriesLeft = retransmitCount;
    startRetransmitTimer();
    send(lastPacket);
    return true;
}

void TftpDownloader::send(const QByteArray &packet)
{
    socket->writeDatagram(packet, peerAddress, peerPort);
}

// The first answer to a request must come from the device's host; its port
// becomes the transfer's. Later datagrams must come from that port.
bool TftpDownloader::acceptsSender(const QHostAddress &address, quint16 port)
{
    if (peerLocked)
        return sameHost(address, peerAddress) && port == peerPort;
    if (!transferActive || !sameHost(address, peerAddress))
        return false;
    peerAddress = address;
    peerPort = port;
    peerLocked = true;
    return true;
}

void TftpDownloader::handleDatagram(const QByteArray &datagram)
{
    switch (TftpPacket::opcode(datagram)) {
    case TftpPacket::Data:
        handleData(datagram);
        break;
    case TftpPacket::OptionAcknowledgement:
        handleOptionAcknowledgement(datagram);
        break;
    case TftpPacket::Error:
        if (transferActive)
            handleError(datagram);
        break;
    default:
        // Unknown or truncated: ignored, the retransmit timer keeps running.
        break;
    }
}

void TftpDownloader::handleData(const QByteArray &datagram)
{
    const int block = TftpPacket::blockNumber(datagram);
    if (block < 0)
        return;
    if (!transferActive || block != expectedBlock) {
        // A repeat of the block acknowledged last: our acknowledgement was
        // lost, so send it again. Any other number is ignored.
        if (block == quint16(expectedBlock - 1))
            send(TftpPacket::acknowledgement(quint16(block)));
        return;
    }
    const QByteArray payload = datagram.mid(TftpPacket::kPayloadOffset);
    stopRetransmitTimer();
    if (output && receivedData.size() + payload.size() > kMaxListingBytes) {
        send(TftpPacket::error(TftpPacket::kErrorUndefined, QByteArrayLiteral("File list too large")));
        endTransfer();
        emit errorOccured(listingTooLargeMessage());
        return;
    }
    if (output)
        output->write(payload);
    if (copy) {
        // No offset acknowledged before the data: it begins at byte 0.
        if (!copy->isStartKnown())
            copy->setStreamStart(0);
        switch (receiveFileData(payload.constData(), payload.size())) {
        case Received::More:
            break;
        case Received::Enough:
            // The listed size has come; the rest (a growing file, or one
            // that never ends) is not wanted now.
            cancelTransfer();
            finishFile();
            return;
        case Received::Restarted:
            return;
        case Received::Failed:
            // A block that cannot be stored ends the transfer: acknowledging it
            // would leave a hole or a short file reported as complete.
            send(TftpPacket::error(TftpPacket::kErrorDiskFull, QByteArrayLiteral("Write error")));
            endTransfer();
            return;
        }
    }
    ++expectedBlock;
    lastPacket = TftpPacket::acknowledgement(quint16(block));
    send(lastPacket);
    if (payload.size() >= blockSize) {
        retriesLeft = retransmitCount;
        startRetransmitTimer();
        return;
    }
    completeTransfer();
}

void TftpDownloader::handleOptionAcknowledgement(const QByteArray &datagram)
{
    // Options are confirmed once, before the first data block. A repeated
    // acknowledgement is ignored and leaves the retransmit timer and count
    // alone: a device that sends only those must not keep the transfer alive.
    if (!transferActive || expectedBlock != 1 || optionsAcknowledged)
        return;
    optionsAcknowledged = true;
    stopRetransmitTimer();
    const QList<QByteArray> parts = datagram.mid(TftpPacket::kOptionsOffset).split('\0');
    bool understood = true;
    for (int i = 0; understood && parts.size() - i >= 2; i += 2)
        understood = applyOption(parts.at(i), parts.at(i + 1));
    if (understood) {
        lastPacket = TftpPacket::acknowledgement(0);
        retriesLeft = retransmitCount;
        startRetransmitTimer();
        send(lastPacket);
        return;
    }
    lastPacket = TftpPacket::error(TftpPacket::kErrorOptionRefused, QByteArrayLiteral("Unsupported option"));
    send(lastPacket);
    endTransfer();
    emit errorOccured(QStringLiteral("Unsupported option"));
}

// One confirmed option; false when it is unknown or its value is not one
// this client can use (a block size outside 8..65464 bytes, an offset past
// the one asked for, which would leave a hole in the file).
bool TftpDownloader::applyOption(const QByteArray &name, const QByteArray &value)
{
    bool ok = false;
    if (name.compare(kBlockSizeOption, Qt::CaseInsensitive) == 0) {
        const int size = value.toInt(&ok);
        if (!ok || size < kMinBlockSize || size > kMaxBlockSize)
            return false;
        blockSize = size;
        return true;
    }
    if (name.compare(kOffsetOption, Qt::CaseInsensitive) == 0) {
        const quint64 offset = value.toULongLong(&ok);
        if (!ok || offset > requestedOffset)
            return false;
        if (copy)
            copy->setStreamStart(qint64(offset));
        return true;
    }
    return false;
}

void TftpDownloader::handleError(const QByteArray &datagram)
{
    stopRetransmitTimer();
    const QString name = currentFileName();
    const bool fetchingFile = isFetchingFile();
    endTransfer();
    // The device's own words, as far as they are text, tell why.
    QByteArray text = datagram.mid(TftpPacket::kErrorMessageOffset);
    text.truncate(text.indexOf('\0') < 0 ? text.size() : text.indexOf('\0'));
    const QString reason = QString::fromLatin1(text).left(kMaxErrorTextChars).trimmed();
    const QString message = reason.isEmpty() ? QStringLiteral("ERROR packet receive")
                                             : QStringLiteral("ERROR packet receive: ") + reason;
    if (fetchingFile)
        emit fileRefused(name, message);
    emit errorOccured(message);
}

void TftpDownloader::completeTransfer()
{
    transferActive = false;
    if (output)
        finishListing();
    else if (copy)
        finishFile();
}

void TftpDownloader::finishListing()
{
    output->close();
    output.reset();
    const int end = receivedData.indexOf('\0');
    fileList = splitListing(QString::fromLatin1(end < 0 ? receivedData : receivedData.left(end)));
    emit getFileListDone(fileList);
}

void TftpDownloader::endTransfer()
{
    transferActive = false;
    dropOutput();
}

void TftpDownloader::startRetransmitTimer()
{
    stopRetransmitTimer();
    retransmitTimer = startTimer(retransmitInterval, Qt::CoarseTimer);
}

void TftpDownloader::stopRetransmitTimer()
{
    if (retransmitTimer) {
        killTimer(retransmitTimer);
        retransmitTimer = 0;
    }
}
