#pragma once

#include "server/core/downloaders/downloader.h"

#include <QByteArray>
#include <QHostAddress>
#include <QUrl>

class QTimerEvent;
class QUdpSocket;

// TFTP client of one device on one QUdpSocket: octet-mode reads with the
// options "blksize" and "offset" (a resumed download), retransmission of the
// last packet on silence, and the device's file list read as the pseudo-file
// "list" of the URL's folder. A non-blocking state machine in the GUI
// thread, which owns it; only the indexing of a finished download blocks.
//
// One option acknowledgement is taken per request; repeats are ignored, so
// only data moves a transfer on and silence always ends it.
//
// Each request leaves from a fresh local port and the transfer then follows
// the first port the device answers from (its transfer id); datagrams from
// any other port are refused, so stray packets of an earlier transfer never
// reach the file.
class TftpDownloader : public Downloader
{
    Q_OBJECT

public:
    static constexpr quint16 kDefaultPort = 69;
    static constexpr int kDefaultBlockSize = 512;            // bytes
    static constexpr int kMinBlockSize = 8;                  // bytes, RFC 2348
    static constexpr int kMaxBlockSize = 65464;              // bytes, RFC 2348
    static constexpr int kDefaultRetransmitIntervalMs = 1000;
    static constexpr int kDefaultRetransmitCount = 3;

    explicit TftpDownloader(QObject *parent = nullptr);
    ~TftpDownloader() override;

    // Takes URL ("tftp" scheme), local folder and options ("blksize",
    // "retransmit_count", "retransmit_interval" in ms).
    int setParam(QStringList param) override;
    using Downloader::getFile;

public slots:
    void start() override;
    void getFileList() override;
    void getFile(QString name, ulong pos, qint64 listedSize) override;
    void abort() override;
    void stop() override;
    void readyRead();

protected:
    void timerEvent(QTimerEvent *event) override;
    void requestFile(const QString &name, qint64 offset) override;
    void cancelTransfer() override;

private:
    bool sendRequest();
    void send(const QByteArray &packet);
    bool acceptsSender(const QHostAddress &address, quint16 port);
    void handleDatagram(const QByteArray &datagram);
    void handleData(const QByteArray &datagram);
    void handleOptionAcknowledgement(const QByteArray &datagram);
    bool applyOption(const QByteArray &name, const QByteArray &value);
    void handleError(const QByteArray &datagram);
    void completeTransfer();
    void finishListing();
    void endTransfer();
    void startRetransmitTimer();
    void stopRetransmitTimer();

    QStringList param;
    QByteArray lastPacket;
    QByteArray receivedData;
    QStringList fileList;
    QByteArray requestOptions;
    const std::unique_ptr<QUdpSocket> socket;
    QString remotePath;
    QUrl url;
    QHostAddress peerAddress;
    quint16 peerPort = kDefaultPort;
    quint16 expectedBlock = 0;
    qint32 blockSize = kDefaultBlockSize;                       // bytes
    qint32 retransmitInterval = kDefaultRetransmitIntervalMs;   // ms
    qint32 retransmitCount = kDefaultRetransmitCount;
    qint32 retriesLeft = 0;
    int retransmitTimer = 0;

    quint64 requestedOffset = 0;     // "offset" asked for, bytes; 0 when none
    bool transferActive = false;     // from a request to its end
    bool peerLocked = false;         // the device's transfer port is known
    bool optionsAcknowledged = false; // the request's one option acknowledgement came
};
