#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPair>
#include <QSet>

class QTimer;
class QUdpSocket;

// A scripted TFTP device on 127.0.0.1 for what tftpd-hpa cannot show: an
// option acknowledgement with "offset" or one sent again and again, error
// packets, duplicated or lost blocks, unsupported options, stray packets.
// It serves one content for every read request, in lock-step, from a new
// port per transfer (or from its listen port when asked). Packets are built
// here by hand, apart from the client's code. Lives in the test's thread.
class FakeTftpServer : public QObject
{
    Q_OBJECT

public:
    static constexpr const char *kRequestedOffset = "*";

    explicit FakeTftpServer(QObject *parent = nullptr);

    bool listen();
    quint16 port() const;
    QString url(const QString &path = QStringLiteral("/")) const;

    void setContent(const QByteArray &content) { m_content = content; }
    // Data block size used (bytes); the option acknowledgement tells it
    // only when listed in setOptionAcknowledgement.
    void setBlockSize(int bytes) { m_blockSize = bytes; }
    // Options sent in an option acknowledgement before the data; an
    // "offset" there makes the data start at that byte of the content, and
    // the value kRequestedOffset confirms the offset the request asked for.
    void setOptionAcknowledgement(const QList<QPair<QByteArray, QByteArray>> &options) { m_options = options; }
    // Answers the request with this error packet instead of data.
    void setErrorReply(quint16 code, const QByteArray &message);
    // Sends these blocks twice in a row.
    void setDuplicatedBlocks(const QSet<int> &blocks) { m_duplicated = blocks; }
    // Holds these blocks back the first time they are due.
    void setLostBlocks(const QSet<int> &blocks) { m_lost = blocks; }
    // Sends this block (data, short) from a third port before block 2.
    void setStrayBlock(int block, const QByteArray &payload);
    // Answers from the listen port instead of a new one.
    void setAnswerFromListenPort(bool on) { m_fromListenPort = on; }
    // Never answers.
    void setSilent(bool on) { m_silent = on; }
    // Sends the option acknowledgement again every intervalMs (ms) and
    // never any data; 0: once, then the data.
    void setRepeatedOptionAcknowledgement(int intervalMs) { m_optionAckRepeatMs = intervalMs; }

    // Every read request received (raw datagrams).
    QList<QByteArray> requests() const { return m_requests; }
    // Every datagram received on the transfer port after the request.
    QList<QByteArray> received() const { return m_received; }
    int requestCount() const { return m_requests.size(); }

private:
    void readRequests();
    void readTransfer();
    void readOn(QUdpSocket *socket);
    void beginTransfer(const QByteArray &request, const QHostAddress &address, quint16 port);
    void sendBlock(int block);
    void sendFrom(QUdpSocket *socket, const QByteArray &datagram);
    QByteArray dataPacket(int block) const;
    int blockCount() const;

    QUdpSocket *m_listen;
    QUdpSocket *m_transfer = nullptr;
    QUdpSocket *m_stray;
    QByteArray m_content;
    int m_blockSize = 512;
    QList<QPair<QByteArray, QByteArray>> m_options;
    QByteArray m_errorReply;
    QSet<int> m_duplicated;
    QSet<int> m_lost;
    int m_strayBlock = -1;
    QByteArray m_strayPayload;
    bool m_fromListenPort = false;
    bool m_silent = false;
    int m_optionAckRepeatMs = 0;
    QTimer *m_optionAckTimer;     // repeats m_optionAck
    QByteArray m_optionAck;

    QByteArray m_served;          // content from the confirmed offset on
    QList<QByteArray> m_requests;
    QList<QByteArray> m_received;
    QHostAddress m_clientAddress;
    quint16 m_clientPort = 0;
};
